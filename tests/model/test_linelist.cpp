// A net's compact segment list against a plain vector of segments: every segment reads back
// exactly, whatever its coordinates, through every way of changing the list.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <vector>

#include "model/LineList.h"
#include "model/Wire.h"

using namespace gw;

namespace {

using Lines = std::vector<TLine>;

// Everything the list answers must agree with the reference: indexing, iteration, both ends.
void expectSame(const LineList& got, const Lines& want, const char* where) {
    SCOPED_TRACE(where);
    ASSERT_EQ(got.size(), want.size());
    ASSERT_EQ(got.empty(), want.empty());
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << "at " << i;
    size_t i = 0;
    for (const TLine l : got) {
        ASSERT_LT(i, want.size());
        ASSERT_EQ(l, want[i]) << "iterating, at " << i;
        ++i;
    }
    EXPECT_EQ(i, want.size());
    EXPECT_EQ(static_cast<size_t>(got.end() - got.begin()), want.size());
    if (!want.empty()) {
        EXPECT_EQ(got.front(), want.front());
        EXPECT_EQ(got.back(), want.back());
    }
}

constexpr int R = LineList::kReach;

}  // namespace

// Each row follows an anchor segment starting at (ax, ay); the row's segment must read back
// exactly, and land in a record exactly when it is near and a single step: in a 16-bit one within
// 32 cells of the anchor, else in a 32-bit one once enough such segments make the list move to
// those.
TEST(LineList, EachKindOfSegmentReadsBackExactly) {
    struct Row {
        const char* what;
        int ax, ay;
        TLine l;
        bool compact;
    };
    const Row rows[] = {
        {"unit step right", 0, 0, {3, 4, 4, 4}, true},
        {"unit step left and up", 0, 0, {-3, -4, -4, -5}, true},
        {"diagonal unit steps", 10, 10, {11, 9, 12, 10}, true},
        {"zero length", 0, 0, {7, -7, 7, -7}, true},
        {"offsets at the low edge", 0, 0, {-R, -R, -R + 1, -R - 1}, true},
        {"offsets at the high edge", 0, 0, {R - 1, R - 1, R, R}, true},
        {"x offset one past the high edge", 0, 0, {R, 0, R + 1, 0}, false},
        {"y offset one past the low edge", 0, 0, {0, -R - 1, 0, -R}, false},
        {"step of two", 0, 0, {0, 0, 2, 0}, false},
        {"step of minus two", 0, 0, {0, 0, -2, 0}, false},
        {"step of minus two down", 0, 0, {0, 0, 0, -2}, false},
        {"long diagonal", 5, 5, {5, 5, 900, -300}, false},
        {"negative far away", 0, 0, {-5000000, -7000000, -5000001, -7000000}, false},
        {"whole int range", 0, 0, {INT_MIN, INT_MAX, INT_MAX, INT_MIN}, false},
        {"step near the top of the int range", INT_MAX - 5, INT_MAX - 5, {INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX}, true},
        {"step near the bottom of the int range", INT_MIN + 5, INT_MIN, {INT_MIN + 1, INT_MIN + 1, INT_MIN, INT_MIN}, true},
        {"anchor at the top, segment at the bottom", INT_MAX, INT_MAX, {INT_MIN, INT_MIN, INT_MIN + 1, INT_MIN}, false},
        {"anchor at the bottom, segment at the top", INT_MIN, INT_MIN, {INT_MAX, INT_MAX, INT_MAX - 1, INT_MAX}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        LineList list;
        const TLine anchor{r.ax, r.ay, r.ax, r.ay};
        list.push_back(anchor);
        list.push_back(r.l);
        list.push_back(anchor);  // a record after a whole one still reads its own
        expectSame(list, {anchor, r.l, anchor}, r.what);
        const bool nearAnchor = r.compact && std::abs(static_cast<long long>(r.l.sx) - r.ax) <= 31 &&
                                std::abs(static_cast<long long>(r.l.sy) - r.ay) <= 31;
        EXPECT_EQ(list.wideCount(), nearAnchor ? 0u : 1u);
        EXPECT_FALSE(list.longRecords());
        // Many of them: a segment fitting a 32-bit record moves the list to those, which then
        // hold every such segment, the one kept whole before included.
        Lines want = {anchor, r.l, anchor};
        for (int k = 0; k < 16; ++k) {
            list.push_back(r.l);
            want.push_back(r.l);
        }
        expectSame(list, want, r.what);
        EXPECT_EQ(list.longRecords(), r.compact && !nearAnchor);
        EXPECT_EQ(list.wideCount(), r.compact ? 0u : 17u);
        // And as the first segment, which sets the anchor itself.
        LineList alone;
        alone.push_back(r.l);
        EXPECT_EQ(alone[0], r.l);
    }
}

TEST(LineList, ChainedUnitStepsCostTwoBytesEachNearTheAnchorAndFourFarther) {
    LineList near;
    for (int i = 0; i < 3000; ++i) {  // back and forth within 20 cells of where it started
        const int x = i % 40 < 20 ? i % 20 : 20 - i % 20;
        near.push_back(TLine{x, i % 7, x + (i % 40 < 20 ? 1 : -1), i % 7});
    }
    near.shrink_to_fit();
    EXPECT_FALSE(near.longRecords());
    EXPECT_EQ(near.wideCount(), 0u);
    EXPECT_LE(near.heapBytes(), 3000u * 2 + 32);

    LineList list;
    EXPECT_LE(sizeof(LineList), 16u);
    EXPECT_EQ(list.heapBytes(), 0u);
    int x = 100, y = -100;
    for (int i = 0; i < 3000; ++i) {  // a walk that wanders up to 3000 cells from where it started
        const int nx = x + (i % 3 == 0 ? 0 : 1), ny = y + (i % 3 == 0 ? -1 : 0);
        list.push_back(TLine{x, y, nx, ny});
        x = nx, y = ny;
    }
    list.shrink_to_fit();
    EXPECT_EQ(list.wideCount(), 0u);
    EXPECT_LE(list.heapBytes(), 3000u * 4 + 32);
    list.clear();
    list.shrink_to_fit();
    EXPECT_EQ(list.heapBytes(), 0u);

    // A short list is its anchor and records; room for segments kept whole comes with the first of
    // them and goes when the last one has gone and the list is trimmed.
    LineList small{{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 2, 1}};
    small.shrink_to_fit();
    EXPECT_EQ(small.heapBytes(), 8u + 3 * 2 + 2);
    small.push_back(TLine{2, 1, 200, 1});
    EXPECT_EQ(small.wideCount(), 1u);
    small.shrink_to_fit();
    EXPECT_EQ(small.heapBytes(), 8u + 8 + 4 * 2 + 16);
    small.erase(small.begin() + 3);
    small.shrink_to_fit();
    EXPECT_EQ(small.heapBytes(), 8u + 3 * 2 + 2);
    EXPECT_EQ(small, (LineList{{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 2, 1}}));
}

TEST(LineList, RemovingWholeSegmentsKeepsTheOthersIntact) {
    // Whole segments between short ones: taking one out must not shift what the later ones read.
    const Lines ref = {{0, 0, 1, 0},     {0, 0, 50, 0},   {1, 0, 2, 0},         {INT_MIN, 0, 0, INT_MAX},
                       {2, 0, 2, 1},     {9, 9, 9, 90},   {2, 1, 3, 2},         {-40000, 0, -40001, 0}};
    for (size_t gone = 0; gone < ref.size(); ++gone) {
        LineList list(ref.begin(), ref.end());
        Lines want = ref;
        const auto next = list.erase(list.begin() + static_cast<long>(gone));
        want.erase(want.begin() + static_cast<long>(gone));
        expectSame(list, want, "one erased");
        EXPECT_EQ(next - list.begin(), static_cast<long>(gone));
        // New segments after the removal, whole and short, read back too.
        list.push_back({7, 7, 700, 7});
        list.push_back({3, 2, 4, 2});
        want.push_back({7, 7, 700, 7});
        want.push_back({3, 2, 4, 2});
        expectSame(list, want, "appended after");
    }
    LineList list(ref.begin(), ref.end());
    Lines want = ref;
    auto longOnes = [](const TLine& l) { return std::abs(static_cast<long long>(l.ex) - l.sx) > 1; };
    EXPECT_EQ(erase_if(list, longOnes), static_cast<size_t>(std::erase_if(want, longOnes)));
    expectSame(list, want, "erase_if");
    EXPECT_EQ(list.wideCount(), 2u);  // the side array holds only the two whole ones left
}

// A 16-bit record has room for 4,096 indices into the side array: the list holding more segments
// kept whole moves to 32-bit records first, and every segment still reads back, before and after
// removals and copies.
TEST(LineList, ManySegmentsKeptWholeOutgrowShortRecords) {
    LineList list;
    Lines want;
    for (int i = 0; i < 7000; ++i) {
        const TLine l = i % 3 == 0 ? TLine{i % 5, 0, i % 5 + 1, 0} : TLine{0, i, 100 + i, i};
        list.push_back(l);
        want.push_back(l);
        if (i == 6000) {
            EXPECT_FALSE(list.longRecords());
        }
    }
    EXPECT_TRUE(list.longRecords());
    expectSame(list, want, "pushed");
    for (int k = 0; k < 50; ++k) {
        const long at = (k * 997) % static_cast<long>(want.size());
        list.erase(list.begin() + at);
        want.erase(want.begin() + at);
    }
    const LineList copy = list;
    expectSame(copy, want, "erased and copied");
}

TEST(LineList, CopiesAndComparisons) {
    const LineList a = {{0, 0, 1, 0}, {1, 0, 100, 0}, {-1, INT_MAX, -1, INT_MAX}};
    LineList b = a;
    EXPECT_TRUE(a == b);
    b.push_back({5, 5, 5, 5});
    EXPECT_FALSE(a == b);
    b = a;
    EXPECT_TRUE(a == b);
    // The same segments put in from another anchor are equal: equality is of the segments.
    LineList c;
    c.push_back({-1, INT_MAX, -1, INT_MAX});
    c.clear();
    for (const TLine l : a) c.push_back(l);
    EXPECT_TRUE(a == c);
    c.erase(c.begin() + 1);
    c.push_back({1, 0, 100, 1});
    EXPECT_FALSE(a == c);
    LineList moved = std::move(b);
    EXPECT_TRUE(moved == a);
    EXPECT_TRUE(b.empty());  // NOLINT: a moved-from list is empty and usable
    b = {{2, 2, 3, 3}};
    EXPECT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0], (TLine{2, 2, 3, 3}));
    EXPECT_NE(std::find(a.begin(), a.end(), TLine{1, 0, 100, 0}), a.end());
}

