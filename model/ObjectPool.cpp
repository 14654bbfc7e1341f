#include "model/ObjectPool.h"

#include <algorithm>
#include <map>

namespace gw {

SlotPool::SlotPool(size_t slotSize, size_t blockBytes)
    : slot_((std::max(slotSize, sizeof(FreeSlot)) + 7) / 8 * 8), perBlock_(std::max<size_t>(1, blockBytes / slot_)) {}

SlotPool::~SlotPool() {
    for (void* b : blocks_) ::operator delete(b);
}

void* SlotPool::take() {
    std::lock_guard<std::mutex> lock(m_);
    if (free_) {
        FreeSlot* s = free_;
        free_ = s->next;
        ++inUse_;
        return s;
    }
    if (carve_ == carveEnd_) {
        blocks_.reserve(blocks_.size() + 1);  // may throw before the block exists
        carve_ = static_cast<char*>(::operator new(slot_ * perBlock_));
        carveEnd_ = carve_ + slot_ * perBlock_;
        blocks_.push_back(carve_);
    }
    void* p = carve_;
    carve_ += slot_;
    ++inUse_;
    return p;
}

void SlotPool::give(void* p) noexcept {
    if (!p) return;
    std::lock_guard<std::mutex> lock(m_);
    auto* s = static_cast<FreeSlot*>(p);
    s->next = free_;
    free_ = s;
    --inUse_;
}

size_t SlotPool::inUse() const {
    std::lock_guard<std::mutex> lock(m_);
    return inUse_;
}

size_t SlotPool::idleBytes() const {
    std::lock_guard<std::mutex> lock(m_);
    return blocks_.size() * perBlock_ * slot_ - inUse_ * slot_;
}

namespace {
std::mutex& sharedLock() {
    static std::mutex& m = *new std::mutex;
    return m;
}
// Never destroyed: see SlotPool::shared.
std::map<size_t, SlotPool*>& sharedPools() {
    static auto& pools = *new std::map<size_t, SlotPool*>;
    return pools;
}
}  // namespace

SlotPool& SlotPool::shared(size_t size) {
    std::lock_guard<std::mutex> lock(sharedLock());
    SlotPool*& p = sharedPools()[size];
    if (!p) p = new SlotPool(size);
    return *p;
}

size_t SlotPool::sharedIdleBytes() {
    std::lock_guard<std::mutex> lock(sharedLock());
    size_t n = 0;
    for (const auto& [size, pool] : sharedPools()) n += pool->idleBytes();
    return n;
}

}  // namespace gw
