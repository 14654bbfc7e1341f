#include "app/Texts.h"

#include <vector>

namespace gw {

namespace {
std::function<std::string(const std::string&)>& localizer() {
    static std::function<std::string(const std::string&)> f;
    return f;
}
}  // namespace

void setLocalizer(std::function<std::string(const std::string&)> f) { localizer() = std::move(f); }

std::string localize(const std::string& text) {
    if (localizer()) return localizer()(text);
    return tokenNames(text);
}

std::string tokenNames(const std::string& text) {
    // Same scan as the language service: "{{" opens (openings nest), "}}" closes the innermost.
    std::string out;
    std::vector<size_t> open;  // positions in `out` where an open token's "{{" starts
    size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, 2, "{{") == 0) {
            open.push_back(out.size());
            out += "{{";
            i += 2;
        } else if (text.compare(i, 2, "}}") == 0 && !open.empty()) {
            const size_t start = open.back();
            open.pop_back();
            std::string name = out.substr(start + 2);
            out.resize(start);
            out += name;
            i += 2;
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace gw
