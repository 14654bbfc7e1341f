// Ref: a counted pointer to an object that keeps its own count, for the objects a large board holds
// by the million (placed devices and nets). A std::shared_ptr made with make_shared puts a 16-byte
// control block before each object and is 16 bytes itself; here the count is a RefCount member of
// the object (two bytes, in room the object's layout leaves free), the pointer is a four-byte link
// to the object's slot (model/Compact.h), and the object is one pool slot of exactly its size.
//
// The interface is the part of std::shared_ptr the program uses, with the same meaning. Counts are
// not atomic: the board's objects are only ever touched by the thread that runs the editor.
//
// makePooled<T>(args...) makes an object in a slot of the shared pool for its size
// (model/ObjectPool.h) and answers the first Ref to it; when the last Ref goes, the object is
// destroyed and its slot given back. T names its count `refs_`.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <utility>

#include "model/Compact.h"
#include "model/ObjectPool.h"

namespace gw {

// The count of references to one object. Two bytes hold up to 65,534; an object referenced more
// often than that (nothing in the program does it, but nothing forbids it either) keeps the rest
// in a table beside, keyed by its address.
class RefCount {
public:
    RefCount() noexcept = default;
    // A copied object is a new object: its count starts afresh.
    RefCount(const RefCount&) noexcept {}
    RefCount& operator=(const RefCount&) noexcept { return *this; }

    void add(const void* owner) {
        if (n_ < kSpilled) ++n_;
        else addSpilled(owner);
    }
    // Answers whether that was the last reference.
    bool drop(const void* owner) noexcept {
        if (n_ == kSpilled && dropSpilled(owner)) return false;
        return --n_ == 0;
    }
    size_t count(const void* owner) const noexcept;

    // Objects whose count is partly kept in the table (for tests).
    static size_t spilledObjects() noexcept;

private:
    // The count that sends further references to the table.
    static constexpr uint16_t kSpilled = 0xFFFF;
    static void addSpilled(const void* owner);
    // Takes one reference off the table's share; false when the table holds none for `owner`.
    static bool dropSpilled(const void* owner) noexcept;
    uint16_t n_ = 0;
};

template <class T>
void destroyPooled(T* p) noexcept {
    p->~T();
    PoolAllocator<T>().deallocate(p, 1);
}

template <class T>
class Ref {
public:
    using element_type = T;

    constexpr Ref() noexcept = default;
    constexpr Ref(std::nullptr_t) noexcept {}  // NOLINT: null converts, as for shared_ptr
    Ref(const Ref& o) : p_(o.p_) { acquire(); }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~Ref() { release(); }
    Ref& operator=(const Ref& o) {
        Ref(o).swap(*this);
        return *this;
    }
    Ref& operator=(Ref&& o) noexcept {
        Ref(std::move(o)).swap(*this);
        return *this;
    }
    Ref& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }

    // One more reference to `p`, an object some Ref already holds (or null).
    static Ref share(T* p) {
        Ref r;
        r.p_ = p;
        r.acquire();
        return r;
    }

    void reset() noexcept { Ref().swap(*this); }
    void swap(Ref& o) noexcept { std::swap(p_, o.p_); }
    T* get() const noexcept { return p_.get(); }
    T& operator*() const noexcept { return *get(); }
    T* operator->() const noexcept { return get(); }
    explicit operator bool() const noexcept { return !p_.isNull(); }
    size_t use_count() const noexcept {
        T* p = get();
        return p ? p->refs_.count(p) : 0;
    }

    // A test for Refs to `p`, cheaper than comparing each one's get() (for scans of long lists).
    class Match {
    public:
        explicit Match(const T* p) noexcept : m_(p) {}
        bool operator()(const Ref& r) const noexcept { return m_(r.p_); }

    private:
        typename Compact<T>::Match m_;
    };
    static Match refersTo(const T* p) noexcept { return Match(p); }

    friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.p_.sameAs(b.p_); }
    friend bool operator==(const Ref& a, std::nullptr_t) noexcept { return a.p_.isNull(); }
    friend std::strong_ordering operator<=>(const Ref& a, const Ref& b) noexcept {
        return std::compare_three_way{}(a.get(), b.get());
    }

private:
    void acquire() {
        if (T* p = get()) p->refs_.add(p);
    }
    void release() noexcept {
        T* p = std::exchange(p_, nullptr).get();
        if (p && p->refs_.drop(p)) destroyPooled(p);
    }
    Compact<T> p_;
};

template <class T, class... Args>
Ref<T> makePooled(Args&&... args) {
    PoolAllocator<T> a;
    T* p = a.allocate(1);
    try {
        ::new (static_cast<void*>(p)) T(std::forward<Args>(args)...);
    } catch (...) {
        a.deallocate(p, 1);
        throw;
    }
    return Ref<T>::share(p);
}

}  // namespace gw

template <class T>
struct std::hash<gw::Ref<T>> {
    size_t operator()(const gw::Ref<T>& r) const noexcept { return std::hash<T*>()(r.get()); }
};
