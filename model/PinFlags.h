// PinFlags: one on/off flag per pin (a device's input or output inversions) in a single 64-bit
// word. A million placed devices each kept two lists of ints for these, 40 bytes a device for what
// is nearly always a handful of bits; now the bits and the count share one word, and only a list
// longer than kInline (an IC with that many pins) keeps its bits in a heap block.
//
// The interface is the part of std::vector<int> the program uses. A flag reads as 0 or 1; writing
// any nonzero value sets it (the board file stores a flag as a byte and means "inverted" by any
// value other than 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace gw {

class PinFlags {
public:
    // Flags kept inside the word: bit 0 marks the inline form, bits 1..6 hold the count and bits
    // 7..63 the flags.
    static constexpr size_t kInline = 57;

    // A writable flag: what operator[] and iteration hand out on a list that may change.
    class reference {
    public:
        reference(PinFlags& f, size_t i) : f_(&f), i_(i) {}
        operator int() const { return f_->get(i_); }  // NOLINT: reads as the int it was
        reference& operator=(int v) {
            f_->set(i_, v);
            return *this;
        }
        reference& operator=(const reference& o) { return *this = static_cast<int>(o); }
        reference& operator^=(int v) { return *this = static_cast<int>(*this) ^ (v != 0); }

    private:
        PinFlags* f_;
        size_t i_;
    };

    // Iteration hands out what operator[] hands out: ints from a const list, writable flags
    // otherwise.
    template <class Owner, class Value>
    class basic_iterator {
    public:
        using value_type = int;
        using difference_type = std::ptrdiff_t;
        basic_iterator(Owner* f, size_t i) : f_(f), i_(i) {}
        Value operator*() const { return (*f_)[i_]; }
        basic_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const basic_iterator& o) const { return i_ == o.i_; }

    private:
        Owner* f_;
        size_t i_;
    };
    using const_iterator = basic_iterator<const PinFlags, int>;
    using iterator = basic_iterator<PinFlags, reference>;

    PinFlags() = default;
    PinFlags(std::initializer_list<int> init) { append(init.begin(), init.size()); }
    explicit PinFlags(const std::vector<int>& v) { append(v.data(), v.size()); }
    PinFlags(const PinFlags& o) { copyFrom(o); }
    PinFlags(PinFlags&& o) noexcept : w_(o.w_) { o.w_ = kEmpty; }
    ~PinFlags() { release(); }
    PinFlags& operator=(const PinFlags& o) {
        if (this != &o) {
            clear();
            copyFrom(o);
        }
        return *this;
    }
    PinFlags& operator=(PinFlags&& o) noexcept {
        if (this != &o) {
            release();
            w_ = o.w_;
            o.w_ = kEmpty;
        }
        return *this;
    }
    PinFlags& operator=(const std::vector<int>& v) {
        clear();
        append(v.data(), v.size());
        return *this;
    }
    PinFlags& operator=(std::initializer_list<int> init) {
        clear();
        append(init.begin(), init.size());
        return *this;
    }

    size_t size() const noexcept { return isInline() ? (w_ >> 1) & 63 : block()->size; }
    bool empty() const noexcept { return size() == 0; }
    int operator[](size_t i) const noexcept { return get(i); }
    reference operator[](size_t i) noexcept { return reference(*this, i); }
    int at(size_t i) const {
        if (i >= size()) throw std::out_of_range("PinFlags::at");
        return get(i);
    }
    reference at(size_t i) {
        if (i >= size()) throw std::out_of_range("PinFlags::at");
        return reference(*this, i);
    }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size()}; }

    // Keeps a heap block once it has one (lists that long stay long).
    void clear() noexcept {
        if (isInline()) w_ = kEmpty;
        else block()->size = 0;
    }
    void push_back(int v) {
        const size_t n = size();
        resize(n + 1);
        set(n, v);
    }
    void pop_back() noexcept { resize(size() - 1); }
    void assign(size_t n, int v) {
        clear();
        resize(n, v);
    }
    // New flags get `v`.
    void resize(size_t n, int v = 0);

    operator std::vector<int>() const {  // NOLINT: hands out the flags as the ints they were
        std::vector<int> out(size());
        for (size_t i = 0; i < out.size(); ++i) out[i] = get(i);
        return out;
    }
    friend bool operator==(const PinFlags& a, const PinFlags& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a.get(i) != b.get(i)) return false;
        return true;
    }
    // Compares as flags: any nonzero int equals a set flag.
    friend bool operator==(const PinFlags& a, const std::vector<int>& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < b.size(); ++i)
            if (a.get(i) != (b[i] != 0 ? 1 : 0)) return false;
        return true;
    }

    // Heap bytes held (0 for lists kept inline).
    size_t heapBytes() const { return isInline() ? 0 : sizeof(Block) + block()->cap / 8; }

private:
    static constexpr uint64_t kEmpty = 1;
    struct Block {
        uint32_t size, cap;  // cap: a multiple of 64
        uint64_t* words() { return reinterpret_cast<uint64_t*>(this + 1); }
        const uint64_t* words() const { return reinterpret_cast<const uint64_t*>(this + 1); }
    };
    bool isInline() const noexcept { return (w_ & 1) != 0; }
    Block* block() const noexcept { return reinterpret_cast<Block*>(static_cast<uintptr_t>(w_)); }
    int get(size_t i) const noexcept {
        if (isInline()) return static_cast<int>((w_ >> (7 + i)) & 1);
        return static_cast<int>((block()->words()[i / 64] >> (i % 64)) & 1);
    }
    void set(size_t i, int v) noexcept {
        const uint64_t on = v != 0 ? 1 : 0;
        if (isInline()) {
            w_ = (w_ & ~(uint64_t{1} << (7 + i))) | on << (7 + i);
        } else {
            uint64_t& word = block()->words()[i / 64];
            word = (word & ~(uint64_t{1} << (i % 64))) | on << (i % 64);
        }
    }
    template <class T>
    void append(const T* src, size_t n) {
        const size_t at = size();
        resize(at + n);
        for (size_t i = 0; i < n; ++i) set(at + i, static_cast<int>(src[i]));
    }
    void copyFrom(const PinFlags& o) {
        if (o.isInline() && isInline()) {
            w_ = o.w_;
            return;
        }
        resize(o.size());
        for (size_t i = 0; i < o.size(); ++i) set(i, o.get(i));
    }
    void release() noexcept;

    uint64_t w_ = kEmpty;
};

static_assert(sizeof(PinFlags) == 8);

}  // namespace gw
