// The INI module: named groups of key=value lines, kept wholly in memory (TINIFile owns its
// TINIGroups, a group owns its TINIKeys), looked up without regard to letter case while keeping the
// spelling first given, and written back sorted by the lower-cased names with CR LF line ends.
//
// Contract:
// - Names and values are UTF-8 strings in memory. Bytes that are not valid UTF-8 count as one
//   character each (Latin-1), so nothing given to the module is ever rejected.
// - Reading: a file that is valid UTF-8 (an optional byte-order mark is dropped) is read as UTF-8,
//   any other file one byte per character (Latin-1). Malformed lines are skipped silently.
// - Writing: one byte per character when every character fits in a byte; a file holding characters
//   beyond U+00FF (a language named in Cyrillic, say) is written as UTF-8 instead of being cut to
//   the low 8 bits, and so is a file whose one-byte form would read back as different UTF-8 text.
//   Line breaks inside names and values are written as spaces so a value can never start a new
//   line (a group header of its own); a key that begins with "[" or "#" is written after a tab so
//   it reads back as a key. Whatever was read from a file is written back so that it reads again
//   to the same groups, keys and values.
// - Save() replaces the file atomically (io/AtomicFile.h): a failed save leaves the old file.
// - Keys and groups are shared_ptrs: callers may keep them and change values later. An entry that
//   was removed stays a valid object but is no longer found or saved; back references are weak, so
//   a kept key outlives its group and file safely.
// - Renaming an entry onto a name another entry of the same map already has is refused (returns 0)
//   rather than making that other entry unreachable.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// --- text helpers shared with the language files ---

// Simple Unicode lower-case mapping of one character: A to Z, and letters from U+00C0 upward by the
// Unicode table; every other character stays as it is.
char32_t lowerChar(char32_t c);
// The lower-case form of a whole UTF-8 string (invalid bytes are taken as Latin-1 characters).
std::string lowerCase(std::string_view utf8);
// Reads one character at `i` and advances `i`; a byte that does not start a valid UTF-8 sequence is
// taken as one Latin-1 character.
char32_t nextChar(std::string_view s, std::size_t& i);
void appendUtf8(std::string& out, char32_t c);
bool isValidUtf8(std::string_view s);
// One byte per character (codes 0 to 255) to UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

class TINIFile;
class TINIGroup;

class TINIKey : public std::enable_shared_from_this<TINIKey> {
public:
    std::string keyName;                // as spelled
    std::string value;                  // empty by default
    std::weak_ptr<TINIGroup> iniGroup;  // the owning group

    // A key with that name, owner and empty value; not registered.
    static std::shared_ptr<TINIKey> _create(const std::string& name, const std::shared_ptr<TINIGroup>& group);

    const std::string& GetName() const { return keyName; }
    const std::string& getValue() const { return value; }
    void SetValue(const std::string& v) { value = v; }
    // Renames through the owning group; 0 when refused or when the key is not registered.
    int setName(const std::string& name);
    // Unregisters the key from its group (a no-op when it is not registered there).
    void remove();
    // nullptr when `group` is the key's own group; otherwise group->AddKey(keyName, value).
    std::shared_ptr<TINIKey> CopyTo(const std::shared_ptr<TINIGroup>& group) const;
};

class TINIGroup : public std::enable_shared_from_this<TINIGroup> {
public:
    std::string Name;                                       // as spelled
    std::map<std::string, std::shared_ptr<TINIKey>> keyName;  // lower-cased name -> key
    std::weak_ptr<TINIFile> iniFile;                        // the owning file

    static std::shared_ptr<TINIGroup> _create(const std::string& name, const std::shared_ptr<TINIFile>& file);

    // The key of that name with its value replaced, or a new registered key with that value.
    std::shared_ptr<TINIKey> AddKey(const std::string& name, const std::string& value);
    // The key of that name; when missing: AddKey(name, def) if `create`, else nullptr.
    std::shared_ptr<TINIKey> getKey(const std::string& name, const std::string& def = "", int create = 0);
    int keyExist(const std::string& name) const;
    void RemoveKey(const std::string& name);
    void remove();
    const std::string& GetName() const { return Name; }
    int setName(const std::string& name);
    void Clear() { keyName.clear(); }
    void AddKeys(const TINIGroup& other);
    std::vector<std::shared_ptr<TINIKey>> getKeyList() const;

    void _regKey(const std::shared_ptr<TINIKey>& key);
    void _remKey(const TINIKey& key);
    int _renKey(TINIKey& key, const std::string& newName);
};

class TINIFile : public std::enable_shared_from_this<TINIFile> {
public:
    std::string fileName;
    std::map<std::string, std::shared_ptr<TINIGroup>> groupName;  // lower-cased name -> group

    // A file object with that name and no groups; nothing is read.
    static std::shared_ptr<TINIFile> Create(const std::string& fileName = "");
    // Create, then ReadIn; nullptr when the file cannot be read.
    static std::shared_ptr<TINIFile> Load(const std::string& fileName);

    // Clears all groups, then reads `fileName`. 0 (and no groups) when it cannot be read, else 1.
    int ReadIn(std::string* error = nullptr);
    // Clears all groups and reads the groups and keys from file bytes held in memory.
    void ReadFromText(std::string_view bytes);
    // The exact bytes Save(blankLines) writes.
    std::string toText(int blankLines) const;
    // Writes the file atomically; 0 when it cannot be written (reason in `error`), else 1.
    int Save(int blankLines, std::string* error = nullptr) const;
    void Clear() { groupName.clear(); }

    const std::string& GetFilename() const { return fileName; }
    void setFilename(const std::string& name) { fileName = name; }

    std::shared_ptr<TINIGroup> addGroup(const std::string& name);
    std::shared_ptr<TINIGroup> getGroup(const std::string& name, int create = 0);
    int groupExist(const std::string& name) const;
    void removeGroup(const std::string& name);
    std::vector<std::shared_ptr<TINIGroup>> getGroupList() const;

    void _regGroup(const std::shared_ptr<TINIGroup>& group);
    void _remGroup(const TINIGroup& group);
    int _renGroup(TINIGroup& group, const std::string& newName);
};

}  // namespace gw
