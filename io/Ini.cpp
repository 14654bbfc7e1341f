// The INI module: parsing, sorted writing, case-insensitive lookup and the text helpers.
#include "io/Ini.h"

#include <algorithm>
#include <cstdint>

#include "io/AtomicFile.h"

namespace gw {

namespace {

// Upper-case letters from U+00C0 upward and their lower-case partners, as runs: every `stride`-th
// character from `first` to `last` maps to itself + `delta`. Generated from the Unicode 14 simple
// case mapping (U+0130, capital I with dot, maps to plain i).
struct LowerRun {
    char32_t first, last;
    int32_t delta;
    int32_t stride;
};
constexpr LowerRun kLowerRuns[] = {
    {0x00C0, 0x00D6, 32, 1},
    {0x00D8, 0x00DE, 32, 1},
    {0x0100, 0x012E, 1, 2},
    {0x0130, 0x0130, -199, 1},
    {0x0132, 0x0136, 1, 2},
    {0x0139, 0x0147, 1, 2},
    {0x014A, 0x0176, 1, 2},
    {0x0178, 0x0178, -121, 1},
    {0x0179, 0x017D, 1, 2},
    {0x0181, 0x0181, 210, 1},
    {0x0182, 0x0184, 1, 2},
    {0x0186, 0x0186, 206, 1},
    {0x0187, 0x0187, 1, 1},
    {0x0189, 0x018A, 205, 1},
    {0x018B, 0x018B, 1, 1},
    {0x018E, 0x018E, 79, 1},
    {0x018F, 0x018F, 202, 1},
    {0x0190, 0x0190, 203, 1},
    {0x0191, 0x0191, 1, 1},
    {0x0193, 0x0193, 205, 1},
    {0x0194, 0x0194, 207, 1},
    {0x0196, 0x0196, 211, 1},
    {0x0197, 0x0197, 209, 1},
    {0x0198, 0x0198, 1, 1},
    {0x019C, 0x019C, 211, 1},
    {0x019D, 0x019D, 213, 1},
    {0x019F, 0x019F, 214, 1},
    {0x01A0, 0x01A4, 1, 2},
    {0x01A6, 0x01A6, 218, 1},
    {0x01A7, 0x01A7, 1, 1},
    {0x01A9, 0x01A9, 218, 1},
    {0x01AC, 0x01AC, 1, 1},
    {0x01AE, 0x01AE, 218, 1},
    {0x01AF, 0x01AF, 1, 1},
    {0x01B1, 0x01B2, 217, 1},
    {0x01B3, 0x01B5, 1, 2},
    {0x01B7, 0x01B7, 219, 1},
    {0x01B8, 0x01B8, 1, 1},
    {0x01BC, 0x01BC, 1, 1},
    {0x01C4, 0x01C4, 2, 1},
    {0x01C5, 0x01C5, 1, 1},
    {0x01C7, 0x01C7, 2, 1},
    {0x01C8, 0x01C8, 1, 1},
    {0x01CA, 0x01CA, 2, 1},
    {0x01CB, 0x01DB, 1, 2},
    {0x01DE, 0x01EE, 1, 2},
    {0x01F1, 0x01F1, 2, 1},
    {0x01F2, 0x01F4, 1, 2},
    {0x01F6, 0x01F6, -97, 1},
    {0x01F7, 0x01F7, -56, 1},
    {0x01F8, 0x021E, 1, 2},
    {0x0220, 0x0220, -130, 1},
    {0x0222, 0x0232, 1, 2},
    {0x023A, 0x023A, 10795, 1},
    {0x023B, 0x023B, 1, 1},
    {0x023D, 0x023D, -163, 1},
    {0x023E, 0x023E, 10792, 1},
    {0x0241, 0x0241, 1, 1},
    {0x0243, 0x0243, -195, 1},
    {0x0244, 0x0244, 69, 1},
    {0x0245, 0x0245, 71, 1},
    {0x0246, 0x024E, 1, 2},
    {0x0370, 0x0372, 1, 2},
    {0x0376, 0x0376, 1, 1},
    {0x037F, 0x037F, 116, 1},
    {0x0386, 0x0386, 38, 1},
    {0x0388, 0x038A, 37, 1},
    {0x038C, 0x038C, 64, 1},
    {0x038E, 0x038F, 63, 1},
    {0x0391, 0x03A1, 32, 1},
    {0x03A3, 0x03AB, 32, 1},
    {0x03CF, 0x03CF, 8, 1},
    {0x03D8, 0x03EE, 1, 2},
    {0x03F4, 0x03F4, -60, 1},
    {0x03F7, 0x03F7, 1, 1},
    {0x03F9, 0x03F9, -7, 1},
    {0x03FA, 0x03FA, 1, 1},
    {0x03FD, 0x03FF, -130, 1},
    {0x0400, 0x040F, 80, 1},
    {0x0410, 0x042F, 32, 1},
    {0x0460, 0x0480, 1, 2},
    {0x048A, 0x04BE, 1, 2},
    {0x04C0, 0x04C0, 15, 1},
    {0x04C1, 0x04CD, 1, 2},
    {0x04D0, 0x052E, 1, 2},
    {0x0531, 0x0556, 48, 1},
    {0x10A0, 0x10C5, 7264, 1},
    {0x10C7, 0x10C7, 7264, 1},
    {0x10CD, 0x10CD, 7264, 1},
    {0x13A0, 0x13EF, 38864, 1},
    {0x13F0, 0x13F5, 8, 1},
    {0x1C90, 0x1CBA, -3008, 1},
    {0x1CBD, 0x1CBF, -3008, 1},
    {0x1E00, 0x1E94, 1, 2},
    {0x1E9E, 0x1E9E, -7615, 1},
    {0x1EA0, 0x1EFE, 1, 2},
    {0x1F08, 0x1F0F, -8, 1},
    {0x1F18, 0x1F1D, -8, 1},
    {0x1F28, 0x1F2F, -8, 1},
    {0x1F38, 0x1F3F, -8, 1},
    {0x1F48, 0x1F4D, -8, 1},
    {0x1F59, 0x1F5F, -8, 2},
    {0x1F68, 0x1F6F, -8, 1},
    {0x1F88, 0x1F8F, -8, 1},
    {0x1F98, 0x1F9F, -8, 1},
    {0x1FA8, 0x1FAF, -8, 1},
    {0x1FB8, 0x1FB9, -8, 1},
    {0x1FBA, 0x1FBB, -74, 1},
    {0x1FBC, 0x1FBC, -9, 1},
    {0x1FC8, 0x1FCB, -86, 1},
    {0x1FCC, 0x1FCC, -9, 1},
    {0x1FD8, 0x1FD9, -8, 1},
    {0x1FDA, 0x1FDB, -100, 1},
    {0x1FE8, 0x1FE9, -8, 1},
    {0x1FEA, 0x1FEB, -112, 1},
    {0x1FEC, 0x1FEC, -7, 1},
    {0x1FF8, 0x1FF9, -128, 1},
    {0x1FFA, 0x1FFB, -126, 1},
    {0x1FFC, 0x1FFC, -9, 1},
    {0x2126, 0x2126, -7517, 1},
    {0x212A, 0x212A, -8383, 1},
    {0x212B, 0x212B, -8262, 1},
    {0x2132, 0x2132, 28, 1},
    {0x2160, 0x216F, 16, 1},
    {0x2183, 0x2183, 1, 1},
    {0x24B6, 0x24CF, 26, 1},
    {0x2C00, 0x2C2F, 48, 1},
    {0x2C60, 0x2C60, 1, 1},
    {0x2C62, 0x2C62, -10743, 1},
    {0x2C63, 0x2C63, -3814, 1},
    {0x2C64, 0x2C64, -10727, 1},
    {0x2C67, 0x2C6B, 1, 2},
    {0x2C6D, 0x2C6D, -10780, 1},
    {0x2C6E, 0x2C6E, -10749, 1},
    {0x2C6F, 0x2C6F, -10783, 1},
    {0x2C70, 0x2C70, -10782, 1},
    {0x2C72, 0x2C72, 1, 1},
    {0x2C75, 0x2C75, 1, 1},
    {0x2C7E, 0x2C7F, -10815, 1},
    {0x2C80, 0x2CE2, 1, 2},
    {0x2CEB, 0x2CED, 1, 2},
    {0x2CF2, 0x2CF2, 1, 1},
    {0xA640, 0xA66C, 1, 2},
    {0xA680, 0xA69A, 1, 2},
    {0xA722, 0xA72E, 1, 2},
    {0xA732, 0xA76E, 1, 2},
    {0xA779, 0xA77B, 1, 2},
    {0xA77D, 0xA77D, -35332, 1},
    {0xA77E, 0xA786, 1, 2},
    {0xA78B, 0xA78B, 1, 1},
    {0xA78D, 0xA78D, -42280, 1},
    {0xA790, 0xA792, 1, 2},
    {0xA796, 0xA7A8, 1, 2},
    {0xA7AA, 0xA7AA, -42308, 1},
    {0xA7AB, 0xA7AB, -42319, 1},
    {0xA7AC, 0xA7AC, -42315, 1},
    {0xA7AD, 0xA7AD, -42305, 1},
    {0xA7AE, 0xA7AE, -42308, 1},
    {0xA7B0, 0xA7B0, -42258, 1},
    {0xA7B1, 0xA7B1, -42282, 1},
    {0xA7B2, 0xA7B2, -42261, 1},
    {0xA7B3, 0xA7B3, 928, 1},
    {0xA7B4, 0xA7C2, 1, 2},
    {0xA7C4, 0xA7C4, -48, 1},
    {0xA7C5, 0xA7C5, -42307, 1},
    {0xA7C6, 0xA7C6, -35384, 1},
    {0xA7C7, 0xA7C9, 1, 2},
    {0xA7D0, 0xA7D0, 1, 1},
    {0xA7D6, 0xA7D8, 1, 2},
    {0xA7F5, 0xA7F5, 1, 1},
    {0xFF21, 0xFF3A, 32, 1},
    {0x10400, 0x10427, 40, 1},
    {0x104B0, 0x104D3, 40, 1},
    {0x10570, 0x1057A, 39, 1},
    {0x1057C, 0x1058A, 39, 1},
    {0x1058C, 0x10592, 39, 1},
    {0x10594, 0x10595, 39, 1},
    {0x10C80, 0x10CB2, 64, 1},
    {0x118A0, 0x118BF, 32, 1},
    {0x16E40, 0x16E5F, 32, 1},
    {0x1E900, 0x1E921, 34, 1},
};

}  // namespace

char32_t lowerChar(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c < 0xC0) return c;
    // The last run starting at or before c.
    const auto* end = std::end(kLowerRuns);
    const auto* it = std::upper_bound(std::begin(kLowerRuns), end, c,
                                      [](char32_t v, const LowerRun& r) { return v < r.first; });
    if (it == std::begin(kLowerRuns)) return c;
    const LowerRun& r = *(it - 1);
    if (c > r.last || (c - r.first) % static_cast<char32_t>(r.stride) != 0) return c;
    return static_cast<char32_t>(static_cast<int32_t>(c) + r.delta);
}

