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
#include "model/LogicDevices.h"
#include "model/ObjectPool.h"
#include "model/Ref.h"
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
    RefCount refs_;
};

TEST(SlotPool, PooledObjectsLiveWhileReferenced) {
    {
        auto a = makePooled<Counted>(7);
        auto b = a;
        EXPECT_EQ(Counted::alive, 1);
        EXPECT_EQ(b->value, 7);
        EXPECT_EQ(a.use_count(), 2u);
        a = a;  // self-assignment keeps the count
        a = std::move(a);
        EXPECT_EQ(b.use_count(), 2u);
        Ref<Counted> c = Ref<Counted>::share(b.get());
        EXPECT_EQ(c, b);
        EXPECT_EQ(b.use_count(), 3u);
        a.reset();
        c = nullptr;
        EXPECT_EQ(Counted::alive, 1);
        EXPECT_EQ(b.use_count(), 1u);
        Ref<Counted> moved = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(Counted::alive, 1);
        moved = makePooled<Counted>(8);  // the first object goes, the new one stays
        EXPECT_EQ(Counted::alive, 1);
        EXPECT_EQ(moved->value, 8);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(SlotPool, CountsPastTheObjectsOwnRoomAreKept) {
    // Two bytes of count inside the object; references beyond that go to a table by object. Two
    // objects past it at once, released at different speeds.
    std::vector<Ref<Counted>> x{makePooled<Counted>(1)}, y{makePooled<Counted>(2)};
    for (int i = 0; i < 70000; ++i) {
        x.push_back(x.back());
        y.push_back(y.back());
    }
    EXPECT_EQ(x[0].use_count(), 70001u);
    EXPECT_EQ(RefCount::spilledObjects(), 2u);
    while (x.size() > 1) {
        x.resize(x.size() - std::min<size_t>(997, x.size() - 1));
        y.resize(y.size() - std::min<size_t>(50, y.size() - 1));
        ASSERT_EQ(Counted::alive, 2);
        ASSERT_EQ(x[0].use_count(), x.size());
        ASSERT_EQ(y[0].use_count(), y.size());
    }
    EXPECT_EQ(RefCount::spilledObjects(), 1u);
    x.clear();
    EXPECT_EQ(Counted::alive, 1);
    y.clear();
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(RefCount::spilledObjects(), 0u);
}

TEST(SlotPool, PooledDevicesAndNets) {
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


// Four-byte links: pooled objects by their place in the arena, anything else through the table of
// outside addresses; both read back as the object, and the same address always links the same.
TEST(Compact, LinksReadBackTheObjectsWhereverTheyLive) {
    std::vector<WirePtr> pooled;
    for (int i = 0; i < 5000; ++i) pooled.push_back(makePooled<TWireComplex>());  // several blocks
    std::vector<Compact<TWireComplex>> links;
    for (const WirePtr& w : pooled) links.emplace_back(w.get());
    for (size_t i = 0; i < pooled.size(); ++i) {
        ASSERT_EQ(links[i].get(), pooled[i].get());
        EXPECT_EQ(&links[i]->State, &pooled[i]->State);
    }
    std::vector<TWireComplex> outside(3);  // not from a pool
    TWireComplex onStack;
    const Compact<TWireComplex> a(&outside[1]), b(&onStack), a2(&outside[1]);
    EXPECT_EQ(a.get(), &outside[1]);
    EXPECT_EQ(b.get(), &onStack);
    EXPECT_EQ(a2.get(), a.get());
    EXPECT_EQ(Compact<TWireComplex>().get(), nullptr);
    EXPECT_EQ(Compact<TWireComplex>(nullptr).get(), nullptr);
    if (kPooledSlots) {
        EXPECT_EQ(sizeof(Compact<TWireComplex>), 4u);
        EXPECT_EQ(sizeof(WirePtr), 4u);
    }

    // Pins and readers linked both ways read as the plain pointers they were set to.
    DevicePtr d = makePooled<TDevice>(TLogic::Create(2, 0), 0, 0);
    d->inputs[0] = pooled[7].get();
    d->inputs[1] = &onStack;
    pooled[7]->outputList.push_back(d.get());
    onStack.outputList.push_back(d.get());
    EXPECT_EQ(static_cast<TWireComplex*>(d->inputs[0]), pooled[7].get());
    EXPECT_EQ(static_cast<TWireComplex*>(d->inputs[1]), &onStack);
    EXPECT_EQ(static_cast<TDevice*>(onStack.outputList[0]), d.get());
    EXPECT_TRUE(std::find(d->inputs.begin(), d->inputs.end(), &onStack) != d->inputs.end());

    // The scan test finds exactly the Refs to its object, pooled or not, and an address never
    // linked matches nothing.
    for (size_t i : {size_t{0}, size_t{7}, pooled.size() - 1}) {
        const auto it = std::find_if(pooled.begin(), pooled.end(), WirePtr::refersTo(pooled[i].get()));
        EXPECT_EQ(it - pooled.begin(), static_cast<long>(i));
    }
    EXPECT_EQ(std::count_if(pooled.begin(), pooled.end(), WirePtr::refersTo(nullptr)), 0);
    std::vector<Compact<TWireComplex>> mixed{&onStack, pooled[3].get(), nullptr, &outside[1]};
    TWireComplex neverLinked;
    auto count = [&](const TWireComplex* p) {
        return std::count_if(mixed.begin(), mixed.end(), Compact<TWireComplex>::Match(p));
    };
    EXPECT_EQ(count(&onStack), 1);
    EXPECT_EQ(count(&outside[1]), 1);
    EXPECT_EQ(count(pooled[3].get()), 1);
    EXPECT_EQ(count(nullptr), 1);
    EXPECT_EQ(count(&neverLinked), 0);
    EXPECT_EQ(count(&outside[0]), 0);
}

// The pools' blocks live in the arena: what the board's objects take shows in the arena's figure
// and goes back when they go.
TEST(Compact, ArenaBlocksComeAndGoWithTheObjects) {
    if (!kPooledSlots) GTEST_SKIP() << "slots come from the general allocator in this build";
    auto used = [] { return SlotPool::arenaBytes() - SlotPool::sharedIdleBytes(); };
    constexpr size_t kBlock = size_t{1} << 18, kSlot = (sizeof(TDevice) + 7) / 8 * 8;
    const size_t held0 = SlotPool::arenaBytes(), used0 = used();
    std::vector<DevicePtr> devices;
    for (int i = 0; i < 20000; ++i) devices.push_back(makePooled<TDevice>());
    EXPECT_EQ(used() - used0, 20000 * kSlot);
    const size_t held = SlotPool::arenaBytes() - held0;
    EXPECT_LT(held, 20000 * kSlot + 2 * kBlock);
    devices.clear();
    EXPECT_EQ(used(), used0);
    EXPECT_LE(SlotPool::arenaBytes(), held0 + kBlock);  // one spare block kept
    // And again, from the blocks given back.
    for (int i = 0; i < 20000; ++i) devices.push_back(makePooled<TDevice>());
    EXPECT_EQ(SlotPool::arenaBytes() - held0, held);
    for (const DevicePtr& p : devices) p->xPos = 7;  // the memory is there to write
}

// A device's state object is owned as by a unique_ptr: replaced, reset and destroyed with the
// device, each exactly once; entries given back are used again.
TEST(Compact, DeviceStateObjectsAreOwnedByTheirDevice) {
    struct Counted : TDeviceObj {
        explicit Counted(int& n) : n_(n) { ++n_; }
        ~Counted() override { --n_; }
        int& n_;
    };
    int alive = 0;
    const size_t live0 = DeviceObj::live();
    {
        std::vector<DevicePtr> devices;
        for (int i = 0; i < 300; ++i) {
            devices.push_back(makePooled<TDevice>());
            if (i % 3 != 0) devices.back()->obj = std::make_unique<Counted>(alive);
        }
        EXPECT_EQ(alive, 200);
        EXPECT_EQ(DeviceObj::live(), live0 + 200);
        EXPECT_FALSE(devices[0]->obj);
        EXPECT_EQ(devices[0]->obj.get(), nullptr);
        TDeviceObj* before = devices[1]->obj.get();
        devices[1]->obj = std::make_unique<Counted>(alive);  // replaces: the old one goes
        EXPECT_EQ(alive, 200);
        EXPECT_NE(devices[1]->obj.get(), before);
        devices[2]->obj.reset();
        devices[4]->obj = nullptr;
        EXPECT_EQ(alive, 198);
        EXPECT_EQ(devices[2]->obj, nullptr);
        for (int i = 0; i < 100; i += 2) devices[static_cast<size_t>(i)].reset();
        EXPECT_EQ(alive, 198 - 31);  // the even devices below 100 that still had one: not 0, 6, 12, ..., 2 or 4
        // Every device still reads its own object.
        std::set<TDeviceObj*> seen;
        for (const DevicePtr& d : devices) {
            if (d && d->obj) {
                EXPECT_TRUE(seen.insert(d->obj.get()).second);
            }
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(alive));
        const size_t live = DeviceObj::live();
        for (int i = 0; i < 50; ++i) devices.push_back(makePooled<TDevice>());
        for (size_t i = devices.size() - 50; i < devices.size(); ++i) devices[i]->obj = std::make_unique<Counted>(alive);
        EXPECT_EQ(DeviceObj::live(), live + 50);
    }
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(DeviceObj::live(), live0);
}

}  // namespace
}  // namespace gw
