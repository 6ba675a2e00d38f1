// Server replies fed in any split: the POP3 and IMAP collectors must reach
// the same verdict (and the same text) as when fed the whole reply at once,
// and never hold more than their limits.
#include "mail/reply_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {
// The first bytes of the input choose the chunk sizes.
std::vector<size_t> Splits(std::string_view& input) {
    std::vector<size_t> sizes;
    size_t count = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 8;
    input.remove_prefix(input.empty() ? 0 : 1);
    for (size_t i = 0; i < count && !input.empty(); ++i) {
        sizes.push_back(1 + static_cast<unsigned char>(input[0]) % 64);
        input.remove_prefix(1);
    }
    if (sizes.empty())
        sizes.push_back(1);
    return sizes;
}

template <class Collector>
size_t FeedAll(Collector& c, std::string_view reply, const std::vector<size_t>& sizes) {
    size_t offset = 0, turn = 0;
    while (offset < reply.size() && c.State() == CollectState::NeedMore) {
        size_t n = std::min(sizes[turn++ % sizes.size()], reply.size() - offset);
        size_t used = c.Feed(reply.substr(offset, n));
        if (used > n)
            std::abort();
        offset += used;
        if (used < n && c.State() == CollectState::NeedMore)
            std::abort(); // a collector that still wants bytes must take what it gets
    }
    return offset;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    bool imap = !input.empty() && (input[0] & 1);
    input.remove_prefix(input.empty() ? 0 : 1);
    std::vector<size_t> sizes = Splits(input);
    ReplyLimits limits{256, 4096};

    if (imap) {
        CImapResponseCollector whole("A654", limits, 1), split("A654", limits, 1);
        size_t a = FeedAll(whole, input, {input.size() + 1});
        size_t b = FeedAll(split, input, sizes);
        // Where a reply that passed a limit was cut off does not matter: the
        // session ends there. A complete reply must be the same reply.
        if (whole.State() != split.State())
            std::abort();
        if (whole.State() == CollectState::Complete &&
            (a != b || whole.Text() != split.Text() || whole.Status() != split.Status() ||
             whole.SawExpunge() != split.SawExpunge() ||
             whole.SawFetchLiteral() != split.SawFetchLiteral() ||
             whole.SawOtherFetchLiteral() != split.SawOtherFetchLiteral()))
            std::abort();
        if (split.Text().size() > limits.MaxMessage + limits.MaxStatusLine + 64)
            std::abort();
    } else {
        CStatusLineCollector statusWhole(limits.MaxStatusLine), statusSplit(limits.MaxStatusLine);
        size_t a = FeedAll(statusWhole, input, {input.size() + 1});
        size_t b = FeedAll(statusSplit, input, sizes);
        if (statusWhole.State() != statusSplit.State())
            std::abort();
        if (statusWhole.State() == CollectState::Complete &&
            (a != b || statusWhole.Text() != statusSplit.Text()))
            std::abort();
        if (statusWhole.State() != CollectState::Complete)
            return 0;
        std::string_view rest = input.substr(a);
        CPop3MessageCollector whole(statusWhole.Text(), limits.MaxMessage),
            split(statusSplit.Text(), limits.MaxMessage);
        size_t c = FeedAll(whole, rest, {rest.size() + 1});
        size_t d = FeedAll(split, rest, sizes);
        if (whole.State() != split.State() ||
            (whole.State() == CollectState::Complete && (c != d || whole.Text() != split.Text())))
            std::abort();
        if (whole.State() == CollectState::Complete && FindPop3MessageEnd(whole.Text()) < 0)
            std::abort();
    }
    return 0;
}
