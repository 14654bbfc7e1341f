#include "model/Ref.h"

#include <unordered_map>

namespace gw {

namespace {
// References beyond the 65,535 an object's own count holds, by object.
std::unordered_map<const void*, size_t>& spilled() {
    static auto* m = new std::unordered_map<const void*, size_t>();  // outlives objects freed at exit
    return *m;
}
}  // namespace

size_t RefCount::count(const void* owner) const noexcept {
    if (n_ < kSpilled) return n_;
    const auto& m = spilled();
    const auto it = m.find(owner);
    return kSpilled + (it == m.end() ? 0 : it->second);
}

size_t RefCount::spilledObjects() noexcept { return spilled().size(); }

void RefCount::addSpilled(const void* owner) { ++spilled()[owner]; }

bool RefCount::dropSpilled(const void* owner) noexcept {
    auto& m = spilled();
    const auto it = m.find(owner);
    if (it == m.end()) return false;
    if (--it->second == 0) m.erase(it);
    return true;
}

}  // namespace gw
