#include "model/Registry.h"

namespace gw {

void DraftRegistry::registerDraft(const DraftPtr& draft) {
    if (!draft) return;
    std::string id = draft->getID();
    if (id.empty()) return;
    map_[std::move(id)] = draft;
}

DraftPtr DraftRegistry::getDraft(const std::string& id) const {
    auto it = map_.find(id);
    return it == map_.end() ? nullptr : it->second;
}

DraftRegistry& draftRegistry() {
    static DraftRegistry* reg = new DraftRegistry();  // outlives every board and palette
    return *reg;
}

}  // namespace gw
