// Judging with the decoded mail and the learned score: what the rules read
// with DecodeMail, what each verdict teaches, the new-sender choice that the
// score decides, corrections from the history and training from a folder.
#include "app/core/learn_from_mail.h"
#include "app/core/learned_corrections.h"
#include "app_fixture.h"
#include "filter/levels.h"
#include "filter/message_preparer.h"
#include "filter_fixture.h"

#include <gtest/gtest.h>

namespace {
using namespace filter_test;
using Answer = NewSenderAnswer;

const std::string kFriends = "   ann@mail.example\r\n";
const std::string kBlocked = "   eve@spam.example\r\n";

// A base64 HTML mail, its subject an encoded word; a Resent-From line comes
// before its From line, which the cut of the raw text takes for the sender.
std::string EncodedMail(const std::string& from) {
    return "+OK 1 octets\r\nResent-From: eve@spam.example\r\nFrom: " + from +
           "\r\nSubject: =?UTF-8?B?Q0hFQVAgcGlsbHM=?=\r\nDate: Tue, 09 Sep 2003 14:02:11 "
           "+0200\r\nMessage-ID: <1@x>\r\nMIME-Version: 1.0\r\nContent-Type: text/html; "
           "charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
           "PGI+Q2hlYXA8L2I+IE9GRkVSIG9mIHBpbGxzPC9wPg==\r\n.\r\n";
}

std::vector<std::string> Vocabulary(const std::string& stem, int count) {
    std::vector<std::string> words;
    for (int i = 0; i < count; ++i)
        words.push_back(stem + static_cast<char>('a' + i % 26) + std::to_string(i / 26));
    return words;
}

std::string Words(const std::vector<std::string>& words, int from, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += words[static_cast<size_t>(from + i) % words.size()] + " ";
    return text;
}

class LearnedJudging : public ::testing::Test {
  protected:
    void SetUp() override {
        a.InstallPath = f.dir.Path();
        f.dir.Write(kFriendListFileName, kFriends);
        f.dir.Write(kBlockedListFileName, kBlocked);
        a.LoadSenderList(nullptr, kFriendListFileName);
        a.LoadSenderList(nullptr, kBlockedListFileName);
        a.SpamWordList.Set({"cheap>3", "offer>2", "pills>5"});
        a.BuildSpamWordTables();
        a.Clock = [] { return LocalDateTime{2003, 9, 10, 8, 30, 0}; };
        a.FilterLevel = 2;
        a.NewSenderPrompt = &prompt;
    }
    std::string Verdict() const {
        const auto last = a.GetHistorySnapshot().back();
        return last->Status ? "K" : last->Reason;
    }
    // Trains the score on 40 mails of each kind from two vocabularies.
    void Train() {
        for (int i = 0; i < 40; ++i) {
            a.JudgeBatch({Pop3({.From = "eve@spam.example", .Body = Words(spam, i * 7, 30)})});
            a.JudgeBatch({Pop3({.Body = Words(ham, i * 7, 30)})});
        }
    }
    CAppFixture f;
    CFilterApp& a = *f.app;
    CScriptedPrompt prompt{{}};
    const std::vector<std::string> spam = Vocabulary("prize", 60), ham = Vocabulary("minutes", 60);
};

// Off, the rules read the cuts: the Resent-From sender, no expression in the
// encoded text. On: the From field, and the expressions in the decoded
// subject and text whatever their case. The record keeps the cuts either way.
TEST_F(LearnedJudging, DecodeMailDecidesWhatTheRulesRead) {
    a.JudgeBatch({EncodedMail("Ann <ann@mail.example>")});
    EXPECT_EQ(Verdict(), "23003");
    a.DecodeMail = true;
    a.BuildSpamWordTables();
    a.JudgeBatch({EncodedMail("Ann <ann@mail.example>")});
    EXPECT_EQ(Verdict(), "23006");
    EXPECT_EQ(a.GetHistorySnapshot().back()->From, "eve@spam.example");
    EXPECT_EQ(a.GetHistorySnapshot().back()->Subject, "=?UTF-8?B?Q0hFQVAgcGlsbHM=?=");
    a.SpamWordList.Set({"nowhere>1"});
    a.BuildSpamWordTables();
    a.JudgeBatch({EncodedMail("Ann <ann@mail.example>")});
    EXPECT_EQ(Verdict(), "K");
}

// Only the user's own decisions teach, as the verdict finally stood; a mail
// judged again at a later check is not counted twice; a dry run teaches nothing.
TEST_F(LearnedJudging, WhatEachVerdictTeaches) {
    CTokenClassifier& learned = a.LearnedScore.Classifier();
    prompt.Answers = {Answer::Block, Answer::Ignore, Answer::Friend, Answer::NoAnswer};
    const std::string friendMail = Pop3({.Body = "see you at noon"});
    a.JudgeBatch({friendMail, Pop3({.From = "eve@spam.example"}), Pop3({.From = "x@new.example"}),
                  Pop3({.From = "y@new.example"}), Pop3({.From = "z@new.example", .Body = "fresh"}),
                  Pop3({.From = "q@new.example"}), Pop3({.Body = "cheap offer of pills"}),
                  Pop3({.Date = "Tue, 09 Sep 2000 14:02:11 +0200"})});
    EXPECT_EQ(learned.SpamMails(), 3u); // blocked, Block, Ignore
    EXPECT_EQ(learned.HamMails(), 2u);  // the friend's kept mail, the new friend's
    const std::string twice = Pop3({.Body = "twice"});
    a.JudgeBatch({friendMail, twice, twice}); // repeats deleted: nothing new
    EXPECT_EQ(learned.HamMails(), 2u);
    std::vector<PreparedMessage> dry;
    dry.push_back(PrepareMessage(Pop3({.Body = "dry"}), nullptr));
    a.ProcessFetchedMessages(std::move(dry), 1, {}, true);
    EXPECT_EQ(learned.HamMails() + learned.SpamMails(), 5u);
}

// Clear spam is ignored and clear ham made a friend without a question, and
// neither teaches; the unsure are asked with the mail shown; untrained, all are.
TEST_F(LearnedJudging, DecideByLearnedAsksOnlyWhenUnsure) {
    a.NewSenderAction = kNewSenderDecideByLearned;
    a.JudgeBatch({Pop3({.From = "new@one.example",
                        .Subject = "Hi there",
                        .Body = "First line\r\n\r\nsecond line\r\n"})});
    ASSERT_EQ(prompt.Questions.size(), 1u);
    EXPECT_EQ(prompt.Questions[0].Subject, "Hi there");
    EXPECT_EQ(prompt.Questions[0].FirstLines, "First line\nsecond line");
    EXPECT_EQ(prompt.Questions[0].Guess, "");

    Train();
    CTokenClassifier& learned = a.LearnedScore.Classifier();
    ASSERT_TRUE(learned.Trained());
    const uint32_t spamMails = learned.SpamMails(), hamMails = learned.HamMails();
    a.JudgeBatch({Pop3({.From = "s@other.example", .Body = Words(spam, 3, 30)})});
    EXPECT_EQ(Verdict(), kReasonNotFriend);
    a.JudgeBatch({Pop3({.From = "h@other.example", .Body = Words(ham, 5, 30)})});
    EXPECT_EQ(Verdict(), "K");
    EXPECT_NE(f.dir.Read(kFriendListFileName).find("h@other.example"), std::string::npos);
    EXPECT_EQ(learned.SpamMails(), spamMails);
    EXPECT_EQ(learned.HamMails(), hamMails);
    a.JudgeBatch({Pop3({.From = "u@other.example", .Body = Words(spam, 0, 8) + Words(ham, 0, 8)})});
    ASSERT_EQ(prompt.Questions.size(), 2u);
    EXPECT_EQ(prompt.Questions[1].Guess, "Not sure");
}

// "This is not spam" on a row the check learned as spam moves it over, and
// the file is written; training from a folder learns each mail once.
TEST_F(LearnedJudging, CorrectionsAndTrainingFromAFolder) {
    // A damaged file: empty, said once, set aside; judging goes on.
    const std::string tokens = f.dir.File(kLearnedTokensFileName);
    f.dir.Write(kLearnedTokensFileName, "Drossgate learned tokens 1\nmails x\n");
    std::vector<std::string> reports;
    a.LearnedScore.StartLoad(tokens, [&](const std::string& why) { reports.push_back(why); });
    CTokenClassifier& learned = a.LearnedScore.Classifier();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(f.dir.Read(std::string(kLearnedTokensFileName) + ".damaged"),
              "Drossgate learned tokens 1\nmails x\n");
    a.JudgeBatch({Pop3({.From = "eve@spam.example", .Body = "a mail she meant well"})});
    ASSERT_EQ(learned.SpamMails(), 1u);
    std::string status;
    EXPECT_EQ(CorrectLearnedScore(a, *a.GetHistorySnapshot().back(), "", false, status), 0);
    EXPECT_EQ(learned.SpamMails(), 0u);
    EXPECT_EQ(learned.HamMails(), 1u);
    CTokenClassifier reread;
    EXPECT_EQ(reread.Load(tokens), 0);
    EXPECT_EQ(reread.HamMails(), 1u);

    f.dir.Write("folder/one.eml", MessageText({.Body = "one"}));
    f.dir.Write("folder/two.eml", MessageText({.Body = "two"}));
    std::vector<std::string> progress;
    const std::string request = LearnRequestLine(true, f.dir.File("folder"));
    auto record = [&](const std::string& line) { progress.push_back(line); };
    EXPECT_EQ(HandleLearnRequest(a, request, record), "ok Learned 2 mails as spam.");
    EXPECT_EQ(progress.back(), "progress 2 2");
    EXPECT_EQ(HandleLearnRequest(a, request, record), "ok Learned 2 mails as spam.");
    EXPECT_EQ(learned.SpamMails(), 2u);
    EXPECT_EQ(HandleLearnRequest(a, LearnRequestLine(false, f.dir.File("none")), record)
                  .rfind("error No mail could be read at ", 0),
              0u);
    EXPECT_EQ(HandleLearnRequest(a, "learn maybe /x", record), "error bad learn request");
}

} // namespace
