// The one program-wide map from a type's identifier to the type. Board files and IC inner circuits
// turn stored names back into types through it. Keys are compared exactly (case-sensitive); a type
// with identifier "" is never registered; a later registration under the same identifier replaces the
// earlier one. Entries are never removed, so a registered type lives for the rest of the run.
#pragma once

#include <string>
#include <unordered_map>

#include "model/Draft.h"

namespace gw {

class DraftRegistry {
public:
    void registerDraft(const DraftPtr& draft);
    // The type registered under `id`, or nullptr.
    DraftPtr getDraft(const std::string& id) const;
    size_t size() const { return map_.size(); }

private:
    std::unordered_map<std::string, DraftPtr> map_;
};

// The program's registry, created empty on first use and never emptied.
DraftRegistry& draftRegistry();
inline void registerDraft(const DraftPtr& d) { draftRegistry().registerDraft(d); }
inline DraftPtr getDraft(const std::string& id) { return draftRegistry().getDraft(id); }

}  // namespace gw
