#include "sim/FastSimulator.h"

#include <algorithm>

namespace gw {

void FastSimulator::step(const std::vector<DevicePtr>& devices, uint64_t version, uint64_t appendsFrom) {
    if (valid_ && version != version_ && version_ >= appendsFrom && devices.size() > size_) {
        circuit_.append(devices, size_);
        version_ = version;
        size_ = devices.size();
        ++appends_;
    } else if (!valid_ || version != version_ || devices.size() != size_) {
        circuit_.build(devices);
        version_ = version;
        size_ = devices.size();
        valid_ = true;
        ++compiles_;
    }
    circuit_.run(1);
}

size_t FastSimulator::currentIndexOf(const std::vector<DevicePtr>& devices, uint64_t version, const TDevice& d) const {
    if (!valid_ || version != version_ || devices.size() != size_) return SIZE_MAX;
    const auto it = std::find_if(devices.begin(), devices.end(), [&](const DevicePtr& p) { return p.get() == &d; });
    return it == devices.end() ? SIZE_MAX : static_cast<size_t>(it - devices.begin());
}

bool FastSimulator::patchDevice(const std::vector<DevicePtr>& devices, uint64_t version, TDevice& d) {
    const size_t i = currentIndexOf(devices, version, d);
    if (i == SIZE_MAX || !circuit_.repatch(d, i)) return false;
    ++patches_;
    return true;
}

bool FastSimulator::removeDevice(const std::vector<DevicePtr>& devices, uint64_t version, TDevice& d) {
    const size_t i = currentIndexOf(devices, version, d);
    if (i == SIZE_MAX || !circuit_.remove(i)) return false;
    --size_;
    ++removals_;
    return true;
}

}  // namespace gw
