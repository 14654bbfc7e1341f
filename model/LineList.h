// LineList: a net's segments, kept small. A large board holds tens of millions of segments, most of
// them single grid steps that lie close together, so each segment is a short record relative to an
// anchor point (the first segment's start). A list starts with 16-bit records: the start as two
// 6-bit offsets from the anchor (-32..31) and the step (end minus start) as two 2-bit values of -1,
// 0 or 1. A list that reaches farther moves to 32-bit records: two 14-bit offsets and the same step.
// A segment that fits neither (a long one, or one far from the anchor) is kept whole in a side array
// in the same allocation, after the records, and its record holds the index there instead. Within
// a list every record has the same size, so indexing stays a shift and a load, and reading back
// gives exactly the ints that went in.
//
// The block comes from the pools of small blocks (model/ObjectPool.h): no allocator header and no
// rounding beyond 8 bytes for the lists of a large board.
//
// Reads hand out TLine values, not references: there is no TLine in memory to point at. Changing a
// segment means erasing it and adding another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>

namespace gw {

struct TLine {
    int sx = 0, sy = 0;
    int ex = 0, ey = 0;

    // The segment in screen coordinates: (trunc(sx*scaleX + ox), ...).
    static TLine createRightCoords(const TLine& line, double sx, double sy, double ox, double oy);
    bool operator==(const TLine&) const = default;
};

class LineList {
public:
    // Offsets from the anchor that fit a 32-bit record: [-kReach, kReach - 1] on each axis; a
    // 16-bit one: [-kShortReach, kShortReach - 1].
    static constexpr int kReach = 1 << 13;
    static constexpr int kShortReach = 1 << 5;
    // The most segments one list holds (record indices into the side array have 28 bits).
    static constexpr size_t kMaxSize = size_t{1} << 28;

    // The start of the list's one allocation: the anchor. A list with room for segments kept
    // whole has their count and room (Side) next; most lists have none, and no room for the
    // counts either. The records follow, then the side array. One block, so that reading a whole
    // segment costs no second trip through memory (long segments are the ones most view queries
    // meet).
    struct Header {
        int ax = 0, ay = 0;
    };
    struct Side {
        uint32_t size = 0, cap = 0;
    };

    // Random access, read only; dereferencing decodes one record.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = TLine;
        using difference_type = std::ptrdiff_t;
        using reference = TLine;
        struct pointer {
            TLine l;
            const TLine* operator->() const { return &l; }
        };

        const_iterator() = default;
        const_iterator(const LineList* l, size_t i) : l_(l), i_(static_cast<difference_type>(i)) {}

        TLine operator*() const { return (*l_)[static_cast<size_t>(i_)]; }
        pointer operator->() const { return pointer{**this}; }
        TLine operator[](difference_type n) const { return (*l_)[static_cast<size_t>(i_ + n)]; }
        const_iterator& operator++() { ++i_; return *this; }
        const_iterator operator++(int) { const_iterator t = *this; ++i_; return t; }
        const_iterator& operator--() { --i_; return *this; }
        const_iterator operator--(int) { const_iterator t = *this; --i_; return t; }
        const_iterator& operator+=(difference_type n) { i_ += n; return *this; }
        const_iterator& operator-=(difference_type n) { i_ -= n; return *this; }
        friend const_iterator operator+(const_iterator a, difference_type n) { return a += n; }
        friend const_iterator operator+(difference_type n, const_iterator a) { return a += n; }
        friend const_iterator operator-(const_iterator a, difference_type n) { return a -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.i_ - b.i_; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.i_ == b.i_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.i_ <=> b.i_; }

    private:
        friend class LineList;
        const LineList* l_ = nullptr;
        difference_type i_ = 0;
    };
    using iterator = const_iterator;
    using value_type = TLine;
    using size_type = size_t;

    LineList() = default;
    LineList(std::initializer_list<TLine> lines);
    template <class It>
    LineList(It first, It last) {
        for (; first != last; ++first) push_back(*first);
    }
    LineList(const LineList& o);
    LineList(LineList&& o) noexcept
        : h_(o.h_), size_(o.size_), cap_(o.cap_), long_(o.long_), side_(o.side_) {
        o.forget();
    }
    LineList& operator=(const LineList& o);
    LineList& operator=(LineList&& o) noexcept;
    LineList& operator=(std::initializer_list<TLine> lines);
    ~LineList() { release(); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return cap_; }
    TLine operator[](size_t i) const {
        return long_ ? decode(*h_, wide(), records32()[i]) : decodeShort(*h_, wide(), records16()[i]);
    }
    TLine front() const { return (*this)[0]; }
    TLine back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

    // Throws std::length_error beyond kMaxSize segments.
    void push_back(const TLine& l);
    // Removes one segment; answers the position after it.
    const_iterator erase(const_iterator pos);
    // Removes every segment the predicate holds for, keeping the others in order; answers how many
    // went.
    template <class Pred>
    size_t erase_if(Pred pred) {
        if (size_ == 0) return 0;
        const size_t out = long_ ? eraseIf(records32(), pred) : eraseIf(records16(), pred);
        const size_t gone = size_ - out;
        size_ = static_cast<uint32_t>(out);
        return gone;
    }
    void clear();
    void reserve(size_t n);
    void shrink_to_fit();