char32_t nextChar(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    int len = 0;
    char32_t c = 0, min = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    }
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return b0;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            return b0;
        }
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not valid UTF-8.
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return b0;
    }
    i += static_cast<std::size_t>(len);
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | ((c >> 18) & 0x07));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t at = i;
        const char32_t c = nextChar(s, i);
        // A byte of 0x80 or more that came back alone was not part of a valid sequence.
        if (i == at + 1 && c >= 0x80) return false;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes) appendUtf8(out, static_cast<unsigned char>(b));
    return out;
}

std::string lowerCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) appendUtf8(out, lowerChar(nextChar(utf8, i)));
    return out;
}

// ---------------------------------------------------------------- TINIKey

std::shared_ptr<TINIKey> TINIKey::_create(const std::string& name, const std::shared_ptr<TINIGroup>& group) {
    auto key = std::make_shared<TINIKey>();
    key->keyName = name;
    key->iniGroup = group;
    return key;
}

int TINIKey::setName(const std::string& name) {
    auto group = iniGroup.lock();
    return group ? group->_renKey(*this, name) : 0;
}

void TINIKey::remove() {
    if (auto group = iniGroup.lock()) group->_remKey(*this);
}

std::shared_ptr<TINIKey> TINIKey::CopyTo(const std::shared_ptr<TINIGroup>& group) const {
    if (!group || group == iniGroup.lock()) return nullptr;
    return group->AddKey(keyName, value);
}

