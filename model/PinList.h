// PinList: a short list of plain values (net pointers, inversion flags, readers) that keeps up to N
// of them inside the object and moves to the heap only when it grows past N. A million placed
// devices each had four pin arrays of one or two entries on the heap, and the allocator's own
// bookkeeping for those tiny blocks cost more than the entries; most devices now need no block at
// all, and a list that grows past N takes its block from the pools of small blocks
// (model/ObjectPool.h). The interface is the part of std::vector the program uses, with the same
// meaning.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "model/ObjectPool.h"

namespace gw {

template <class T, unsigned N>
class PinList {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "PinList holds plain values only");
    static_assert(N > 0);

public:
    using value_type = T;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = T&;
    using const_reference = const T&;
    using iterator = T*;
    using const_iterator = const T*;

    PinList() noexcept {}
    PinList(std::initializer_list<T> init) { append(init.begin(), init.size()); }
    explicit PinList(const std::vector<T>& v) { append(v.data(), v.size()); }
    PinList(const PinList& o) { append(o.data(), o.size()); }
    PinList(PinList&& o) noexcept { takeFrom(o); }
    // The most entries a list holds.
    static constexpr size_t kMaxSize = (size_t{1} << 27) - 1;
    ~PinList() { release(); }

    PinList& operator=(const PinList& o) {
        if (this != &o) {
            size_ = 0;
            append(o.data(), o.size());
        }
        return *this;
    }
    PinList& operator=(PinList&& o) noexcept {
        if (this != &o) {
            release();
            takeFrom(o);
        }
        return *this;
    }
    PinList& operator=(const std::vector<T>& v) {
        size_ = 0;
        append(v.data(), v.size());
        return *this;
    }
    PinList& operator=(std::initializer_list<T> init) {
        size_ = 0;
        append(init.begin(), init.size());
        return *this;
    }

    size_type size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    size_type capacity() const noexcept { return onHeap() ? size_type{1} << capLog_ : N; }
    T* data() noexcept { return onHeap() ? heap() : inline_; }
    const T* data() const noexcept { return onHeap() ? heap() : inline_; }
    iterator begin() noexcept { return data(); }
    iterator end() noexcept { return data() + size_; }
    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size_; }
    const_iterator cbegin() const noexcept { return begin(); }
    const_iterator cend() const noexcept { return end(); }
    T& operator[](size_type i) noexcept { return data()[i]; }
    const T& operator[](size_type i) const noexcept { return data()[i]; }
    T& at(size_type i) {
        if (i >= size_) throw std::out_of_range("PinList::at");
        return data()[i];
    }
    const T& at(size_type i) const {
        if (i >= size_) throw std::out_of_range("PinList::at");
        return data()[i];
    }
    T& front() noexcept { return data()[0]; }
    T& back() noexcept { return data()[size_ - 1]; }
    const T& front() const noexcept { return data()[0]; }
    const T& back() const noexcept { return data()[size_ - 1]; }

    void clear() noexcept { size_ = 0; }
    void push_back(T v) {
        ensure(size_ + size_type{1});
        data()[size_] = v;
        ++size_;
    }
    void pop_back() noexcept { --size_; }
    void assign(size_type n, T v) {
        size_ = 0;
        resize(n, v);
    }
    void resize(size_type n, T v = T{}) {
        ensure(n);
        T* d = data();
        for (size_type i = size_; i < n; ++i) d[i] = v;
        size_ = static_cast<uint32_t>(n) & kMaxSize;
    }
    void reserve(size_type n) { ensure(n); }
    iterator erase(const_iterator pos) { return erase(pos, pos + 1); }
    iterator erase(const_iterator first, const_iterator last) {
        T* d = data();
        const size_type at = static_cast<size_type>(first - d), n = static_cast<size_type>(last - first);
        if (n > 0) std::memmove(d + at, d + at + n, (size_ - at - n) * sizeof(T));
        size_ = (size_ - static_cast<uint32_t>(n)) & kMaxSize;
        return d + at;
    }
    iterator insert(const_iterator pos, T v) {
        const size_type at = static_cast<size_type>(pos - data());
        ensure(size_ + size_type{1});
        T* d = data();
        std::memmove(d + at + 1, d + at, (size_ - at) * sizeof(T));
        d[at] = v;
        ++size_;
        return d + at;
    }
    // The heap block is given back once the list fits inside the object again.
    void shrink_to_fit() {
        if (!onHeap() || size_ > N) return;
        T* h = heap();
        const size_type cap = capacity();
        std::memcpy(inline_, h, size_ * sizeof(T));
        giveBlock(h, cap * sizeof(T));
        capLog_ = 0;
    }

    operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

    friend bool operator==(const PinList& a, const PinList& b) {
        return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
    }
    // Against a vector of the same values or of what they convert to (pointers, for pin lists of
    // Compact links).
    template <class U>
    friend bool operator==(const PinList& a, const std::vector<U>& b) {
        return a.size_ == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    bool onHeap() const noexcept { return capLog_ != 0; }
    // The heap block's address, kept in bytes so that the list needs no more than T's alignment
    // (a pin list of four-byte links packs without padding).
    T* heap() const noexcept {
        T* h;
        std::memcpy(&h, heapAt_, sizeof h);
        return h;
    }
    void setHeap(T* h) noexcept { std::memcpy(heapAt_, &h, sizeof h); }
    void append(const T* src, size_type n) {
        ensure(size_ + n);
        if (n > 0) std::memcpy(data() + size_, src, n * sizeof(T));
        size_ = (size_ + static_cast<uint32_t>(n)) & kMaxSize;
    }
    // Room for `total` entries; throws std::length_error beyond kMaxSize (the room may be larger).
    void ensure(size_type total) {
        if (total > kMaxSize) throw std::length_error("PinList too long");
        if (total > capacity()) grow(total);
    }
    // Moves the entries to a heap block with room for at least `need` (and at least twice the
    // room there was), a power of two.
    void grow(size_type need) {
        const size_type want = std::max<size_type>(need, 2 * capacity());
        unsigned log = 1;
        while ((size_type{1} << log) < want) ++log;
        T* h = static_cast<T*>(takeBlock((size_type{1} << log) * sizeof(T)));
        if (size_ > 0) std::memcpy(h, data(), size_ * sizeof(T));
        release();
        setHeap(h);
        capLog_ = log;
    }
    void release() noexcept {
        if (onHeap()) giveBlock(heap(), capacity() * sizeof(T));
        capLog_ = 0;
    }
    void takeFrom(PinList& o) noexcept {
        size_ = o.size_;
        capLog_ = o.capLog_;
        if (o.onHeap()) setHeap(o.heap());
        else std::memcpy(inline_, o.inline_, o.size_ * sizeof(T));
        o.size_ = 0;
        o.capLog_ = 0;
    }

    // Size and room share one word: at most kMaxSize entries; room N inside the object (capLog_ 0)
    // or 2^capLog_ in a heap block.
    uint32_t size_ : 27 = 0;
    uint32_t capLog_ : 5 = 0;
    union {
        T inline_[N];
        unsigned char heapAt_[sizeof(T*)];
    };
};

}  // namespace gw
