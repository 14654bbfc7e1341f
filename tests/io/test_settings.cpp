// Settings in cfg.ini: defaults, the exact spellings written, tolerant reading of stored values.
#include <gtest/gtest.h>

#include <climits>

#include "io/Settings.h"
#include "io/TempDir.h"

namespace gw {
namespace {

using test::TempDir;

TEST(Settings, FirstStartWritesEveryKeyWithItsDefault) {
    TempDir dir;
    Settings s(dir.file("cfg.ini"));
    EXPECT_FALSE(s.open());
    EXPECT_EQ(s.language(), "");
    EXPECT_FALSE(s.showToolbar());
    EXPECT_FALSE(s.useAlpha());
    const Settings::Geometry g = s.windowGeometry({10, 20, 800, 600, false});
    EXPECT_EQ(g.x, 10);
    EXPECT_EQ(g.y, 20);
    EXPECT_EQ(g.width, 800);
    EXPECT_EQ(g.height, 600);
    EXPECT_FALSE(g.maximized);

    s.setLanguage("English");
    ASSERT_TRUE(s.save());
    EXPECT_EQ(dir.read("cfg.ini"),
              "[General]\r\nlanguage=English\r\nshow toolbar=False\r\nwindows with alpha=False\r\n\r\n"
              "[Window]\r\npos-x=default\r\npos-y=default\r\nsize-height=default\r\nsize-width=default\r\n"
              "state=restored\r\n\r\n");
}

TEST(Settings, SwitchesReadAnyCaseOfTrueAndWriteExactSpelling) {
    const std::pair<const char*, bool> cases[] = {
        {"True", true}, {"true", true}, {"TRUE", true}, {"tRuE", true},
        {"False", false}, {"yes", false}, {"1", false}, {"true ", false}, {"", false},
    };
    TempDir dir;
    for (const auto& [text, expected] : cases) {
        dir.write("cfg.ini", std::string("[general]\nSHOW TOOLBAR=") + text + "\nwindows with alpha=" + text);
        Settings s(dir.file("cfg.ini"));
        ASSERT_TRUE(s.open());
        EXPECT_EQ(s.showToolbar(), expected) << text;
        EXPECT_EQ(s.useAlpha(), expected) << text;
    }
    Settings s(dir.file("cfg.ini"));
    s.open();
    s.setShowToolbar(false);
    s.setUseAlpha(true);
    EXPECT_EQ(s.iniKeyShowToolbar->getValue(), "False");
    EXPECT_EQ(s.iniKeyUseAlpha->getValue(), "True");
    s.setShowToolbar(true);
    EXPECT_EQ(s.iniKeyShowToolbar->getValue(), "True");
}

TEST(Settings, StoredNumbersReadUpToTheFirstOtherCharacter) {
    const std::pair<const char*, int> cases[] = {
        {"120", 120},       {"  -40", -40},        {"+7", 7},         {"12px", 12},
        {"px", 0},          {"", 0},               {"- 5", 0},        {"\t 3 4", 3},
        {"Default", 0},     {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(Settings::parseInt(text), expected) << text;

    TempDir dir;
    dir.write("cfg.ini", "[Window]\npos-x=12px\npos-y=default\nsize-width=abc\nstate=Maximized\n");
    Settings s(dir.file("cfg.ini"));
    ASSERT_TRUE(s.open());
    Settings::Geometry g = s.windowGeometry({1, 2, 3, 4, true});
    EXPECT_EQ(g.x, 12);
    EXPECT_EQ(g.y, 2);
    EXPECT_EQ(g.width, 0);
    EXPECT_EQ(g.height, 4);
    EXPECT_FALSE(g.maximized) << "only the exact spelling maximises";
    s.iniKeyWinState->SetValue("maximized");
    EXPECT_TRUE(s.windowGeometry({}).maximized);
}

TEST(Settings, GeometryAndUnknownKeysSurviveASaveAndTheNextStart) {
    TempDir dir;
    dir.write("cfg.ini", "[General]\nlanguage=Deutsch\nfuture option=42\n[Plugins]\nx=y\n");
    {
        Settings s(dir.file("cfg.ini"));
        ASSERT_TRUE(s.open());
        EXPECT_EQ(s.language(), "Deutsch");
        s.setWindowGeometry({-30, 45, 1024, 700, true});
        ASSERT_TRUE(s.save());
    }
    Settings again(dir.file("cfg.ini"));
    ASSERT_TRUE(again.open());
    const Settings::Geometry g = again.windowGeometry({0, 0, 800, 600, false});
    EXPECT_EQ(g.x, -30);
    EXPECT_EQ(g.y, 45);
    EXPECT_EQ(g.width, 1024);
    EXPECT_EQ(g.height, 700);
    EXPECT_TRUE(g.maximized);
    EXPECT_EQ(again.file()->getGroup("general")->getKey("FUTURE OPTION")->getValue(), "42");
    EXPECT_TRUE(again.file()->groupExist("plugins"));

    std::string error;
    Settings nowhere(dir.file("gone/cfg.ini"));
    nowhere.open();
    EXPECT_FALSE(nowhere.save(&error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace gw
