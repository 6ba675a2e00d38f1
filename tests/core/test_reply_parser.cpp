// The reply parsers: an end is found wherever the receives cut the bytes,
// nothing inside a message ends it early, the next reply is left alone.
#include "mail/reply_parser.h"

#include <gtest/gtest.h>

namespace {

// Feeds `reply` + `next` cut at each `cut` (0: byte by byte): the collector
// takes exactly `reply` and holds `text`.
template <class Make>
void EverySplit(const std::string& reply, const std::string& next, const std::string& text,
                Make make) {
    const std::string stream = reply + next;
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        auto c = make();
        size_t consumed = 0;
        for (size_t from = 0; from < stream.size() && c.State() == CollectState::NeedMore;) {
            const size_t n = cut == 0 ? 1 : from < cut ? cut : stream.size() - from;
            consumed += c.Feed(std::string_view(stream).substr(from, n));
            from += n;
        }
        ASSERT_EQ(c.State(), CollectState::Complete) << "cut at " << cut;
        EXPECT_EQ(c.Text(), text) << "cut at " << cut;
        EXPECT_EQ(consumed, reply.size()) << "cut at " << cut;
    }
}

const std::string kStatus = "+OK 120 octets\r\n";
const std::string kBody = "From: a@b.example\r\nSubject: dots\r\n\r\n..leading dot\r\n"
                          "text\n.not the end\nbare\n.\r\nnor this\r\n.\r\n";
// Look-alike tags, a body with the completion text, a literal and an EXPUNGE.
const std::string kImapBody = "Subject: trap\r\n\r\nA654 OK fake end\r\n{5}\r\n* 3 EXPUNGE\r\n";
const std::string kFetchBody = "* 2 FETCH (FLAGS (\\Seen) BODY[] {" +
                               std::to_string(kImapBody.size()) + "}\r\n" + kImapBody + ")\r\n";
const std::string kFetch = "A6540 OK\r\na654 OK\r\n* OK [UIDVALIDITY 42] x\r\n" + kFetchBody +
                           "A654 OK Fetch completed.\r\n";

TEST(Collectors, EndFoundInEverySplit) {
    EverySplit(kBody, "+OK next\r\n", kStatus + kBody,
               [] { return CPop3MessageCollector(kStatus, 1 << 20); });
    EverySplit(".\r\n", "+OK", "+OK\r\n.\r\n", [] { return CPop3MessageCollector("+OK\r\n", 99); });
    EverySplit("+OK 2 40\r\n", "DATA", "+OK 2 40\r\n", [] { return CStatusLineCollector(16); });
    // The body is handed over whole, with its message number, and leaves the text.
    const std::string rest = kFetch.substr(0, kFetch.find("* 2")) + "A654 OK Fetch completed.\r\n";
    EverySplit(kFetch, "* 9 EXISTS\r\n", rest, [] {
        CImapResponseCollector c("A654", ReplyLimits{});
        c.StreamFetchBodies([](long number, const FetchItems& items, std::string text) {
            EXPECT_TRUE(number == 2 && items.HasFlags && text == kFetchBody) << text;
        });
        return c;
    });
    CImapResponseCollector fetch("A654", ReplyLimits{});
    fetch.Feed(kFetch);
    EXPECT_EQ(fetch.Status(), TaggedStatus::Ok);
    EXPECT_EQ(fetch.UidValidity(), "42");
    EXPECT_FALSE(fetch.SawExpunge()) << "an EXPUNGE inside the body counts";
}

// A status line is exactly "+OK" or "-ERR"; a size is counted without
// stuffing, a bare LF as CR LF; FETCH items in any order, past look-alikes.
TEST(ReplyParts, ReadAsTheProtocolDefines) {
    const std::pair<const char*, Pop3Status> statuses[] = {
        {"+OK\r\n", Pop3Status::Positive},  {"+OK 2 40\n", Pop3Status::Positive},
        {"-ERR\r\n", Pop3Status::Negative}, {"-ERR no", Pop3Status::Negative},
        {"+OKAY\r\n", Pop3Status::Invalid}, {"-ERROR\r\n", Pop3Status::Invalid},
        {" +OK\r\n", Pop3Status::Invalid},  {"+ok\r\n", Pop3Status::Invalid}};
    for (const auto& [line, status] : statuses)
        EXPECT_EQ(ClassifyPop3Status(line), status) << line;
    EXPECT_EQ(Pop3MessageOctets("+OK\r\n.\r\n"), 0);
    EXPECT_EQ(Pop3MessageOctets("+OK\r\nab\r\n..c\nd\r\n.\r\n"), 4 + 4 + 3);
    EXPECT_EQ(Pop3MessageOctets("+OK\r\nab\r\n"), -1);
    EXPECT_EQ(ParseRetrOctets("+OK 120 octets\r\n"), 120);
    EXPECT_EQ(ParseRetrOctets("+OK 120 messages\r\n"), -1);
    const struct {
        const char* Items;
        bool Parsed, Deleted;
        uint64_t Uid;
    } fetches[] = {{"(UID 7 FLAGS (\\Seen \\deleted))", true, true, 7},
                   {"(BODY[HEADER.FIELDS (X) FLAGS (\\Deleted)] {3} UID 9)", true, false, 9},
                   {"(X \"UID 5 \\\" (\\Deleted)\" FLAGS () UID 12)", true, false, 12},
                   {"(FLAGS (\\Deleted) UID 0)", false, true, 0},
                   {"(FLAGS (\\Seen UID 4", false, false, 0}};
    for (const auto& f : fetches) {
        FetchItems items;
        EXPECT_EQ(ParseFetchItems(f.Items, items), f.Parsed) << f.Items;
        EXPECT_TRUE(!f.Parsed || (items.Deleted == f.Deleted && items.Uid == f.Uid)) << f.Items;
    }
    // SEARCH numbers and UIDL ids: anything else makes the reply unusable.
    std::vector<uint64_t> uids;
    EXPECT_TRUE(ParseSearchResponse("* SEARCH 4 9\r\n* SEARCH\r\na OK\r\n", uids));
    EXPECT_EQ(uids, (std::vector<uint64_t>{4, 9}));
    EXPECT_FALSE(ParseSearchResponse("* SEARCH 4 x\r\n", uids));
    EXPECT_FALSE(ParseSearchResponse("* SEARCH 0\r\n", uids));
    std::vector<std::string> ids(2);
    EXPECT_TRUE(ParseUniqueIdListing("+OK\r\n2 b~\r\n1 a\r\n.\r\n", ids));
    EXPECT_EQ(ids, (std::vector<std::string>{"a", "b~"}));
    for (const char* bad : {"+OK\r\n1 a\r\n.\r\n", "+OK\r\n1 a\r\n1 b\r\n.\r\n",
                            "+OK\r\n1 a\r\n3 c\r\n.\r\n", "+OK\r\n1 a b\r\n2 c\r\n.\r\n"})
        EXPECT_FALSE(ParseUniqueIdListing(bad, ids)) << bad;
}

} // namespace
