// SIGKILL at random moments while the data files are written: each file must
// hold a state before or after one operation and load without losing a record.
#include "app_fixture.h"
#include "filter/history_format.h"
#include "platform/text_file.h"
#include "store/judged_memory.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>

namespace {
using Step = std::function<void(CFilterApp&)>;

struct Scenario {
    const char* Name;
    std::vector<std::string> Files;
    std::vector<Step> Steps; // one file operation each: every result is a state to accept
};

// One scenario per data file kind, with each kind of write it has.
std::vector<Scenario> Scenarios() {
    std::vector<Scenario> all = {{"History", {"history.zrk"}, {}},
                                 {"Settings", {"Settings.ini"}, {}},
                                 {"SenderLists", {"Friend List.zrk", "Blocked List.zrk"}, {}},
                                 {"Accounts", {"ZRKList.zrk"}, {}},
                                 {"JudgedMemory", {"judged.txt"}, {}}};
    Scenario &history = all[0], &settings = all[1], &senders = all[2], &accounts = all[3];
    for (int i = 0; i < 30; ++i) {
        const std::string n = std::to_string(i);
        all[4].Steps.push_back([i](CFilterApp& app) {
            JudgedMemory memory{"I|s|u", "1", {}};
            for (int k = i % 7; k < 40 * i; k += 3)
                memory.Kept.push_back({std::to_string(k), "Thu, 18 Sep 2003", "k", "a@x", "s"});
            WriteJudgedMemory(app.DataFilePath("judged.txt"), memory);
        });
        history.Steps.push_back([i](CFilterApp& app) {
            const HistoryEntry entry("Thu, 18 Sep 2003", "s" + std::to_string(i) + "@x", "subject",
                                     1, "", std::string(200 + 37 * i, 'b') + "\r\nend");
            app.AppendHistoryEntry(entry);
            if (i % 10 == 9) // an earlier entry changes: a whole rewrite
                app.ReplaceHistoryEntry(0, entry);
            app.WriteHistoryFile(HistoryWriteMode::Normal);
        });
        if (i < 15)
            settings.Steps.push_back([i](CFilterApp& app) {
                app.SpamWordList.Set(
                    std::vector<std::string>(20 + i, "w" + std::to_string(i) + ">1"));
                app.FilterLevel = i % 5;
                app.SaveAllSettings();
            });
        senders.Steps.push_back([n](CFilterApp& app) {
            app.AppendSender(kFriendListFileName, "n" + n, "d.example");
            app.AppendSender(kBlockedListFileName, "*", "spam" + n + ".example");
        });
        accounts.Steps.push_back([i, n](CFilterApp& app) {
            app.AppendAccountRecord(i % 2 == 0, "acct" + n, "srv.example", "joe", "pw" + n);
        });
        if (i % 3 == 1) {
            senders.Steps.push_back([](CFilterApp& app) {
                std::vector<CFilterApp::SenderRow> rows;
                app.LoadSenderList(&rows, kFriendListFileName);
                app.MarkSenderDeleted(kFriendListFileName, rows.back().Offset);
            });
            accounts.Steps.push_back([](CFilterApp& app) {
                std::vector<CFilterApp::AccountRow> rows;
                std::vector<std::string> names;
                app.LoadAccountList(&rows, names);
                app.MarkAccountRecordDead(rows.front().Offset);
            });
        }
        if (i % 10 == 9) // the account file's compaction is the same code
            senders.Steps.push_back([](CFilterApp& app) {
                app.CompactDataFile(kFriendListFileName, "|*|");
                app.CompactDataFile(kBlockedListFileName, "|*|");
            });
    }
    return all;
}

std::string ReadOrMissing(const CTempDir& dir, const std::string& name) {
    return dir.Exists(name) ? dir.Read(name) : std::string("<missing>");
}

// A kill between a dead mark's two writes leaves "-->" without "<--", which
// every reader treats as dead: complete such lines.
std::string CompleteDeadMarks(std::string text) {
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        if (text.compare(start, 3, "-->") == 0 && end >= start + 8 && text[end - 1] == '\r')
            text.replace(end - 4, 3, "<--");
    }
    return text;
}

class Durability : public ::testing::TestWithParam<size_t> {};