// ---------------------------------------------------------------- TINIGroup

std::shared_ptr<TINIGroup> TINIGroup::_create(const std::string& name, const std::shared_ptr<TINIFile>& file) {
    auto group = std::make_shared<TINIGroup>();
    group->Name = name;
    group->iniFile = file;
    return group;
}

std::shared_ptr<TINIKey> TINIGroup::AddKey(const std::string& name, const std::string& value) {
    auto it = keyName.find(lowerCase(name));
    if (it != keyName.end()) {
        it->second->value = value;
        return it->second;
    }
    auto key = TINIKey::_create(name, weak_from_this().lock());
    key->value = value;
    _regKey(key);
    return key;
}

std::shared_ptr<TINIKey> TINIGroup::getKey(const std::string& name, const std::string& def, int create) {
    auto it = keyName.find(lowerCase(name));
    if (it != keyName.end()) return it->second;
    return create ? AddKey(name, def) : nullptr;
}

int TINIGroup::keyExist(const std::string& name) const { return keyName.count(lowerCase(name)) ? 1 : 0; }

void TINIGroup::RemoveKey(const std::string& name) { keyName.erase(lowerCase(name)); }

void TINIGroup::remove() {
    if (auto file = iniFile.lock()) file->_remGroup(*this);
}

int TINIGroup::setName(const std::string& name) {
    auto file = iniFile.lock();
    return file ? file->_renGroup(*this, name) : 0;
}

