// The levels' rules on parsed fields, then batches with verdicts, history and list files.
#include "app_fixture.h"
#include "filter/history_format.h"
#include "filter/levels.h"
#include "filter/message_preparer.h"
#include "filter/spam_scorer.h"
#include "filter_fixture.h"
#include "platform/digest.h"

#include <gtest/gtest.h>
#include <thread>

namespace {
using namespace filter_test;
using Answer = NewSenderAnswer;

const std::string kLifeTime = " Mail has exceeded its life time at the server\n";
const std::string kFriendFile =
    "   ann@mail.example\r\n   bob@both.example\r\n   *@friends.example\r\n";
const std::string kBlockedFile = "   *@both.example\r\n   eve@spam.example\r\n";

class Filter : public ::testing::Test {
  protected:
    void SetUp() override {
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
        a.FilterLevel = 2;
    }
    CAppFixture f;
    CFilterApp& a = *f.app;
};

TEST_F(Filter, LevelRules) {
    // A degree total of 100: n times "w" in the body scores n percent.
    a.SpamWordList.Set({"w>1", "unused>99"});
    a.BuildSpamWordTables();
    struct Row {
        int Level, Words, Size;
        const char *Types, *Reason; // no reason: kept
        std::string Sender = "ann@mail.example";
    } rows[] = {// Blocked (address or whole domain) beats friend; whole-domain friends.
                {4, 0, 0, "", "23003", "bob@both.example"},
                {2, 0, 0, "", "23003", "eve@spam.example"},
                {4, 0, 0, "", "", "dan@friends.example"},
                // Very High: forbidden types exactly as listed ("exe" never), spam
                // from 20%, size; in that order.
                {4, 20, 0, "", "23006"},
                {4, 19, 1000, "exe", ""},
                {4, 0, 1001, "", "23007"},
                {4, 20, 1001, "zip", "23005"},
                {4, 20, 1001, "", "23006"},
                // High: executables (case-sensitive, three-character groups), 40%.
                {3, 40, 0, "", "23006"},
                {3, 39, 5000, "EXExexe", ""},
                {3, 0, 0, "zipscr", "23008"},
                {3, 40, 0, "exe", "23008"},
                {2, 60, 0, "", "23006"},
                {2, 59, 0, "", ""},
                {2, 0, 0, "zipexe", "23008"},
                {1, 80, 0, "", "23006"},
                {1, 79, 0, "", ""},
                {1, 0, 0, "scr", "23008"},
                // Very Low has no attachment rule; other levels judge as Very Low.
                {0, 100, 0, "", "23006"},
                {0, 99, 5000, "exescr", ""},
                {7, 100, 0, "", "23006"},
                {-1, 99, 0, "exe", ""}};
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.Level << " " << r.Sender << " " << r.Words << " "
                                          << r.Size << " " << r.Types);
        a.FilterLevel = r.Level;
        a.VerdictReason.clear();
        EXPECT_EQ(a.JudgeMessage(r.Sender, r.Sender.substr(r.Sender.find('@') + 1),
                                 std::string(r.Words, 'w'), r.Size, "", r.Types),
                  *r.Reason ? 0 : 1);
        EXPECT_EQ(a.VerdictReason, r.Reason);
    }
}

// One word per message: "K" kept, else the reason ("L" ending: the life-time text).
std::string Word(int status, std::string reason) {
    if (reason.ends_with(kLifeTime))
        reason.replace(reason.size() - kLifeTime.size(), kLifeTime.size(), "L");
    return (status == 1 ? "K" : "") + reason + " ";
}

struct BatchCase {
    const char* Name;
    int Level, NewSenderAction;
    std::vector<std::string> Texts;
    std::string Expected;
    const char* Answers = ""; // F friend, B block, I ignore; then no answer
    size_t Questions = 0;
    std::string FriendAdded = "", BlockedAdded = "";
    int LifeTimeDays = 5;
    bool NoWindow = false;
};

