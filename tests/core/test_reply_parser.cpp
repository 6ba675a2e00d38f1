// The reply parsers fed in every split: the end of a POP3 message or an IMAP
// response must be found wherever the receives cut the bytes, and nothing
// inside a message may end it early. Hostile replies are in the fault matrix.
#include "mail/reply_parser.h"

#include <gtest/gtest.h>

namespace {

// Feeds `bytes` cut at the given positions; returns the consumed total.
template <class Collector>
size_t FeedSplit(Collector& collector, const std::string& bytes, std::vector<size_t> cuts) {
    cuts.push_back(bytes.size());
    size_t from = 0, consumed = 0;
    for (size_t cut : cuts) {
        consumed += collector.Feed(std::string_view(bytes).substr(from, cut - from));
        from = cut;
        if (collector.State() != CollectState::NeedMore)
            break;
    }
    return consumed;
}

// Every cut in two, and every byte on its own.
std::vector<std::vector<size_t>> AllSplits(size_t size) {
    std::vector<std::vector<size_t>> splits(1);
    for (size_t cut = 1; cut < size; ++cut) {
        splits.push_back({cut});
        splits.front().push_back(cut);
    }
    return splits;
}

const std::string kStatus = "+OK 120 octets\r\n";
const std::string kBody = "From: a@b.example\r\nSubject: dots\r\n\r\n..leading dot\r\n"
                          "text\n.not the end\nbare\n.\r\nnor this\r\n.\r\n";

TEST(Pop3Reply, MessageEndFoundInEverySplit) {
    const std::string stream = kBody + "+OK next reply\r\n";
    for (const auto& cuts : AllSplits(stream.size())) {
        CPop3MessageCollector collector(kStatus, 1 << 20);
        size_t consumed = FeedSplit(collector, stream, cuts);
        ASSERT_EQ(collector.State(), CollectState::Complete) << "cut at " << cuts[0];
        EXPECT_EQ(collector.Text(), kStatus + kBody) << "cut at " << cuts[0];
        EXPECT_EQ(consumed, kBody.size()) << "cut at " << cuts[0];
    }
}

// The readers of a reply's parts: a status line is exactly "+OK" or "-ERR";
// a size is counted without stuffing, a bare line feed as CR LF; FETCH
// items are found in any order, past lists and strings that hold look-alikes.
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
}

TEST(Pop3Reply, EmptyMessageAndStatusLineLeaveTheNextReply) {
    CPop3MessageCollector message("+OK\r\n", 1 << 20);
    EXPECT_EQ(message.Feed(".\r\n+OK"), 3u);
    EXPECT_EQ(message.Text(), "+OK\r\n.\r\n");
    CStatusLineCollector line(16);
    EXPECT_EQ(line.Feed("+OK 2"), 5u);
    EXPECT_EQ(line.Feed(" 40\r\nDATA"), 5u);
    EXPECT_EQ(line.Text(), "+OK 2 40\r\n");
}

// Look-alike tags, then a body that holds the completion text, a
// literal-like line and an EXPUNGE.
const std::string kImapBody = "Subject: trap\r\n\r\nA654 OK fake end\r\n{5}\r\n* 3 EXPUNGE\r\n";
const std::string kFetch = "A6540 OK\r\na654 OK\r\n* 2 FETCH (FLAGS (\\Seen) BODY[] {" +
                           std::to_string(kImapBody.size()) + "}\r\n" + kImapBody +
                           ")\r\nA654 OK Fetch completed.\r\n";

TEST(ImapResponse, FetchCompleteInEverySplitAndOnlyTheTagEndsIt) {
    const std::string stream = kFetch + "* 9 EXISTS\r\n";
    for (const auto& cuts : AllSplits(stream.size())) {
        CImapResponseCollector collector("A654", ReplyLimits{}, 2);
        size_t consumed = FeedSplit(collector, stream, cuts);
        ASSERT_EQ(collector.State(), CollectState::Complete) << "cut at " << cuts[0];
        EXPECT_EQ(collector.Text(), kFetch) << "cut at " << cuts[0];
        EXPECT_EQ(consumed, kFetch.size());
        EXPECT_EQ(collector.Status(), TaggedStatus::Ok);
        EXPECT_TRUE(collector.SawFetchLiteral());
        EXPECT_FALSE(collector.SawExpunge()) << "an EXPUNGE inside the body counts";
    }
}

} // namespace
