// Language files and token expansion: the line rules, encodings, the start-up choice, recursion,
// cycles and the shipped files in lang/.
#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "io/Ini.h"
#include "io/Language.h"
#include "io/TempDir.h"

namespace gw {
namespace {

using test::TempDir;

std::shared_ptr<Language> parse(const std::string& body) {
    return Language::fromBytes("[LanguageDefinition]\nLanguageId=Test\n" + body);
}

TEST(LanguageFile, LineRules) {
    struct Case {
        const char* what;
        std::string line;
        const char* token;
        std::string expected;
    };
    const Case cases[] = {
        {"quoted value with comment", "a = \"Hello World\" ; a comment", "a", "Hello World"},
        {"semicolon inside quotes", "a = \"x;y\"", "a", "x;y"},
        {"semicolons inside and after quotes", "a = \"x;y\";z;w", "a", "x;y"},
        {"semicolon unquoted is a comment", "a = x;y", "a", "x"},
        {"escaped semicolon unquoted is still a comment", "a = x\\;y", "a", "x\\"},
        {"escaped semicolon quoted", "a = \"x\\;y\"", "a", "x;y"},
        {"unclosed quote is cut at its semicolon", "a = \"x;y", "a", "\"x"},
        {"line break escape", "a = one\\ntwo", "a", "one\ntwo"},
        {"doubled backslash before n", "a = one\\\\ntwo", "a", "one\\ntwo"},
        {"other escapes", "a = x\\t\\:\\#\\r.", "a", "x\t:#\r."},
        {"escaped tab at the end is trimmed", "a = x\\t", "a", "x"},
        {"unknown escape stays", "a = c:\\x\\", "a", "c:\\x\\"},
        {"value with =", "a = b = c", "a", "b = c"},
        {"quoted key", "\"spaced key\" = v", "spaced key", "v"},
        {"quotes kept when only one side", "a = \"x", "a", "\"x"},
        {"empty quoted value", "a = \"\"", "a", ""},
        {"upper-case key", "WMF_EXIT = Beenden", "wmf_Exit", "Beenden"},
        {"tabs and CR trimmed", "\ta\t=\t v \t\r", "a", "v"},
        {"empty value", "empty =", "empty", ""},
        {"missing entry shows its name", "a = x", "Missing_Token", "Missing_Token"},
        {"comment line", "; a = x", "a", "a"},
        {"comment before =", "a ; = x", "a", "a"},
        {"no = is skipped", "just words", "just words", "just words"},
        {"escaped = splits too", "a\\: = x", "a:", "x"},
    };
    for (const auto& c : cases) {
        auto lang = parse(c.line + "\n");
        ASSERT_TRUE(lang) << c.what;
        EXPECT_EQ(lang->LookupToken(c.token), c.expected) << c.what;
    }
}

TEST(LanguageFile, SectionsEmptyEntriesAndNames) {
    auto lang = Language::fromBytes(
        "ignored = before header\n"
        "[LanguageDefinition] trailing\r\n"
        "LanguageId = Deutsch\r\n"
        "empty=\r\n"
        "twice = first\n"
        "TWICE = second\n"
        "\n"
        "[Other]\n"
        "after = not read\n");
    ASSERT_TRUE(lang);
    EXPECT_EQ(lang->name(), "Deutsch");
    EXPECT_EQ(lang->id(), "Deutsch");
    EXPECT_EQ(lang->LookupToken("ignored"), "ignored");
    EXPECT_EQ(lang->LookupToken("after"), "after");
    EXPECT_EQ(lang->LookupToken("twice"), "second");
    EXPECT_EQ(lang->LookupToken("empty"), "");
    ASSERT_NE(lang->find("EMPTY"), nullptr);
    EXPECT_EQ(lang->find("nothing"), nullptr);
    EXPECT_FALSE(lang->isDefault());

    // Only the exact spelling "LanguageId" names the language; the id is looked up in any case.
    auto other = parse("LANGUAGEID = Other\nLanguageUse = True\nLanguageUse = true\n");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->name(), "Test");
    EXPECT_EQ(other->id(), "Other");
    EXPECT_FALSE(other->isDefault()) << "the later LanguageUse wins, and only exact \"True\" counts";
    EXPECT_TRUE(parse("LanguageUse = False\nLanguageUse = True\n")->isDefault());
}

TEST(LanguageFile, RecognisesOnlyLanguageFiles) {
    const std::pair<const char*, std::string> notLanguage[] = {
        {"empty", ""},
        {"no header", "LanguageId=x\n"},
        {"header in other case", "[languagedefinition]\nLanguageId=x\n"},
        {"no line break after header", "[LanguageDefinition]"},
        {"LanguageId only before header", "LanguageId=x\n[LanguageDefinition]\na=b\n"},
        {"binary", std::string("\0\x01\xff[Language", 11)},
    };
    for (const auto& [what, bytes] : notLanguage) EXPECT_EQ(Language::fromBytes(bytes), nullptr) << what;
    // The text "LanguageId" may stand anywhere after the header, even in a comment.
    auto lang = Language::fromBytes("[LanguageDefinition]\n; languageID comes later\na=b\n");
    ASSERT_TRUE(lang);
    EXPECT_EQ(lang->name(), "Unknown Language");
    EXPECT_EQ(lang->LookupToken("a"), "b");
}

std::string utf16(const std::u32string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    const auto put = [&](char32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    };
    for (char32_t c : text) {
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

TEST(LanguageFile, ReadsEveryEncoding) {
    const std::u32string text = U"[LanguageDefinition]\r\nLanguageId=Deutsch\r\nopen=Datei \u00F6ffnen\r\n"
                                U"smile=\U0001F600\r\n";
    std::string utf8;
    for (char32_t c : text) appendUtf8(utf8, c);
    std::string latin1;
    for (char32_t c : text) latin1 += c < 0x100 ? static_cast<char>(c) : '?';

    const std::pair<const char*, std::string> files[] = {
        {"UTF-8 with mark", "\xEF\xBB\xBF" + utf8},
        {"UTF-8 without mark", utf8},
        {"UTF-16 LE", utf16(text, false)},
        {"UTF-16 BE", utf16(text, true)},
    };
    for (const auto& [what, bytes] : files) {
        auto lang = Language::fromBytes(bytes);
        ASSERT_TRUE(lang) << what;
        EXPECT_EQ(lang->name(), "Deutsch") << what;
        EXPECT_EQ(lang->LookupToken("open"), "Datei \xC3\xB6" "ffnen") << what;
        EXPECT_EQ(lang->LookupToken("smile"), "\xF0\x9F\x98\x80") << what;
    }
    auto lang = Language::fromBytes(latin1);
    ASSERT_TRUE(lang);
    EXPECT_EQ(lang->LookupToken("open"), "Datei \xC3\xB6" "ffnen");

    // Broken UTF-16 (a lone surrogate, an odd last byte) and broken UTF-8 after a mark still give
    // valid UTF-8 text.
    EXPECT_EQ(decodeLanguageText(utf16(U"a", false) + std::string("\x00\xD8" "b", 3)),
              "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(isValidUtf8(decodeLanguageText("\xEF\xBB\xBF" "a\xFF\xC3")));
}

TEST(LanguageFolder, LoadsLanguageFilesInDirectoryOrder) {
    TempDir dir;
    const std::string body = "[LanguageDefinition]\nLanguageId=";
    dir.write("one.lng", body + "One\n");
    dir.write("two.lng", body + "Two\n");
    dir.write("three.lng", body + "Three\n");
    dir.write("other.txt", body + "Txt\n");
    dir.write("upper.LNG", body + "Upper\n");
    dir.write("broken.lng", "not a language\n");
    std::filesystem::create_directory(dir.file("folder.lng"));

    std::vector<std::string> expected;
    DIR* d = ::opendir(dir.path().c_str());
    ASSERT_TRUE(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n == "one.lng") expected.push_back("One");
        if (n == "two.lng") expected.push_back("Two");
        if (n == "three.lng") expected.push_back("Three");
    }
    ::closedir(d);

    std::vector<std::string> ids;
    for (const auto& lang : loadLanguageFolder(dir.path())) ids.push_back(lang->id());
    EXPECT_EQ(ids, expected);
    EXPECT_TRUE(loadLanguageFolder(dir.file("missing")).empty());
}

TEST(LanguageChoice, StoredSettingThenLastDefaultThenFirst) {
    const auto make = [](const std::string& id, bool use) {
        return parse("LanguageID=" + id + "\nLanguageUse=" + (use ? "True" : "False") + "\n");
    };
    const auto en = make("English", true), de = make("Deutsch", false), fr = make("Francais", true);
    const auto de2 = make("Deutsch", false);
    const std::vector<std::shared_ptr<Language>> all = {en, de, fr, de2};
    struct Case {
        std::vector<std::shared_ptr<Language>> list;
        std::string stored;
        std::shared_ptr<Language> expected;
    };
    const Case cases[] = {
        {all, "", fr},            // two defaults: the later one
        {all, "Klingon", fr},     // a stored name no file has
        {all, "Deutsch", de2},    // the later of two equal names
        {all, "deutsch", fr},     // exact comparison
        {{de, de2}, "", de},      // no default: the first
        {{de, en}, "English", en},
        {{}, "English", nullptr},
    };
    for (const auto& c : cases) EXPECT_EQ(chooseStartupLanguage(c.list, c.stored), c.expected) << c.stored;
}

class Expansion : public ::testing::Test {
protected:
    void SetUp() override {
        loc.setMode(Localizer::kSubstitute | Localizer::kRegisterGadgets);
        loc.setWarningSink([this](const std::string& line) { warnings.push_back(line); });
    }
    void use(const std::string& body) {
        lang = parse(body);
        ASSERT_TRUE(lang);
        loc.setActive(lang);
    }
    Localizer loc;
    std::shared_ptr<Language> lang;
    std::vector<std::string> warnings;
};

TEST_F(Expansion, NestedRecursiveAndUnbalancedTokens) {
    use("greet = Hello {{who}}!\n"
        "who = {{first}} {{LAST}}\n"
        "first = Ada\n"
        "last = Lovelace\n"
        "b = X\n"
        "ax = nested\n"
        "open = {{\n"
        "empty =\n");
    const std::pair<const char*, const char*> cases[] = {
        {"{{greet}}", "Hello Ada Lovelace!"},
        {"[{{Greet}}] and {{who}}", "[Hello Ada Lovelace!] and Ada Lovelace"},
        {"{{a{{b}}}}", "nested"},
        {"{{wmf_exit}}", "wmf_exit"},
        {"<{{empty}}>", "<>"},
        {"{{first", "{{first"},
        {"first}}", "first}}"},
        {"}}{{", "}}{{"},
        {"{{{first}}", "{first"},
        {"{{open}}b}}", "{{b}}"},  // inserted text is not scanned again
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(loc.localize(in), out) << in;
    EXPECT_EQ(loc.text("GREET"), "Hello Ada Lovelace!");
    EXPECT_TRUE(warnings.empty());

    loc.setMode(Localizer::kRegisterGadgets);
    EXPECT_EQ(loc.localize("{{greet}}"), "{{greet}}");
    loc.setMode(Localizer::kSubstitute);
    loc.setActive(nullptr);
    EXPECT_EQ(loc.localize("{{greet}} {{AppTitle}}"), "greet Gatewright");
}

TEST_F(Expansion, CyclesYieldErrorWithAWarning) {
    use("self = x{{self}}\n"
        "a = {{b}}\n"
        "b = ({{a}})\n"
        "ok = fine\n");
    EXPECT_EQ(loc.localize("{{self}}"), "x!ERROR!");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "WARNING: Encountered cyclic localization string: \"x{{self}}\".");
    EXPECT_EQ(loc.localize("{{a}} {{ok}}"), "(!ERROR!) fine");
    EXPECT_EQ(warnings.size(), 2u);
    // The service recovers completely after a cycle.
    EXPECT_EQ(loc.localize("{{ok}}"), "fine");
    EXPECT_EQ(warnings.size(), 2u);
}

TEST_F(Expansion, ExplosiveOrEndlessDefinitionsStopWithError) {
    // Each level doubles: 2^40 characters if nothing stopped it.
    std::string body;
    for (int i = 0; i < 40; ++i) body += "t" + std::to_string(i) + " = {{t" + std::to_string(i + 1) + "}}{{t" +
                                         std::to_string(i + 1) + "}}\n";
    body += "t40 = x\n";
    // A chain deeper than any real text nests.
    for (int i = 0; i < 500; ++i) body += "c" + std::to_string(i) + " = {{c" + std::to_string(i + 1) + "}}\n";
    body += "short = {{t35}}\n";
    use(body);
    EXPECT_EQ(loc.localize("a {{t0}} b"), "!ERROR!");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("beyond the limits"), std::string::npos);
    EXPECT_EQ(loc.localize("{{c0}}"), "!ERROR!");
    EXPECT_EQ(loc.localize("{{t36}}"), std::string(16, 'x'));
}

TEST_F(Expansion, BuiltInTokens) {
    use("shortdate = %d.%m.%Y\n"
        "longtime = {{at}} %H:%M:%S %%\n"
        "at = um\n"
        "apptitle = not used\n");
    loc.setProgramPaths("/opt/gw/gatewright", "/opt/gw", "/home/user");
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 7;
    when.tm_min = 8;
    when.tm_sec = 9;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    loc.setClock([t] { return t; });
    const std::pair<const char*, const char*> cases[] = {
        {"{{appfile}}", "/opt/gw/gatewright"},
        {"{{AppDir}}", "/opt/gw"},
        {"{{apptitle}}", "Gatewright"},
        {"{{launchdir}}", "/home/user"},
        {"{{shortdate}}", "05.03.2024"},
        {"{{LongTime}}", "um 07:08:09 %"},
        {"{{shorttime}}", "shorttime"},  // no format defined: the name, as for any token
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(loc.localize(in), out) << in;
    const std::string mem = loc.localize("{{gcmemalloced}}");
    ASSERT_FALSE(mem.empty());
    EXPECT_EQ(mem.find_first_not_of("0123456789"), std::string::npos) << mem;
    EXPECT_EQ(Localizer::formatTime("%y|%q|%", when), "24|%q|%");
}

// --- the shipped language files --------------------------------------------------------------

// Every token the program uses, besides those found in the sources by the scan below: the hotkey
// key names are built by the GUI layer and so never appear in braces in the code.
const char* const kProgramTokens[] = {
    "ls_createNWG", "ls_createMenu", "ls_loadPics", "ls_createDrafts", "ls_showLogo",
    "wm_file", "wm_tools", "wm_view", "wm_info",
    "wmf_newFile", "wmf_openFile", "wmf_save", "wmf_saveAs", "wmf_exit",
    "wmt_default", "wmt_device", "wmt_wire", "wmt_move", "wmt_caption", "wmt_inv", "wmt_remove", "wmt_ic",
    "wmv_showNet", "wmv_showDots", "wmv_showBorder", "wmv_colBG", "wmv_colNet", "wmv_focDevices",
    "wmv_zoomIn", "wmv_zoomOut", "wmv_zoomDefault", "wmv_language", "wmv_toolbar", "wmv_alphawindow",
    "wmi_history", "wmi_rights", "wmi_author",
    "dm_new", "dm_open", "dm_close", "dm_recover", "wnd_unsaved",
    "dt_windowname", "dt_splitter", "dt_use",
    "kat_all", "kat_all_dsc", "kat_emitter", "kat_emitter_dsc", "kat_fb", "kat_fb_dsc", "kat_logic",
    "kat_logic_dsc", "kat_adder", "kat_adder_dsc", "kat_ram", "kat_ram_dsc", "kat_counter",
    "kat_counter_dsc", "kat_udic", "kat_udic_dsc", "kat_exic", "kat_exic_dsc",
    "ct_windowname", "ct_text", "ct_size", "ct_shadow", "ct_color", "ct_small", "ct_middle", "ct_big",
    "ic_windowname", "ic_title", "ic_description", "ic_width", "ic_height", "ic_color", "ic_try",
    "ic_save", "ic_connections",
    "Ctrl", "Shift", "Alt", "Esc", "Enter", "Space", "Tab", "Backspace", "Delete", "Insert", "Home",
    "End", "PageUp", "PageDown", "Left", "Right", "Up", "Down",
};

// The string literals of a C++ source, without comments and character literals.
std::vector<std::string> stringLiterals(const std::string& code) {
    std::vector<std::string> literals;
    std::size_t i = 0;
    while (i < code.size()) {
        if (code.compare(i, 2, "//") == 0) {
            i = code.find('\n', i);
        } else if (code.compare(i, 2, "/*") == 0) {
            i = code.find("*/", i + 2);
            if (i != std::string::npos) i += 2;
        } else if (code[i] == '\'' || code[i] == '"') {
            const char quote = code[i++];
            std::string literal;
            while (i < code.size() && code[i] != quote && code[i] != '\n') {
                if (code[i] == '\\' && i + 1 < code.size()) literal += code[i++];
                literal += code[i++];
            }
            ++i;
            if (quote == '"') literals.push_back(literal);
        } else {
            ++i;
        }
    }
    return literals;
}

// "{{token}}" uses in the string literals of the program's sources, so a token added to the code
// without a text in every language file fails here.
std::set<std::string> tokensInSources() {
    std::set<std::string> tokens;
    const std::regex use(R"(\{\{([A-Za-z][A-Za-z0-9_]*)\}\})");
    for (const char* folder : {"app", "board", "model", "ic", "ui"}) {
        const std::filesystem::path root = std::filesystem::path(GW_SOURCE_DIR) / folder;
        if (!std::filesystem::exists(root)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            std::ifstream in(entry.path());
            const std::string code((std::istreambuf_iterator<char>(in)), {});
            for (const std::string& literal : stringLiterals(code))
                for (std::sregex_iterator it(literal.begin(), literal.end(), use), end; it != end; ++it)
                    tokens.insert((*it)[1]);
        }
    }
    return tokens;
}

TEST(ShippedLanguages, TokenScanSeesLiteralsButNotComments) {
    const std::string code =
        "// \"{{commented}}\"\n/* \"{{block}}\" */ f(\"{{used}}\", '\"', \"a\\\"{{escaped}}\");\n"
        "g(\"x // {{inside}}\"); char c = '\\'';";
    std::set<std::string> found;
    const std::regex use(R"(\{\{([A-Za-z][A-Za-z0-9_]*)\}\})");
    for (const std::string& literal : stringLiterals(code))
        for (std::sregex_iterator it(literal.begin(), literal.end(), use), end; it != end; ++it)
            found.insert((*it)[1]);
    EXPECT_EQ(found, (std::set<std::string>{"used", "escaped", "inside"}));
}

std::vector<std::shared_ptr<Language>> shippedLanguages() { return loadLanguageFolder("lang"); }

TEST(ShippedLanguages, EnglishIsTheDefaultAndGermanIsThere) {
    const auto languages = shippedLanguages();
    std::set<std::string> ids;
    for (const auto& l : languages) ids.insert(l->id());
    EXPECT_EQ(ids, (std::set<std::string>{"English", "Deutsch"}));
    const auto chosen = chooseStartupLanguage(languages, "");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->id(), "English");
    EXPECT_EQ(chooseStartupLanguage(languages, "Deutsch")->id(), "Deutsch");
}

TEST(ShippedLanguages, DefineEveryTokenTheProgramUses) {
    std::set<std::string> tokens = tokensInSources();
    tokens.insert(std::begin(kProgramTokens), std::end(kProgramTokens));
    const auto languages = shippedLanguages();
    ASSERT_GE(languages.size(), 2u);
    for (const auto& lang : languages) {
        Localizer loc;
        loc.setMode(Localizer::kSubstitute);
        loc.setActive(lang);
        std::vector<std::string> warnings;
        loc.setWarningSink([&](const std::string& w) { warnings.push_back(w); });
        for (const auto& token : tokens) {
            EXPECT_NE(lang->find(token), nullptr) << lang->id() << " lacks " << token;
            const std::string text = loc.text(token);
            EXPECT_FALSE(text.empty()) << lang->id() << ": " << token;
            EXPECT_EQ(text.find("{{"), std::string::npos) << lang->id() << ": " << token;
            EXPECT_NE(text, "!ERROR!") << lang->id() << ": " << token;
        }
        EXPECT_TRUE(warnings.empty()) << lang->id();
    }
}

TEST(ShippedLanguages, AllDefineTheSameTokens) {
    const auto languages = shippedLanguages();
    ASSERT_FALSE(languages.empty());
    std::set<std::string> reference;
    for (const auto& [key, text] : languages.front()->entries()) reference.insert(key);
    reference.erase("languageuse");
    for (const auto& lang : languages) {
        std::set<std::string> keys;
        for (const auto& [key, text] : lang->entries()) keys.insert(key);
        keys.erase("languageuse");
        EXPECT_EQ(keys, reference) << lang->id() << " and " << languages.front()->id() << " differ";
    }
}

}  // namespace
}  // namespace gw
