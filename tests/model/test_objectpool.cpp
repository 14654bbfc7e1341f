// The pools that hold devices and nets: slots are distinct, aligned and reused after they are given
// back, the bookkeeping the memory figures rely on adds up, and pooled objects live and die as
// make_shared ones do.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <algorithm>
#include <memory>
#include <random>
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
    for (int i = 0; i < 23; ++i) pool.take();
    EXPECT_EQ(pool.blocks(), 4u);
    EXPECT_EQ(pool.idleBytes(), 0u);
    pool.take();
    EXPECT_EQ(pool.blocks(), 5u);
}

// Random takes and gives against a set of the slots out: no slot is handed out twice, and blocks
// whose slots all came back are given back too, all but one kept for the next objects.
TEST(SlotPool, EmptiedBlocksAreGivenBack) {
    std::mt19937 rng(3);
    SlotPool pool(40, 400);  // ten slots a block
    std::vector<void*> out;
    std::set<void*> live;
    for (int round = 0; round < 20; ++round) {
        const int grow = static_cast<int>(rng() % 300);
        for (int i = 0; i < grow; ++i) {
            void* p = pool.take();
            ASSERT_TRUE(live.insert(p).second) << "a slot handed out twice";
            std::memset(p, round, 40);
            out.push_back(p);
        }
        std::shuffle(out.begin(), out.end(), rng);
        const size_t keep = out.size() * (rng() % 4) / 4;
        while (out.size() > keep) {
            live.erase(out.back());
            pool.give(out.back());
            out.pop_back();
        }
        ASSERT_EQ(pool.inUse(), out.size());
        // Every block holds a slot in use, but for one spare.
        ASSERT_LE(pool.blocks(), out.size() + 1);
        EXPECT_EQ(pool.idleBytes(), pool.blocks() * 10 * 40 - out.size() * 40);
    }
    for (void* p : out) pool.give(p);
    EXPECT_EQ(pool.inUse(), 0u);
    EXPECT_EQ(pool.blocks(), 1u);
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
