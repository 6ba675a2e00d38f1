// The batch pipeline at every level: verdicts, reasons, history records and
// list files for realistic fetched texts.
#include "app_fixture.h"
#include "filter/history_format.h"
#include "filter/levels.h"
#include "filter_fixture.h"

#include <gtest/gtest.h>
#include <thread>

namespace {
using namespace filter_test;

const std::string kLifeTime = " Mail has exceeded its life time at the server\n";
const std::string kFriendFile =
    "   ann@mail.example\r\n   bob@both.example\r\n   *@friends.example\r\n";
const std::string kBlockedFile = "   *@both.example\r\n   eve@spam.example\r\n";

struct Verdict {
    int Status;
    std::string Reason;
};

struct BatchCase {
    const char* Name;
    int Level;
    std::vector<std::string> Texts;
    std::vector<Verdict> Expected;
    int NewSenderAction = 3;
    std::deque<NewSenderAnswer> Answers = {};
    size_t Questions = 0;
    std::string FriendAdded = "", BlockedAdded = "";
    int LifeTimeDays = 5;
    bool NoWindow = false;
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << c.Name;
}

Mail From(std::string from, std::string subject = "Minutes of the meeting") {
    Mail m;
    m.From = std::move(from);
    m.Subject = std::move(subject);
    return m;
}
Mail WithBody(Mail m, std::string body) {
    m.Body = std::move(body);
    return m;
}
Mail WithDate(Mail m, std::string date) {
    m.Date = std::move(date);
    return m;
}
Mail WithFiles(Mail m, std::vector<Attachment> files) {
    m.Attachments = std::move(files);
    return m;
}

std::vector<BatchCase> Cases() {
    const Mail ann = From("ann@mail.example");
    const Mail carl = From("carl@new.example");
    const Mail carl2 = From("carl@new.example", "Again");
    return {
        {"BlockedBeatsFriend",
         2,
         {Pop3(From("bob@both.example")), Pop3(From("\"Eve\" <eve@spam.example>")), Pop3(ann)},
         {{0, "23003"}, {0, "23003"}, {1, ""}}},
        {"VeryHighSizeLimitAndNoQuestion",
         4,
         {Pop3(ann, 1000), Pop3(From("ann@mail.example", "Big"), 1001),
          ImapText(MessageText(WithBody(ann, std::string(5000, 'x'))), 7), Pop3(carl)},
         {{1, ""}, {0, "23007"}, {1, ""}, {0, "23004"}},
         0,
         {NewSenderAnswer::Friend},
         0},
        {"VeryHighForbiddenList",
         4,
         {Pop3(WithFiles(ann, {{"a.zip"}})),
          Pop3(WithFiles(From("dan@friends.example"), {{"a.exe"}}))},
         {{0, "23005"}, {1, ""}}}, // the entry ".exe" never matches a type
        {"HighExecutablesCaseSensitive",
         3,
         {Pop3(WithFiles(ann, {{"a.zip"}, {"b.exe"}})),
          Pop3(WithFiles(From("ann@mail.example", "2"), {{"a.zip"}, {"B.EXE"}})),
          Pop3(WithFiles(From("ann@mail.example", "3"), {{"saver.scr"}}))},
         {{0, "23008"}, {1, ""}, {0, "23008"}}},
        {"VeryLowHasNoAttachmentRule", 0, {Pop3(WithFiles(ann, {{"b.exe"}}))}, {{1, ""}}},
        {"NormalSpamThresholdExactly60",
         2,
         {Pop3(WithBody(From("dan@friends.example"), "cheap, cheap\r\n")),
          Pop3(WithBody(From("dan@friends.example", "2"), "cheap offer\r\n"))},
         {{0, "23006"}, {1, ""}}},
        {"HighSpamThreshold40",
         3,
         {Pop3(WithBody(ann, "one great offer, cheap\r\n"))},
         {{0, "23006"}}},
        {"SubjectPassDoubles",
         0,
         {Pop3(From("ann@mail.example", "offer offer")),
          Pop3(WithBody(From("ann@mail.example", "offer"), "offer offer"))},
         {{0, "23006"}, {1, ""}}},
        {"LifeTime",
         2,
         {Pop3(WithDate(ann, "Mon, 01 Sep 2003 10:00:00 +0200")),
          Pop3(WithDate(From("ann@mail.example", "2"), "Fri, 05 Sep 2003 23:59:59 +0200")),
          Pop3(WithDate(From("ann@mail.example", "3"), "Sat, 06 Sep 2003 00:00:00 +0200")),
          Pop3(
              WithDate(WithBody(From("ann@mail.example", "4"), "cheap cheap"), "Mon, 01 Sep 2003")),
          Pop3(WithDate(From("ann@mail.example", "5"), "sometime last week")),
          Pop3(WithDate(From("ann@mail.example", "6"), ""))},
         {{0, kLifeTime}, {0, kLifeTime}, {1, ""}, {0, "23006" + kLifeTime}, {1, ""}, {1, ""}}},
        {"LifeTimeZeroExpiresToday",
         2,
         {Pop3(WithDate(ann, "Wed, 10 Sep 2003")), Pop3(WithDate(ann, "Thu, 11 Sep 2003"))},
         {{0, kLifeTime}, {1, ""}},
         3,
         {},
         0,
         "",
         "",
         0},
        {"RepeatsAtNormal",
         2,
         {Pop3(ann, 500), Pop3(From("ann@mail.example", "other"), 500),
          Pop3(WithBody(ann, "a different body, same key"), 500)},
         {{0, "23009"}, {1, ""}, {0, "23009"}}},
        {"RepeatReplacesEarlierReason",
         2,
         {Pop3(WithBody(ann, "cheap cheap")), Pop3(WithBody(ann, "cheap cheap"))},
         {{0, "23009"}, {0, "23009"}}},
        {"TwoRepeatsStayAtVeryLow",
         0,
         {Pop3(ann), Pop3(ann), Pop3(carl)},
         {{1, ""}, {1, ""}, {0, "23004"}}},
        {"FourRepeatsGoAtVeryLow",
         0,
         {Pop3(ann), Pop3(ann), Pop3(ann), Pop3(ann)},
         {{0, "23009"}, {0, "23009"}, {0, "23009"}, {0, "23009"}}},
        {"Level7JudgesAsVeryLowButRepeatsFromTwo",
         7,
         {Pop3(WithFiles(ann, {{"b.exe"}})), Pop3(From("ann@mail.example", "x")),
          Pop3(From("ann@mail.example", "x"))},
         {{1, ""}, {0, "23009"}, {0, "23009"}}},
        {"ActionFriend",
         2,
         {Pop3(carl), Pop3(carl2)},
         {{1, ""}, {1, ""}},
         1,
         {},
         0,
         "   carl@new.example\r\n"},
        {"ActionBlock",
         2,
         {Pop3(carl), Pop3(carl2)},
         {{0, "23004"}, {0, "23003"}},
         2,
         {},
         0,
         "",
         "   carl@new.example\r\n"},
        {"ActionIgnore", 2, {Pop3(carl), Pop3(carl2)}, {{0, "23004"}, {0, "23004"}}, 3},
        {"ActionOutOfRangeIgnores", 2, {Pop3(carl)}, {{0, "23004"}}, 9},
        {"AskedFriendThenContentRules",
         2,
         {Pop3(carl), Pop3(carl2), Pop3(WithFiles(From("carl@new.example", "3"), {{"x.exe"}}))},
         {{1, ""}, {1, ""}, {0, "23008"}},
         0,
         {NewSenderAnswer::Friend},
         1,
         "   carl@new.example\r\n"},
        {"AskedBlockThen23003",
         3,
         {Pop3(carl), Pop3(carl2)},
         {{0, "23004"}, {0, "23003"}},
         0,
         {NewSenderAnswer::Block},
         1,
         "",
         "   carl@new.example\r\n"},
        {"AskedIgnoreAskedAgain",
         1,
         {Pop3(carl), Pop3(carl2)},
         {{0, "23004"}, {0, "23004"}},
         0,
         {NewSenderAnswer::Ignore, NewSenderAnswer::Ignore},
         2},
        {"NoAnswerKeepsMailWritesNothing",
         2,
         {Pop3(WithFiles(carl, {{"x.exe"}})), Pop3(carl2)},
         {{1, ""}, {1, ""}},
         0,
         {},
         2},
        {"NoAnswerOutranksLifeTimeAndRepeats",
         2,
         {Pop3(WithDate(carl, "Mon, 01 Sep 2003")), Pop3(WithDate(carl, "Mon, 01 Sep 2003"))},
         {{1, ""}, {1, ""}},
         0,
         {},
         2},
        {"NoWindowKeepsMail", 1, {Pop3(carl)}, {{1, ""}}, 0, {}, 0, "", "", 5, true},
        {"SenderWithoutAt",
         2,
         {Pop3(From("postmaster"))},
         {{1, ""}},
         1,
         {},
         0,
         "   @postmaster\r\n"},
        {"HeaderlessMail", 2, {"+OK 12 octets\r\n\r\nno headers\r\n.\r\n"}, {{0, "23004"}}, 3},
        {"HeaderlessMailVeryHigh", 4, {"+OK 12 octets\r\n\r\nno headers\r\n.\r\n"}, {{0, "23004"}}},
    };
}

class FilterPipeline : public ::testing::TestWithParam<BatchCase> {
  protected:
    void SetUp() override {
        CFilterApp& a = *f.app;
        a.InstallPath = f.dir.Path();
        f.dir.Write(kFriendListFileName, kFriendFile);
        f.dir.Write(kBlockedListFileName, kBlockedFile);
        a.LoadSenderList(nullptr, kFriendListFileName);
        a.LoadSenderList(nullptr, kBlockedListFileName);
        a.SpamWordList.Set({"cheap>3", "offer>2", "pills>5"});
        a.BuildSpamWordTables();
        a.ForbiddenExtensions.Set({"zip", ".exe"});
        a.MaxAttachmentSize = 1000;
        a.Clock = [] { return LocalDateTime{2003, 9, 10, 8, 30, 0}; };
    }
    CAppFixture f;
};

TEST_P(FilterPipeline, JudgesBatch) {
    const BatchCase& c = GetParam();
    CFilterApp& a = *f.app;
    a.FilterLevel = c.Level;
    a.NewSenderAction = c.NewSenderAction;
    a.MailLifeTime = c.LifeTimeDays;
    CScriptedPrompt prompt(c.Answers);
    if (!c.NoWindow)
        a.NewSenderPrompt = &prompt;

    const std::vector<unsigned char> verdicts = a.JudgeBatch(c.Texts);

    ASSERT_EQ(verdicts.size(), c.Expected.size());
    EXPECT_EQ(a.MessageVerdicts, verdicts);
    const auto history = a.GetHistorySnapshot();
    ASSERT_EQ(history.size(), c.Expected.size());
    size_t complete = 0;
    const auto inFile = ParseHistoryText(f.dir.Read(kHistoryFileName), complete);
    ASSERT_EQ(inFile.size(), c.Expected.size());
    for (size_t i = 0; i < c.Expected.size(); ++i) {
        SCOPED_TRACE("message " + std::to_string(i));
        EXPECT_EQ(verdicts[i], c.Expected[i].Status);
        EXPECT_EQ(history[i]->Status, c.Expected[i].Status);
        EXPECT_EQ(history[i]->Reason, c.Expected[i].Reason);
        EXPECT_EQ(inFile[i].Reason, c.Expected[i].Reason); // repeats reach the file at once
    }
    EXPECT_EQ(prompt.Asked().size(), c.Questions);
    EXPECT_EQ(f.dir.Read(kFriendListFileName), kFriendFile + c.FriendAdded);
    EXPECT_EQ(f.dir.Read(kBlockedListFileName), kBlockedFile + c.BlockedAdded);
    a.NewSenderPrompt = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Batches, FilterPipeline, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });

