// ObjectPool: fixed-size slots carved from large blocks, for the objects a large board holds by the
// million (placed devices and nets). The general allocator puts a header before every block and
// rounds it up to a 16-byte size class: a net of 64 bytes would take 80. A pool hands out slots of
// exactly its size, back to back; each block keeps its own list of freed slots, handed out again
// first. Blocks come from the object arena, one address range reserved once, so that a slot can be
// named in four bytes (model/Compact.h). A block whose slots are all given back loses its memory
// (one empty block per pool is kept for the next objects), so closing a large board gives its
// memory back.
//
// makePooled<T>(args...) (model/Ref.h) makes an object, its count inside, in a slot; takeBlock and
// giveBlock serve small variable-sized blocks (a net's segment list) the same way.
// Builds with the address sanitizer take every slot from the general allocator instead, so that
// the sanitizer still sees each object's life.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace gw {

class SlotPool {
public:
    // Slots of `slotSize` bytes (rounded up to a multiple of 8), from blocks of about
    // `blockBytes`.
    explicit SlotPool(size_t slotSize, size_t blockBytes = size_t{1} << 18);
    SlotPool(const SlotPool&) = delete;
    SlotPool& operator=(const SlotPool&) = delete;
    ~SlotPool();

    void* take();
    void give(void* p) noexcept;

    size_t slotSize() const { return slot_; }
    size_t slotsPerBlock() const { return perBlock_; }
    // Slots handed out and not given back; blocks held; bytes held that are not handed out.
    size_t inUse() const;
    size_t blocks() const;
    size_t idleBytes() const;
    // Idle bytes of every pool that makePooled uses.
    static size_t sharedIdleBytes();

    // Bytes of pool blocks in the object arena (model/Compact.h), which the general allocator's
    // figures do not include.
    static size_t arenaBytes();

    // The pool for slots of `size` bytes that makePooled uses (one per size, never destroyed, so
    // objects freed while the program exits still find it).
    static SlotPool& shared(size_t size);

private:
    struct FreeSlot {
        FreeSlot* next;
    };
    // A block's bookkeeping, apart from its slots. Blocks with a slot to hand out form a list.
    struct Block {
        char* base;
        FreeSlot* free = nullptr;
        size_t carved = 0;  // slots ever handed out from the front of the block
        size_t used = 0;
        Block* prev = nullptr;
        Block* next = nullptr;
        bool listed = false;
    };
    Block* newBlock();
    void list(Block* b) noexcept;
    void unlist(Block* b) noexcept;
    // The block holding slot `p`.
    Block* blockOf(const void* p) const noexcept;
    void drop(Block* b) noexcept;
    void freeBlockMemory(char* base) const noexcept;

    mutable std::mutex m_;
    size_t slot_, perBlock_;
    std::vector<Block*> blocks_;  // by address of their slots
    Block* open_ = nullptr;       // blocks with a slot to hand out
    Block* spare_ = nullptr;      // one empty block kept
    size_t inUse_ = 0;
};

// Blocks of up to kSmallBlockMax bytes from the shared pool of their size rounded up to 8; larger
// ones from the general allocator. The caller gives a block back with the size it asked for.
inline constexpr size_t kSmallBlockMax = 512;
void* takeBlock(size_t bytes);
void giveBlock(void* p, size_t bytes) noexcept;

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPooledSlots = false;
#else
inline constexpr bool kPooledSlots = true;
#endif

// Allocates single objects from the shared pool of their size; arrays from the general allocator.
template <class T>
class PoolAllocator {
public:
    using value_type = T;
    PoolAllocator() noexcept = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) noexcept {}  // NOLINT: rebinding, as allocators do

    T* allocate(size_t n) {
        static_assert(alignof(T) <= 8, "pool slots are 8-byte aligned");
        if (kPooledSlots && n == 1) return static_cast<T*>(pool().take());
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept {
        if (kPooledSlots && n == 1) pool().give(p);
        else ::operator delete(p);
    }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const noexcept {
        return true;
    }

private:
    static SlotPool& pool() {
        static SlotPool& p = SlotPool::shared(sizeof(T));
        return p;
    }
};

}  // namespace gw
