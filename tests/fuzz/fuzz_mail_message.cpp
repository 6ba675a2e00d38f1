// Any fetched text: parsing must stay in bounds and total, and the spam
// score's single-pass counting must agree with searching each expression on
// its own. Input layout: the text; when it holds a NUL byte, what follows the
// first NUL is a "|"-separated list of expressions scored against the parsed
// body and subject.
#include "filter/mail_message.h"
#include "filter/spam_scorer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
uint64_t ReferenceCount(const std::string& text, const std::string& e) {
    uint64_t n = 0;
    if (e.empty())
        return 0;
    for (size_t at = text.find(e); at != std::string::npos; at = text.find(e, at + e.size()))
        ++n;
    return n;
}

std::vector<std::string> Expressions(const std::string& list) {
    std::vector<std::string> result;
    size_t start = 0;
    while (result.size() < 16) {
        size_t bar = list.find('|', start);
        result.push_back(list.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return result;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    CMailMessage message;
    message.SetRawText(input.substr(0, nul));
    message.ParseHeaders();
    const std::string key = message.GetMessageKey();
    // The key ends in a line feed and a 16-digit body digest; the bare
    // address is a piece of the text.
    if (message.GetDate().size() > 16 || key.size() > 4 * size + 33 ||
        input.find(message.GetBareAddress()) == std::string::npos)
        std::abort();
    if (nul == std::string::npos)
        return 0;

    // A short list keeps each run fast; the automaton's shape comes from the
    // expressions' overlaps, not from their number.
    const std::vector<std::string> expressions = Expressions(input.substr(nul + 1, 64));
    const CSpamScorer scorer(expressions, std::vector<int>(expressions.size(), 1));
    for (const std::string& text : {message.GetBodyText(), message.GetSubject()}) {
        const std::vector<uint64_t> counts = scorer.CountOccurrences(text);
        for (size_t k = 0; k < expressions.size(); ++k)
            if (counts[k] != ReferenceCount(text, expressions[k]))
                std::abort();
    }
    return 0;
}
