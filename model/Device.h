// TDevice: one device placed on the board — a draft at a grid point, the net on each pin, an
// inversion flag per pin and the device's own state (data, obj; data lives in DeviceDataStore).
// The pin arrays always have the draft's pin counts. The board owns devices; nets refer to them
// with plain pointers that the board's removal operations clear.
//
// The step (Update) reads each input net (an unwired input reads 0, inverted or not; a wired
// inverted input reads the negation), lets the draft compute, and writes each output net at once
// (an inverted output drives the negation; an unwired output is computed and dropped). The board
// steps its devices strictly in list order, so later devices see this step's values.
#pragma once

#include <memory>
#include <vector>

#include "model/Compact.h"
#include "model/DeviceData.h"
#include "model/Draft.h"
#include "model/PinFlags.h"
#include "model/PinList.h"
#include "model/Ref.h"

namespace gw {

class TWireComplex;
class TDeviceObj;

namespace detail {
// The state objects of devices by entry (entry 0 is none).
extern TDeviceObj** gDeviceObjs;
}  // namespace detail

// Per-device state object of a type (counter edge flags, an IC's inner circuit).
class TDeviceObj {
public:
    virtual ~TDeviceObj() = default;
};

// A device's own state object, owned as a std::unique_ptr would own it, named by four bytes: an
// entry in a table of the objects of all devices (most devices have none, and a large board holds a
// million). Used by the editor's thread only, like the devices.
class DeviceObj {
public:
    DeviceObj() noexcept = default;
    DeviceObj(const DeviceObj&) = delete;
    DeviceObj& operator=(const DeviceObj&) = delete;
    ~DeviceObj() { reset(); }

    // Takes `p` over (deleting what the device had).
    template <class U>
    DeviceObj& operator=(std::unique_ptr<U> p) {
        set(std::unique_ptr<TDeviceObj>(std::move(p)));
        return *this;
    }
    DeviceObj& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }
    TDeviceObj* get() const noexcept { return i_ ? detail::gDeviceObjs[i_] : nullptr; }
    explicit operator bool() const noexcept { return i_ != 0; }
    friend bool operator==(const DeviceObj& a, std::nullptr_t) noexcept { return a.i_ == 0; }
    void reset() noexcept;

    // Entries of the table in use (for tests).
    static size_t live();

private:
    void set(std::unique_ptr<TDeviceObj> p);
    uint32_t i_ = 0;  // 0: none
};

class TDevice {
public:
    int xPos = 0, yPos = 0;
    DeviceDraft draft;  // keeps the type alive
    // Pin arrays: most types have at most four inputs and two outputs, which fit inside the device.
    // Each pin holds its net in four bytes (model/Compact.h) and reads like a TWireComplex*.
    PinList<Compact<TWireComplex>, 4> inputs;
    PinList<Compact<TWireComplex>, 2> outputs;
    DeviceData data;  // an int in DeviceDataStore (model/DeviceData.h)
    PinFlags invertedInputs;   // 0 or 1 per input pin
    PinFlags invertedOutputs;  // 0 or 1 per output pin
    // Flags kept in bytes: a large board holds a million devices (see the size check below).
    uint8_t hover = 0;
    uint8_t notValid = 0;
    RefCount refs_;  // the Refs to this device (model/Ref.h)
    DeviceObj obj;

    TDevice() = default;
    // A device of `d` at (x, y) with its pin arrays sized to the draft, nothing wired.
    TDevice(DraftPtr d, int x, int y);
    ~TDevice() = default;
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    void Destroy() { notValid = 1; }
    // Sizes the four pin arrays to the draft's counts, all null/0.
    void sizePins();
    void Update();

    void Draw(Renderer& r, double ox, double oy, double sx, double sy, double fx, double fy);
    void drawWireConnections(Renderer& r, double ox, double oy, double sx, double sy, double fx,
                             double fy) const;
    void drawInvertedInputs(Renderer& r, double ox, double oy, double sx, double sy, double fx,
                            double fy) const;
    void drawInvertedOutputs(Renderer& r, double ox, double oy, double sx, double sy, double fx,
                             double fy) const;

    void mouseOver() { draft->mouseOverFunc(*this); }
    void onClick() { draft->onClickFunc(*this); }
    void noClick() { draft->noClickFunc(*this); }
    void whileClick() { draft->whileClickFunc(*this); }

    // Hit test of the body in grid coordinates; with `inner` the edge (where pins sit) is outside.
    int pointIn(int x, int y, int inner) const;
};

// A placed device is one pool slot of its size, its count inside: a million of them take 72 MB.
// (Builds that hold links as plain pointers have larger ones.)
static_assert(sizeof(void*) != 8 || !kPooledSlots || sizeof(TDevice) <= 72, "TDevice grew");

using DevicePtr = Ref<TDevice>;

// Room for one device's pin values during its step. Values live on the stack; types with more
// pins than that (none of the built-in ones, and no IC can have as many) share one buffer per
// thread that grows once and is then reused, so a step never allocates in steady state.
class PinBuffers {
public:
    PinBuffers(int inputs, int outputs);
    int* ins;
    int* outs;

private:
    static constexpr int kStackPins = 64;
    int insBuf_[kStackPins];
    int outsBuf_[kStackPins];
};

// Steps every device of `devices` once, first to last.
template <class List>
void stepDevices(const List& devices) {
    for (const auto& d : devices) d->Update();
}

}  // namespace gw
