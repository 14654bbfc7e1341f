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

namespace {
// The pools of small blocks by size class (8, 16, ... kSmallBlockMax bytes), looked up without
// the lock of the shared table.
SlotPool* const* smallPools() {
    static SlotPool* const* pools = [] {
        auto* a = new SlotPool*[kSmallBlockMax / 8];
        for (size_t i = 0; i < kSmallBlockMax / 8; ++i) a[i] = &SlotPool::shared((i + 1) * 8);
        return a;
    }();
    return pools;
}
}  // namespace

void* takeBlock(size_t bytes) {
    if (!kPooledSlots || bytes == 0 || bytes > kSmallBlockMax) return ::operator new(bytes);
    return smallPools()[(bytes - 1) / 8]->take();
}

void giveBlock(void* p, size_t bytes) noexcept {
    if (!p) return;
    if (!kPooledSlots || bytes == 0 || bytes > kSmallBlockMax) ::operator delete(p);
    else smallPools()[(bytes - 1) / 8]->give(p);
}

size_t SlotPool::sharedIdleBytes() {
    std::lock_guard<std::mutex> lock(sharedLock());
    size_t n = 0;
    for (const auto& [size, pool] : sharedPools()) n += pool->idleBytes();
    return n;
}

}  // namespace gw
