// A hand-built circuit for tests: devices in step order and nets, wired on both sides the way the
// board records connections.
#pragma once

#include <memory>
#include <vector>

#include "model/Catalogue.h"
#include "model/Device.h"
#include "model/Wire.h"

namespace gwtest {

struct Circuit {
    std::vector<gw::DevicePtr> devices;
    std::vector<gw::WirePtr> nets;

    gw::TDevice& add(gw::DraftPtr d, int x = 0, int y = 0) {
        devices.push_back(gw::makePooled<gw::TDevice>(std::move(d), x, y));
        return *devices.back();
    }
    gw::TWireComplex& net() {
        nets.push_back(gw::makePooled<gw::TWireComplex>());
        return *nets.back();
    }
    static void in(gw::TDevice& d, int pin, gw::TWireComplex& n) {
        d.inputs[pin] = &n;
        n.outputList.push_back(&d);
    }
    static void out(gw::TDevice& d, int pin, gw::TWireComplex& n) {
        d.outputs[pin] = &n;
        n.Input = &d;
    }
    // One device of every built-in kind in catalogue order, each reading the previous device's net
    // on all its inputs and driving a net of its own on every output.
    void chainEveryBuiltinKind() {
        for (const auto& e : gw::makeBuiltinCatalogue()) {
            gw::TDevice& d = add(e.draft);
            for (size_t i = 0; i < d.inputs.size(); ++i)
                if (!nets.empty()) in(d, static_cast<int>(i), *nets.back());
            for (size_t i = 0; i < d.outputs.size(); ++i) out(d, static_cast<int>(i), net());
        }
    }
    void step(int n = 1) {
        for (int i = 0; i < n; ++i) gw::stepDevices(devices);
    }
};

}  // namespace gwtest