void TINIGroup::AddKeys(const TINIGroup& other) {
    // Copy first: `other` may be this group.
    for (const auto& key : other.getKeyList()) AddKey(key->keyName, key->value);
}

std::vector<std::shared_ptr<TINIKey>> TINIGroup::getKeyList() const {
    std::vector<std::shared_ptr<TINIKey>> list;
    list.reserve(keyName.size());
    for (const auto& [lower, key] : keyName) list.push_back(key);
    return list;
}

void TINIGroup::_regKey(const std::shared_ptr<TINIKey>& key) { keyName[lowerCase(key->keyName)] = key; }

void TINIGroup::_remKey(const TINIKey& key) {
    // Only the entry that is this very key: a key removed earlier must not take a newer key of the
    // same name with it.
    auto it = keyName.find(lowerCase(key.keyName));
    if (it != keyName.end() && it->second.get() == &key) keyName.erase(it);
}

int TINIGroup::_renKey(TINIKey& key, const std::string& newName) {
    auto it = keyName.find(lowerCase(key.keyName));
    if (it == keyName.end() || it->second.get() != &key) return 0;
    const std::string lower = lowerCase(newName);
    auto other = keyName.find(lower);
    if (other != keyName.end() && other->second.get() != &key) return 0;  // would hide that key
    auto keep = it->second;
    keyName.erase(it);
    key.keyName = newName;
    keyName[lower] = keep;
    return 1;
}

// ---------------------------------------------------------------- TINIFile

std::shared_ptr<TINIFile> TINIFile::Create(const std::string& fileName) {
    auto file = std::make_shared<TINIFile>();
    file->fileName = fileName;
    return file;
}

std::shared_ptr<TINIFile> TINIFile::Load(const std::string& fileName) {
    auto file = Create(fileName);
    return file->ReadIn() ? file : nullptr;
}

std::shared_ptr<TINIGroup> TINIFile::addGroup(const std::string& name) {
    auto it = groupName.find(lowerCase(name));
    if (it != groupName.end()) return it->second;
    auto group = TINIGroup::_create(name, weak_from_this().lock());
    _regGroup(group);
    return group;
}

std::shared_ptr<TINIGroup> TINIFile::getGroup(const std::string& name, int create) {
    auto it = groupName.find(lowerCase(name));
    if (it != groupName.end()) return it->second;
    return create ? addGroup(name) : nullptr;
}

int TINIFile::groupExist(const std::string& name) const { return groupName.count(lowerCase(name)) ? 1 : 0; }

void TINIFile::removeGroup(const std::string& name) { groupName.erase(lowerCase(name)); }

std::vector<std::shared_ptr<TINIGroup>> TINIFile::getGroupList() const {
    std::vector<std::shared_ptr<TINIGroup>> list;
    list.reserve(groupName.size());
    for (const auto& [lower, group] : groupName) list.push_back(group);
    return list;
}

