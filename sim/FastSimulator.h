// FastSimulator: the board's simulation step through a compiled form, recompiled when the board
// says its circuit changed.
//
// Contract with the board. The board keeps a counter that it increments on every change the
// compiled form cannot see by itself: a device added or removed, a pin connected or disconnected, a
// pin's inversion toggled, nets merged, split or removed, a board read from a file, and any change of
// a net's State or of a non-switch device's data or counter state made outside a step. It then
// steps with `step(deviceList, counter)` instead of stepping each device. A switch's data may change
// freely between steps (the mouse handling does); it is read live.
//
// After step() the model is exactly what stepping each device's Update would have left: net State,
// device data and counter flags are stepped where the model keeps them, so drawing, saving and the
// editing modes read the model as before. As a guard against a forgotten increment the device
// count is compared as well, so a removed device is never reached through a stale pointer.
//
// Devices placed on the board are appended to the list and only join nets that exist; the devices
// already compiled and their nets' slots stay as they were, so the compiled form is patched rather
// than rebuilt: the board passes the counter's value after its last edit of any other kind
// (`appendsFrom`), and a form compiled at or after it only needs the new devices added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/CompiledCircuit.h"

namespace gw {

class FastSimulator {
public:
    // One step of `devices` in list order. Compiles first when nothing is compiled yet, when
    // `version` differs from the one compiled, or when the list length changed.
    // When the only changes since the compiled version are devices appended to the list (the
    // version then is at least `appendsFrom`), only those are compiled, onto the form there is.
    void step(const std::vector<DevicePtr>& devices, uint64_t version, uint64_t appendsFrom = UINT64_MAX);
    // Pins of `d` were connected, disconnected or had their inversions toggled, and nothing else
    // changed since the step with `version`: when the compiled form is of that version and list,
    // and the device's op can be updated in place, does so and answers true (the caller need not
    // announce the edit); answers false otherwise, and the edit must be announced as usual.
    bool patchDevice(const std::vector<DevicePtr>& devices, uint64_t version, TDevice& d);
    // The same for several devices at once, found in one walk of the list: for an edit that moved
    // pins of all of them (nets merged, split or removed). Every device with a pin on a net that
    // left the board must be among them. Answers false when any of them cannot be updated in
    // place; the edit must then be announced (some may have been updated already, which the
    // compile that follows makes moot).
    bool patchDevices(const std::vector<DevicePtr>& devices, uint64_t version, std::vector<TDevice*> ds);
    // `d`, still in `devices`, is about to leave the list (its pins disconnected, nothing else
    // changed since the step with `version`): when the compiled form is of that version and list,
    // lets its ops idle and forgets it, answering true (the caller need not announce the removal;
    // the list is then one shorter); answers false otherwise.
    bool removeDevice(const std::vector<DevicePtr>& devices, uint64_t version, TDevice& d);
    // Drops the compiled form; the next step compiles again.
    void invalidate() { valid_ = false; }

    const CompiledCircuit& compiled() const { return circuit_; }
    // How many times the device list was compiled (for tests and the status of the editor).
    uint64_t compileCount() const { return compiles_; }
    // How many times devices were compiled onto the form instead.
    uint64_t appendCount() const { return appends_; }
    // How many times a device's op was updated in place.
    uint64_t patchCount() const { return patches_; }
    // How many devices were removed from the form without compiling.
    uint64_t removalCount() const { return removals_; }

private:
    // Where `d` stands in `devices` when the compiled form is of that list at `version`; SIZE_MAX
    // otherwise.
    size_t currentIndexOf(const std::vector<DevicePtr>& devices, uint64_t version, const TDevice& d) const;

    CompiledCircuit circuit_;
    uint64_t version_ = 0;
    size_t size_ = 0;
    bool valid_ = false;
    uint64_t compiles_ = 0;
    uint64_t appends_ = 0;
    uint64_t patches_ = 0;
    uint64_t removals_ = 0;
};

}  // namespace gw
