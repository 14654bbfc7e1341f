// Language files (lang/*.lng) and the localisation service that turns "{{token}}" texts into the
// words of the active language.
//
// Language: one parsed file, immutable after loading. Its dictionary maps token names in lower
// case to UTF-8 texts; an entry defined as empty is kept apart from a missing one. Files are read
// as UTF-16 (either byte order) or UTF-8 when they start with that byte-order mark; without one, a
// file that is valid UTF-8 is read as UTF-8 and any other file one byte per character (Latin-1).
// A file that is not a language file (no "[LanguageDefinition]" line, nothing after it, no
// "LanguageId" anywhere after it) loads as nullptr; nothing in a file can make loading fail in any
// other way.
//
// Localizer: expands tokens, nested and recursively, with the built-in tokens (appfile, appdir,
// apptitle, launchdir, gcmemalloced, shorttime, longtime, shortdate, longdate). A text that
// contains itself, directly or through other tokens, becomes "!ERROR!" and a warning line goes to
// the warning sink (standard output unless replaced). Expansion is bounded: a language whose
// texts would expand without end in practice (tokens nesting more than kMaxDepth deep, or more
// than kMaxWork characters of work, as in a = "{{b}}{{b}}", b = "{{c}}{{c}}", ...) yields "!ERROR!"
// for the whole string with a warning instead of hanging.
// The service knows nothing of windows: re-localising gadgets on a language change is the
// application's job, which asks localize() again for every registered text.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// Language file bytes as UTF-8 text, by the rules above.
std::string decodeLanguageText(std::string_view bytes);

class Language {
public:
    // Parses file bytes; nullptr when they are not a language file.
    static std::shared_ptr<Language> fromBytes(std::string_view bytes);
    // Reads and parses a file; nullptr (reason in `error`) when it cannot be read or is not a
    // language file.
    static std::shared_ptr<Language> load(const std::string& path, std::string* error = nullptr);

    // The value of the entry spelled exactly "LanguageId"; "Unknown Language" when there is none.
    const std::string& name() const { return name_; }
    // The "LanguageID" entry looked up without regard to case: the language's menu text and the
    // identifier stored in the settings.
    std::string id() const { return LookupToken("LanguageID"); }
    // Whether "LanguageUse" is exactly "True": the language to use when the settings name none.
    bool isDefault() const { return LookupToken("LanguageUse") == "True"; }

    // The text of `name` (any case); "" for an entry defined as empty; `name` itself when missing.
    std::string LookupToken(std::string_view name) const;
    // The text of `name` (any case), or nullptr when the language does not define it.
    const std::string* find(std::string_view name) const;
    // Every entry: lower-cased token name -> text.
    const std::map<std::string, std::string>& entries() const { return dictionary_; }
    const std::string& path() const { return path_; }

private:
    std::string name_ = "Unknown Language";
    std::map<std::string, std::string> dictionary_;
    std::string path_;
};

// Every language file of `dir` (regular files whose name ends in ".lng"), in the order the file
// system lists them; files that do not load are skipped. A missing folder gives an empty list.
std::vector<std::shared_ptr<Language>> loadLanguageFolder(const std::string& dir);

// The language to start with: the last one whose id() equals the stored setting; else the last one
// marked "LanguageUse" = "True"; else the first one; nullptr for an empty list. An empty stored
// setting names no language.
std::shared_ptr<Language> chooseStartupLanguage(const std::vector<std::shared_ptr<Language>>& languages,
                                                const std::string& stored);

class Localizer {
public:
    enum ModeBits { kSubstitute = 1, kRegisterGadgets = 2 };
    static constexpr int kMaxDepth = 64;
    static constexpr std::size_t kMaxWork = 4u * 1024u * 1024u;

    Localizer();

    // Bit 1: token substitution on (off: localize() returns its argument). Bit 2: the GUI layer
    // registers gadget texts for re-localisation. Both are off until set.
    void setMode(int mode) { mode_ = mode; }
    int mode() const { return mode_; }

    void setActive(std::shared_ptr<const Language> language) { active_ = std::move(language); }
    const std::shared_ptr<const Language>& active() const { return active_; }

    // Replaces every "{{token}}" of `text` by its text in the active language, recursively.
    std::string localize(std::string_view text);
    std::string expand(std::string_view text) { return localize(text); }
    // The text of one token: localize("{{" + token + "}}").
    std::string text(std::string_view token);

    // Values of the built-in tokens appfile, appdir and launchdir.
    void setProgramPaths(std::string appFile, std::string appDir, std::string launchDir);
    // Where warning lines go (without their line end); standard output by default.
    void setWarningSink(std::function<void(const std::string&)> sink) { warn_ = std::move(sink); }
    // The clock of the date and time tokens; the system clock by default.
    void setClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

    // Formats a time by a format of the date and time tokens: %H %M %S (hours, minutes, seconds),
    // %d %m %Y %y (day, month, year with four and two digits) and %% (a per cent sign); anything
    // else stands for itself.
    static std::string formatTime(std::string_view format, const std::tm& when);

private:
    std::string localizeNested(std::string_view text);
    std::string replacement(const std::string& name);

    int mode_ = 0;
    std::shared_ptr<const Language> active_;
    std::string appFile_, appDir_, launchDir_;
    std::function<void(const std::string&)> warn_;
    std::function<std::time_t()> clock_;
    std::vector<std::string> stack_;  // the strings being localised now, outermost first
    std::size_t work_ = 0;
    bool overflow_ = false;
};

}  // namespace gw
