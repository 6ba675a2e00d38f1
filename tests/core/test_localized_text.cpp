// Text lookup, window localisation and line breaks.
#include "app_fixture.h"
#include "platform/profile.h"
#include "store/english_texts.h"
#include "store/localized_text.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {
// Lookups read registry and file again each time; a dialog takes only the captions the
// file defines, by consecutive ids.
TEST(LocalizedText, FileValuesWinAndEveryLookupReadsRegistryAndFileAgain) {
    CAppFixture f; // no "Language" value: the defaults
    ASSERT_TRUE(f.Start());
    CFilterApp& a = *f.app;
    EXPECT_EQ(a.GetLocalizedText(17016, "This is not a valid email"), "This is not a valid email");
    EXPECT_EQ(a.GetLocalizedText(23003, ""), "");

    f.dir.Write("Language/Test.ini", "[Tarnwick]\r\n17016=Keine gueltige Adresse\r\n23003=\r\n1=" +
                                         std::string(1500, 'a') +
                                         "\r\n8000=Verlauf\r\n8002=Vor\r\n");
    f.dir.Write("registry.ini", RegistryText(f.dir.Path(), "Language=Test\r\n"));
    EXPECT_EQ(a.GetLocalizedText(17016, "x"), "Keine gueltige Adresse");
    EXPECT_EQ(a.GetLanguageNameValue(), "Test");
    EXPECT_EQ(a.GetLocalizedText(23003, "dflt"), ""); // empty counts as present
    EXPECT_EQ(a.GetLocalizedText(17017, "Invalid name"), "Invalid name");
    EXPECT_EQ(a.GetLocalizedText(1, ""), std::string(999, 'a'));
    struct : ILocalizableWindow {
        std::string GetWindowTitle() const override { return title; }
        void SetWindowTitle(const std::string& t) override { title = t; }
        std::string GetControlText(int id) const override { return controls.at(id); }
        void SetControlText(int id, const std::string& t) override { controls[id] = t; }
        std::string title = "Mail History";
        std::map<int, std::string> controls{{1005, "Show events"}, {1056, "Before"}};
    } w;
    a.LocalizeDialog(w, {w.title, w.controls[1005], w.controls[1056]}, 8000,
                     {kTitlePseudoId, 1005, 1056}, 3);
    EXPECT_EQ(w.title, "Verlauf");
    EXPECT_EQ(w.controls, (std::map<int, std::string>{{1005, "Show events"}, {1056, "Vor"}}));

    f.dir.Write("Language/Test.ini", "[Tarnwick]\r\n17016=Changed and longer than before\r\n");
    f.dir.Write("registry.ini", RegistryText(f.dir.Path())); // the last name read is kept
    EXPECT_EQ(a.GetLocalizedText(17016, "x"), "Changed and longer than before");

    std::string text = "a*b**c***", empty; // pairs read from the left: "***" is a star, a break
    ExpandLineBreaks(text);
    ExpandLineBreaks(empty);
    EXPECT_EQ(text + empty, "a\r\nb*c*\r\n");
}

// The shipped English file holds exactly the table's texts, a line feed written "*".
TEST(EnglishTexts, ShippedLanguageFileMatchesTheTable) {
    const std::string path = std::string(DROSSGATE_RESOURCES) + "/Language/English.ini";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::set<int> fileIds, tableIds;
    for (std::string line; std::getline(in, line);)
        if (size_t eq = line.find('='); eq != std::string::npos && line[0] != ';')
            fileIds.insert(std::stoi(line.substr(0, eq)));
    for (const EnglishText& t : EnglishTexts()) {
        EXPECT_TRUE(tableIds.insert(t.Id).second) << t.Id;
        std::string expected = t.Text;
        std::replace(expected.begin(), expected.end(), '\n', '*');
        EXPECT_EQ(GetPrivateProfileStringA(kLanguageSection, std::to_string(t.Id), "?",
                                           kLanguageBufferSize, path),
                  expected);
        EXPECT_EQ(EnglishDefault(t.Id), t.FileOnly ? "" : t.Text);
    }
    EXPECT_EQ(fileIds, tableIds);
}
} // namespace