using FilterPipelineDetail = FilterPipeline;

TEST_F(FilterPipelineDetail, HistoryRecordAndPromptText) {
    CFilterApp& a = *f.app;
    a.FilterLevel = 2;
    a.NewSenderAction = 0;
    CScriptedPrompt prompt({NewSenderAnswer::Friend});
    a.NewSenderPrompt = &prompt;
    Mail m = From("\"Ann\" <a*b@new.example>", "Hello");
    m.Body = "Hi there\r\n";
    a.JudgeBatch({Pop3(m)});
    a.NewSenderPrompt = nullptr;

    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0],
              "a\r\nb@new.example  has sent you an e-mail, if you want to add him to your friend "
              "list\npress Friend, if you want to add him to your block list press Block. \nIf "
              "you want to igonre him press Ignore.");
    EXPECT_EQ(f.dir.Read(kFriendListFileName), kFriendFile + "   a*b@new.example\r\n");
    const auto history = a.GetHistorySnapshot();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0]->Date, "Tue, 09 Sep 2003");
    EXPECT_EQ(history[0]->From, "a*b@new.example");
    EXPECT_EQ(history[0]->Subject, "Hello");
    EXPECT_EQ(history[0]->Body.rfind("Message-ID:", 0), 0u);
    ASSERT_EQ(a.MessageKeys.size(), 1u);
    EXPECT_EQ(a.MessageKeys[0],
              "a*b@new.exampleHello" + std::to_string(MessageText(m).size()) + "Tue, 09 Sep 2003");
}

TEST_F(FilterPipelineDetail, ConcurrentBatchesKeepTheirOwnVerdicts) {
    CFilterApp& a = *f.app;
    a.FilterLevel = 2;
    EXPECT_TRUE(a.JudgeBatch({}).empty());
    EXPECT_FALSE(f.dir.Exists(kHistoryFileName));

    std::vector<std::string> friends, blocked;
    for (int i = 0; i < 30; ++i) {
        friends.push_back(Pop3(From("ann@mail.example", "f" + std::to_string(i))));
        blocked.push_back(Pop3(From("eve@spam.example", "b" + std::to_string(i))));
    }
    std::vector<unsigned char> fromFriends, fromBlocked;
    std::thread one([&] { fromFriends = a.JudgeBatch(friends); });
    std::thread two([&] { fromBlocked = a.JudgeBatch(blocked); });
    one.join();
    two.join();
    EXPECT_EQ(fromFriends, std::vector<unsigned char>(30, 1));
    EXPECT_EQ(fromBlocked, std::vector<unsigned char>(30, 0));
    EXPECT_EQ(a.GetHistorySize(), 60u);
}
} // namespace