// Random sequences of every change, with segments from a walk (mostly short records), far and
// long ones (whole) and the extremes of the int range, compared with a vector after each step.
TEST(LineList, RandomEditsMatchAVector) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        LineList list;
        Lines want;
        int x = pick(2000) - 1000, y = pick(2000) - 1000;
        const int extremes[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};
        auto segment = [&]() -> TLine {
            const int k = pick(20);
            if (k < 14) {  // a step of the walk
                const int nx = x + pick(3) - 1, ny = y + pick(3) - 1;
                const TLine l{x, y, nx, ny};
                x = nx, y = ny;
                return l;
            }
            if (k < 17) return TLine{x, y, x + pick(20001) - 10000, y + pick(21) - 10};
            if (k < 19) return TLine{x + pick(40001) - 20000, y + pick(40001) - 20000, x, y};
            return TLine{extremes[pick(7)], extremes[pick(7)], extremes[pick(7)], extremes[pick(7)]};
        };
        for (int step = 0; step < 400; ++step) {
            const int op = pick(100);
            if (op < 60) {
                const TLine l = segment();
                list.push_back(l);
                want.push_back(l);
            } else if (op < 80 && !want.empty()) {
                const int at = pick(static_cast<int>(want.size()));
                list.erase(list.begin() + at);
                want.erase(want.begin() + at);
            } else if (op < 86) {
                const int mod = pick(4) + 2, rest = pick(mod);
                auto pred = [&](const TLine& l) { return ((l.sx ^ l.ey) & 0xFFFF) % mod == rest; };
                ASSERT_EQ(list.erase_if(pred), static_cast<size_t>(std::erase_if(want, pred)));
            } else if (op < 88) {
                list.clear();
                want.clear();
            } else if (op < 92) {
                list.shrink_to_fit();
                EXPECT_EQ(list.capacity(), want.size());
            } else if (op < 95) {
                list.reserve(want.size() + static_cast<size_t>(pick(50)));
            } else if (op < 98) {
                LineList copy(list);
                list = LineList();
                ASSERT_TRUE(list.empty());
                list = copy;
            } else {
                LineList other(want.begin(), want.end());
                ASSERT_TRUE(other == list);
            }
            ASSERT_NO_FATAL_FAILURE(expectSame(list, want, "after a random change")) << "seed " << seed << " step " << step;
        }
    }
}

// The net's own questions on top of the list, with coordinates far apart.
TEST(LineList, NetFindsItsSegmentsAtAnyCoordinates) {
    TWireComplex n;
    EXPECT_TRUE(n.addWire(INT_MAX, 0, INT_MIN, 0));
    EXPECT_TRUE(n.addWire(0, 0, 1, 1));
    EXPECT_FALSE(n.addWire(INT_MIN, 0, INT_MAX, 0));
    EXPECT_FALSE(n.addWire(1, 1, 0, 0));
    EXPECT_TRUE(n.containsLine(INT_MIN, 0, INT_MAX, 0));
    EXPECT_FALSE(n.containsLine(INT_MIN, 0, INT_MAX, 1));
    EXPECT_TRUE(n.isAt(INT_MIN, 0));
    EXPECT_FALSE(n.isAt(INT_MIN + 1, 0));
    EXPECT_EQ(n.lineList.size(), 2u);
}