std::vector<BatchCase> Cases() {
    const std::string ann = Pop3({}), carl = Pop3({.From = "carl@new.example"}),
                      carl2 = Pop3({.From = "carl@new.example", .Subject = "Again"}),
                      carlAdded = "   carl@new.example\r\n",
                      star = Pop3({.From = "*@bank.example"});
    auto annOn = [](const char* date) { return Pop3({.Subject = date, .Date = date}); };
    const std::string old =
        Pop3({.From = "carl@new.example", .Date = "Mon, 01 Sep 2003", .Attachments = {{"x.exe"}}});
    return {
        BatchCase("VeryHighSizeFromTheReplyAndNoQuestion", 4, 0,
                  {Pop3({}, 1000), Pop3({.Subject = "Big"}, 1001),
                   ImapText(MessageText({.Body = std::string(5000, 'x')}), 7), carl,
                   "+OK 12 octets\r\n\r\nno headers\r\n.\r\n"},
                  "K 23007 K 23004 23004", "F"),
        BatchCase(
            "SubjectPassDoubles", 0, 3,
            {Pop3({.Subject = "offer offer"}), Pop3({.Subject = "offer", .Body = "offer offer"})},
            "23006 K"),
        BatchCase("LifeTime", 2, 3,
                  {annOn("Mon, 01 Sep 2003 10:00:00 +0200"),
                   annOn("Fri, 05 Sep 2003 23:59:59 +0200"),
                   annOn("Sat, 06 Sep 2003 00:00:00 +0200"),
                   Pop3({.Subject = "4", .Date = "Mon, 01 Sep 2003", .Body = "cheap cheap"}),
                   annOn("sometime last week"), Pop3({.Subject = "6", .Date = ""})},
                  "L L K 23006L K K"),
        BatchCase("LifeTimeZeroExpiresToday", 2, 3,
                  {annOn("Wed, 10 Sep 2003"), annOn("Thu, 11 Sep 2003")}, "L K", "", 0, "", "", 0),
        // The key is sender, subject, size, date and body; the repeat reason
        // replaces the earlier one.
        BatchCase("RepeatsAtNormal", 2, 3,
                  {Pop3({.Body = "cheap cheap"}, 500), Pop3({.Subject = "other"}, 500),
                   Pop3({.Body = "cheap cheap"}, 500), Pop3({.Body = "other minutes"}, 500)},
                  "23009 K 23009 K"),
        BatchCase("VeryLowAllowsThreeCopies", 0, 3, {ann, ann, ann, carl, carl, carl, carl},
                  "K K K 23009 23009 23009 23009"),
        BatchCase("Level7RepeatsFromTwo", 7, 3, {ann, ann}, "23009 23009"),
        BatchCase("ActionFriend", 2, 1, {carl, carl2}, "K K", "", 0, carlAdded),
        BatchCase("ActionBlock", 2, 2, {carl, carl2}, "23004 23003", "", 0, "", carlAdded),
        BatchCase("ActionIgnore", 2, 3, {carl, carl2}, "23004 23004"),
        BatchCase("AskedFriendThenContentRules", 2, 0,
                  {carl, carl2, Pop3({.From = "carl@new.example", .Attachments = {{"x.exe"}}})},
                  "K K 23008", "F", 1, carlAdded),
        BatchCase("AskedBlock", 3, 0, {carl, carl2}, "23004 23003", "B", 1, "", carlAdded),
        BatchCase("AskedIgnoreIsAskedAgain", 1, 0, {carl, carl2}, "23004 23004", "II", 2),
        // Unanswered: kept despite an executable, its age and a repeat.
        BatchCase("NoAnswerKeepsMailAndWritesNothing", 2, 0, {old, old}, "K K", "", 2),
        BatchCase("NoWindowKeepsMail", 1, 0, {carl}, "K", "", 0, "", "", 5, true),
        BatchCase("SenderWithoutAt", 2, 1, {Pop3({.From = "postmaster"})}, "K", "", 0,
                  "   @postmaster\r\n"),
        // "*@domain" names a whole domain: a "*" sender is never added.
        BatchCase("StarSenderAnsweredNotAdded", 2, 0,
                  {star, Pop3({.From = "*@bank.example", .Subject = "2"})}, "K 23004", "FB", 2),
    };
}

