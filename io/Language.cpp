// Language file parsing, the start-up choice of a language and token expansion.
#include "io/Language.h"

#include <dirent.h>

#include <filesystem>
#include <iostream>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "io/AtomicFile.h"
#include "io/Ini.h"
#include "model/ObjectPool.h"

namespace gw {

namespace {

constexpr std::size_t kMaxLanguageFile = 16u * 1024u * 1024u;

std::string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](std::size_t k) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[k]);
        const auto b = static_cast<unsigned char>(bytes[k + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::size_t k = 0;
    for (; k + 1 < bytes.size(); k += 2) {
        char32_t c = unit(k);
        if (c >= 0xD800 && c <= 0xDBFF && k + 3 < bytes.size()) {
            const char32_t low = unit(k + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                k += 2;
            }
        }
        // An unpaired surrogate is no character; it shows as the replacement character.
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        appendUtf8(out, c);
    }
    if (k < bytes.size()) appendUtf8(out, 0xFFFD);  // a lone last byte
    return out;
}

std::string normalisedUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) appendUtf8(out, nextChar(bytes, i));
    return out;
}

bool isSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpaceOrTab(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isSpaceOrTab(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The part of a line before its comment. Outside double quotes a ";" starts a comment; inside a
// quoted value a ";" not preceded by a backslash is only a possible end, which a later double quote
// takes back (so "a;b" keeps its semicolon and "a"; note loses the note).
std::string_view withoutComment(std::string_view line) {
    int state = 0;  // 0 key, 1 value before any quote, 2 inside quotes, 3 after a possible end
    std::size_t cut = std::string_view::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (state == 0) {
            if (c == '=') state = 1;
            else if (c == ';') return line.substr(0, i);
        } else if (state == 1) {
            if (c == '"') state = 2;
            else if (c == ';') return line.substr(0, i);
        } else if (c == '"') {
            state = 2;
            cut = std::string_view::npos;
        } else if (state == 2 && c == ';' && line[i - 1] != '\\') {
            state = 3;
            cut = i;
        }
    }
    return cut == std::string_view::npos ? line : line.substr(0, cut);
}

std::string unescaped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char next = s[i + 1];
        char replacement = 0;
        switch (next) {
            case '\\': replacement = '\\'; break;
            case 'r': replacement = '\r'; break;
            case 'n': replacement = '\n'; break;
            case ';': replacement = ';'; break;
            case '#': replacement = '#'; break;
            case ':': replacement = ':'; break;
            case 't': replacement = '\t'; break;
            default: break;
        }
        if (replacement) {
            out += replacement;
            ++i;
        } else {
            out += '\\';
        }
    }
    return out;
}

std::string unquoted(std::string_view s) {
    s = trimmed(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

}  // namespace

std::string decodeLanguageText(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE") return decodeUtf16(bytes.substr(2), false);
    if (bytes.substr(0, 2) == "\xFE\xFF") return decodeUtf16(bytes.substr(2), true);
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return normalisedUtf8(bytes.substr(3));
    // Without a mark: text that is valid UTF-8 was surely written as UTF-8 (8-bit text with
    // letters beyond ASCII practically never is); everything else is one byte per character.
    if (isValidUtf8(bytes)) return std::string(bytes);
    return latin1ToUtf8(bytes);
}

std::shared_ptr<Language> Language::fromBytes(std::string_view bytes) {
    const std::string text = decodeLanguageText(bytes);
    static constexpr std::string_view kHeader = "[LanguageDefinition]";
    const std::size_t header = text.find(kHeader);
    if (header == std::string::npos) return nullptr;
    const std::size_t start = text.find('\n', header + kHeader.size());
    if (start == std::string::npos) return nullptr;
    const std::string_view body = std::string_view(text).substr(start + 1);
    if (asciiLower(body).find("languageid") == std::string::npos) return nullptr;

    auto language = std::make_shared<Language>();
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = body.find('\n', pos);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view raw = body.substr(pos, end - pos);
        pos = end + 1;

        const std::string_view line = trimmed(withoutComment(raw));
        if (line.empty()) continue;
        if (line.front() == '[') break;  // the next section: the definitions end here
        const std::string entry = unescaped(line);
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        const std::string key = unquoted(std::string_view(entry).substr(0, eq));
        if (key.empty()) continue;
        std::string value = unquoted(std::string_view(entry).substr(eq + 1));
        if (key == "LanguageId") language->name_ = value;
        language->dictionary_[lowerCase(key)] = std::move(value);
    }
    return language;
}

std::shared_ptr<Language> Language::load(const std::string& path, std::string* error) {
    std::string bytes;
    if (!readWholeFile(path, bytes, error, kMaxLanguageFile)) return nullptr;
    auto language = fromBytes(bytes);
    if (!language) {
        if (error) *error = "\"" + path + "\" is not a language file.";
        return nullptr;
    }
    language->path_ = path;
    return language;
}

const std::string* Language::find(std::string_view name) const {
    auto it = dictionary_.find(lowerCase(name));
    return it == dictionary_.end() ? nullptr : &it->second;
}

std::string Language::LookupToken(std::string_view name) const {
    const std::string* text = find(name);
    return text ? *text : std::string(name);
}