TEST_P(Durability, EveryKillLeavesOldOrNewFilesThatLoadCompletely) {
    const Scenario s = Scenarios()[GetParam()];
    // Every state of every file, from a run in this process, which also
    // times the span the kills are spread over.
    std::map<std::string, std::set<std::string>> states;
    const auto begin = std::chrono::steady_clock::now();
    {
        CAppFixture f;
        ASSERT_TRUE(f.Start());
        for (size_t step = 0; step <= s.Steps.size(); ++step) {
            for (const auto& file : s.Files)
                states[file].insert(ReadOrMissing(f.dir, file));
            if (step < s.Steps.size())
                s.Steps[step](*f.app);
        }
    }
    const auto duration = std::chrono::steady_clock::now() - begin;
    std::mt19937 random(static_cast<unsigned>(GetParam()) * 7919u + 17u);
    std::uniform_int_distribution<long long> delay(0, duration.count());
    for (int kill = 0; kill < 60; ++kill) {
        CAppFixture f;
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int code = 3;
            {
                CFilterApp app; // ended before _exit: its threads are joined
                if (app.InitInstance()) {
                    for (const auto& step : s.Steps)
                        step(app);
                    code = 0;
                }
            }
            _exit(code);
        }
        std::this_thread::sleep_for(decltype(duration)(delay(random))); // the kill's moment
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0) << "the steps failed";

        for (const auto& file : s.Files) {
            std::string content = ReadOrMissing(f.dir, file);
            const auto& allowed = states.at(file);
            bool ok = allowed.count(content) || allowed.count(CompleteDeadMarks(content));
            if (!ok && file == "history.zrk") { // a torn append: the complete records before it
                size_t complete = 0;
                ParseHistoryText(content, complete);
                ok = allowed.count(content.substr(0, complete)) > 0;
            }
            EXPECT_TRUE(ok) << s.Name << ": kill " << kill << " left " << file
                            << " in no known state (" << content.size() << " bytes)";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, Durability, ::testing::Range<size_t>(0, 5),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::string(Scenarios()[info.param].Name);
                         });

// A data file through a link: the target takes the write; a link that leads
// nowhere is a failed write that creates nothing. A read error ("") keeps the
// old text whole: no rewrite, an append (a history loaded part-way) goes after it.
TEST(DataFiles, LinksAndReadErrors) {
    const std::pair<std::string, Step> writers[] = {
        {"history.zrk",
         [](CFilterApp& app) {
             app.AppendHistoryEntry(HistoryEntry("d", "a@x", "s", 1, "", "b"));
             app.WriteHistoryFile(HistoryWriteMode::Normal);
         }},
        {"Friend List.zrk",
         [](CFilterApp& app) { app.AppendSender(kFriendListFileName, "ann", "x.org"); }},
        {"Blocked List.zrk",
         [](CFilterApp& app) { app.CompactDataFile(kBlockedListFileName, "|*|"); }},
        {"Settings.ini", [](CFilterApp& app) { app.SaveAllSettings(); }}};
    const std::string old = "|*|gone@x.org\r\n[SETTINGS]\r\n";
    for (const auto& [name, write] : writers)
        for (const std::string link : {"real/file", "real/missing", "self", ""}) {
            CAppFixture f;
            ASSERT_TRUE(f.Start());
            f.app->GetHistorySize(); // the load has ended
            f.dir.Write(link.empty() ? name : "real/file", old);
            if (!link.empty()) {
                std::filesystem::remove(f.dir.File(name));
                std::filesystem::create_symlink(link == "self" ? name : f.dir.File(link),
                                                f.dir.File(name));
            } else
                gTextFileReadFails = [](int64_t position) { return position > 0; };
            if (name == "history.zrk")
                f.app->LoadHistoryFile();
            write(*f.app);
            gTextFileReadFails = nullptr;
            const std::string now = f.dir.Read(link.empty() ? name : "real/file"), at = name + link;
            EXPECT_EQ(std::filesystem::is_symlink(f.dir.File(name)), !link.empty()) << at;
            EXPECT_FALSE(f.dir.Exists("real/missing")) << at;
            if (link.empty())
                EXPECT_TRUE(now.compare(0, old.size(), old) == 0 &&
                            (now.size() > old.size()) ==
                                (name == "history.zrk" || name == "Friend List.zrk"))
                    << at;
            else
                EXPECT_EQ(now != old, link == "real/file") << at;
        }
}
} // namespace