class FilterBatch : public Filter, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(FilterBatch, JudgesBatch) {
    const BatchCase& c = GetParam();
    a.FilterLevel = c.Level;
    a.NewSenderAction = c.NewSenderAction;
    a.MailLifeTime = c.LifeTimeDays;
    std::deque<Answer> answers;
    for (const char* x = c.Answers; *x; ++x)
        answers.push_back(*x == 'F' ? Answer::Friend : *x == 'B' ? Answer::Block : Answer::Ignore);
    CScriptedPrompt prompt(answers);
    if (!c.NoWindow)
        a.NewSenderPrompt = &prompt;

    const std::vector<unsigned char> verdicts = a.JudgeBatch(c.Texts);

    EXPECT_EQ(a.MessageVerdicts, verdicts);
    const auto history = a.GetHistorySnapshot();
    size_t complete = 0;
    ASSERT_EQ(history.size(), verdicts.size());
    std::string fromVerdicts, fromHistory, fromFile; // repeats reach the file at once
    for (size_t i = 0; i < verdicts.size(); ++i) {
        fromVerdicts += Word(verdicts[i], history[i]->Reason);
        fromHistory += Word(history[i]->Status, history[i]->Reason);
    }
    for (const auto& entry : ParseHistoryText(f.dir.Read(kHistoryFileName), complete))
        fromFile += Word(entry.Status, entry.Reason);
    EXPECT_EQ(fromVerdicts + "|" + fromHistory + "|" + fromFile,
              c.Expected + " |" + c.Expected + " |" + c.Expected + " ");
    EXPECT_EQ(prompt.Asked.size(), c.Questions);
    EXPECT_EQ(f.dir.Read(kFriendListFileName), kFriendFile + c.FriendAdded);
    EXPECT_EQ(f.dir.Read(kBlockedListFileName), kBlockedFile + c.BlockedAdded);
}

INSTANTIATE_TEST_SUITE_P(Batches, FilterBatch, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// The question names the cut sender; a clear while it is open: repeat marks
// land on the entries appended after it, not on positions from the end.
TEST_F(Filter, PromptTextRecordAndRepeatMarksAcrossAClear) {
    struct CClearing : CScriptedPrompt {
        CClearing(CFilterApp& app) : CScriptedPrompt({Answer::Friend}), App(app) {}
        NewSenderAnswer AskNewSender(const NewSenderQuestion& question) override {
            App.ClearHistory();
            return CScriptedPrompt::AskNewSender(question);
        }
        CFilterApp& App;
    } prompt(a);
    a.NewSenderPrompt = &prompt;
    const std::string ann = Pop3({});
    a.JudgeBatch({ann, Pop3({.From = "\"Ann\" <a*b@new.example>", .Subject = "Hello"}), ann});

    EXPECT_EQ(prompt.Asked,
              std::vector<std::string>{
                  "a\r\nb@new.example  has sent you an e-mail, if you want to add him to your "
                  "friend list\npress Friend, if you want to add him to your block list press "
                  "Block. \nIf you want to igonre him press Ignore."});
    EXPECT_EQ(f.dir.Read(kFriendListFileName), kFriendFile + "   a*b@new.example\r\n");
    const auto history = a.GetHistorySnapshot();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0]->Date + "|" + history[0]->From + "|" + history[0]->Subject + "|" +
                  history[0]->Reason + "|" + history[1]->Reason,
              "Tue, 09 Sep 2003|a*b@new.example|Hello||23009");
    EXPECT_EQ(history[0]->Body.rfind("Message-ID:", 0), 0u);
}

