#include "model/ObjectPool.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <unordered_map>

#include "model/Compact.h"

namespace gw {

namespace detail {
char* gArenaBase = nullptr;
size_t gArenaBytes = 0;
void** gForeign = nullptr;
}  // namespace detail

namespace {

// The object arena: pool blocks of kArenaBlock bytes in one reserved address range, so that a
// slot's offset from the start names it in 32 bits (model/Compact.h). Blocks given back lose their
// memory and are handed out again first. Used from the pools only, under their locks' guard.
constexpr size_t kArenaBlock = size_t{1} << 18;

struct Arena {
    std::vector<char*> free;  // blocks given back
    size_t next = kArenaBlock;  // the first block is never handed out: offset 0 is the null link
    size_t inUseBytes = 0;

    char* take(size_t bytes) {
        if (!detail::gArenaBase) reserve();
        char* b;
        if (!free.empty()) {
            b = free.back();
            free.pop_back();
        } else {
            if (next + kArenaBlock > detail::gArenaBytes) throw std::bad_alloc();
            b = detail::gArenaBase + next;
            if (mprotect(b, kArenaBlock, PROT_READ | PROT_WRITE) != 0) throw std::bad_alloc();
            next += kArenaBlock;
        }
        inUseBytes += bytes;
        return b;
    }
    void give(char* b, size_t bytes) noexcept {
        (void)madvise(b, kArenaBlock, MADV_DONTNEED);  // reads as zeros again; no memory behind it
        inUseBytes -= bytes;
        try {
            free.push_back(b);
        } catch (...) {
            // Without room to remember the block its addresses stay unused; nothing is lost.
        }
    }
    // As large a range as the system grants, up to what 31 bits of 8-byte units reach.
    static void reserve() {
        for (size_t bytes = size_t{1} << 34; bytes >= size_t{1} << 28; bytes /= 2) {
            void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED) continue;
            detail::gArenaBase = static_cast<char*>(p);
            detail::gArenaBytes = bytes;
            return;
        }
        throw std::bad_alloc();
    }
};

std::mutex& arenaLock() {
    static std::mutex& m = *new std::mutex;
    return m;
}
Arena& arena() {
    static Arena& a = *new Arena;  // outlives objects freed at exit
    return a;
}

void* takeArenaBlock(size_t bytes) {
    std::lock_guard<std::mutex> lock(arenaLock());
    return arena().take(bytes);
}
void giveArenaBlock(void* p, size_t bytes) noexcept {
    std::lock_guard<std::mutex> lock(arenaLock());
    arena().give(static_cast<char*>(p), bytes);
}
bool fromArena(size_t bytes) { return kPooledSlots && bytes <= kArenaBlock; }

}  // namespace

namespace {
struct ForeignTable {
    std::mutex lock;
    std::vector<void*> table;
    std::unordered_map<const void*, uint32_t> index;
};
ForeignTable& foreignTable() {
    static auto& t = *new ForeignTable;  // outlives objects freed at exit
    return t;
}
}  // namespace

uint32_t detail::findForeign(const void* p) noexcept {
    ForeignTable& t = foreignTable();
    std::lock_guard<std::mutex> g(t.lock);
    const auto it = t.index.find(p);
    return it == t.index.end() ? ~uint32_t{0} : kForeignBit | it->second;
}

uint32_t detail::foreignIndex(const void* p) {
    ForeignTable& t = foreignTable();
    // The last addresses looked up, by a hash of the address: a board being read links each of its
    // devices to one of a few types.
    static std::pair<const void*, uint32_t> recent[256];
    std::lock_guard<std::mutex> g(t.lock);
    auto& hit = recent[(reinterpret_cast<uintptr_t>(p) >> 4) & 255];
    if (hit.first == p) return hit.second;
    uint32_t i;
    if (const auto it = t.index.find(p); it != t.index.end()) {
        i = it->second;
    } else {
        if (t.table.size() >= kForeignBit - 1) {  // the last index is findForeign's "none"
            std::fputs("gatewright: too many objects linked outside the object arena\n", stderr);
            std::abort();
        }
        // The table first: should the index then fail to grow, an unused entry is all it leaves.
        i = static_cast<uint32_t>(t.table.size());
        t.table.push_back(const_cast<void*>(p));
        gForeign = t.table.data();
        t.index.emplace(p, i);
    }
    hit = {p, i};
    return i;
}

size_t SlotPool::arenaBytes() {
    std::lock_guard<std::mutex> lock(arenaLock());
    return arena().inUseBytes;
}

SlotPool::SlotPool(size_t slotSize, size_t blockBytes)
    : slot_((std::max(slotSize, sizeof(FreeSlot)) + 7) / 8 * 8), perBlock_(std::max<size_t>(1, blockBytes / slot_)) {}

SlotPool::~SlotPool() {
    for (Block* b : blocks_) {
        freeBlockMemory(b->base);
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
    const size_t bytes = slot_ * perBlock_;
    b->base = static_cast<char*>(fromArena(bytes) ? takeArenaBlock(bytes) : ::operator new(bytes));
    Block* raw = b.release();
    blocks_.insert(std::upper_bound(blocks_.begin(), blocks_.end(), raw,
                                    [](const Block* x, const Block* y) { return x->base < y->base; }),
                   raw);
    return raw;
}

void SlotPool::freeBlockMemory(char* base) const noexcept {
    const size_t bytes = slot_ * perBlock_;
    if (fromArena(bytes)) giveArenaBlock(base, bytes);
    else ::operator delete(base);
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
    freeBlockMemory(b->base);
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