    // Segments kept whole, whether the records are 32-bit ones, and the heap bytes the list holds
    // (without allocator headers).
    size_t wideCount() const { return side_ ? side()->size : 0; }
    bool longRecords() const { return long_; }
    size_t heapBytes() const;

    friend bool operator==(const LineList& a, const LineList& b);

    static TLine decode(const Header& h, const TLine* wide, uint32_t r) {
        if ((r & kStepXMask) == kEscape) return wide[r >> 4];
        const int32_t s = static_cast<int32_t>(r);
        const int x = h.ax + (s >> 18);
        const int y = h.ay + (static_cast<int32_t>(r << 14) >> 18);
        // The sums are the segment's own coordinates, which are ints: they cannot overflow.
        return TLine{x, y, x + (static_cast<int32_t>(r << 28) >> 30), y + (static_cast<int32_t>(r << 30) >> 30)};
    }
    static TLine decodeShort(const Header& h, const TLine* wide, uint16_t r) {
        if ((r & kStepXMask) == kEscape) return wide[r >> 4];
        const uint32_t u = r;
        const int x = h.ax + (static_cast<int32_t>(u << 16) >> 26);
        const int y = h.ay + (static_cast<int32_t>(u << 22) >> 26);
        return TLine{x, y, x + (static_cast<int32_t>(u << 28) >> 30), y + (static_cast<int32_t>(u << 30) >> 30)};
    }

private:
    // 32-bit records: bits 31..18: x offset; 17..4: y offset; 3..2: x step; 1..0: y step. 16-bit
    // records: bits 15..10: x offset; 9..4: y offset; the steps as above. An x step field of
    // binary 10 (a step of -2, which records never use) marks a segment kept whole; the bits above
    // the step fields then hold its index in the side array (28 bits, or 12 in a 16-bit record).
    static constexpr uint32_t kStepXMask = 0xC;
    static constexpr uint32_t kEscape = 0x8;
    static constexpr uint32_t kShortEscapes = 1u << 12;

    Side* side() const { return reinterpret_cast<Side*>(h_ + 1); }
    // Bytes before the records: the anchor, and the side array's counts when there is one.
    static size_t headBytes(bool side) { return sizeof(Header) + (side ? sizeof(Side) : 0); }
    char* records() const { return reinterpret_cast<char*>(h_) + headBytes(side_); }
    uint32_t* records32() const { return reinterpret_cast<uint32_t*>(records()); }
    uint16_t* records16() const { return reinterpret_cast<uint16_t*>(records()); }
    uint32_t wideCap() const { return side_ ? side()->cap : 0; }
    // Bytes of `cap` records, rounded so that the side array after them is aligned.
    static size_t recordBytes(size_t cap, bool longRecords) {
        return longRecords ? cap * 4 : (cap * 2 + 3) & ~size_t{3};
    }
    // The side array (when the list has one).
    TLine* wide() const { return side_ ? reinterpret_cast<TLine*>(records() + recordBytes(cap_, long_)) : nullptr; }
    static uint32_t escapeRecord(uint32_t wideIndex) { return (wideIndex << 4) | kEscape; }
    // Keeps the records the predicate does not hold for, in order; answers how many stay. Segments
    // kept whole sit in the side array in the order of their records, so moving each one down to the
    // next free place never overwrites one still to be read.
    template <class R, class Pred>
    size_t eraseIf(R* r, Pred pred) {
        TLine* w = wide();
        size_t out = 0;
        uint32_t wideOut = 0;
        for (size_t i = 0; i < size_; ++i) {
            const R rec = r[i];
            const TLine l = sizeof(R) == 4 ? decode(*h_, w, rec) : decodeShort(*h_, w, static_cast<uint16_t>(rec));
            if (pred(l)) continue;
            if ((rec & kStepXMask) == kEscape) {
                w[wideOut] = w[rec >> 4];
                r[out++] = static_cast<R>(escapeRecord(wideOut++));
            } else {
                r[out++] = rec;
            }
        }
        if (side_) side()->size = wideOut;
        return out;
    }
    // The 32-bit record for `l`, or false when it must be kept whole.
    bool encode(const TLine& l, uint32_t& r) const;
    // The 16-bit record holding what 32-bit record `r` (not an escape) holds, when it fits one.
    static bool shorten(uint32_t r, uint16_t& s);
    // Moves the records to 32 bits.
    void lengthen();
    void grow(size_t want);
    // Moves the list into a block with room for `cap` records and `wideCap` whole segments.
    void reallocate(size_t cap, uint32_t wideCap);
    void release();
    void forget() noexcept {
        h_ = nullptr;
        size_ = cap_ = 0;
        long_ = side_ = 0;
    }
    // Bytes of the list's block (h_ set), which it gives back with that size.
    size_t blockBytes() const;

    Header* h_ = nullptr;
    uint32_t size_ = 0;
    uint32_t cap_ : 30 = 0;     // at most kMaxSize
    uint32_t long_ : 1 = 0;     // 32-bit records, else 16-bit
    uint32_t side_ : 1 = 0;     // the block has the side array's counts (Side) after the anchor
};

template <class Pred>
size_t erase_if(LineList& list, Pred pred) {
    return list.erase_if(pred);
}

}  // namespace gw
