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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t npos = std::string::npos;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    CMailMessage message;
    message.SetRawText(input.substr(0, nul));
    message.ParseHeaders();
    // The key ends in a line feed and a 16-digit body digest; the bare
    // address is a piece of the text.
    if (message.GetDate().size() > 16 || message.GetMessageKey().size() > 4 * size + 33 ||
        input.find(message.GetBareAddress()) == npos)
        std::abort();
    if (nul == npos)
        return 0;

    // A short list keeps each run fast; the automaton's shape comes from the
    // expressions' overlaps, not from their number.
    const std::string list = input.substr(nul + 1, 64);
    std::vector<std::string> expressions;
    for (size_t start = 0, bar = 0; bar != npos; start = bar + 1) {
        bar = list.find('|', start);
        expressions.push_back(list.substr(start, bar == npos ? npos : bar - start));
    }
    const CSpamScorer scorer(expressions, std::vector<int>(expressions.size(), 1));
    for (const std::string& text : {message.GetBodyText(), message.GetSubject()}) {
        const std::vector<uint64_t> counts = scorer.CountOccurrences(text);
        for (size_t k = 0; k < expressions.size(); ++k) {
            const std::string& e = expressions[k];
            uint64_t n = 0; // searched from 0, resumed behind each match
            for (size_t at = text.find(e); !e.empty() && at != npos;
                 at = text.find(e, at + e.size()))
                ++n;
            if (counts[k] != n)
                std::abort();
        }
    }
    return 0;
}
