// Server replies fed in any split: the POP3 and IMAP collectors must reach
// the same verdict (and the same text) as when fed the whole reply at once,
// and never hold more than their limits. The readers of the parts of a
// reply take any bytes.
#include "mail/reply_parser.h"

#include <cstdint>
#include <cstdlib>

namespace {
// Feeds `reply` in chunks of the sizes that the input's first bytes chose
// (none: one byte each), or whole.
template <class Collector>
size_t FeedAll(Collector& c, std::string_view reply, const std::string_view sizes,
               bool whole = false) {
    size_t offset = 0;
    for (size_t turn = 0; offset < reply.size() && c.State() == CollectState::NeedMore; ++turn) {
        size_t n = whole ? reply.size()
                   : sizes.empty()
                       ? 1
                       : 1 + static_cast<unsigned char>(sizes[turn % sizes.size()]) % 64;
        n = std::min(n, reply.size() - offset);
        size_t used = c.Feed(reply.substr(offset, n));
        // A collector that still wants bytes must take what it gets.
        if (used > n || (used < n && c.State() == CollectState::NeedMore))
            std::abort();
        offset += used;
    }
    return offset;
}

template <class Collector>
void Same(const Collector& a, const Collector& b, size_t usedA, size_t usedB) {
    // Where a reply that passed a limit was cut off does not matter: the
    // session ends there. A complete reply must be the same reply.
    if (a.State() != b.State() ||
        (a.State() == CollectState::Complete && (usedA != usedB || a.Text() != b.Text())))
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.size() < 2)
        return 0;
    const bool imap = input[0] & 1;
    const size_t count =
        std::min<size_t>(input.size() - 2, static_cast<unsigned char>(input[1]) % 8);
    const std::string_view sizes = input.substr(2, count);
    input.remove_prefix(2 + count);
    ReplyLimits limits{256, 4096};
    FetchItems items;
    ParseFetchItems(input, items);

    if (imap) {
        CImapResponseCollector whole("A654", limits, 1), split("A654", limits, 1);
        ImapFlagTable flags{std::vector<unsigned char>(4), false};
        split.TrackFlags(&flags);
        size_t a = FeedAll(whole, input, {}, true), b = FeedAll(split, input, sizes);
        Same(whole, split, a, b);
        if (whole.State() == CollectState::Complete &&
            (whole.Status() != split.Status() || whole.SawExpunge() != split.SawExpunge() ||
             whole.SawFetchLiteral() != split.SawFetchLiteral() ||
             whole.SawOtherFetchLiteral() != split.SawOtherFetchLiteral() ||
             whole.FetchedUid() != split.FetchedUid() ||
             whole.LargestExists() != split.LargestExists()))
            std::abort();
        if (split.Text().size() > limits.MaxMessage + limits.MaxStatusLine + 64)
            std::abort();
        return 0;
    }
    CStatusLineCollector statusWhole(limits.MaxStatusLine), statusSplit(limits.MaxStatusLine);
    size_t a = FeedAll(statusWhole, input, {}, true), b = FeedAll(statusSplit, input, sizes);
    Same(statusWhole, statusSplit, a, b);
    if (statusWhole.State() != CollectState::Complete)
        return 0;
    ClassifyPop3Status(statusWhole.Text());
    ParseRetrOctets(statusWhole.Text());
    std::string_view rest = input.substr(a);
    CPop3MessageCollector whole(statusWhole.Text(), limits.MaxMessage),
        split(statusSplit.Text(), limits.MaxMessage);
    size_t c = FeedAll(whole, rest, {}, true), d = FeedAll(split, rest, sizes);
    Same(whole, split, c, d);
    if (whole.State() != CollectState::Complete)
        return 0;
    // Every whole text has an end and a size.
    std::vector<long long> listed(3, -1);
    ParseScanListing(whole.Text(), listed);
    if (FindPop3MessageEnd(whole.Text()) < 0 || Pop3MessageOctets(whole.Text()) < 0)
        std::abort();
    return 0;
}
