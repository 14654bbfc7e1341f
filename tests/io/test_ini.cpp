// The INI module: the reading rules, sorted CR LF writing, case-insensitive lookup, renaming and
// the encodings of the file.
#include <gtest/gtest.h>

#include "io/Ini.h"
#include "io/TempDir.h"

namespace gw {
namespace {

// "Group{key=value|key=value}" for every group in map order: spellings, values, order at once.
std::string dump(const TINIFile& file) {
    std::string out;
    for (const auto& g : file.getGroupList()) {
        out += g->GetName() + "{";
        bool first = true;
        for (const auto& k : g->getKeyList()) {
            out += (first ? "" : "|") + k->GetName() + "=" + k->getValue();
            first = false;
        }
        out += "}";
    }
    return out;
}

std::string parsed(std::string_view text) {
    auto file = TINIFile::Create();
    file->ReadFromText(text);
    return dump(*file);
}

struct ReadCase {
    const char* what;
    std::string text;
    std::string expected;
};

TEST(IniRead, FollowsTheLineRules) {
    const ReadCase cases[] = {
        {"spaces inside brackets name another group", "[ General ]\na=1\n[General]\nb=2",
         " General {a=1}General{b=2}"},
        {"header after spaces", "   [G]\nk=v", "G{k=v}"},
        {"header after a tab is no header", "\t[G]\nk=v", ""},
        {"key trimmed, value keeps its leading space", "[G]\n  key \t= value ", "G{key= value }"},
        {"second = belongs to the value", "[G]\na=b=c", "G{a=b=c}"},
        {"missing ] takes the rest of the line", "[Win dow\nk=v", "Win dow{k=v}"},
        {"text after the last ] is ignored", "[a]b] tail\nk=v", "a]b{k=v}"},
        {"keys before the first header are ignored", "k=v\nx\n[G]\ny=z", "G{y=z}"},
        {"headers differing in case are one group", "[Window]\na=1\n[WINDOW]\nb=2", "Window{a=1|b=2}"},
        {"repeated key keeps first spelling, last value", "[G]\nKey=1\nKEY=2\nkey=3", "G{Key=3}"},
        {"comments, blank lines and lines without =", "[G]\n#a=1\n  #b=2\n\n   \nnothing\nc=3", "G{c=3}"},
        {"empty header keeps the current group", "[G]\n[]\nk=v", "G{k=v}"},
        {"CR dropped anywhere, CR LF line ends", "[G]\r\nk=a\rb\r\n", "G{k=ab}"},
        {"empty key name and empty value", "[G]\n=v\nk=", "G{=v|k=}"},
        {"last line without line end", "[G]\nk=v", "G{k=v}"},
        {"key may contain a tab-led [", "[G]\n\t[x=1", "G{[x=1}"},
    };
    for (const auto& c : cases) EXPECT_EQ(parsed(c.text), c.expected) << c.what;
}

TEST(IniRead, DecodesLatin1AndUtf8AndFoldsNonAsciiCase) {
    // One byte per character: "\xC4" is capital A with diaeresis, "\xE4" the small one.
    auto latin = TINIFile::Create();
    latin->ReadFromText("[\xC4rger]\nk=\xE4\n[\xE4RGER]\nm=2");
    EXPECT_EQ(dump(*latin), "\xC3\x84rger{k=\xC3\xA4|m=2}");
    ASSERT_TRUE(latin->getGroup("\xC3\xA4rger"));

    // Valid UTF-8 stays UTF-8; a byte-order mark does not hide the first header.
    EXPECT_EQ(parsed("\xEF\xBB\xBF[\xD0\x94]\nk=\xD0\xB4"), "\xD0\x94{k=\xD0\xB4}");
    auto cyr = TINIFile::Create();
    cyr->ReadFromText("[\xD0\x94]\nk=1");
    EXPECT_TRUE(cyr->groupExist("\xD0\xB4"));  // Cyrillic De in either case
}

TEST(IniLowerCase, MapsLettersByTheUnicodeTable) {
    const std::pair<char32_t, char32_t> cases[] = {
        {U'A', U'a'},      {U'Z', U'z'},      {U'@', U'@'},      {U'[', U'['},  {0xC0, 0xE0},
        {0xC4, 0xE4},      {0xD7, 0xD7},      {0xDE, 0xFE},      {0xDF, 0xDF},  {0xFF, 0xFF},
        {0x178, 0xFF},     {0x100, 0x101},    {0x101, 0x101},    {0x130, U'i'}, {0x391, 0x3B1},
        {0x3A9, 0x3C9},    {0x410, 0x430},    {0x401, 0x451},    {0x1E9E, 0xDF}, {0xFF21, 0xFF41},
        {0x10400, 0x10428}, {0x1F600, 0x1F600},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(lowerChar(in), out) << std::hex << static_cast<uint32_t>(in);
    EXPECT_EQ(lowerCase("Show TOOLBAR \xC3\x84\xD0\x94"), "show toolbar \xC3\xA4\xD0\xB4");
    // Broken UTF-8 bytes are Latin-1 characters, never dropped.
    EXPECT_EQ(lowerCase("A\xC4"), "a\xC3\xA4");
}

TEST(IniWrite, SortsByLowerCasedNamesWithCrLfAndOptionalBlankLines) {
    auto file = TINIFile::Create();
    auto window = file->addGroup("Window");
    window->AddKey("state", "restored");
    window->AddKey("pos-x", "12");
    auto general = file->addGroup("General");
    general->AddKey("show toolbar", "False");
    general->AddKey("Language", "English");
    file->addGroup("b")->AddKey("AB", "1");
    file->getGroup("b")->AddKey("a", "2");
    file->addGroup("a");

    EXPECT_EQ(file->toText(1),
              "[a]\r\n\r\n"
              "[b]\r\na=2\r\nAB=1\r\n\r\n"
              "[General]\r\nLanguage=English\r\nshow toolbar=False\r\n\r\n"
              "[Window]\r\npos-x=12\r\nstate=restored\r\n\r\n");
    EXPECT_EQ(file->toText(0),
              "[a]\r\n[b]\r\na=2\r\nAB=1\r\n[General]\r\nLanguage=English\r\nshow toolbar=False\r\n"
              "[Window]\r\npos-x=12\r\nstate=restored\r\n");
    EXPECT_EQ(TINIFile::Create()->toText(1), "");
}

TEST(IniWrite, KeepsEveryCharacterAndTheLineStructure) {
    struct Case {
        const char* what;
        std::string value;
        std::string bytes;  // how the value appears in the file
    };
    const Case cases[] = {
        {"Latin-1 letters one byte each", "Fran\xC3\xA7" "ais", "Fran\xE7" "ais"},
        {"Cyrillic forces UTF-8", "\xD0\xA0\xD1\x83\xD1\x81", "\xD0\xA0\xD1\x83\xD1\x81"},
        // "\xC3\xA9" as two Latin-1 characters would read back as one UTF-8 character.
        {"Latin-1 that looks like UTF-8", "\xC3\x83\xC2\xA9", "\xC3\x83\xC2\xA9"},
        {"line breaks become spaces", "x\n[Evil]\r\ny=1", "x [Evil]  y=1"},
    };
    for (const auto& c : cases) {
        auto file = TINIFile::Create();
        file->addGroup("G")->AddKey("k", c.value);
        const std::string text = file->toText(0);
        EXPECT_EQ(text, "[G]\r\nk=" + c.bytes + "\r\n") << c.what;
        auto again = TINIFile::Create();
        again->ReadFromText(text);
        ASSERT_EQ(again->getGroupList().size(), 1u) << c.what;
        const std::string expected = c.value.find('\n') == std::string::npos ? c.value : c.bytes;
        EXPECT_EQ(again->getGroup("g")->getKey("K")->getValue(), expected) << c.what;
    }
}

TEST(IniWrite, WhatWasReadReadsBackTheSame) {
    const std::string inputs[] = {
        "[G]\n\t[x=1\n\t#y=2\n=empty\nk=\n",
        "[ sp ]\nk= v \n[a]b]\nq=r=s\n",
        "[\xC3\x83]\nx=\xC2\xA9\n",          // valid UTF-8
        "[G]\nx=\xC3\xA9\n#\xFF\n",           // Latin-1 whose value alone would read as UTF-8
        "[G]\nk=\x01\x7F\xD0\xA0\n[\xD0\xA0]\n",
    };
    for (const auto& in : inputs) {
        auto first = TINIFile::Create();
        first->ReadFromText(in);
        auto second = TINIFile::Create();
        second->ReadFromText(first->toText(1));
        EXPECT_EQ(dump(*second), dump(*first)) << in;
        EXPECT_EQ(second->toText(0), first->toText(0)) << in;
    }
}

TEST(IniApi, KeptKeysCopiesAndRemovals) {
    auto file = TINIFile::Create("x.ini");
    EXPECT_EQ(file->getGroup("General"), nullptr);
    auto general = file->getGroup("General", 1);
    EXPECT_EQ(file->addGroup("GENERAL"), general);
    auto lang = general->getKey("language", "", 1);
    auto toolbar = general->getKey("show toolbar", "False", 1);
    EXPECT_EQ(general->getKey("Show Toolbar", "True", 1)->getValue(), "False");  // existing key kept

    // Removing what does not exist leaves no trace; a kept key object writes its current value.
    file->removeGroup("Nothing");
    general->RemoveKey("nothing");
    toolbar->SetValue("True");
    EXPECT_EQ(file->toText(0), "[General]\r\nlanguage=\r\nshow toolbar=True\r\n");

    auto window = file->addGroup("Window");
    EXPECT_EQ(toolbar->CopyTo(general), nullptr);
    EXPECT_NE(toolbar->CopyTo(window), nullptr);
    window->AddKeys(*general);
    window->AddKeys(*window);
    EXPECT_EQ(dump(*file), "General{language=|show toolbar=True}Window{language=|show toolbar=True}");

    // A removed key is no longer saved, and removing it again must not take a newer key of the
    // same name with it.
    lang->remove();
    auto lang2 = general->AddKey("Language", "new");
    lang->remove();
    EXPECT_EQ(general->getKey("language"), lang2);
    window->remove();
    EXPECT_EQ(dump(*file), "General{Language=new|show toolbar=True}");
}

TEST(IniApi, RenamingChangesSpellingButNeverHidesAnotherEntry) {
    auto file = TINIFile::Create();
    auto a = file->addGroup("Alpha");
    auto b = file->addGroup("Beta");
    auto k1 = a->AddKey("one", "1");
    auto k2 = a->AddKey("two", "2");

    EXPECT_EQ(a->setName("ALPHA"), 1);  // spelling change of the same name
    EXPECT_EQ(a->GetName(), "ALPHA");
    EXPECT_EQ(a->setName("beta"), 0);  // would make Beta unreachable
    EXPECT_EQ(b->setName("Gamma"), 1);
    EXPECT_EQ(file->getGroup("gamma"), b);
    EXPECT_EQ(file->getGroup("beta"), nullptr);

    EXPECT_EQ(k1->setName("TWO"), 0);
    EXPECT_EQ(k1->setName("uno"), 1);
    EXPECT_EQ(dump(*file), "ALPHA{two=2|uno=1}Gamma{}");

    // An entry that is no longer registered cannot be renamed back into the map.
    k2->remove();
    EXPECT_EQ(k2->setName("three"), 0);
    EXPECT_EQ(a->keyExist("three"), 0);

    // Keys kept after their file is gone are still safe to use.
    auto kept = a->getKey("uno");
    a.reset();
    b.reset();
    file.reset();
    kept->SetValue("x");
    EXPECT_EQ(kept->setName("y"), 0);
    kept->remove();
}

TEST(IniFile, SavesAtomicallyAndReadsBack) {
    test::TempDir dir;
    const std::string path = dir.file("cfg.ini");

    EXPECT_EQ(TINIFile::Load(path), nullptr);
    auto missing = TINIFile::Create(path);
    missing->addGroup("Old");
    EXPECT_EQ(missing->ReadIn(), 0);
    EXPECT_TRUE(missing->getGroupList().empty()) << "a failed read leaves no groups";

    auto file = TINIFile::Create(path);
    file->getGroup("Window", 1)->getKey("state", "restored", 1);
    file->getGroup("General", 1)->getKey("language", "Deutsch", 1);
    ASSERT_EQ(file->Save(1), 1);
    EXPECT_EQ(dir.read("cfg.ini"), "[General]\r\nlanguage=Deutsch\r\n\r\n[Window]\r\nstate=restored\r\n\r\n");

    auto loaded = TINIFile::Load(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->GetFilename(), path);
    EXPECT_EQ(dump(*loaded), "General{language=Deutsch}Window{state=restored}");

    std::string error;
    file->setFilename(dir.file("no/such/folder/cfg.ini"));
    EXPECT_EQ(file->Save(1, &error), 0);
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_EQ(dir.entries(), 1);
}

}  // namespace
}  // namespace gw
