// Text lookup, window localisation and line breaks.
#include "app_fixture.h"
#include "platform/profile.h"
#include "store/english_texts.h"
#include "store/localized_text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
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

const std::filesystem::path kLanguages = std::filesystem::path(DROSSGATE_RESOURCES) / "Language";

// The keys of a shipped language file, comments left out.
std::set<std::string> KeysOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::set<std::string> keys;
    for (std::string line; std::getline(in, line);)
        if (size_t eq = line.find('='); eq != std::string::npos && line[0] != ';')
            keys.insert(line.substr(0, eq));
    return keys;
}

// The shipped English file holds exactly the table's texts, a line feed written "*".
TEST(EnglishTexts, ShippedLanguageFileMatchesTheTable) {
    const std::string path = (kLanguages / "English.ini").string();
    std::set<std::string> tableIds;
    for (const EnglishText& t : EnglishTexts()) {
        EXPECT_TRUE(tableIds.insert(std::to_string(t.Id)).second) << t.Id;
        std::string expected = t.Text;
        std::replace(expected.begin(), expected.end(), '\n', '*');
        EXPECT_EQ(GetPrivateProfileStringA(kLanguageSection, std::to_string(t.Id), "?",
                                           kLanguageBufferSize, path),
                  expected);
        EXPECT_EQ(EnglishDefault(t.Id), t.FileOnly ? "" : t.Text);
    }
    EXPECT_EQ(KeysOf(path), tableIds);
}

// The marks a translation keeps: %N placeholders, single "*" line breaks (pairs
// read from the left, as ExpandLineBreaks does) and a leading blank.
struct TextMarks {
    std::set<std::string> Placeholders;
    int Breaks = 0;
    bool LeadingBlank = false;
};

TextMarks MarksOf(const std::string& v) {
    TextMarks m{{}, 0, v.starts_with(' ')};
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '*') {
            if (i + 1 < v.size() && v[i + 1] == '*')
                ++i;
            else
                ++m.Breaks;
        } else if (v[i] == '%') {
            size_t end = i + 1;
            while (end < v.size() && std::isdigit(static_cast<unsigned char>(v[end])))
                ++end;
            if (end > i + 1)
                m.Placeholders.insert(v.substr(i, end - i));
        }
    }
    return m;
}

// Every other shipped language file has exactly English.ini's keys, each value read
// through the profile reader with the English value's marks.
TEST(LocalizedText, EveryShippedTranslationHasTheEnglishKeysAndMarks) {
    const std::filesystem::path& dir = kLanguages;
    auto value = [](const std::filesystem::path& path, const std::string& key) {
        return GetPrivateProfileStringA(kLanguageSection, key, "", kLanguageBufferSize,
                                        path.string());
    };
    const std::set<std::string> englishKeys = KeysOf(dir / "English.ini");
    ASSERT_FALSE(englishKeys.empty());
    int translations = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        if (file.path().extension() != ".ini" || file.path().filename() == "English.ini")
            continue;
        ++translations;
        const std::set<std::string> keys = KeysOf(file.path());
        for (const std::string& key : keys)
            EXPECT_TRUE(englishKeys.contains(key)) << file.path() << " has the extra key " << key;
        for (const std::string& key : englishKeys) {
            EXPECT_TRUE(keys.contains(key)) << file.path() << " lacks " << key;
            const TextMarks en = MarksOf(value(dir / "English.ini", key));
            const TextMarks tr = MarksOf(value(file.path(), key));
            EXPECT_EQ(tr.Placeholders, en.Placeholders) << file.path() << " " << key;
            EXPECT_EQ(tr.Breaks, en.Breaks) << file.path() << " " << key;
            EXPECT_TRUE(tr.LeadingBlank || !en.LeadingBlank) << file.path() << " " << key;
        }
    }
    EXPECT_GT(translations, 0);
}
} // namespace
