#include "model/LineList.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "model/ObjectPool.h"

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
    const uint32_t wideSize = static_cast<uint32_t>(o.wideCount());
    const size_t bytes = recordBytes(o.size_, o.long_);
    h_ = static_cast<Header*>(takeBlock(headBytes(wideSize > 0) + bytes + size_t{wideSize} * sizeof(TLine)));
    *h_ = *o.h_;
    long_ = o.long_;
    side_ = wideSize > 0;
    if (side_) *side() = Side{wideSize, wideSize};
    cap_ = size_ = o.size_;
    std::memcpy(records(), o.records(), bytes);
    if (side_) std::memcpy(wide(), o.wide(), size_t{wideSize} * sizeof(TLine));
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
        long_ = o.long_;
        side_ = o.side_;
        o.forget();
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
    if (h_) giveBlock(h_, blockBytes());
    forget();
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

bool LineList::shorten(uint32_t r, uint16_t& s) {
    const int32_t x = static_cast<int32_t>(r) >> 18, y = static_cast<int32_t>(r << 14) >> 18;
    if (x < -kShortReach || x >= kShortReach || y < -kShortReach || y >= kShortReach) return false;
    s = static_cast<uint16_t>(((static_cast<uint32_t>(x) & 0x3F) << 10) | ((static_cast<uint32_t>(y) & 0x3F) << 4) |
                              (r & 0xF));
    return true;
}

void LineList::reallocate(size_t cap, uint32_t wideCap) {
    const bool side = wideCap > 0;
    const uint32_t wideSize = static_cast<uint32_t>(wideCount());  // at most wideCap
    const size_t bytes = recordBytes(cap, long_);
    auto* h = static_cast<Header*>(takeBlock(headBytes(side) + bytes + size_t{wideCap} * sizeof(TLine)));
    char* rec = reinterpret_cast<char*>(h) + headBytes(side);
    if (h_) {
        *h = *h_;
        std::memcpy(rec, records(), recordBytes(size_, long_));
        if (wideSize > 0) std::memcpy(rec + bytes, wide(), size_t{wideSize} * sizeof(TLine));
        giveBlock(h_, blockBytes());
    } else {
        *h = Header{};
    }
    h_ = h;
    cap_ = static_cast<uint32_t>(cap);
    side_ = side;
    if (side) *this->side() = Side{wideSize, wideCap};
}

void LineList::lengthen() {
    const uint32_t wideCap = this->wideCap();
    auto* h = static_cast<Header*>(takeBlock(headBytes(side_) + recordBytes(cap_, true) + size_t{wideCap} * sizeof(TLine)));
    *h = *h_;
    auto* r = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(h) + headBytes(side_));
    auto* w = reinterpret_cast<TLine*>(r + cap_);
    const uint16_t* s = records16();
    const TLine* oldWide = wide();
    uint32_t wideOut = 0;
    for (size_t i = 0; i < size_; ++i) {
        const uint32_t u = s[i];
        if ((u & kStepXMask) == kEscape) {
            // A segment kept whole that fits a 32-bit record goes into one; the others keep
            // their order in the side array.
            const TLine& l = oldWide[u >> 4];
            if (!encode(l, r[i])) {
                w[wideOut] = l;
                r[i] = escapeRecord(wideOut++);
            }
        } else {
            const auto x = static_cast<uint32_t>(static_cast<int32_t>(u << 16) >> 26);
            const auto y = static_cast<uint32_t>(static_cast<int32_t>(u << 22) >> 26);
            r[i] = (x << 18) | ((y & 0x3FFF) << 4) | (u & 0xF);
        }
    }
    giveBlock(h_, blockBytes());
    h_ = h;
    long_ = 1;
    if (side_) *side() = Side{wideOut, wideCap};
}

void LineList::grow(size_t want) {
    if (want > kMaxSize) throw std::length_error("a net holds too many segments");
    // Half again, not double: segments are appended one at a time while drawing, and a board's
    // worth of half-empty lists adds up.
    reallocate(std::min(kMaxSize, std::max({want, size_t{4}, size_t{cap_} + cap_ / 2})), wideCap());
}

void LineList::push_back(const TLine& l) {
    if (size_ == cap_) grow(size_t{size_} + 1);
    if (size_ == 0) {
        h_->ax = l.sx;
        h_->ay = l.sy;
        if (side_) side()->size = 0;
    }
    uint32_t r;
    const bool fits = encode(l, r);
    bool whole = !fits;
    if (!long_) {
        uint16_t s;
        if (fits && shorten(r, s)) {
            records16()[size_++] = s;
            return;
        }
        // Kept whole beside 16-bit records, unless the side array is full or a good share of the
        // segments would fit 32-bit records: then the list moves to those.
        if (wideCount() + 1 >= kShortEscapes || (fits && wideCount() * 8 > size_)) lengthen();
        else whole = true;
    }
    if (whole) {
        if (wideCount() == wideCap()) reallocate(cap_, std::max<uint32_t>(2, wideCap() * 2));
        Side& sd = *side();
        wide()[sd.size] = l;
        r = escapeRecord(sd.size++);
    }
    if (long_) records32()[size_++] = r;
    else records16()[size_++] = static_cast<uint16_t>(r);
}

LineList::const_iterator LineList::erase(const_iterator pos) {
    const size_t i = static_cast<size_t>(pos.i_);
    auto take = [&](auto* r) {
        const uint32_t gone = r[i];
        std::memmove(r + i, r + i + 1, (size_ - i - 1) * sizeof(*r));
        --size_;
        if ((gone & kStepXMask) == kEscape) {
            // Close the gap in the side array and renumber the records after it, which are the
            // ones holding higher indices.
            const uint32_t k = gone >> 4;
            TLine* w = wide();
            std::memmove(w + k, w + k + 1, (side()->size - k - 1) * sizeof(TLine));
            --side()->size;
            for (size_t j = i; j < size_; ++j)
                if ((r[j] & kStepXMask) == kEscape) r[j] -= 1u << 4;
        }
    };
    if (long_) take(records32());
    else take(records16());
    return const_iterator(this, i);
}

void LineList::clear() {
    size_ = 0;
    if (side_) side()->size = 0;
}

void LineList::reserve(size_t n) {
    if (n > kMaxSize) throw std::length_error("a net holds too many segments");
    if (n > cap_) reallocate(n, wideCap());
}

void LineList::shrink_to_fit() {
    if (size_ == 0) {
        release();
        return;
    }
    if (cap_ > size_ || wideCap() > wideCount()) reallocate(size_, static_cast<uint32_t>(wideCount()));
}

size_t LineList::blockBytes() const {
    return headBytes(side_) + recordBytes(cap_, long_) + size_t{wideCap()} * sizeof(TLine);
}

size_t LineList::heapBytes() const { return h_ ? blockBytes() : 0; }

bool operator==(const LineList& a, const LineList& b) {
    if (a.size_ != b.size_) return false;
    for (size_t i = 0; i < a.size_; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace gw
