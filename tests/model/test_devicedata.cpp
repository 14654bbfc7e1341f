// The store of device data words: every device's data is one int in a shared array that grows in
// chunks and never moves. A device must keep its word (and its place) whatever happens to other
// devices, a copied word must be a word of its own, freed places must be used again, and the word
// must keep working everywhere an int did (the device types count, toggle and shift it).
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "model/Device.h"
#include "model/Wire.h"

using namespace gw;

TEST(DeviceDataStore, AFreshDeviceHoldsZeroAndEveryIntOperationActsOnItsOwnWord) {
    TDevice d;
    EXPECT_EQ(d.data, 0);
    EXPECT_NE(d.data.slot(), DeviceDataStore::kSinkSlot) << "the slot the compiled step swallows writes into";
    TDevice other;
    other.data = 1000;
    // Each operation on the word against the same on a plain int, from a few start values.
    struct Case {
        const char* name;
        std::function<int(DeviceData&)> onData;
        std::function<int(int&)> onInt;
    };
    const Case cases[] = {
        {"=", [](DeviceData& x) { return static_cast<int>(x = 9); }, [](int& x) { return x = 9; }},
        {"+=", [](DeviceData& x) { return static_cast<int>(x += 5); }, [](int& x) { return x += 5; }},
        {"-=", [](DeviceData& x) { return static_cast<int>(x -= 7); }, [](int& x) { return x -= 7; }},
        {"*=", [](DeviceData& x) { return static_cast<int>(x *= 3); }, [](int& x) { return x *= 3; }},
        {"/=", [](DeviceData& x) { return static_cast<int>(x /= 2); }, [](int& x) { return x /= 2; }},
        {"%=", [](DeviceData& x) { return static_cast<int>(x %= 4); }, [](int& x) { return x %= 4; }},
        {"&=", [](DeviceData& x) { return static_cast<int>(x &= 6); }, [](int& x) { return x &= 6; }},
        {"|=", [](DeviceData& x) { return static_cast<int>(x |= 8); }, [](int& x) { return x |= 8; }},
        {"^=", [](DeviceData& x) { return static_cast<int>(x ^= 1); }, [](int& x) { return x ^= 1; }},
        {"<<=", [](DeviceData& x) { return static_cast<int>(x <<= 2); }, [](int& x) { return x <<= 2; }},
        {">>=", [](DeviceData& x) { return static_cast<int>(x >>= 1); }, [](int& x) { return x >>= 1; }},
        {"pre ++", [](DeviceData& x) { return static_cast<int>(++x); }, [](int& x) { return ++x; }},
        {"pre --", [](DeviceData& x) { return static_cast<int>(--x); }, [](int& x) { return --x; }},
        {"post ++", [](DeviceData& x) { return x++; }, [](int& x) { return x++; }},
        {"post --", [](DeviceData& x) { return x--; }, [](int& x) { return x--; }},
    };
    for (const Case& c : cases)
        for (int start : {0, 1, -3, 12345}) {
            d.data = start;
            int plain = start;
            const int got = c.onData(d.data), want = c.onInt(plain);
            EXPECT_EQ(got, want) << c.name << " from " << start << ": the value of the expression";
            EXPECT_EQ(d.data, plain) << c.name << " from " << start << ": the word afterwards";
            EXPECT_EQ(DeviceDataStore::base()[d.data.slot()], plain) << c.name << ": in the store";
            EXPECT_EQ(other.data, 1000) << c.name << " reached another device's word";
        }
}

TEST(DeviceDataStore, SlotsStayPutWhileOtherDevicesComeAndGo) {
    std::vector<std::unique_ptr<TDevice>> keep, churn;
    for (int i = 0; i < 200; ++i) {
        keep.push_back(std::make_unique<TDevice>());
        keep.back()->data = i * 7 - 300;
    }
    std::vector<int*> where;
    for (auto& d : keep) where.push_back(DeviceDataStore::base() + d->data.slot());
    int* const base = DeviceDataStore::base();
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 500; ++i) {
            churn.push_back(std::make_unique<TDevice>());
            churn.back()->data = -1;
        }
        for (size_t i = round % 2; i < churn.size(); i += 2) churn[i].reset();
        std::erase(churn, nullptr);
    }
    EXPECT_EQ(DeviceDataStore::base(), base);
    for (size_t i = 0; i < keep.size(); ++i) {
        EXPECT_EQ(DeviceDataStore::base() + keep[i]->data.slot(), where[i]);
        EXPECT_EQ(keep[i]->data, static_cast<int>(i) * 7 - 300) << "device " << i;
    }
    std::set<uint32_t> slots;
    for (auto& d : keep) slots.insert(d->data.slot());
    for (auto& d : churn) slots.insert(d->data.slot());
    EXPECT_EQ(slots.size(), keep.size() + churn.size()) << "devices alive at once share no word";
}

