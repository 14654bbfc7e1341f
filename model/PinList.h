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
    size_type capacity() const noexcept { return cap_; }
    T* data() noexcept { return onHeap() ? heap_ : inline_; }
    const T* data() const noexcept { return onHeap() ? heap_ : inline_; }
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
        if (size_ == cap_) grow(size_ + 1);
        data()[size_++] = v;
    }
    void pop_back() noexcept { --size_; }
    void assign(size_type n, T v) {
        size_ = 0;
        resize(n, v);
    }
    void resize(size_type n, T v = T{}) {
        if (n > cap_) grow(n);
        T* d = data();
        for (size_type i = size_; i < n; ++i) d[i] = v;
        size_ = static_cast<uint32_t>(n);
    }
    void reserve(size_type n) {
        if (n > cap_) grow(n);
    }
    iterator erase(const_iterator pos) { return erase(pos, pos + 1); }
    iterator erase(const_iterator first, const_iterator last) {
        T* d = data();
        const size_type at = static_cast<size_type>(first - d), n = static_cast<size_type>(last - first);
        if (n > 0) std::memmove(d + at, d + at + n, (size_ - at - n) * sizeof(T));
        size_ -= static_cast<uint32_t>(n);
        return d + at;
    }
    iterator insert(const_iterator pos, T v) {
        const size_type at = static_cast<size_type>(pos - data());
        if (size_ == cap_) grow(size_ + 1);
        T* d = data();
        std::memmove(d + at + 1, d + at, (size_ - at) * sizeof(T));
        d[at] = v;
        ++size_;
        return d + at;
    }
    // The heap block is given back once the list fits inside the object again.
    void shrink_to_fit() {
        if (!onHeap() || size_ > N) return;
        T* h = heap_;
        const uint32_t cap = cap_;
        std::memcpy(inline_, h, size_ * sizeof(T));
        giveBlock(h, cap * sizeof(T));
        cap_ = N;
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
    bool onHeap() const noexcept { return cap_ > N; }
    void append(const T* src, size_type n) {
        if (size_ + n > cap_) grow(size_ + n);
        if (n > 0) std::memcpy(data() + size_, src, n * sizeof(T));
        size_ += static_cast<uint32_t>(n);
    }
    void grow(size_type need) {
        if (need > UINT32_MAX / 2) throw std::length_error("PinList too long");
        size_type c = std::max<size_type>(need, 2 * static_cast<size_type>(cap_));
        T* h = static_cast<T*>(takeBlock(c * sizeof(T)));
        if (size_ > 0) std::memcpy(h, data(), size_ * sizeof(T));
        release();
        heap_ = h;
        cap_ = static_cast<uint32_t>(c);
    }
    void release() noexcept {
        if (onHeap()) giveBlock(heap_, cap_ * sizeof(T));
        cap_ = N;
    }
    void takeFrom(PinList& o) noexcept {
        size_ = o.size_;
        cap_ = o.cap_;
        if (o.onHeap()) heap_ = o.heap_;
        else std::memcpy(inline_, o.inline_, o.size_ * sizeof(T));
        o.size_ = 0;
        o.cap_ = N;
    }

    uint32_t size_ = 0;
    uint32_t cap_ = N;
    union {
        T inline_[N];
        T* heap_;
    };
};

}  // namespace gw
