// Settings keys with their defaults, and the tolerant number reading of stored geometry.
#include "io/Settings.h"

#include <cctype>
#include <climits>

namespace gw {

namespace {

void fetchKeys(Settings& s) {
    auto general = s.iniSettings->getGroup("General", 1);
    s.iniKeyLanguage = general->getKey("language", "", 1);
    s.iniKeyShowToolbar = general->getKey("show toolbar", "False", 1);
    s.iniKeyUseAlpha = general->getKey("windows with alpha", "False", 1);
    auto window = s.iniSettings->getGroup("Window", 1);
    s.iniKeyWinX = window->getKey("pos-x", "default", 1);
    s.iniKeyWinY = window->getKey("pos-y", "default", 1);
    s.iniKeyWinWidth = window->getKey("size-width", "default", 1);
    s.iniKeyWinHeight = window->getKey("size-height", "default", 1);
    s.iniKeyWinState = window->getKey("state", "restored", 1);
}

}  // namespace

Settings::Settings(std::string fileName) : iniSettings(TINIFile::Create(std::move(fileName))) {
    // Usable before open(): every key holds its default.
    fetchKeys(*this);
}

bool Settings::open() {
    // ReadIn drops the old groups, so the key objects are fetched anew afterwards.
    const bool read = iniSettings->ReadIn() != 0;
    fetchKeys(*this);
    return read;
}

bool Settings::save(std::string* error) const { return iniSettings->Save(1, error) != 0; }

bool Settings::isTrue(const TINIKey& key) { return lowerCase(key.getValue()) == "true"; }

int Settings::parseInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

Settings::Geometry Settings::windowGeometry(const Geometry& present) const {
    const auto read = [](const TINIKey& key, int fallback) {
        return key.getValue() == "default" ? fallback : parseInt(key.getValue());
    };
    Geometry g;
    g.x = read(*iniKeyWinX, present.x);
    g.y = read(*iniKeyWinY, present.y);
    g.width = read(*iniKeyWinWidth, present.width);
    g.height = read(*iniKeyWinHeight, present.height);
    g.maximized = iniKeyWinState->getValue() == "maximized";
    return g;
}

void Settings::setWindowGeometry(const Geometry& g) {
    iniKeyWinX->SetValue(std::to_string(g.x));
    iniKeyWinY->SetValue(std::to_string(g.y));
    iniKeyWinWidth->SetValue(std::to_string(g.width));
    iniKeyWinHeight->SetValue(std::to_string(g.height));
    iniKeyWinState->SetValue(g.maximized ? "maximized" : "restored");
}

}  // namespace gw
