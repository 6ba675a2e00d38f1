// Text lookup, window localisation and line breaks.
#include "app_fixture.h"
#include "store/localized_text.h"

#include <gtest/gtest.h>
#include <map>

namespace {
class FakeWindow : public ILocalizableWindow {
  public:
    std::string GetWindowTitle() const override { return title; }
    void SetWindowTitle(const std::string& t) override { title = t; }
    std::string GetControlText(int id) const override { return controls.at(id); }
    void SetControlText(int id, const std::string& t) override { controls[id] = t; }
    std::string title = "Mail History";
    std::map<int, std::string> controls{{1005, "Show events"}, {1056, "Before"}};
};

TEST(LocalizedText, DefaultsWithoutLanguageValueOrFile) {
    CAppFixture f; // no "Language" value
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.app->GetLocalizedText(17016, "This is not a valid email"),
              "This is not a valid email");
    EXPECT_EQ(f.app->GetLocalizedText(23003, ""), "");
}

TEST(LocalizedText, FileValuesWinAndChangesTakeEffectAtNextLookup) {
    CAppFixture f("[SETTINGS]\r\n", "Test");
    ASSERT_TRUE(f.Start());
    f.dir.Write("Language/Test.ini", "[Tarnwick]\r\n17016=Keine gueltige Adresse\r\n23003=\r\n");
    EXPECT_EQ(f.app->GetLocalizedText(17016, "x"), "Keine gueltige Adresse");
    EXPECT_EQ(f.app->GetLocalizedText(23003, "dflt"), ""); // empty counts as present
    EXPECT_EQ(f.app->GetLocalizedText(17017, "Invalid name"), "Invalid name");

    f.dir.Write("Language/Test.ini", "[Tarnwick]\r\n17016=Changed and longer than before\r\n");
    EXPECT_EQ(f.app->GetLocalizedText(17016, "x"), "Changed and longer than before");

    // The registry value is read again at every lookup.
    f.dir.Write("Language/Other.ini", "[Tarnwick]\r\n17016=Other\r\n");
    f.dir.Write("registry.ini", "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + f.dir.Path() +
                                    "\r\nLanguage=Other\r\n");
    EXPECT_EQ(f.app->GetLocalizedText(17016, "x"), "Other");
    EXPECT_EQ(f.app->GetLanguageNameValue(), "Other");
    // A value removed later keeps the last name read.
    f.dir.Write("registry.ini",
                "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + f.dir.Path() + "\r\n");
    EXPECT_EQ(f.app->GetLocalizedText(17016, "x"), "Other");
}

TEST(LocalizedText, LongValuesAreCutTo999AndUtf8IsKept) {
    CAppFixture f("[SETTINGS]\r\n", "Test");
    ASSERT_TRUE(f.Start());
    f.dir.Write("Language/Test.ini",
                "[Tarnwick]\r\n1=" + std::string(1500, 'a') + "\r\n2=\xD0\x9F\xD1\x80\xD0\xB8\r\n");
    EXPECT_EQ(f.app->GetLocalizedText(1, ""), std::string(999, 'a'));
    EXPECT_EQ(f.app->GetLocalizedText(2, ""), "\xD0\x9F\xD1\x80\xD0\xB8");
}

TEST(LocalizedText, LocalizeDialogSetsOnlyDefinedCaptionsByConsecutiveIds) {
    CAppFixture f("[SETTINGS]\r\n", "Test");
    ASSERT_TRUE(f.Start());
    f.dir.Write("Language/Test.ini", "[Tarnwick]\r\n8000=Verlauf\r\n8002=Vor\r\n");
    FakeWindow w;
    f.app->LocalizeDialog(w, {w.title, w.controls[1005], w.controls[1056]}, 8000,
                          {kTitlePseudoId, 1005, 1056}, 3);
    EXPECT_EQ(w.title, "Verlauf");
    EXPECT_EQ(w.controls[1005], "Show events");
    EXPECT_EQ(w.controls[1056], "Vor");
}

TEST(ExpandLineBreaks, StarsBecomeLineBreaksAndDoubleStarsOneStar) {
    struct Case {
        std::string in, out;
    } cases[] = {{"First*Second", "First\r\nSecond"},
                 {"A**B", "A*B"},
                 {"end*", "end\r\n"},
                 {"x", "x"},
                 {"", ""},
                 {"***", "*\r\n"},
                 {"no stars at all", "no stars at all"}};
    for (auto& c : cases) {
        std::string text = c.in;
        ExpandLineBreaks(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}
} // namespace
