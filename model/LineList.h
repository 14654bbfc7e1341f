// LineList: a net's segments, kept small. A large board holds tens of millions of segments, most of
// them single grid steps that lie close together, so each segment is one 32-bit record relative to
// an anchor point (the first segment's start): its start as two 14-bit offsets from the anchor and
// its step (end minus start) as two 2-bit values of -1, 0 or 1. A segment that does not fit (a long
// or far one, or one beyond the int range around the anchor) is kept whole in a side array in the
// same allocation, after the records, and its record holds the index there instead. Every record has the same size, so indexing stays a shift
// and a load, and reading back gives exactly the ints that went in.
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
    // Offsets from the anchor that fit a record: [-kReach, kReach - 1] on each axis.
    static constexpr int kReach = 1 << 13;
    // The most segments one list holds (record indices into the side array have 28 bits).
    static constexpr size_t kMaxSize = size_t{1} << 28;

    // The start of the list's one allocation: the anchor and the side array's size and room. The
    // records follow, then the side array. One block, so that reading a whole segment costs no
    // second trip through memory (long segments are the ones most view queries meet).
    struct Header {
        int ax = 0, ay = 0;
        uint32_t wideSize = 0, wideCap = 0;
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
        const_iterator(const Header* h, const uint32_t* r, const TLine* wide) : h_(h), r_(r), wide_(wide) {}

        TLine operator*() const { return decode(*h_, wide_, *r_); }
        pointer operator->() const { return pointer{**this}; }
        TLine operator[](difference_type n) const { return decode(*h_, wide_, r_[n]); }
        const_iterator& operator++() { ++r_; return *this; }
        const_iterator operator++(int) { const_iterator t = *this; ++r_; return t; }
        const_iterator& operator--() { --r_; return *this; }
        const_iterator operator--(int) { const_iterator t = *this; --r_; return t; }
        const_iterator& operator+=(difference_type n) { r_ += n; return *this; }
        const_iterator& operator-=(difference_type n) { r_ -= n; return *this; }
        friend const_iterator operator+(const_iterator a, difference_type n) { return a += n; }
        friend const_iterator operator+(difference_type n, const_iterator a) { return a += n; }
        friend const_iterator operator-(const_iterator a, difference_type n) { return a -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.r_ - b.r_; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.r_ == b.r_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.r_ <=> b.r_; }

    private:
        friend class LineList;
        const Header* h_ = nullptr;
        const uint32_t* r_ = nullptr;
        const TLine* wide_ = nullptr;
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
    LineList(LineList&& o) noexcept : h_(o.h_), size_(o.size_), cap_(o.cap_) {
        o.h_ = nullptr;
        o.size_ = o.cap_ = 0;
    }
    LineList& operator=(const LineList& o);
    LineList& operator=(LineList&& o) noexcept;
    LineList& operator=(std::initializer_list<TLine> lines);
    ~LineList() { release(); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return cap_; }
    TLine operator[](size_t i) const { return decode(*h_, wide(), records()[i]); }
    TLine front() const { return (*this)[0]; }
    TLine back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return {h_, records(), wide()}; }
    const_iterator end() const { return {h_, records() + size_, wide()}; }

    // Throws std::length_error beyond kMaxSize segments.
    void push_back(const TLine& l);
    // Removes one segment; answers the position after it.
    const_iterator erase(const_iterator pos);
    // Removes every segment the predicate holds for, keeping the others in order; answers how many
    // went.
    template <class Pred>
    size_t erase_if(Pred pred) {
        if (size_ == 0) return 0;
        // Segments kept whole sit in the side array in the order of their records, so moving each
        // one down to the next free place never overwrites one still to be read.
        uint32_t* r = records();
        TLine* w = wide();
        size_t out = 0;
        uint32_t wideOut = 0;
        for (size_t i = 0; i < size_; ++i) {
            const uint32_t rec = r[i];
            if (pred(decode(*h_, w, rec))) continue;
            if ((rec & kStepXMask) == kEscape) {
                w[wideOut] = w[rec >> 4];
                r[out++] = escapeRecord(wideOut++);
            } else {
                r[out++] = rec;
            }
        }
        const size_t gone = size_ - out;
        size_ = static_cast<uint32_t>(out);
        h_->wideSize = wideOut;
        return gone;
    }
    void clear();
    void reserve(size_t n);
    void shrink_to_fit();

    // Segments kept whole, and the heap bytes the list holds (without allocator headers).
    size_t wideCount() const { return h_ ? h_->wideSize : 0; }
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

private:
    // Bits 31..18: x offset; 17..4: y offset; 3..2: x step; 1..0: y step. An x step field of binary
    // 10 (a step of -2, which records never use) marks a segment kept whole; bits 31..4 then hold
    // its index in the side array.
    static constexpr uint32_t kStepXMask = 0xC;
    static constexpr uint32_t kEscape = 0x8;

    uint32_t* records() const { return h_ ? reinterpret_cast<uint32_t*>(h_ + 1) : nullptr; }
    TLine* wide() const { return h_ ? reinterpret_cast<TLine*>(records() + cap_) : nullptr; }
    static uint32_t escapeRecord(uint32_t wideIndex) { return (wideIndex << 4) | kEscape; }
    // The record for `l`, or false when it must be kept whole.
    bool encode(const TLine& l, uint32_t& r) const;
    void grow(size_t want);
    // Moves the list into a block with room for `cap` records and `wideCap` whole segments.
    void reallocate(size_t cap, uint32_t wideCap);
    void release();

    Header* h_ = nullptr;
    uint32_t size_ = 0, cap_ = 0;
};

template <class Pred>
size_t erase_if(LineList& list, Pred pred) {
    return list.erase_if(pred);
}

}  // namespace gw
