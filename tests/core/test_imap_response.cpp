// The IMAP response parser: literals of their announced length, tagged
// completions, untagged EXPUNGE, hostile sizes; fed in every split.
#include "mail/imap_session.h"
#include "mail/reply_parser.h"

#include <gtest/gtest.h>

namespace {

// A body that holds the completion text and a literal-like line itself.
const std::string kBody = "Subject: trap\r\n\r\nA654 OK fake end\r\n{5}\r\n* 3 EXPUNGE\r\n";
const std::string kFetch = "* 2 FETCH (FLAGS (\\Seen) BODY[] {" + std::to_string(kBody.size()) +
                           "}\r\n" + kBody + ")\r\nA654 OK Fetch completed.\r\n";

TEST(ImapResponse, FetchCompleteAtEverySplitAndBodyCannotEndIt) {
    const std::string stream = kFetch + "* 9 EXISTS\r\n";
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        CImapResponseCollector collector("A654", ReplyLimits{}, 2);
        size_t consumed = collector.Feed(std::string_view(stream).substr(0, cut));
        if (collector.State() == CollectState::NeedMore)
            consumed += collector.Feed(std::string_view(stream).substr(cut));
        ASSERT_EQ(collector.State(), CollectState::Complete) << "cut at " << cut;
        EXPECT_EQ(collector.Text(), kFetch) << "cut at " << cut;
        EXPECT_EQ(consumed, kFetch.size());
        EXPECT_EQ(collector.Status(), TaggedStatus::Ok);
        EXPECT_TRUE(collector.SawFetchLiteral());
        EXPECT_FALSE(collector.SawExpunge()) << "an EXPUNGE inside the body counts";
    }
}

struct ResponseCase {
    const char* Name;
    std::string Bytes;
    CollectState State;
    TaggedStatus Status;
    bool Expunge;
    bool FetchLiteral;
};

class ImapResponseCases : public testing::TestWithParam<ResponseCase> {};

TEST_P(ImapResponseCases, Classified) {
    const ResponseCase& c = GetParam();
    ReplyLimits limits;
    limits.MaxStatusLine = 256;
    limits.MaxMessage = 4096;
    CImapResponseCollector collector("A654", limits, 1);
    collector.Feed(c.Bytes);
    EXPECT_EQ(collector.State(), c.State);
    EXPECT_EQ(collector.Status(), c.Status);
    EXPECT_EQ(collector.SawExpunge(), c.Expunge);
    EXPECT_EQ(collector.SawFetchLiteral(), c.FetchLiteral);
}

INSTANTIATE_TEST_SUITE_P(
    All, ImapResponseCases,
    testing::Values(ResponseCase{"No", "A654 NO no such message\r\n", CollectState::Complete,
                                 TaggedStatus::No, false, false},
                    ResponseCase{"Bad", "A654 BAD\r\n", CollectState::Complete, TaggedStatus::Bad,
                                 false, false},
                    ResponseCase{"OkWithoutBody", "A654 OK done\r\n", CollectState::Complete,
                                 TaggedStatus::Ok, false, false},
                    ResponseCase{"OtherMessagesBody", "* 7 FETCH (BODY[] {2}\r\nhi)\r\nA654 OK\r\n",
                                 CollectState::Complete, TaggedStatus::Ok, false, false},
                    ResponseCase{"Expunge",
                                 "* 4 EXPUNGE\r\n* 1 FETCH (BODY[] {0}\r\n)\r\nA654 OK\r\n",
                                 CollectState::Complete, TaggedStatus::Ok, true, true},
                    ResponseCase{"OtherTagIsNotTheEnd", "A6540 OK\r\na654 OK\r\n",
                                 CollectState::NeedMore, TaggedStatus::None, false, false},
                    ResponseCase{"AbsurdLiteral", "* 1 FETCH (BODY[] {99999999999999999999}\r\n",
                                 CollectState::TooLarge, TaggedStatus::None, false, false},
                    ResponseCase{"LiteralOverLimit", "* 1 FETCH (BODY[] {4097}\r\n",
                                 CollectState::TooLarge, TaggedStatus::None, false, false},
                    ResponseCase{"EndlessLine", "* OK " + std::string(300, 'x'),
                                 CollectState::TooLarge, TaggedStatus::None, false, false}),
    [](const testing::TestParamInfo<ResponseCase>& info) { return info.param.Name; });

struct ExistsCase {
    std::string Response;
    long Count;
};

class ExistsCount : public testing::TestWithParam<ExistsCase> {};

TEST_P(ExistsCount, ReadFromTheExistsLine) {
    EXPECT_EQ(ParseExistsCount(GetParam().Response), GetParam().Count);
}

INSTANTIATE_TEST_SUITE_P(
    All, ExistsCount,
    testing::Values(
        ExistsCase{"* FLAGS (\\Seen \\Deleted)\r\n* OK [PERMANENTFLAGS (\\*)] ok\r\n* 12 "
                   "EXISTS\r\n* 0 RECENT\r\nA142 OK\r\n",
                   12},
        ExistsCase{"* 0 EXISTS\r\nA142 OK\r\n", 0}, ExistsCase{"* 1000001 EXISTS\r\n", 1000001},
        ExistsCase{"* FLAGS ()\r\nA142 OK [READ-WRITE]\r\n", -1}));

} // namespace
