#include "model/ObjectPool.h"

#include <algorithm>
#include <map>
#include <memory>

namespace gw {

SlotPool::SlotPool(size_t slotSize, size_t blockBytes)
    : slot_((std::max(slotSize, sizeof(FreeSlot)) + 7) / 8 * 8), perBlock_(std::max<size_t>(1, blockBytes / slot_)) {}

SlotPool::~SlotPool() {
    for (Block* b : blocks_) {
        ::operator delete(b->base);
        delete b;
    }
}

SlotPool::Block* SlotPool::newBlock() {
    if (spare_) {
        Block* b = spare_;
        spare_ = nullptr;
        return b;
    }
    blocks_.reserve(blocks_.size() + 1);  // may throw before anything is made
    auto b = std::make_unique<Block>();
    b->base = static_cast<char*>(::operator new(slot_ * perBlock_));
    Block* raw = b.release();
    blocks_.insert(std::upper_bound(blocks_.begin(), blocks_.end(), raw,
                                    [](const Block* x, const Block* y) { return x->base < y->base; }),
                   raw);
    return raw;
}

void SlotPool::list(Block* b) noexcept {
    b->prev = nullptr;
    b->next = open_;
    if (open_) open_->prev = b;
    open_ = b;
    b->listed = true;
}

void SlotPool::unlist(Block* b) noexcept {
    if (b->prev) b->prev->next = b->next;
    else open_ = b->next;
    if (b->next) b->next->prev = b->prev;
    b->prev = b->next = nullptr;
    b->listed = false;
}

SlotPool::Block* SlotPool::blockOf(const void* p) const noexcept {
    const char* c = static_cast<const char*>(p);
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), c,
                               [](const char* x, const Block* b) { return x < b->base; });
    return *(it - 1);  // the last block starting at or before p
}

void SlotPool::drop(Block* b) noexcept {
    const auto it = std::lower_bound(blocks_.begin(), blocks_.end(), b,
                                     [](const Block* x, const Block* y) { return x->base < y->base; });
    blocks_.erase(it);
    ::operator delete(b->base);
    delete b;
}

void* SlotPool::take() {
    std::lock_guard<std::mutex> lock(m_);
    Block* b = open_;
    if (!b) {
        b = newBlock();
        list(b);
    }
    void* p;
    if (b->free) {
        p = b->free;
        b->free = b->free->next;
    } else {
        p = b->base + b->carved++ * slot_;
    }
    ++b->used;
    ++inUse_;
    if (b->used == perBlock_) unlist(b);  // full
    return p;
}

void SlotPool::give(void* p) noexcept {
    if (!p) return;
    std::lock_guard<std::mutex> lock(m_);
    Block* b = blockOf(p);
    auto* s = static_cast<FreeSlot*>(p);
    s->next = b->free;
    b->free = s;
    --b->used;
    --inUse_;
    if (!b->listed) list(b);
    if (b->used > 0) return;
    // Empty: kept as the spare (its slots as new), or given back.
    unlist(b);
    if (!spare_) {
        b->free = nullptr;
        b->carved = 0;
        spare_ = b;
    } else {
        drop(b);
    }
}

size_t SlotPool::inUse() const {
    std::lock_guard<std::mutex> lock(m_);
    return inUse_;
}

size_t SlotPool::blocks() const {
    std::lock_guard<std::mutex> lock(m_);
    return blocks_.size();
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
