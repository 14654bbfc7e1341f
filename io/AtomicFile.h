// Whole-file reading and crash-safe whole-file writing for everything the program saves
// (board files, IC files, cfg.ini).
//
// writeFileAtomically() never leaves a half-written file behind: the bytes go to a temporary file
// in the target's own folder, are flushed to the disk (fsync) and only then renamed over the target.
// A crash, a full disk, a file-size limit or a folder without write permission therefore leaves
// either the complete old file or the complete new one. On failure the temporary file is removed,
// the old file is untouched and the error text says what went wrong in words a user can act on
// ("the disk is full", "no permission to write in folder ..."). A symbolic link as target is
// followed, so the file it points to is replaced and the link stays a link.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gw {

// Writes `data` as the complete new content of `path`. Returns true on success. On failure returns
// false, leaves any existing file at `path` as it was and, when `error` is given, stores a
// sentence naming the file and the cause.
bool writeFileAtomically(const std::string& path, std::string_view data, std::string* error = nullptr);

// Reads the whole file into `out`. Fails (false, with a sentence in `error`) when the file cannot be
// opened or read, is not a regular file, or is larger than `maxBytes`; `out` is then empty.
bool readWholeFile(const std::string& path, std::string& out, std::string* error = nullptr,
                   std::size_t maxBytes = 64u * 1024u * 1024u);

}  // namespace gw
