// A board for IC generation tests: devices and nets put straight into a board's lists (wired on both
// sides as the board records them), the IC form filled by side and place, and a side-by-side run of
// the original circuit and its generated IC placed on a second board.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ICKit.h"
#include "board/BoardEngine.h"
#include "ic/ICGenerate.h"
#include "model/InputDevices.h"

namespace gwtest {

inline gw::DraftPtr type(const std::string& id) {
    registerBuiltinsOnce();
    gw::DraftPtr d = gw::getDraft(id);
    EXPECT_TRUE(d) << id;
    return d;
}

struct Bench {
    std::shared_ptr<gw::TBoardEngine> b = gw::TBoardEngine::Create();
    gw::ICForm form;

    gw::TDevice& add(const gw::DraftPtr& d) {
        b->deviceList.push_back(gw::makePooled<gw::TDevice>(d, 0, 0));
        return *b->deviceList.back();
    }
    gw::TDevice& add(const std::string& id) { return add(type(id)); }
    gw::TDevice& toggle() { return add("$swich1"); }
    gw::WirePtr net() {
        b->wireComplexList.push_back(gw::makePooled<gw::TWireComplex>());
        return b->wireComplexList.back();
    }
    static void in(gw::TDevice& d, int pin, const gw::WirePtr& n) {
        d.inputs[pin] = n.get();
        n->outputList.push_back(&d);
    }
    static void out(gw::TDevice& d, int pin, const gw::WirePtr& n) {
        d.outputs[pin] = n.get();
        n->Input = &d;
    }
    // A toggle switch driving a new net; answers the net.
    gw::WirePtr switched() {
        gw::WirePtr n = net();
        out(toggle(), 0, n);
        return n;
    }
    void assign(int side, int i, int typeOutput, const gw::WirePtr& n, const std::string& caption = "") {
        gw::ICPlace& p = form.place(side, i);
        p.conTypeOutput = typeOutput;
        p.conWire = n;
        p.caption = caption;
    }
    gw::ICDescriptionPtr generate(gw::ICGenerateReport* report = nullptr) {
        return gw::generateDescription(form, b->deviceList, report);
    }
};

// The nets of the form's pins in pin order (right/left per row, then bottom/top per column).
inline void pinNets(gw::ICForm& f, std::vector<gw::WirePtr>& ins, std::vector<gw::WirePtr>& outs) {
    auto visit = [&](int side, int i) {
        const gw::ICPlace& p = f.place(side, i);
        if (p.conWire && !p.conWire->notValid) (p.conTypeOutput ? outs : ins).push_back(p.conWire);
    };
    for (int i = 0; i + 1 < f.Height; ++i) {
        visit(gw::icSideRight, i);
        visit(gw::icSideLeft, i);
    }
    for (int i = 0; i + 1 < f.width; ++i) {
        visit(gw::icSideBottom, i);
        visit(gw::icSideTop, i);
    }
}

// Runs the original circuit of `bench` and its IC `dsc` (placed on a fresh board, fed by one toggle
// switch per input pin) over `steps` random input vectors and demands equal outputs after every
// step. Every input net of the original must be driven by a switch placed before the rest.
inline void expectSameOutputs(Bench& bench, const gw::ICDescriptionPtr& dsc, int steps, unsigned seed) {
    std::vector<gw::WirePtr> ins, outs;
    pinNets(bench.form, ins, outs);
    ASSERT_EQ(ins.size(), dsc->inputWires.size());
    ASSERT_EQ(outs.size(), dsc->outputWires.size());

    Bench ic;
    std::vector<gw::TDevice*> icSwitches;
    std::vector<gw::WirePtr> icIns, icOuts;
    for (size_t i = 0; i < ins.size(); ++i) {
        icIns.push_back(ic.net());
        icSwitches.push_back(&ic.toggle());
        Bench::out(*icSwitches.back(), 0, icIns.back());
    }
    gw::TDevice& chip = ic.add(gw::TLoadedDraft::Create(dsc));
    for (size_t i = 0; i < ins.size(); ++i) Bench::in(chip, static_cast<int>(i), icIns[i]);
    for (size_t i = 0; i < outs.size(); ++i) {
        icOuts.push_back(ic.net());
        Bench::out(chip, static_cast<int>(i), icOuts.back());
    }

    std::mt19937 rng(seed);
    for (int s = 0; s < steps; ++s) {
        for (size_t i = 0; i < ins.size(); ++i) {
            gw::TDevice* sw = ins[i]->Input;
            ASSERT_TRUE(sw && dynamic_cast<gw::TSwich*>(sw->draft.get())) << "input " << i;
            // Two pins on one net see one value: the first pin's draw decides.
            bool first = true;
            for (size_t k = 0; k < i; ++k) first = first && ins[k] != ins[i];
            if (first) sw->data = static_cast<int>(rng() % 2);
            icSwitches[i]->data = sw->data;
        }
        bench.b->updateDevices();
        ic.b->updateDevices();
        for (size_t o = 0; o < outs.size(); ++o)
            ASSERT_EQ(icOuts[o]->State, outs[o]->State) << "output " << o << " after step " << s;
    }
}

}  // namespace gwtest
