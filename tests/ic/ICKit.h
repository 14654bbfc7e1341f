// Helpers for IC tests: the built-in types registered once, and a small builder for descriptions.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "ic/ICDescription.h"
#include "model/Catalogue.h"
#include "model/Registry.h"

namespace gwtest {

inline void registerBuiltinsOnce() {
    static const bool done = [] {
        gw::registerBuiltinDrafts();
        return true;
    }();
    (void)done;
}

// Builds a description wire by wire: dev() adds an inner device, wire() an inner wire with its
// memberships, pinIn()/pinOut() an IC pin on a wire.
struct DescBuilder {
    gw::ICDescriptionPtr d = gw::TICDescription::Create();

    int dev(const std::string& type, std::vector<int> invIn = {}, std::vector<int> invOut = {}) {
        registerBuiltinsOnce();
        const auto draft = gw::getDraft(type);
        if (draft) {
            invIn.resize(draft->countInputs(), 0);
            invOut.resize(draft->countOutputs(), 0);
        }
        d->deviceID.push_back(type);
        d->invertedInputs.push_back(invIn);
        d->invertedOutputs.push_back(invOut);
        return static_cast<int>(d->deviceID.size()) - 1;
    }
    int wire(std::vector<gw::TMembership> entries) {
        d->wireBelongs.push_back(std::move(entries));
        return static_cast<int>(d->wireBelongs.size()) - 1;
    }
    void pinIn(int wire) {
        d->inputWires.push_back(wire);
        d->input_cap.push_back("i" + std::to_string(d->inputWires.size()));
        d->input_xpos.push_back(-1);
        d->input_ypos.push_back(static_cast<int>(d->inputWires.size()) - 1);
    }
    void pinOut(int wire) {
        d->outputWires.push_back(wire);
        d->output_cap.push_back("o" + std::to_string(d->outputWires.size()));
        d->output_xpos.push_back(1);
        d->output_ypos.push_back(static_cast<int>(d->outputWires.size()) - 1);
    }
};

// Any byte but LF and NUL (which a text line cannot hold) and CR (which reading drops).
inline std::string randomText(std::mt19937& rng, int maxLen) {
    std::string s;
    const int n = static_cast<int>(rng() % (maxLen + 1));
    for (int i = 0; i < n; ++i) {
        char c;
        do c = static_cast<char>(rng() % 256);
        while (c == '\n' || c == '\0' || c == '\r');
        s.push_back(c);
    }
    return s;
}

// A description with random content in every field (not necessarily buildable), with list
// lengths from 0 upwards, including empty inner lists.
inline gw::ICDescriptionPtr randomDescription(std::mt19937& rng) {
    auto d = gw::TICDescription::Create();
    auto n = [&](int max) { return static_cast<int>(rng() % (max + 1)); };
    auto anyInt = [&] { return static_cast<int>(rng()); };
    d->Name = randomText(rng, 12);
    d->info = randomText(rng, 30);
    d->cap = randomText(rng, 6);
    d->id = "$ic" + std::to_string(anyInt());
    const int devs = n(6);
    for (int k = 0; k < devs; ++k) {
        d->deviceID.push_back(randomText(rng, 10));
        std::vector<int> a(n(4)), b(n(4));
        for (int& f : a) f = n(255);
        for (int& f : b) f = n(255);
        d->invertedInputs.push_back(a);
        d->invertedOutputs.push_back(b);
    }
    const int wires = n(6);
    for (int w = 0; w < wires; ++w) {
        std::vector<gw::TMembership> e(n(4));
        for (auto& m : e) m = {n(255), anyInt(), anyInt()};
        d->wireBelongs.push_back(e);
    }
    const int ins = n(4), outs = n(4);
    for (int i = 0; i < ins; ++i) {
        d->inputWires.push_back(anyInt());
        d->input_cap.push_back(randomText(rng, 3));
        d->input_xpos.push_back(anyInt());
        d->input_ypos.push_back(anyInt());
    }
    for (int i = 0; i < outs; ++i) {
        d->outputWires.push_back(anyInt());
        d->output_cap.push_back(randomText(rng, 3));
        d->output_xpos.push_back(anyInt());
        d->output_ypos.push_back(anyInt());
    }
    d->width = anyInt();
    d->Height = anyInt();
    d->colR = n(255);
    d->colG = n(255);
    d->colB = n(255);
    return d;
}

}  // namespace gwtest