TEST(DeviceDataStore, FreedSlotsAreUsedAgainAndNewDevicesSitSideBySide) {
    const size_t before = DeviceDataStore::inUse();
    auto a = std::make_unique<TDevice>();
    const uint32_t freed = a->data.slot();
    a->data = 77;
    a.reset();
    EXPECT_EQ(DeviceDataStore::inUse(), before);
    TDevice b;
    EXPECT_EQ(b.data.slot(), freed);
    EXPECT_EQ(b.data, 0) << "a reused slot starts at 0, not at the old device's value";
    const size_t top = DeviceDataStore::top();
    std::deque<DeviceData> fresh;
    while (DeviceDataStore::top() == top) fresh.emplace_back();  // uses up freed slots first
    const uint32_t first = fresh.back().slot();
    for (int i = 0; i < 16; ++i) fresh.emplace_back();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fresh[fresh.size() - 16 + i].slot(), first + 1 + i);
}

TEST(DeviceDataStore, CopiesAreIndependent) {
    TDevice a;
    a.data = 5;
    DeviceData copy = a.data;  // a word taken out of a device
    EXPECT_NE(copy.slot(), a.data.slot());
    a.data = 6;
    EXPECT_EQ(copy, 5);
    TDevice b;
    b.data = a.data;  // assignment copies the value, not the slot
    a.data = 0;
    EXPECT_EQ(b.data, 6);
    a.data = b.data = 3;  // chained, as tests and handlers write it
    EXPECT_EQ(a.data, 3);
    b.data = 4;
    EXPECT_EQ(a.data, 3);
    std::vector<DeviceData> words(3);
    words[1] = 42;
    words.reserve(100);  // moved by copying: each keeps its own value
    words.emplace_back(8);
    EXPECT_EQ(words[0], 0);
    EXPECT_EQ(words[1], 42);
    EXPECT_EQ(words[3], 8);
    std::set<uint32_t> slots;
    for (auto& w : words) slots.insert(w.slot());
    EXPECT_EQ(slots.size(), words.size());
}

TEST(DeviceDataStore, ManyDevicesSpanSeveralChunks) {
    const size_t n = DeviceDataStore::kChunkSlots + DeviceDataStore::kChunkSlots / 2;
    std::vector<DeviceData> words(n);
    for (size_t i = 0; i < n; ++i) words[i] = static_cast<int>(i * 2654435761u);
    EXPECT_GE(DeviceDataStore::committedBytes(), n * sizeof(int));
    std::vector<DeviceData> more(1000, DeviceData(-5));
    size_t wrong = 0;
    for (size_t i = 0; i < n; ++i) wrong += words[i] != static_cast<int>(i * 2654435761u);
    EXPECT_EQ(wrong, 0u);
    for (const DeviceData& w : more) ASSERT_EQ(w, -5);
}

TEST(DeviceDataStore, AWordHoldingZeroOrOneIsReachedThroughItsLowByteFromTheNetValues) {
    // The compiled step reads and writes a memory cell's or a lamp's bit as a byte counted from the
    // net values' base. That byte must be the word's own and nobody else's (not a net, not a
    // neighbouring word), and must stay within the 31 bits a pin has.
    std::deque<TDevice> devices(64);
    std::vector<TWireComplex> nets(64);
    NetCell* const cells = NetValueStore::base();
    std::set<uint32_t> offsets;
    for (auto& n : nets) offsets.insert(n.State.slot());
    for (size_t i = 0; i < devices.size(); ++i) {
        TDevice& d = devices[i];
        const uint32_t at = DeviceDataStore::lowByteOffset(d.data.slot());
        EXPECT_LT(at, uint32_t{1} << 31);
        EXPECT_TRUE(offsets.insert(at).second) << "device " << i << " shares its byte";
        const int v = static_cast<int>(i % 2);
        d.data = v;
        EXPECT_EQ(cells[at], v);
        cells[at] = static_cast<NetCell>(1 - v);  // as the step writes it
        EXPECT_EQ(d.data, 1 - v);
    }
    for (size_t i = 0; i < devices.size(); ++i) EXPECT_EQ(devices[i].data, 1 - static_cast<int>(i % 2)) << i;
    for (auto& n : nets) EXPECT_EQ(n.State, 0) << "a net was written through a device's byte";
}
