// The memory of judged messages: what survives a round trip, and that
// anything damaged or foreign makes messages new again, never judged.
#include "store/judged_memory.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {
std::vector<std::string> Ids(const std::vector<JudgedMessage>& kept) {
    std::vector<std::string> ids;
    for (const JudgedMessage& m : kept)
        ids.push_back(m.Id);
    return ids;
}

TEST(JudgedMemory, RoundTripAndEveryDamageForgets) {
    CTempDir dir;
    const std::string account = JudgedAccountKey('I', "imap.example", "joe");
    const std::string path = dir.File(JudgedMemoryFileName('I', "imap.example", "joe"));
    JudgedMemory memory{account,
                        "77",
                        {{"5", "Thu, 18 Sep 2003", "k5", "a@x", "tab\there"},
                         {"9", "d9", "k9", "b@x", "line\r\nbreak"},
                         {"11", "", "k11", "", ""}}}; // no date, sender or subject
    ASSERT_TRUE(WriteJudgedMemory(path, memory));
    JudgedMemory back = ReadJudgedMemory(path, account);
    EXPECT_EQ(back.Validity, "77");
    ASSERT_EQ(Ids(back.Kept), (std::vector<std::string>{"5", "9", "11"}));
    EXPECT_EQ(back.Kept[0].Subject + back.Kept[1].Subject, "tab here"
                                                           "line  break");
    EXPECT_EQ(back.Kept[0].Date + back.Kept[1].KeyDigest, "Thu, 18 Sep 2003k9");

    const std::string text = dir.Read(std::filesystem::path(path).filename());
    struct {
        const char* Case;
        std::string Text, Account;
        std::vector<std::string> Kept;
    } cases[] = {
        {"a changed id",
         std::string(text).replace(text.find("\n5\t") + 1, 1, "6"),
         account,
         {"9", "11"}},
        {"a cut last line", text.substr(0, text.size() - 3), account, {"5", "9"}},
        {"another account", text, JudgedAccountKey('P', "imap.example", "joe"), {}},
        {"a damaged head", "X" + text, account, {}},
        {"no file", "", account, {}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path);
        if (!c.Text.empty())
            dir.Write(std::filesystem::path(path).filename(), c.Text);
        EXPECT_EQ(Ids(ReadJudgedMemory(path, c.Account).Kept), c.Kept) << c.Case;
    }
    EXPECT_NE(JudgedMemoryFileName('I', "a/b", "u"), JudgedMemoryFileName('I', "a_b", "u"));
    EXPECT_EQ(JudgedMemoryFileName('I', "../x", "u").find('/'), std::string::npos);
}

TEST(JudgedMemory, PlanJudgesWhatIsNewAndForgetsWhatIsGone) {
    const JudgedMemory memory{"I|s|u", "7", {{"1", "", "", "", ""}, {"3", "", "", "", ""}}};
    const std::vector<std::string> server = {"2", "3", "4"};
    JudgedPlan plan = PlanJudging(memory, "7", server);
    EXPECT_EQ(plan.New, (std::vector<size_t>{0, 2}));
    EXPECT_EQ(plan.RememberedAt, (std::vector<size_t>{1}));
    EXPECT_EQ(Ids(plan.Remembered), (std::vector<std::string>{"3"}));
    // Another validity: the same numbers name other messages.
    EXPECT_EQ(PlanJudging(memory, "8", server).New, (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(HasDuplicateIds({"a", "b", "a"}));
    EXPECT_FALSE(HasDuplicateIds({"a", "b"}));
}
} // namespace
