// The store of net values: every net's State is one cell in a shared array that grows in chunks and
// never moves. Nets must keep their values (and their places) whatever happens to other nets, a
// copied net must be a net of its own, and freed places must be used again.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <set>
#include <vector>

#include "model/Wire.h"

using namespace gw;

TEST(NetValues, AFreshNetHoldsZeroAndReadsAndWritesLikeAnInt) {
    TWireComplex n;
    EXPECT_EQ(n.State, 0);
    n.State = 1;
    EXPECT_TRUE(n.State == 1);
    const int v = n.State;
    EXPECT_EQ(v, 1);
    n.State = 7;  // only the step limits nets to 0 and 1; small values read back as they are
    EXPECT_EQ(n.State, 7);
    EXPECT_EQ(NetValueStore::base()[n.State.slot()], 7);
    // A value the cell cannot hold must still never read as 0 or 1: the reference step reads a net
    // as 1 only when it equals 1 and an inverted pin as 1 only when it equals 0.
    for (int odd : {2, -1, 256, 257, -255, 1 << 16, 0x7fffffff, -0x7fffffff - 1}) {
        n.State = odd;
        EXPECT_NE(n.State, 0) << odd;
        EXPECT_NE(n.State, 1) << odd;
        const NetValue copy(odd);
        EXPECT_NE(copy, 0) << odd;
        EXPECT_NE(copy, 1) << odd;
    }
    for (int v : {0, 1}) {
        n.State = v;
        EXPECT_EQ(n.State, v);
    }
    // The slots the compiled step reserves for unwired pins are never handed to a net.
    EXPECT_NE(n.State.slot(), NetValueStore::kSinkSlot);
    EXPECT_NE(n.State.slot(), NetValueStore::kZeroSlot);
}

TEST(NetValues, SlotsStayPutWhileOtherNetsComeAndGo) {
    std::vector<std::unique_ptr<TWireComplex>> keep, churn;
    for (int i = 0; i < 200; ++i) {
        keep.push_back(std::make_unique<TWireComplex>());
        keep.back()->State = i % 3 == 0 ? 1 : 0;
    }
    std::vector<NetCell*> where;
    for (auto& n : keep) where.push_back(NetValueStore::base() + n->State.slot());
    NetCell* const base = NetValueStore::base();
    // Thousands of nets created and destroyed around them, in and out of order.
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 500; ++i) {
            churn.push_back(std::make_unique<TWireComplex>());
            churn.back()->State = 1;
        }
        for (size_t i = round % 2; i < churn.size(); i += 2) churn[i].reset();
        std::erase(churn, nullptr);
    }
    EXPECT_EQ(NetValueStore::base(), base);
    for (size_t i = 0; i < keep.size(); ++i) {
        EXPECT_EQ(NetValueStore::base() + keep[i]->State.slot(), where[i]);
        EXPECT_EQ(keep[i]->State, i % 3 == 0 ? 1 : 0) << "net " << i;
    }
    // Nets alive at once never share a slot.
    std::set<uint32_t> slots;
    for (auto& n : keep) slots.insert(n->State.slot());
    for (auto& n : churn) slots.insert(n->State.slot());
    EXPECT_EQ(slots.size(), keep.size() + churn.size());
}

TEST(NetValues, FreedSlotsAreUsedAgainAndNewNetsSitSideBySide) {
    const size_t before = NetValueStore::inUse();
    auto a = std::make_unique<TWireComplex>();
    const uint32_t freed = a->State.slot();
    a->State = 1;
    a.reset();
    EXPECT_EQ(NetValueStore::inUse(), before);
    TWireComplex b;
    EXPECT_EQ(b.State.slot(), freed);
    EXPECT_EQ(b.State, 0) << "a reused slot starts at 0, not at the old net's value";
    // With no freed slots left, nets created one after another get neighbouring slots.
    const size_t top = NetValueStore::top();
    std::deque<NetValue> fresh;  // never moves its elements (a moved value takes a new slot)
    while (NetValueStore::top() == top) fresh.emplace_back();  // uses up freed slots first
    const uint32_t first = fresh.back().slot();
    for (int i = 0; i < 16; ++i) fresh.emplace_back();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fresh[fresh.size() - 16 + i].slot(), first + 1 + i);
}

TEST(NetValues, CopiesAreIndependent) {
    TWireComplex a;
    a.State = 1;
    TWireComplex b = a;  // a copied net
    EXPECT_NE(b.State.slot(), a.State.slot());
    EXPECT_EQ(b.State, 1);
    b.State = 0;
    EXPECT_EQ(a.State, 1);
    a.State = 0;
    b = a;  // assignment copies the value, not the slot
    a.State = 1;
    EXPECT_EQ(b.State, 0);
    NetValue v = a.State;  // a value taken out of a net
    a.State = 0;
    EXPECT_EQ(v, 1);
    std::vector<TWireComplex> nets(3);
    nets[1].State = 1;
    nets.reserve(100);  // moved by copying: each net still holds its own value
    nets.emplace_back();
    EXPECT_EQ(nets[0].State, 0);
    EXPECT_EQ(nets[1].State, 1);
    std::set<uint32_t> slots;
    for (auto& n : nets) slots.insert(n.State.slot());
    EXPECT_EQ(slots.size(), nets.size());
}

TEST(NetValues, ManyNetsSpanSeveralChunks) {
    const size_t n = NetValueStore::kChunkSlots + NetValueStore::kChunkSlots / 2;
    std::vector<NetValue> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = static_cast<int>(i * 2654435761u % 200);
    EXPECT_GE(NetValueStore::committedBytes(), (n + 2) * sizeof(NetCell));
    std::vector<NetValue> more(1000, NetValue(5));
    size_t wrong = 0;
    for (size_t i = 0; i < n; ++i) wrong += values[i] != static_cast<int>(i * 2654435761u % 200);
    EXPECT_EQ(wrong, 0u);
    for (const NetValue& v : more) ASSERT_EQ(v, 5);
}

TEST(NetValues, RunsAreConsecutiveReusedAndJoined) {
    const uint32_t a = NetValueStore::acquireRun(40);
    const uint32_t b = NetValueStore::acquireRun(24);
    NetCell* const s = NetValueStore::base();
    for (uint32_t i = 0; i < 40; ++i) s[a + i] = 1;  // every slot of a run is usable
    for (uint32_t i = 0; i < 24; ++i) s[b + i] = 2;
    for (uint32_t i = 0; i < 40; ++i) ASSERT_EQ(s[a + i], 1);
    EXPECT_TRUE(b >= a + 40 || a >= b + 24) << "runs must not overlap";
    // Single slots do not come out of a freed run, a run of the same length takes it again, and
    // freed runs side by side serve one longer run.
    NetValueStore::releaseRun(a, 40);
    TWireComplex n;
    EXPECT_TRUE(n.State.slot() < a || n.State.slot() >= a + 40);
    EXPECT_EQ(NetValueStore::acquireRun(40), a);
    NetValueStore::releaseRun(a, 40);
    if (b == a + 40) {
        NetValueStore::releaseRun(b, 24);
        EXPECT_EQ(NetValueStore::acquireRun(64), a);
        NetValueStore::releaseRun(a, 64);
    } else {
        NetValueStore::releaseRun(b, 24);
    }
}
