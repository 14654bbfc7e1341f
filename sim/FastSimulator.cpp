#include "sim/FastSimulator.h"

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

}  // namespace gw
