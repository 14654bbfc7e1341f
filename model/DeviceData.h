// Where a device's data word lives. Every TDevice::data is one int in DeviceDataStore, a
// process-wide array that never moves (a SlotArena, model/SlotStore.h), so devices created one
// after another keep their words side by side and the compiled simulation step (sim/CompiledCircuit)
// reads and writes memory cells, lamps, counters and displays where the model keeps them, instead
// of copying a million scattered words back after each step. DeviceData itself behaves like the
// int it was: it converts to and from int, takes the compound assignments, and a copy of it is a
// new word of its own, not a second name for the same one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace gw {

class DeviceDataStore {
public:
    // Words in one chunk (2 MB: one large page where the system grants one).
    static constexpr uint32_t kChunkSlots = uint32_t{1} << 19;
    // At most 2^28 words (1 GiB), so that a word's bytes lie within 2^31 bytes of the net values.
    static constexpr uint32_t kMaxSlots = uint32_t{1} << 28;
    // Slot 0 is never handed out (it reads 0), so no device's word is at the region's very start.
    static constexpr uint32_t kSinkSlot = 0;

    static int* base();
    // A slot holding `value`. Throws std::bad_alloc when the store is full.
    static uint32_t acquire(int value);
    static void release(uint32_t slot);
    // `n` consecutive slots (contents undefined), each given back with release(). Throws
    // std::bad_alloc when the store has no such run.
    static uint32_t acquireRun(uint32_t n);
    // For tests and benchmarks: slots handed out and not freed, slots ever used, bytes committed.
    static size_t inUse();
    static size_t top();
    static size_t committedBytes();
    // Where the lowest-valued byte of word `slot` lies, counted in bytes from the start of the net
    // values (NetValueStore::base(), model/Wire.h): the stores share one reserved range, net values
    // below and data words above, so a word that holds 0 or 1 can be read and written like a net
    // through that byte (the word's other bytes stay 0).
    static uint32_t lowByteOffset(uint32_t slot);
};

namespace detail {
// DeviceDataStore::base(), set before the first slot is handed out.
extern int* gDeviceData;
}  // namespace detail

class DeviceData {
public:
    DeviceData() : slot_(DeviceDataStore::acquire(0)) {}
    // Explicit, so that `cond ? d.data : 0` reads the int rather than being ambiguous.
    explicit DeviceData(int v) : slot_(DeviceDataStore::acquire(v)) {}
    DeviceData(const DeviceData& o) : slot_(DeviceDataStore::acquire(static_cast<int>(o))) {}
    DeviceData& operator=(const DeviceData& o) {
        ref() = static_cast<int>(o);
        return *this;
    }
    DeviceData& operator=(int v) {
        ref() = v;
        return *this;
    }
    ~DeviceData() { DeviceDataStore::release(slot_); }

    operator int() const { return detail::gDeviceData[slot_]; }  // NOLINT: reads as the int
    // The slot of this word in DeviceDataStore.
    uint32_t slot() const { return slot_; }
    // Moves the word to `slot`, a slot of the store that the caller acquired and hands over; the
    // value goes with it and the old slot is given back. (The compiled step packs the words it
    // touches side by side this way.)
    void moveTo(uint32_t slot) {
        detail::gDeviceData[slot] = detail::gDeviceData[slot_];
        DeviceDataStore::release(std::exchange(slot_, slot));
    }

    DeviceData& operator+=(int v) { return *this = ref() + v; }
    DeviceData& operator-=(int v) { return *this = ref() - v; }
    DeviceData& operator*=(int v) { return *this = ref() * v; }
    DeviceData& operator/=(int v) { return *this = ref() / v; }
    DeviceData& operator%=(int v) { return *this = ref() % v; }
    DeviceData& operator&=(int v) { return *this = ref() & v; }
    DeviceData& operator|=(int v) { return *this = ref() | v; }
    DeviceData& operator^=(int v) { return *this = ref() ^ v; }
    DeviceData& operator<<=(int v) { return *this = ref() << v; }
    DeviceData& operator>>=(int v) { return *this = ref() >> v; }
    DeviceData& operator++() { return *this += 1; }
    DeviceData& operator--() { return *this -= 1; }
    int operator++(int) {
        const int v = ref();
        ++*this;
        return v;
    }
    int operator--(int) {
        const int v = ref();
        --*this;
        return v;
    }

private:
    int& ref() const { return detail::gDeviceData[slot_]; }
    uint32_t slot_;
};

}  // namespace gw