std::vector<std::shared_ptr<Language>> loadLanguageFolder(const std::string& dir) {
    std::vector<std::shared_ptr<Language>> languages;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return languages;
    // readdir gives the file system's own order, which decides between equal candidates.
    while (const dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".lng") != 0) continue;
        const std::string path = dir + "/" + name;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) continue;
        if (auto language = Language::load(path)) languages.push_back(std::move(language));
    }
    ::closedir(d);
    return languages;
}

std::shared_ptr<Language> chooseStartupLanguage(const std::vector<std::shared_ptr<Language>>& languages,
                                                const std::string& stored) {
    std::shared_ptr<Language> chosen, fallback;
    for (const auto& language : languages) {
        if (language->isDefault()) fallback = language;
        if (!stored.empty() && language->id() == stored) chosen = language;
    }
    if (chosen) return chosen;
    if (fallback) return fallback;
    return languages.empty() ? nullptr : languages.front();
}

// ---------------------------------------------------------------- Localizer

Localizer::Localizer()
    : warn_([](const std::string& line) { std::cout << line << std::endl; }),
      clock_([] { return std::time(nullptr); }) {}

void Localizer::setProgramPaths(std::string appFile, std::string appDir, std::string launchDir) {
    appFile_ = std::move(appFile);
    appDir_ = std::move(appDir);
    launchDir_ = std::move(launchDir);
}

std::string Localizer::text(std::string_view token) {
    return localize("{{" + std::string(token) + "}}");
}

std::string Localizer::localize(std::string_view text) {
    if (!(mode_ & kSubstitute)) return std::string(text);
    if (!stack_.empty()) return localizeNested(text);  // called back from inside an expansion
    work_ = 0;
    overflow_ = false;
    std::string result = localizeNested(text);
    if (overflow_) {
        stack_.clear();
        if (warn_)
            warn_("WARNING: Localization string expands beyond the limits: \"" + std::string(text) + "\".");
        return "!ERROR!";
    }
    return result;
}

std::string Localizer::localizeNested(std::string_view text) {
    if (overflow_) return {};
    for (const std::string& open : stack_) {
        work_ += open.size();
        if (open == text) {
            if (warn_) warn_("WARNING: Encountered cyclic localization string: \"" + std::string(text) + "\".");
            return "!ERROR!";
        }
    }
    if (stack_.size() >= static_cast<std::size_t>(kMaxDepth)) {
        overflow_ = true;
        return {};
    }
    stack_.emplace_back(text);

    // Openings are positions in `out`; closing the innermost one takes everything after it as the
    // token name, which already holds the replacements of tokens nested inside it.
    std::string out;
    std::vector<std::size_t> opens;
    std::size_t i = 0;
    while (i < text.size()) {
        if (++work_ > kMaxWork) {
            overflow_ = true;
            break;
        }
        const bool pair = i + 1 < text.size() && text[i + 1] == text[i];
        if (pair && text[i] == '{') {
            opens.push_back(out.size());
            out += "{{";
            i += 2;
        } else if (pair && text[i] == '}' && !opens.empty()) {
            const std::size_t start = opens.back();
            opens.pop_back();
            const std::string name = out.substr(start + 2);
            out.resize(start);
            const std::string repl = replacement(name);
            if (overflow_) break;
            work_ += name.size() + repl.size();
            out += repl;
            i += 2;
        } else {
            out += text[i];
            ++i;
        }
    }
    stack_.pop_back();
    return out;
}

std::string Localizer::replacement(const std::string& name) {
    const std::string lower = lowerCase(name);
    if (lower == "appfile") return appFile_;
    if (lower == "appdir") return appDir_;
    if (lower == "apptitle") return "Gatewright";
    if (lower == "launchdir") return launchDir_;
    if (lower == "gcmemalloced") {
#if defined(__GLIBC__)
        const struct mallinfo2 info = ::mallinfo2();
        // Pool blocks of the board's objects live apart from the general allocator's heap.
        return std::to_string(info.uordblks + info.hblkhd + SlotPool::arenaBytes());
#else
        return "0";
#endif
    }
    if (lower == "shorttime" || lower == "longtime" || lower == "shortdate" || lower == "longdate") {
        const std::string format = active_ ? localizeNested(active_->LookupToken(name)) : name;
        const std::time_t now = clock_ ? clock_() : std::time(nullptr);
        std::tm when{};
        ::localtime_r(&now, &when);
        return formatTime(format, when);
    }
    if (!active_) return name;
    return localizeNested(active_->LookupToken(name));
}

std::string Localizer::formatTime(std::string_view format, const std::tm& when) {
    const auto two = [](int v) {
        std::string s = std::to_string(v);
        return s.size() < 2 ? "0" + s : s;
    };
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        const char f = format[++i];
        switch (f) {
            case 'H': out += two(when.tm_hour); break;
            case 'M': out += two(when.tm_min); break;
            case 'S': out += two(when.tm_sec); break;
            case 'd': out += two(when.tm_mday); break;
            case 'm': out += two(when.tm_mon + 1); break;
            case 'Y': out += std::to_string(when.tm_year + 1900); break;
            case 'y': out += two((when.tm_year + 1900) % 100); break;
            case '%': out += '%'; break;
            default:
                out += '%';
                out += f;
        }
    }
    return out;
}

}  // namespace gw
