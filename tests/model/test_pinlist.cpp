// The short pin lists of devices and nets: values must survive every move between the inline room
// and the heap, and the vector-like operations must mean what they mean for std::vector.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "model/Device.h"
#include "model/PinFlags.h"
#include "model/PinList.h"
#include "model/Ref.h"
#include "model/Wire.h"

namespace gw {
namespace {

using List = PinList<int, 3>;

std::vector<int> contents(const List& l) { return std::vector<int>(l.begin(), l.end()); }

List counting(int n) {
    List l;
    for (int i = 0; i < n; ++i) l.push_back(i);
    return l;
}

// Every length around the inline room: growing, copying, moving and assigning keep the values, and
// the source of a move is left empty but usable.
TEST(PinList, ValuesSurviveGrowthCopiesAndMovesAtEveryLength) {
    for (int n = 0; n <= 9; ++n) {
        SCOPED_TRACE(n);
        std::vector<int> want(n);
        std::iota(want.begin(), want.end(), 0);
        List a = counting(n);
        EXPECT_EQ(contents(a), want);
        EXPECT_EQ(a.capacity() > 3, n > 3);

        List copy(a);
        EXPECT_EQ(contents(copy), want);
        if (n > 0) {
            copy[0] = 99;
            EXPECT_EQ(a[0], 0) << "a copy shares storage with its source";
        }

        List moved(std::move(a));
        EXPECT_EQ(contents(moved), want);
        EXPECT_TRUE(a.empty());
        a.push_back(7);
        EXPECT_EQ(contents(a), std::vector<int>{7});

        for (int m = 0; m <= 6; ++m) {
            List target = counting(m);
            target = moved;
            EXPECT_EQ(contents(target), want);
            List other = counting(m);
            List source = counting(n);
            other = std::move(source);
            EXPECT_EQ(contents(other), want);
        }
        List self = counting(n);
        List& alias = self;
        self = alias;
        self = std::move(alias);
        EXPECT_EQ(contents(self), want);
    }
}

TEST(PinList, VectorOperationsMeanTheSame) {
    List l = counting(6);
    l.erase(l.begin() + 1);
    EXPECT_EQ(contents(l), (std::vector<int>{0, 2, 3, 4, 5}));
    l.erase(l.begin() + 1, l.begin() + 3);
    EXPECT_EQ(contents(l), (std::vector<int>{0, 4, 5}));
    l.insert(l.begin(), 9);
    l.insert(l.end(), 8);
    EXPECT_EQ(contents(l), (std::vector<int>{9, 0, 4, 5, 8}));
    l.assign(2, 1);
    EXPECT_EQ(contents(l), (std::vector<int>{1, 1}));
    l.shrink_to_fit();
    EXPECT_EQ(l.capacity(), 3u);
    EXPECT_EQ(contents(l), (std::vector<int>{1, 1}));
    l.resize(5, 4);
    EXPECT_EQ(contents(l), (std::vector<int>{1, 1, 4, 4, 4}));
    EXPECT_THROW(l.at(5), std::out_of_range);
    EXPECT_EQ(l.at(4), 4);
    l = std::vector<int>{3, 2};
    EXPECT_TRUE(l == (std::vector<int>{3, 2}));
    EXPECT_FALSE(l == (std::vector<int>{3, 2, 1}));
    const std::vector<int> back = l;
    EXPECT_EQ(back, (std::vector<int>{3, 2}));
    l.clear();
    EXPECT_TRUE(l.empty());
}

// Lists of four-byte links pack without padding; a long one (a clock read by a hundred thousand
// gates) keeps every entry through growth, edits from the middle and the way back inside.
TEST(PinList, LongListsOfLinksKeepEveryEntry) {
    using Links = PinList<Compact<TDevice>, 2>;
    if (kPooledSlots) {
        EXPECT_EQ(sizeof(Links), 12u);
        EXPECT_EQ(sizeof(PinList<Compact<TWireComplex>, 4>), 20u);
    }
    std::vector<DevicePtr> devices;
    for (int i = 0; i < 1000; ++i) devices.push_back(makePooled<TDevice>());
    std::mt19937 rng(3);
    Links l;
    std::vector<TDevice*> want;
    for (int i = 0; i < 100000; ++i) {
        TDevice* d = devices[rng() % devices.size()].get();
        l.push_back(d);
        want.push_back(d);
    }
    EXPECT_TRUE(l == want);
    EXPECT_GE(l.capacity(), want.size());
    while (want.size() > 1) {
        const size_t at = rng() % want.size(), n = std::min<size_t>(want.size() - 1, 1 + rng() % 5000);
        l.erase(l.begin() + static_cast<long>(at), l.begin() + static_cast<long>(std::min(at + n, want.size())));
        want.erase(want.begin() + static_cast<long>(at), want.begin() + static_cast<long>(std::min(at + n, want.size())));
        const size_t to = rng() % (want.size() + 1);
        l.insert(l.begin() + static_cast<long>(to), devices[0].get());
        want.insert(want.begin() + static_cast<long>(to), devices[0].get());
        ASSERT_TRUE(l == want);
        if (want.size() <= 2) break;
    }
    l.shrink_to_fit();
    EXPECT_EQ(l.capacity(), 2u);
    EXPECT_TRUE(l == want);
    Links moved(std::move(l));
    EXPECT_TRUE(moved == want);
    EXPECT_THROW(moved.resize(Links::kMaxSize + 1), std::length_error);
    EXPECT_TRUE(moved == want);
}

// A device of a wide type keeps every pin, and its arrays are sized to the type.
TEST(PinList, DevicePinArraysFollowTheirType) {
    TDevice d;
    for (int k = 0; k < 10; ++k) d.inputs.push_back(reinterpret_cast<TWireComplex*>(static_cast<uintptr_t>(16 * (k + 1))));
    d.invertedInputs.assign(10, 1);
    d.invertedInputs[9] = 0;
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(d.inputs[k], reinterpret_cast<TWireComplex*>(static_cast<uintptr_t>(16 * (k + 1))));
    EXPECT_EQ(d.invertedInputs.size(), 10u);
    EXPECT_EQ(d.invertedInputs[8], 1);
    EXPECT_EQ(d.invertedInputs[9], 0);
}

// Inversion flags in one word: random edits across the inline limit (57 flags) and back give what a
// vector of 0/1 ints gives, and copies and moves between the inline and heap forms keep every flag.
TEST(PinFlags, RandomEditsMatchAVectorOfIntsAcrossTheInlineLimit) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        PinFlags f;
        std::vector<int> want;
        for (int op = 0; op < 60; ++op) {
            const unsigned r = rng() % 8;
            if (r == 0) {
                // Around the limit: shrink below it or grow past it, new flags set or clear.
                const size_t n = 40 + rng() % 40;
                const int v = static_cast<int>(rng() % 3);  // 2 must read back as 1
                f.resize(n, v);
                want.resize(n, v != 0);
            } else if (r == 1 && !want.empty()) {
                f.pop_back();
                want.pop_back();
            } else if (r == 2) {
                const int v = static_cast<int>(rng() % 2);
                f.push_back(v);
                want.push_back(v);
            } else if (r == 3 && !want.empty()) {
                const size_t i = rng() % want.size();
                f[i] ^= 1;
                want[i] ^= 1;
            } else if (r == 4) {
                // A copy made now must not change with the original, nor the original with it.
                PinFlags copy = f;
                ASSERT_TRUE(copy == want);
                if (!want.empty()) copy[0] = !copy[0];
                ASSERT_TRUE(f == want);
                if (!want.empty()) copy[0] ^= 1;
                PinFlags moved = std::move(copy);
                f = moved;
            } else if (r == 5) {
                const size_t n = rng() % 70;
                const int v = static_cast<int>(rng() % 2);
                f.assign(n, v);
                want.assign(n, v);
            } else if (!want.empty()) {
                const size_t i = rng() % want.size();
                const int v = static_cast<int>(rng() % 4);
                f[i] = v;
                want[i] = v != 0;
            }
            ASSERT_EQ(f.size(), want.size());
            ASSERT_EQ(static_cast<std::vector<int>>(f), want) << "round " << round << " op " << op;
        }
        size_t ones = 0;
        for (int v : std::as_const(f)) ones += static_cast<size_t>(v);
        EXPECT_EQ(ones, static_cast<size_t>(std::accumulate(want.begin(), want.end(), 0)));
    }
}

// Shrinking drops the flags past the end: growing again gives the new flags the value asked for,
// never the ones that were there before, in both forms.
TEST(PinFlags, RegrownFlagsTakeTheirNewValue) {
    for (size_t len : {5u, 57u, 58u, 130u}) {
        PinFlags f;
        f.assign(len, 1);
        f.resize(2);
        f.resize(len);
        EXPECT_EQ(f[0], 1);
        EXPECT_EQ(f[1], 1);
        for (size_t i = 2; i < len; ++i) ASSERT_EQ(f[i], 0) << len << " " << i;
        PinFlags g{0, 3, 0};
        g = f;
        EXPECT_TRUE(g == f);
        g = {0, 3};
        EXPECT_TRUE(g == (std::vector<int>{0, 1}));
        EXPECT_FALSE(g == (std::vector<int>{0, 0}));
    }
}

}  // namespace
}  // namespace gw
