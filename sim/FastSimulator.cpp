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
    const auto it = std::find_if(devices.begin(), devices.end(), DevicePtr::refersTo(&d));
    return it == devices.end() ? SIZE_MAX : static_cast<size_t>(it - devices.begin());
}

bool FastSimulator::patchDevice(const std::vector<DevicePtr>& devices, uint64_t version, TDevice& d) {
    const size_t i = currentIndexOf(devices, version, d);
    if (i == SIZE_MAX || !circuit_.repatch(d, i)) return false;
    ++patches_;
    return true;
}

bool FastSimulator::patchDevices(const std::vector<DevicePtr>& devices, uint64_t version, std::vector<TDevice*> ds) {
    if (!valid_ || version != version_ || devices.size() != size_) return false;
    std::sort(ds.begin(), ds.end());
    ds.erase(std::unique(ds.begin(), ds.end()), ds.end());
    // List order, so that the compiled form walks its streams once for all of them.
    std::vector<std::pair<size_t, TDevice*>> at;
    at.reserve(ds.size());
    for (size_t i = 0; i < devices.size() && at.size() < ds.size(); ++i) {
        TDevice* p = devices[i].get();
        if (std::binary_search(ds.begin(), ds.end(), p)) at.emplace_back(i, p);
    }
    if (at.size() != ds.size()) return false;
    for (const auto& [i, d] : at) {
        if (!circuit_.repatch(*d, i)) return false;
        ++patches_;
    }
    return true;
}

bool FastSimulator::removeDevice(const std::vector<DevicePtr>& devices, uint64_t version, TDevice& d) {
    const size_t i = currentIndexOf(devices, version, d);
    if (i == SIZE_MAX || !circuit_.remove(i, d)) return false;
    --size_;
    ++removals_;
    return true;
}

}  // namespace gw
