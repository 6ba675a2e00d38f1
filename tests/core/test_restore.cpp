// Getting mail back from the recycle bin: the failures of a restore against
// a scripted server, the matching of copies to history records, the
// companion's request and the blocked-sender lookup.
#include "app/core/blocked_sender.h"
#include "app/core/restore.h"
#include "app/core/restore_request.h"
#include "app/core/restore_texts.h"
#include "app_fixture.h"
#include "fake_server.h"
#include "store/english_texts.h"
#include "store/judged_memory.h"

#include <sys/stat.h>

namespace {

BinnedMessage Copy(char type, std::string from, std::string subject, std::string text) {
    BinnedMessage copy;
    copy.Type = type;
    copy.Account = JudgedAccountKey(type, "127.0.0.1", "joe");
    copy.Flags = "\\Seen \\Recent \\Flagged";
    copy.InternalDate = "17-Jul-1996 02:44:25 -0700";
    copy.Date = "Tue, 09 Sep 2003";
    copy.From = std::move(from);
    copy.Subject = std::move(subject);
    copy.Reason = "blocked";
    copy.Text = std::move(text);
    return copy;
}

TEST(Restore, EveryFailureSaysWhyAndKeepsTheCopy) {
    const std::string text = "Subject: hi\r\n\r\n+ not a continuation\r\nr002 OK not a reply\r\n";
    const std::string append =
        "r002 APPEND INBOX (\\Seen \\Flagged) \"17-Jul-1996 02:44:25 -0700\" {" +
        std::to_string(text.size()) + "}\r\n";
    const std::vector<FakeStep> login = {S("* OK [CAPABILITY IMAP4rev1] ready\r\n"),
                                         C("r001 LOGIN joe pw\r\n"), S("r001 OK in\r\n"),
                                         C(append)};
    const std::vector<FakeStep> logout = {C("r003 LOGOUT\r\n"), S("* BYE\r\nr003 OK\r\n")};
    const std::string live = "I|Work|127.0.0.1|joe|pw\r\n";
    struct Case {
        const char* Name;
        std::string Accounts;
        std::vector<FakeStep> Script;
        bool Damage;
        int Result, TextId;
        const char* ServerSaid;
    } cases[] = {
        {"too big",
         live,
         {S("r002 NO [TOOBIG] Message too large\r\n")},
         false,
         kRestoreTooLarge,
         kTextAppendTooLarge,
         "[TOOBIG] Message too large"},
        {"bad",
         live,
         {S("+ go\r\n"), C(text + "\r\n"), S("r002 BAD what\r\n")},
         false,
         kRestoreRefused,
         kTextAppendRefused,
         "what"},
        {"dropped",
         live,
         {S("+ go\r\n"), CloseNow()},
         false,
         kRestoreNoConnection,
         kTextRestoreNoConnection,
         ""},
        {"deleted account",
         "-->" + live.substr(0, live.size() - 2) + "<--\r\n",
         {},
         false,
         kRestoreNoAccount,
         kTextAccountGone,
         ""},
        {"no password, no prompt",
         "I|Work|127.0.0.1|joe|*\r\n",
         {},
         false,
         kRestoreNoPassword,
         kTextRestoreNoPassword,
         ""},
        {"damaged", live, {}, true, kRestoreDamaged, kTextCopyDamaged, ""},
        {"done",
         live,
         {S("+ go\r\n"), C(text + "\r\n"), S("r002 OK [APPENDUID 1 5] in\r\n")},
         false,
         kRestoreDone,
         kTextRestored,
         ""},
    };
    for (Case& c : cases) {
        CAppFixture f;
        ASSERT_TRUE(f.Start());
        std::vector<FakeStep> script = c.Script.empty() ? c.Script : login;
        script.insert(script.end(), c.Script.begin(), c.Script.end());
        if (!c.Script.empty() && c.Script.back().What != FakeKind::Close)
            script.insert(script.end(), logout.begin(), logout.end());
        CFakeServer server(script);
        f.app->ImapPort = server.Port();
        f.app->ServerTimeoutMsOverride = 2000;
        f.dir.Write("ZRKList.zrk", c.Accounts);
        BinnedMessage copy = Copy('I', "a@b.example", "hi", text);
        std::string error, status;
        ASSERT_TRUE(WriteBinnedMessage(RecycleBinDir(*f.app), copy, error)) << error;
        if (c.Damage)
            std::ofstream(RecycleBinDir(*f.app) + "/cur/" + copy.FileName, std::ios::app) << "x";
        EXPECT_EQ(RestoreBinnedCopy(*f.app, copy.FileName, status), c.Result) << c.Name;
        EXPECT_NE(status.find(EnglishDefault(c.TextId)), std::string::npos) << c.Name << status;
        const bool failed = c.Result != kRestoreDone;
        EXPECT_EQ(status.find(EnglishDefault(kTextCopyStays)) != std::string::npos, failed)
            << c.Name;
        EXPECT_NE(status.find(c.ServerSaid), std::string::npos) << c.Name << status;
        BinnedMessage kept;
        EXPECT_EQ(ReadBinnedMessage(RecycleBinDir(*f.app), copy.FileName, kept), failed) << c.Name;
        if (!c.Script.empty()) {
            EXPECT_EQ(server.Received(), ClientSide(script)) << c.Name;
        }
    }
}

// Records read back from the file hold "!" for "|"; identical records take
// the copies in order; the companion finds, lists and saves them.
TEST(Restore, CopiesMatchRecordsAsStoredAndTheCompanionListsFindsAndSaves) {
    CAppFixture f;
    ASSERT_TRUE(f.Start());
    CFilterApp& app = *f.app;
    auto entry = [&](std::string from, std::string subject, std::string reason) {
        app.AppendHistoryEntry({"Tue, 09 Sep 2003", std::move(from), std::move(subject), 0,
                                std::move(reason), "body"});
    };
    entry("a|b@x.example", "Offer", "blocked");
    entry("a|b@x.example", "Offer", "blocked");
    entry("a|b@x.example", "Offer", ""); // kept: no copy of it exists
    entry("c@x.example", "Other news", "blocked");
    std::vector<BinnedMessage> written = {Copy('I', "a!b@x.example", "Offer", "first\r\n"),
                                          Copy('I', "a!b@x.example", "Offer", "second\r\n"),
                                          Copy('P', "c@x.example", "Other news", "pop\r\n")};
    std::string error;
    for (BinnedMessage& copy : written)
        ASSERT_TRUE(WriteBinnedMessage(RecycleBinDir(app), copy, error)) << error;
    EXPECT_EQ(MatchBinnedCopies(app.GetHistorySnapshot(), ListRecycleBin(RecycleBinDir(app))),
              (std::vector<std::string>{written[0].FileName, written[1].FileName, "",
                                        written[2].FileName}));

    const std::string out = f.dir.File("saved.eml");
    const struct {
        std::vector<std::string> Fields;
        std::string Reply;
    } requests[] = {
        {{"list", "OTHER"},
         "ok 4  Tue, 09 Sep 2003  c@x.example  Other news  "
         "P|127.0.0.1|joe (POP3)"},
        {{"search", "offer"}, "error " + EnglishDefault(kTextSeveralMatch) + "\\n1  "},
        {{"search", "news"}, "error " + EnglishDefault(kTextPop3CannotRestore)},
        {{"row", "3"}, "error " + EnglishDefault(kTextNoMatch)},
        {{"row", "2", out}, "ok " + EnglishDefault(kTextSaved)},
    };
    for (const auto& r : requests) {
        const std::string reply = HandleRestoreRequest(app, RestoreRequestLine(r.Fields));
        EXPECT_TRUE(reply.starts_with(r.Reply)) << reply;
    }
    EXPECT_EQ(f.dir.Read("saved.eml"), "second\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ListRecycleBin(RecycleBinDir(app)).size(), 3u) << "a saved copy stays";
}

TEST(Restore, WholeDomainEntriesBlockAndUnblockingTakesThemOffFileAndFilter) {
    CAppFixture f;
    ASSERT_TRUE(f.Start());
    CFilterApp& app = *f.app;
    f.dir.Write("Blocked List.zrk", "   *@spam.example\r\n   bob@x.example\r\n");
    app.LoadSenderList(nullptr, kBlockedListFileName);
    for (const char* sender : {"joe@spam.example", "bob@x.example"})
        EXPECT_TRUE(IsSenderBlocked(app, sender)) << sender;
    EXPECT_FALSE(IsSenderBlocked(app, "ann@x.example"));
    EXPECT_EQ(UnblockSender(app, "joe@spam.example"), 1);
    EXPECT_FALSE(IsSenderBlocked(app, "joe@spam.example"));
    EXPECT_FALSE(app.BlockedDomains.Contains("spam.example"));
    EXPECT_TRUE(IsSenderBlocked(app, "bob@x.example"));
    EXPECT_EQ(f.dir.Read("Blocked List.zrk"), "|*|*@spam.example\r\n   bob@x.example\r\n");
}

} // namespace
