// Helpers for board file tests: a board that registers the ICs it meets, random boards, and a
// readable summary of a board to compare two boards by.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <unordered_map>

#include "board/BoardEngine.h"
#include "ic/ICDescription.h"
#include "ic/ICKit.h"
#include "io/BoardFile.h"
#include "io/ByteStream.h"
#include "model/Catalogue.h"

namespace gwtest {

// A board whose IC callback registers each description as the application does (an id already
// registered keeps its type). `announced` counts the calls.
struct TestBoard {
    int announced = 0;
    std::shared_ptr<gw::TBoardEngine> b;

    TestBoard() {
        registerBuiltinsOnce();
        b = gw::TBoardEngine::Create({}, nullptr,
                                     [](const gw::ICDescriptionPtr& d, void* ctx) {
                                         ++static_cast<TestBoard*>(ctx)->announced;
                                         gw::registerICDescription(d);
                                         return 1;
                                     },
                                     this);
    }
    gw::TBoardEngine& operator*() { return *b; }
    gw::TBoardEngine* operator->() { return b.get(); }
};

inline std::string save(const gw::TBoardEngine& b) {
    std::string out;
    gw::WriteToStream(b, out);
    return out;
}

inline int load(gw::TBoardEngine& b, const std::string& bytes, gw::BoardLoadReport* rep = nullptr) {
    gw::ByteReader in(bytes);
    return gw::ReadFromStream(b, in, rep);
}

// Everything the file keeps, in words: devices with their pins (as net numbers), nets with their
// segments, driver and readers (as device numbers, sorted), captions and colours.
inline std::string describe(const gw::TBoardEngine& b) {
    std::unordered_map<const gw::TDevice*, int> di;
    std::unordered_map<const gw::TWireComplex*, int> ni;
    for (std::size_t i = 0; i < b.deviceList.size(); ++i) di[b.deviceList[i].get()] = static_cast<int>(i);
    for (std::size_t i = 0; i < b.wireComplexList.size(); ++i)
        ni[b.wireComplexList[i].get()] = static_cast<int>(i);
    auto netNo = [&](const gw::TWireComplex* n) { return n ? ni.at(n) : -1; };
    std::ostringstream s;
    for (const auto& d : b.deviceList) {
        s << "D " << d->draft->getID() << " " << d->xPos << "," << d->yPos << " data " << d->data << " in";
        for (std::size_t j = 0; j < d->inputs.size(); ++j)
            s << " " << netNo(d->inputs[j]) << (d->invertedInputs.at(j) ? "~" : "");
        s << " out";
        for (std::size_t j = 0; j < d->outputs.size(); ++j)
            s << " " << netNo(d->outputs[j]) << (d->invertedOutputs.at(j) ? "~" : "");
        s << "\n";
    }
    for (const auto& n : b.wireComplexList) {
        s << "N";
        for (const auto& l : n->lineList) s << " (" << l.sx << "," << l.sy << "-" << l.ex << "," << l.ey << ")";
        s << " driver " << (n->Input ? di.at(n->Input) : -1) << " readers";
        std::vector<int> r;
        for (const gw::TDevice* d : n->outputList) r.push_back(di.at(d));
        std::sort(r.begin(), r.end());
        for (int x : r) s << " " << x;
        s << "\n";
    }
    s << "colours " << b.backgroundR << " " << b.backgroundG << " " << b.backgroundB << " " << b.netR << " "
      << b.netG << " " << b.netB << "\n";
    for (const auto& c : b.captionList)
        s << "C [" << c->txt << "] " << c->xPos << "," << c->yPos << " size " << c->Size << " rgb " << c->colR
          << " " << c->colG << " " << c->colB << " shadow " << c->bShadow << "\n";
    return s.str();
}

// Attaches input `pin` of `d` to `n` (both sides).
inline void feed(gw::TDevice& d, int pin, gw::TWireComplex& n) {
    d.inputs[pin] = &n;
    n.outputList.push_back(&d);
}
inline void drive(gw::TDevice& d, int pin, gw::TWireComplex& n) {
    d.outputs[pin] = &n;
    n.Input = &d;
}

// A small buildable IC (an AND of two inputs, inverted output), registered under `id`.
inline gw::ICDescriptionPtr andIC(const std::string& id) {
    DescBuilder b;
    const int g = b.dev("$logic0|2", {}, {1});
    b.pinIn(b.wire({{0, 0, g}}));
    b.pinIn(b.wire({{0, 1, g}}));
    b.pinOut(b.wire({{1, 0, g}}));
    b.d->id = id;
    b.d->Name = "Nand";
    b.d->cap = "NAND";
    b.d->width = 2;
    b.d->Height = 3;
    gw::registerICDescription(b.d);
    return b.d;
}

// A board with devices of every built-in type and of `ics`, random inversions, data words, nets
// (some undriven, some read twice by one device), segments and captions.
inline void fillRandomBoard(gw::TBoardEngine& b, std::mt19937& rng, const std::vector<gw::DraftPtr>& ics) {
    auto n = [&](int max) { return static_cast<int>(rng() % (max + 1)); };
    // Anywhere on the board, out to its edge.
    auto far = [&] { return n(2 * gw::kMaxBoardCoordinate) - gw::kMaxBoardCoordinate; };
    std::vector<gw::DraftPtr> types;
    for (auto& e : gw::makeBuiltinCatalogue()) types.push_back(gw::getDraft(e.draft->getID()));
    for (auto& t : ics) types.push_back(t);
    const int devices = n(40);
    for (int i = 0; i < devices; ++i) {
        auto d = gw::makePooled<gw::TDevice>(types[rng() % types.size()], n(200) - 100, n(200) - 100);
        d->data = static_cast<int>(rng());
        for (auto f : d->invertedInputs) f = n(1);
        for (auto f : d->invertedOutputs) f = n(1);
        b.deviceList.push_back(d);
    }
    const int nets = n(30);
    for (int k = 0; k < nets; ++k) {
        auto net = gw::makePooled<gw::TWireComplex>();
        const int segs = n(5);
        for (int s = 0; s < segs; ++s)
            net->lineList.push_back({far(), n(20) - 10, n(20) - 10, far()});
        b.wireComplexList.push_back(net);
        if (b.deviceList.empty()) continue;
        const int readers = n(4);
        for (int r = 0; r < readers; ++r) {
            auto& d = *b.deviceList[rng() % b.deviceList.size()];
            for (std::size_t p = 0; p < d.inputs.size(); ++p)
                if (!d.inputs[p] && n(2) != 0) feed(d, static_cast<int>(p), *net);
        }
        if (n(3) != 0) {
            auto& d = *b.deviceList[rng() % b.deviceList.size()];
            for (std::size_t p = 0; p < d.outputs.size(); ++p)
                if (!d.outputs[p]) {
                    drive(d, static_cast<int>(p), *net);
                    break;
                }
        }
    }
    b.setBackgroundColor(n(255), n(255), n(255));
    b.setNetColor(n(255), n(255), n(255));
    const int caps = n(5);
    for (int c = 0; c < caps; ++c) {
        auto cap = gw::TCaption::Create();
        cap->txt = randomText(rng, 20);
        cap->xPos = far();
        cap->yPos = n(100) - 50;
        cap->Size = n(4) - 1;
        cap->colR = n(255);
        cap->colG = n(255);
        cap->colB = n(255);
        cap->bShadow = n(1);
        b.captionList.push_back(cap);
    }
}

}  // namespace gwtest
