// The pools that hold devices and nets: slots are distinct, aligned and reused after they are given
// back, the bookkeeping the memory figures rely on adds up, and pooled objects live and die as
// make_shared ones do.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "model/Device.h"
#include "model/InputDevices.h"
#include "model/ObjectPool.h"
#include "model/Wire.h"

namespace gw {
namespace {

TEST(SlotPool, SlotsAreDistinctAlignedAndReusedAcrossBlocks) {
    SlotPool pool(20, 256);  // 24-byte slots, ten to a block
    EXPECT_EQ(pool.slotSize(), 24u);
    std::vector<void*> taken;
    std::set<uintptr_t> seen;
    for (int i = 0; i < 35; ++i) {
        void* p = pool.take();
        const auto a = reinterpret_cast<uintptr_t>(p);
        EXPECT_EQ(a % 8, 0u);
        // No slot overlaps another: each starts at least a slot away from every other.
        auto it = seen.lower_bound(a);
        if (it != seen.end()) {
            EXPECT_GE(*it - a, 24u);
        }
        if (it != seen.begin()) {
            EXPECT_GE(a - *std::prev(it), 24u);
        }
        seen.insert(a);
        std::memset(p, 0xAB, 24);  // the whole slot is the caller's
        taken.push_back(p);
    }
    EXPECT_EQ(pool.inUse(), 35u);
    EXPECT_EQ(pool.idleBytes(), 5u * 24);  // four blocks of ten, 35 handed out
    for (int i = 0; i < 35; i += 2) pool.give(taken[static_cast<size_t>(i)]);
    EXPECT_EQ(pool.inUse(), 17u);
    EXPECT_EQ(pool.idleBytes(), 23u * 24);
    // Given-back slots come out again before new blocks are made.
    std::set<void*> back;
    for (int i = 0; i < 18; ++i) back.insert(pool.take());
    for (int i = 0; i < 35; i += 2) EXPECT_EQ(back.count(taken[static_cast<size_t>(i)]), 1u) << i;
    EXPECT_EQ(pool.idleBytes(), 5u * 24);
}

struct Counted {
    static inline int alive = 0;
    explicit Counted(int v) : value(v) { ++alive; }
    ~Counted() { --alive; }
    int value;
};

TEST(SlotPool, PooledObjectsLiveAndDieLikeSharedOnes) {
    {
        auto a = makePooled<Counted>(7);
        std::weak_ptr<Counted> w = a;
        auto b = a;
        EXPECT_EQ(Counted::alive, 1);
        EXPECT_EQ(b->value, 7);
        a.reset();
        EXPECT_FALSE(w.expired());
        b.reset();
        EXPECT_TRUE(w.expired());
        EXPECT_EQ(Counted::alive, 0);
    }
    // A device and a net from the pools behave as the program's own: pin arrays sized, values
    // stored, and the memory figures see their slots in use.
    auto d = makePooled<TDevice>(TSwich::Create(0), 3, 4);
    EXPECT_EQ(d->xPos, 3);
    auto n = makePooled<TWireComplex>();
    n->State = 1;
    d->outputs[0] = n.get();
    EXPECT_EQ(static_cast<int>(d->outputs[0]->State), 1);
    if (kPooledSlots) {
        const size_t idle = SlotPool::sharedIdleBytes();
        n.reset();
        EXPECT_GT(SlotPool::sharedIdleBytes(), idle);
    }
}

}  // namespace
}  // namespace gw
