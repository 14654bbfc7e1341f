#include "model/LineList.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace gw {

TLine TLine::createRightCoords(const TLine& line, double sx, double sy, double ox, double oy) {
    TLine r;
    r.sx = static_cast<int>(line.sx * sx + ox);
    r.sy = static_cast<int>(line.sy * sy + oy);
    r.ex = static_cast<int>(ox + sx * line.ex);
    r.ey = static_cast<int>(oy + sy * line.ey);
    return r;
}

LineList::LineList(std::initializer_list<TLine> lines) {
    reserve(lines.size());
    for (const TLine& l : lines) push_back(l);
}

LineList::LineList(const LineList& o) {
    if (o.size_ == 0) return;
    reallocate(o.size_, o.h_->wideSize);
    h_->ax = o.h_->ax;
    h_->ay = o.h_->ay;
    h_->wideSize = o.h_->wideSize;
    std::memcpy(records(), o.records(), size_t{o.size_} * sizeof(uint32_t));
    std::memcpy(wide(), o.wide(), size_t{o.h_->wideSize} * sizeof(TLine));
    size_ = o.size_;
}

LineList& LineList::operator=(const LineList& o) {
    if (this != &o) {
        LineList copy(o);
        *this = std::move(copy);
    }
    return *this;
}

LineList& LineList::operator=(LineList&& o) noexcept {
    if (this != &o) {
        release();
        h_ = o.h_;
        size_ = o.size_;
        cap_ = o.cap_;
        o.h_ = nullptr;
        o.size_ = o.cap_ = 0;
    }
    return *this;
}

LineList& LineList::operator=(std::initializer_list<TLine> lines) {
    clear();
    reserve(lines.size());
    for (const TLine& l : lines) push_back(l);
    return *this;
}

void LineList::release() {
    ::operator delete(h_);
    h_ = nullptr;
    size_ = cap_ = 0;
}

bool LineList::encode(const TLine& l, uint32_t& r) const {
    // In 64 bits, so that offsets between far-apart ints are exact.
    const int64_t x = int64_t{l.sx} - h_->ax, y = int64_t{l.sy} - h_->ay;
    const int64_t dx = int64_t{l.ex} - l.sx, dy = int64_t{l.ey} - l.sy;
    if (x < -kReach || x >= kReach || y < -kReach || y >= kReach) return false;
    if (dx < -1 || dx > 1 || dy < -1 || dy > 1) return false;
    r = (static_cast<uint32_t>(x) << 18) | ((static_cast<uint32_t>(y) & 0x3FFF) << 4) |
        ((static_cast<uint32_t>(dx) & 3) << 2) | (static_cast<uint32_t>(dy) & 3);
    return true;
}

void LineList::reallocate(size_t cap, uint32_t wideCap) {
    auto* h = static_cast<Header*>(
        ::operator new(sizeof(Header) + cap * sizeof(uint32_t) + size_t{wideCap} * sizeof(TLine)));
    if (h_) {
        *h = *h_;
        auto* r = reinterpret_cast<uint32_t*>(h + 1);
        std::memcpy(r, records(), size_t{size_} * sizeof(uint32_t));
        std::memcpy(reinterpret_cast<TLine*>(r + cap), wide(), size_t{h_->wideSize} * sizeof(TLine));
        ::operator delete(h_);
    } else {
        *h = Header{};
    }
    h->wideCap = wideCap;
    h_ = h;
    cap_ = static_cast<uint32_t>(cap);
}

void LineList::grow(size_t want) {
    if (want > kMaxSize) throw std::length_error("a net holds too many segments");
    // Half again, not double: segments are appended one at a time while drawing, and a board's
    // worth of half-empty lists adds up.
    reallocate(std::min(kMaxSize, std::max({want, size_t{4}, size_t{cap_} + cap_ / 2})), h_ ? h_->wideCap : 0);
}

void LineList::push_back(const TLine& l) {
    if (size_ == cap_) grow(size_t{size_} + 1);
    if (size_ == 0) {
        h_->ax = l.sx;
        h_->ay = l.sy;
        h_->wideSize = 0;
    }
    uint32_t r;
    if (!encode(l, r)) {
        if (h_->wideSize == h_->wideCap) reallocate(cap_, std::max<uint32_t>(2, h_->wideCap * 2));
        wide()[h_->wideSize] = l;
        r = escapeRecord(h_->wideSize++);
    }
    records()[size_++] = r;
}

LineList::const_iterator LineList::erase(const_iterator pos) {
    uint32_t* r = records();
    const size_t i = static_cast<size_t>(pos.r_ - r);
    const uint32_t gone = r[i];
    std::memmove(r + i, r + i + 1, (size_ - i - 1) * sizeof(uint32_t));
    --size_;
    if ((gone & kStepXMask) == kEscape) {
        // Close the gap in the side array and renumber the records after it, which are the ones
        // holding higher indices.
        const uint32_t k = gone >> 4;
        TLine* w = wide();
        std::memmove(w + k, w + k + 1, (h_->wideSize - k - 1) * sizeof(TLine));
        --h_->wideSize;
        for (size_t j = i; j < size_; ++j)
            if ((r[j] & kStepXMask) == kEscape) r[j] -= 1u << 4;
    }
    return const_iterator(h_, r + i, wide());
}

void LineList::clear() {
    size_ = 0;
    if (h_) h_->wideSize = 0;
}

void LineList::reserve(size_t n) {
    if (n > kMaxSize) throw std::length_error("a net holds too many segments");
    if (n > cap_) reallocate(n, h_ ? h_->wideCap : 0);
}

void LineList::shrink_to_fit() {
    if (size_ == 0) {
        release();
        return;
    }
    if (cap_ > size_ || h_->wideCap > h_->wideSize) reallocate(size_, h_->wideSize);
}

size_t LineList::heapBytes() const {
    if (!h_) return 0;
    return sizeof(Header) + size_t{cap_} * sizeof(uint32_t) + size_t{h_->wideCap} * sizeof(TLine);
}

bool operator==(const LineList& a, const LineList& b) {
    if (a.size_ != b.size_) return false;
    for (size_t i = 0; i < a.size_; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace gw
