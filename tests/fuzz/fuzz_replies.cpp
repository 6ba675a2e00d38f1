// Replies fed in any split reach the whole reply's verdict and text within the
// limits; part readers take any bytes; every whole POP3 text has an end and a size.
#include "mail/reply_parser.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {
// Feeds `reply` whole (no sizes) or in chunks of the sizes the input chose; a
// collector that still wants bytes must take them all. Returns the bytes taken.
template <class Collector>
size_t Feed(Collector& c, std::string_view reply, std::string_view sizes) {
    size_t offset = 0;
    for (size_t turn = 0; offset < reply.size() && c.State() == CollectState::NeedMore; ++turn) {
        size_t n = sizes.empty() ? reply.size()
                                 : 1 + static_cast<unsigned char>(sizes[turn % sizes.size()]) % 64;
        n = std::min(n, reply.size() - offset);
        const size_t used = c.Feed(reply.substr(offset, n));
        if (used > n || (used < n && c.State() == CollectState::NeedMore))
            std::abort();
        offset += used;
    }
    return offset;
}

// A complete reply must be the same reply; where one past a limit was cut off
// does not matter, the session ends there.
template <class Collector>
size_t Same(Collector& whole, Collector& split, std::string_view reply, std::string_view sizes) {
    const size_t a = Feed(whole, reply, {}), b = Feed(split, reply, sizes);
    if (whole.State() != split.State() ||
        (whole.State() == CollectState::Complete && (a != b || whole.Text() != split.Text())))
        std::abort();
    return a;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.size() < 2)
        return 0;
    const bool imap = input[0] & 1;
    const size_t count =
        std::min<size_t>(input.size() - 2, static_cast<unsigned char>(input[1]) % 8);
    const std::string_view sizes = count ? input.substr(2, count) : std::string_view("\0", 1);
    input.remove_prefix(2 + count);
    const ReplyLimits limits{256, 4096};
    FetchItems items;
    ParseFetchItems(input, items);
    if (imap) {
        // Bodies are handed over whole, the same ones in every split.
        CImapResponseCollector whole("A654", limits), split("A654", limits);
        std::string bodiesWhole, bodiesSplit;
        for (const auto& p : {std::pair{&whole, &bodiesWhole}, std::pair{&split, &bodiesSplit}})
            p.first->StreamFetchBodies(
                [out = p.second](long n, const FetchItems&, std::string text) {
                    *out += std::to_string(n) + ":" + text;
                });
        ImapFlagTable flags{std::vector<unsigned char>(4), false};
        split.TrackFlags(&flags);
        Same(whole, split, input, sizes);
        std::vector<uint64_t> found;
        ParseSearchResponse(whole.Text(), found);
        std::string literal;
        if (ImapBodyLiteral(input, literal) && literal.size() >= input.size())
            std::abort();
        if ((whole.State() == CollectState::Complete &&
             (whole.Status() != split.Status() || whole.SawExpunge() != split.SawExpunge() ||
              bodiesWhole != bodiesSplit || whole.UidValidity() != split.UidValidity() ||
              whole.LargestExists() != split.LargestExists())) ||
            split.Text().size() > limits.MaxMessage + limits.MaxStatusLine + 64)
            std::abort();
        return 0;
    }
    CStatusLineCollector statusWhole(limits.MaxStatusLine), statusSplit(limits.MaxStatusLine);
    const size_t used = Same(statusWhole, statusSplit, input, sizes);
    if (statusWhole.State() != CollectState::Complete)
        return 0;
    ClassifyPop3Status(statusWhole.Text());
    ParseRetrOctets(statusWhole.Text());
    CPop3MessageCollector whole(statusWhole.Text(), limits.MaxMessage),
        split(statusSplit.Text(), limits.MaxMessage);
    Same(whole, split, input.substr(used), sizes);
    if (whole.State() != CollectState::Complete)
        return 0;
    std::vector<long long> listed(3, -1);
    ParseScanListing(whole.Text(), listed);
    std::vector<std::string> ids(3);
    ParseUniqueIdListing(whole.Text(), ids);
    if (FindPop3MessageEnd(whole.Text()) < 0 || Pop3MessageOctets(whole.Text()) < 0 ||
        Pop3MessageContent(whole.Text()).size() >= whole.Text().size())
        std::abort();
    return 0;
}