// The address in angle brackets, else the first word with an "@"; the domain's
// case ignored, the local part's not; old-form entries still match. (The switch in the
// settings file: the settings tests.)
TEST_F(Filter, BareAddressMatching) {
    a.FriendAddresses.Append("Ann Old ann@old.example");
    a.FriendAddresses.Append("cy@Mixed.EXAMPLE");
    a.FilterLevel = 4;
    struct Row {
        const char *From, *Off, *On;
    } rows[] = {{"Ann Friend ann@mail.example", "23004", "K"},
                {"ann@mail.example (Ann)", "23004", "K"},
                {"Ann <ann@Mail.EXAMPLE>", "23004", "K"},
                {"Ann <ANN@mail.example>", "23004", "23004"},
                {"Dan <dan@Friends.Example>", "23004", "K"},
                {"Eve <eve@SPAM.example>", "23004", "23003"},
                {"ann@mail.example <eve@elsewhere.example>", "23004", "23004"},
                {"Ann Old ann@old.example", "K", "K"},
                {"Cy <cy@mixed.example>", "23004", "K"}};
    for (const Row& r : rows)
        for (const bool on : {false, true}) {
            SCOPED_TRACE(std::string(r.From) + (on ? " on" : " off"));
            a.MatchBareAddress = on;
            a.JudgeBatch({Pop3({.From = r.From})});
            const auto last = a.GetHistorySnapshot().back();
            EXPECT_EQ(last->Status ? "K" : last->Reason, on ? r.On : r.Off);
        }
}

// Two batches at once keep their own verdicts; texts are prepared in the order
// added, larger than the queue too; a score from other tables is counted again.
TEST_F(Filter, ConcurrentAndPreparedBatches) {
    EXPECT_TRUE(a.JudgeBatch({}).empty());
    EXPECT_FALSE(f.dir.Exists(kHistoryFileName));
    std::vector<std::string> friends, blocked;
    for (int i = 0; i < 30; ++i) {
        friends.push_back(Pop3({.Subject = "f" + std::to_string(i)}));
        blocked.push_back(Pop3({.From = "eve@spam.example", .Subject = std::to_string(i)}));
    }
    std::vector<unsigned char> fromFriends, fromBlocked;
    std::thread one([&] { fromFriends = a.JudgeBatch(friends); });
    fromBlocked = a.JudgeBatch(blocked);
    one.join();
    EXPECT_EQ(fromFriends, std::vector<unsigned char>(30, 1));
    EXPECT_EQ(fromBlocked, std::vector<unsigned char>(30, 0));
    a.ClearHistory();

    CMessagePreparer preparer(CurrentSpamScorer(a), false);
    const std::string large(CMessagePreparer::kMaxQueuedBytes, 'x');
    std::vector<unsigned char> expected;
    std::string subjects, judged;
    for (int i = 19; i >= 0; --i) // added last first: each lands at its own position
        preparer.Add(i, Pop3({.Subject = std::to_string(i),
                              .Body = i % 3 ? (i % 5 ? "fine" : large) : "cheap pills"}));
    for (int i = 0; i < 20; ++i) {
        expected.push_back(i % 3 ? 1 : 0);
        subjects += std::to_string(i) + ",";
    }
    std::vector<PreparedMessage> batch = preparer.Finish(20);
    const auto other = std::make_shared<const CSpamScorer>(std::vector<std::string>{"fine"},
                                                           std::vector<int>{1000});
    batch.push_back(PrepareMessage(Pop3({.Subject = "other tables", .Body = "fine"}), other));
    expected.push_back(1);
    EXPECT_EQ(a.JudgePreparedBatch(std::move(batch)), expected);
    for (const auto& entry : a.GetHistorySnapshot())
        judged += entry->Subject + ",";
    EXPECT_EQ(judged, subjects + "other tables,");

    // A gap: no batch; copies kept before count for the repeat limit, only the new one goes.
    CMessagePreparer gap(nullptr, false);
    gap.Add(1, Pop3({}));
    EXPECT_TRUE(gap.Finish(2).empty());
    std::vector<PreparedMessage> again;
    again.push_back(PrepareMessage(Pop3({.Subject = "kept before"}), nullptr));
    const JudgedMessage kept{"7", "", TextDigest(again[0].Key), "", ""};
    EXPECT_EQ(a.ProcessFetchedMessages(std::move(again), 1, {kept}).Verdicts,
              std::vector<unsigned char>{0});
    EXPECT_EQ(a.GetHistorySnapshot().back()->Reason, "23009");
}
} // namespace
