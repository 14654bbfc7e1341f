// Turning the shell's texts into what the user reads. Window and menu texts are tokens such as
// "{{wmf_save}}"; they are expanded through the active language when one is loaded. Without a
// language (no lang/ folder, or before one is chosen) a token shows its bare name, so the program
// starts and stays usable with no language file at all.
#pragma once

#include <QString>
#include <functional>
#include <string>

namespace gw {

// Expands every "{{name}}" of `text`. With no expander installed a token becomes its name.
std::string localize(const std::string& text);
inline QString loc(const std::string& text) { return QString::fromStdString(localize(text)); }

// Installs the expander the active language provides (an empty function goes back to names).
void setLocalizer(std::function<std::string(const std::string&)> f);

// The token names of `text` replaced by their names: "{{a}} and {{b}}" -> "a and b". Openings nest;
// unbalanced braces stay as they are.
std::string tokenNames(const std::string& text);

}  // namespace gw
