// The program's settings in "cfg.ini": language, toolbar, translucent tool windows and the main
// window's geometry and state, read through the INI module and saved atomically.
//
// Contract: open() never fails in a way that matters to the program: a missing or unreadable file
// simply leaves every key at its default, and every key exists (created with its default) after
// open(). The key objects stay valid for the whole run; setters change them in memory and save()
// writes the file (one empty line after each group). A failed save leaves the old file intact and
// returns the reason; the program may ignore it.
#pragma once

#include <memory>
#include <string>

#include "io/Ini.h"

namespace gw {

class Settings {
public:
    // The position, size and state of the main window as stored.
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
        bool maximized = false;
    };

    explicit Settings(std::string fileName = "cfg.ini");

    // Reads the file (when it can) and fetches every key, creating missing ones with their
    // defaults. Returns whether the file itself could be read.
    bool open();
    // Writes the file atomically; false with the reason in `error` when it cannot be written.
    bool save(std::string* error = nullptr) const;

    std::string language() const { return iniKeyLanguage->getValue(); }
    void setLanguage(const std::string& id) { iniKeyLanguage->SetValue(id); }
    bool showToolbar() const { return isTrue(*iniKeyShowToolbar); }
    void setShowToolbar(bool on) { iniKeyShowToolbar->SetValue(on ? "True" : "False"); }
    bool useAlpha() const { return isTrue(*iniKeyUseAlpha); }
    void setUseAlpha(bool on) { iniKeyUseAlpha->SetValue(on ? "True" : "False"); }

    // The stored geometry; a coordinate stored as "default" takes the window's present value, as
    // given. State is maximised only for exactly "maximized".
    Geometry windowGeometry(const Geometry& present) const;
    // Stores position and size as decimal text and the state as "maximized" or "restored".
    void setWindowGeometry(const Geometry& g);

    // How a stored number reads: leading white space skipped, an optional sign, then decimal digits
    // up to the first other character; no digits read as 0, values beyond int are clamped.
    static int parseInt(const std::string& text);

    const std::shared_ptr<TINIFile>& file() const { return iniSettings; }

    std::shared_ptr<TINIFile> iniSettings;
    std::shared_ptr<TINIKey> iniKeyLanguage, iniKeyShowToolbar, iniKeyUseAlpha;
    std::shared_ptr<TINIKey> iniKeyWinX, iniKeyWinY, iniKeyWinWidth, iniKeyWinHeight, iniKeyWinState;

private:
    static bool isTrue(const TINIKey& key);
};

}  // namespace gw
