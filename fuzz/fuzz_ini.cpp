// Fuzz target for the INI reader and writer: any bytes must read without a crash, every group and
// key must be found again under its own name, and what was read must write out and read back to
// exactly the same text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "io/Ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto file = gw::TINIFile::Create();
    file->ReadFromText(bytes);

    for (const auto& group : file->getGroupList()) {
        if (file->getGroup(group->GetName()) != group) std::abort();
        if (file->getGroup(gw::lowerCase(group->GetName())) != group) std::abort();
        for (const auto& key : group->getKeyList())
            if (group->getKey(key->GetName()) != key) std::abort();
    }

    for (int blank = 0; blank < 2; ++blank) {
        const std::string text = file->toText(blank);
        auto again = gw::TINIFile::Create();
        again->ReadFromText(text);
        if (again->toText(blank) != text) std::abort();
        if (again->getGroupList().size() != file->getGroupList().size()) std::abort();
    }

    // Renaming every group to an upper-case spelling keeps every group reachable.
    for (const auto& group : file->getGroupList()) {
        std::string upper = group->GetName();
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (group->setName(upper) != 1) std::abort();
        if (file->getGroup(upper) != group) std::abort();
    }
    return 0;
}