void TINIFile::_regGroup(const std::shared_ptr<TINIGroup>& group) { groupName[lowerCase(group->Name)] = group; }

void TINIFile::_remGroup(const TINIGroup& group) {
    auto it = groupName.find(lowerCase(group.Name));
    if (it != groupName.end() && it->second.get() == &group) groupName.erase(it);
}

int TINIFile::_renGroup(TINIGroup& group, const std::string& newName) {
    auto it = groupName.find(lowerCase(group.Name));
    if (it == groupName.end() || it->second.get() != &group) return 0;
    const std::string lower = lowerCase(newName);
    auto other = groupName.find(lower);
    if (other != groupName.end() && other->second.get() != &group) return 0;  // would hide that group
    auto keep = it->second;
    groupName.erase(it);
    group.Name = newName;
    groupName[lower] = keep;
    return 1;
}

// ---------------------------------------------------------------- reading and writing

void TINIFile::ReadFromText(std::string_view bytes) {
    Clear();
    std::string text;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF" && isValidUtf8(bytes.substr(3))) {
        text = bytes.substr(3);
    } else if (isValidUtf8(bytes)) {
        text = bytes;
    } else {
        text = latin1ToUtf8(bytes);
    }

    std::shared_ptr<TINIGroup> current;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line;
        line.reserve(end - pos);
        for (std::size_t k = pos; k < end; ++k)
            if (text[k] != '\r') line += text[k];
        pos = end + 1;

        // Only spaces are skipped: a tab before "[" makes the line no header.
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        std::string_view l(line);
        l.remove_prefix(first);

        if (l.front() == '[') {
            const std::size_t close = l.rfind(']');
            const std::string name(close == std::string_view::npos ? l.substr(1) : l.substr(1, close - 1));
            if (!name.empty()) current = addGroup(name);
            continue;
        }
        if (l.front() == '#') continue;
        const std::size_t eq = l.find('=');
        if (eq == std::string_view::npos || !current) continue;
        std::string_view key = l.substr(0, eq);
        const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
        while (!key.empty() && isBlank(key.front())) key.remove_prefix(1);
        while (!key.empty() && isBlank(key.back())) key.remove_suffix(1);
        current->AddKey(std::string(key), std::string(l.substr(eq + 1)));
    }
}

int TINIFile::ReadIn(std::string* error) {
    Clear();
    std::string bytes;
    if (!readWholeFile(fileName, bytes, error, 16u * 1024u * 1024u)) return 0;
    ReadFromText(bytes);
    return 1;
}

namespace {

// A name or value as it goes into a line: line breaks become spaces so that the text cannot end
// its line early.
std::string oneLine(const std::string& s) {
    std::string out = s;
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

}  // namespace

std::string TINIFile::toText(int blankLines) const {
    std::string text;
    for (const auto& [lowerG, group] : groupName) {
        text += "[" + oneLine(group->Name) + "]\r\n";
        for (const auto& [lowerK, key] : group->keyName) {
            const std::string name = oneLine(key->keyName);
            // A leading "[" or "#" would make the line a header or a comment; a leading tab is
            // trimmed off again when the key is read.
            if (!name.empty() && (name.front() == '[' || name.front() == '#')) text += '\t';
            text += name + "=" + oneLine(key->value) + "\r\n";
        }
        if (blankLines) text += "\r\n";
    }

    // One byte per character where that reads back the same; UTF-8 otherwise.
    std::string latin1;
    latin1.reserve(text.size());
    bool fits = true;
    bool high = false;
    for (std::size_t i = 0; i < text.size() && fits;) {
        const char32_t c = nextChar(text, i);
        if (c > 0xFF) fits = false;
        if (c >= 0x80) high = true;
        latin1 += static_cast<char>(c);
    }
    if (fits && !(high && isValidUtf8(latin1))) return latin1;
    std::string utf8;
    utf8.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) appendUtf8(utf8, nextChar(text, i));
    return utf8;
}

int TINIFile::Save(int blankLines, std::string* error) const {
    return writeFileAtomically(fileName, toText(blankLines), error) ? 1 : 0;
}

}  // namespace gw
