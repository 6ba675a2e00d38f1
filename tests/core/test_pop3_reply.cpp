// The POP3 reply parsers fed in every possible split: the end of a message
// must be found wherever the receives cut the bytes.
#include "mail/reply_parser.h"

#include <gtest/gtest.h>

namespace {

const std::string kStatus = "+OK 120 octets\r\n";
const std::string kBody = "From: a@b.example\r\nSubject: dots\r\n\r\n..leading dot\r\n"
                          "text\n.not the end\r\n.\r\n";
const std::string kNext = "+OK next reply\r\n";

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

TEST(Pop3Reply, MessageEndFoundAtEveryTwoWaySplit) {
    const std::string stream = kBody + kNext;
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        CPop3MessageCollector collector(kStatus, 1 << 20);
        size_t consumed = FeedSplit(collector, stream, {cut});
        ASSERT_EQ(collector.State(), CollectState::Complete) << "cut at " << cut;
        EXPECT_EQ(collector.Text(), kStatus + kBody) << "cut at " << cut;
        EXPECT_EQ(consumed, kBody.size()) << "cut at " << cut;
    }
}

TEST(Pop3Reply, MessageEndFoundWhenFedByteByByte) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < kBody.size(); ++i)
        cuts.push_back(i);
    CPop3MessageCollector collector(kStatus, 1 << 20);
    FeedSplit(collector, kBody, cuts);
    EXPECT_EQ(collector.State(), CollectState::Complete);
    EXPECT_EQ(collector.Text(), kStatus + kBody);
}

TEST(Pop3Reply, EmptyMessageEndsRightAfterStatusLine) {
    CPop3MessageCollector collector("+OK\r\n", 1 << 20);
    EXPECT_EQ(collector.Feed(".\r\n+OK"), 3u);
    EXPECT_EQ(collector.Text(), "+OK\r\n.\r\n");
}

TEST(Pop3Reply, MessageBeyondLimitIsRefused) {
    CPop3MessageCollector collector(kStatus, 64);
    std::string line(40, 'x');
    line += "\r\n";
    collector.Feed(line);
    collector.Feed(line);
    EXPECT_EQ(collector.State(), CollectState::TooLarge);
}

TEST(Pop3Reply, StatusLineCompleteAtLineFeedAndLimited) {
    CStatusLineCollector line(16);
    EXPECT_EQ(line.Feed("+OK 2"), 5u);
    EXPECT_EQ(line.State(), CollectState::NeedMore);
    EXPECT_EQ(line.Feed(" 40\r\nDATA"), 5u);
    EXPECT_EQ(line.Text(), "+OK 2 40\r\n");

    CStatusLineCollector endless(16);
    endless.Feed("+OK 1234567890");
    endless.Feed("1234567890");
    EXPECT_EQ(endless.State(), CollectState::TooLarge);
}

} // namespace
