// Fuzz target for language files in every encoding and for token expansion. The first input byte
// chooses how the rest is presented: bits 0-1 the encoding (8-bit, UTF-16 LE, UTF-16 BE, UTF-8 with
// byte-order mark), bit 2 a valid header in front, so the fuzzer spends its time inside the
// definitions. Every text that comes out must be valid UTF-8, and expanding any of them must end.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "io/Ini.h"
#include "io/Language.h"

namespace {

std::string utf16(std::string_view ascii, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view header = (mode & 4) ? "[LanguageDefinition]\nLanguageId=Fuzz\n" : "";

    std::string bytes;
    switch (mode & 3) {
        case 0: bytes = std::string(header) + std::string(rest); break;
        case 1: bytes = "\xFF\xFE" + utf16(header, false) + std::string(rest); break;
        case 2: bytes = "\xFE\xFF" + utf16(header, true) + std::string(rest); break;
        default: bytes = "\xEF\xBB\xBF" + std::string(header) + std::string(rest); break;
    }

    if (!gw::isValidUtf8(gw::decodeLanguageText(bytes))) std::abort();
    auto language = gw::Language::fromBytes(bytes);
    if (!language) return 0;

    gw::Localizer loc;
    loc.setMode(gw::Localizer::kSubstitute);
    loc.setActive(language);
    loc.setWarningSink([](const std::string&) {});
    int checked = 0;
    for (const auto& [key, text] : language->entries()) {
        if (!gw::isValidUtf8(key) || !gw::isValidUtf8(text)) std::abort();
        if (language->find(key) != &text) std::abort();
        if (!gw::isValidUtf8(loc.text(key))) std::abort();
        if (!gw::isValidUtf8(loc.localize(text))) std::abort();
        if (++checked == 32) break;
    }
    (void)language->id();
    (void)language->isDefault();
    (void)loc.localize(rest);  // raw bytes, not even UTF-8: must not crash
    return 0;
}
