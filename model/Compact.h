// Compact<T>: a pointer held in four bytes, for the links a large board holds by the million (a
// device's pins, a net's driver and readers, the board's lists). Placed devices and nets live in
// pool slots (model/ObjectPool.h), and every pool block comes from one address range reserved
// once (the object arena), so a slot is named by its offset from the arena's start in 8-byte
// units. Objects elsewhere (on the stack, in a vector: tests and scratch objects do that) are
// named by an entry in a table of such addresses, marked by the top bit; the table keeps each
// address once, so it holds no more entries than distinct addresses ever linked this way.
//
// It converts to and from T* implicitly, so a pin list of Compact<TWireComplex> reads and is
// written like one of TWireComplex*. Builds with the address sanitizer take every slot from the
// general allocator (kPooledSlots); there Compact holds the plain pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "model/ObjectPool.h"

namespace gw {

namespace detail {
// The object arena's start (null until its first block is handed out) and length.
extern char* gArenaBase;
extern size_t gArenaBytes;
// The table of addresses outside the arena.
extern void** gForeign;
inline constexpr uint32_t kForeignBit = 0x80000000u;
// The index of `p` (outside the arena) in the table, adding it the first time.
uint32_t foreignIndex(const void* p);

// The link of `p` (not null) when it is an arena slot: its offset from the arena's start in 8-byte
// units. False when `p` lies outside (or there is no arena yet).
inline bool arenaLink(const void* p, uint32_t& v) noexcept {
    const uintptr_t off = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(gArenaBase);
    if (off >= gArenaBytes || off % 8 != 0) return false;
    v = static_cast<uint32_t>(off >> 3);
    return true;
}
inline uint32_t packPointer(const void* p) {
    uint32_t v = 0;
    if (!p || arenaLink(p, v)) return v;
    return kForeignBit | foreignIndex(p);
}
// The link `p` has if anything links it, without adding it to the table; a value no link holds
// otherwise.
uint32_t findForeign(const void* p) noexcept;
inline uint32_t lookPointer(const void* p) noexcept {
    uint32_t v = 0;
    if (!p || arenaLink(p, v)) return v;
    return findForeign(p);
}
inline void* unpackPointer(uint32_t v) {
    if (v & kForeignBit) [[unlikely]]
        return gForeign[v & ~kForeignBit];
    return v ? gArenaBase + (size_t{v} << 3) : nullptr;
}
}  // namespace detail

template <class T>
class Compact {
    using Stored = std::conditional_t<kPooledSlots, uint32_t, T*>;

public:
    Compact() noexcept = default;
    Compact(std::nullptr_t) noexcept {}  // NOLINT: converts as the pointer would
    Compact(T* p) : v_(pack(p)) {}        // NOLINT: converts as the pointer would

    T* get() const noexcept {
        if constexpr (kPooledSlots) return static_cast<T*>(detail::unpackPointer(v_));
        else return v_;
    }
    operator T*() const noexcept { return get(); }  // NOLINT: reads as the pointer
    T* operator->() const noexcept { return get(); }
    T& operator*() const noexcept { return *get(); }
    // Two links are equal exactly when their stored values are: an address has one link.
    bool sameAs(const Compact& o) const noexcept { return v_ == o.v_; }
    bool isNull() const noexcept { return v_ == Stored{}; }

    // A test for links to `p`, made once and then cheaper than reading each link (for scans of
    // long lists). Adds nothing to the table of outside addresses.
    class Match {
    public:
        explicit Match(const T* p) noexcept {
            if constexpr (kPooledSlots) v_ = detail::lookPointer(p);
            else v_ = const_cast<T*>(p);
        }
        bool operator()(const Compact& c) const noexcept { return c.v_ == v_; }

    private:
        Stored v_;
    };

private:
    static Stored pack(T* p) {
        if constexpr (kPooledSlots) return detail::packPointer(p);
        else return p;
    }
    Stored v_{};
};

static_assert(!kPooledSlots || sizeof(Compact<int>) == 4);

}  // namespace gw

template <class T>
struct std::hash<gw::Compact<T>> {
    size_t operator()(const gw::Compact<T>& c) const noexcept { return std::hash<T*>()(c.get()); }
};
