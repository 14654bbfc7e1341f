#include "generators.h"

#include <cstdlib>
#include <random>
#include <vector>

#include "ic/ICDescription.h"
#include "model/Catalogue.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/ObjectPool.h"
#include "model/Registry.h"

namespace gwbench {

using namespace gw;

namespace {

struct Drafts {
    DraftPtr and2 = TLogic::Create(2, 0), and3 = TLogic::Create(3, 0), or2 = TLogic::Create(2, 1),
             or4 = TLogic::Create(4, 1), inv = TLogic::Create(1, 2), half = TAdder::Create(0),
             full = TAdder::Create(1), ram = TRam::Create(), cnt2 = TCounter::Create(2),
             cnt4 = TCounter::Create(4), cnt8 = TCounter::Create(8), clk = TTicker::Create(25),
             clk2 = TTicker::Create(250), rnd = TTicker::Create(0), sw = TSwich::Create(1),
             led = TLed::Create(255, 100, 100), digit = TDigital::Create(0, 100, 255, 100);
};

class Generator {
public:
    Generator(TBoardEngine& b, size_t target, uint32_t seed) : b_(b), target_(target), rng_(seed) {}

    void run() {
        b_.deviceList.reserve(target_);
        b_.wireComplexList.reserve(target_ * 3 / 2);
        while (!full()) block();
        route();
    }

private:
    TBoardEngine& b_;
    size_t target_;
    std::mt19937 rng_;
    Drafts d_;
    std::vector<TWireComplex*> recent_;   // the most recently driven nets, newest last
    std::vector<TWireComplex*> pending_;  // nets read before any device drives them

    bool full() const { return b_.deviceList.size() >= target_; }
    int pct() { return static_cast<int>(rng_() % 100); }
    size_t below(size_t n) { return n ? rng_() % n : 0; }

    TWireComplex* newNet() {
        b_.wireComplexList.push_back(makePooled<TWireComplex>());
        return b_.wireComplexList.back().get();
    }

    TDevice* place(const DraftPtr& d) {
        if (full()) return nullptr;
        const size_t k = b_.deviceList.size();
        auto dev =
            makePooled<TDevice>(d, static_cast<int>(k % 1000) * 6, static_cast<int>(k / 1000) * 16);
        for (auto v : dev->invertedInputs) v = pct() < 12 ? 1 : 0;
        b_.deviceList.push_back(dev);
        return dev.get();
    }

    void read(TDevice* dev, int pin, TWireComplex* n) {
        if (!dev || !n) return;
        dev->inputs[pin] = n;
        n->outputList.push_back(dev);
    }
    // Drives `n` (a fresh net when null) from output `pin`; answers the net.
    TWireComplex* drive(TDevice* dev, int pin, TWireComplex* n = nullptr) {
        if (!dev) return nullptr;
        if (!n) {
            // Close a feedback loop now and then by driving a net that was read earlier.
            if (!pending_.empty() && pct() < 40) {
                const size_t i = below(pending_.size());
                n = pending_[i];
                pending_[i] = pending_.back();
                pending_.pop_back();
            } else {
                n = newNet();
            }
        }
        dev->outputs[pin] = n;
        n->Input = dev;
        dev->invertedOutputs[pin] = pct() < 10 ? 1 : 0;
        recent_.push_back(n);
        if (recent_.size() > 256) recent_.erase(recent_.begin(), recent_.begin() + 128);
        return n;
    }
    // A net for an input: mostly one driven a few devices ago.
    TWireComplex* source() {
        const int r = pct();
        if (r < 2 || recent_.empty()) return nullptr;  // unwired
        if (r < 8) {                                   // feedback: driven later
            if (pending_.size() < 64 || pct() < 30) pending_.push_back(newNet());
            return pending_[below(pending_.size())];
        }
        if (r < 10) return b_.wireComplexList[below(b_.wireComplexList.size())].get();  // far away
        const size_t window = r < 85 ? 6 : 64;
        const size_t n = std::min(window, recent_.size());
        return recent_[recent_.size() - 1 - below(n)];
    }
    void readAll(TDevice* dev) {
        if (!dev) return;
        for (size_t i = 0; i < dev->inputs.size(); ++i) read(dev, static_cast<int>(i), source());
    }

    void gateCluster() {
        const DraftPtr* kinds[] = {&d_.and2, &d_.and2, &d_.or2, &d_.or2, &d_.inv, &d_.and3, &d_.or4};
        for (int n = 1 + static_cast<int>(below(8)); n > 0; --n) {
            TDevice* g = place(*kinds[below(std::size(kinds))]);
            readAll(g);
            drive(g, 0);
        }
    }
    void rippleAdder() {
        TWireComplex* carry = nullptr;
        for (int n = 4 + static_cast<int>(below(13)); n > 0; --n) {
            TDevice* a = place(carry ? d_.full : d_.half);
            if (!a) return;
            read(a, 0, source());
            read(a, 1, source());
            if (carry) read(a, 2, carry);
            carry = drive(a, 0, newNet());
            drive(a, 1);
        }
    }
    void latch() {
        // Two NOR gates (OR with an inverted output), each reading the other: the second gate's
        // output is read by the first one step late.
        TWireComplex* qn = newNet();
        TDevice* g1 = place(d_.or2);
        read(g1, 0, source());
        read(g1, 1, qn);
        TWireComplex* q = drive(g1, 0, newNet());
        if (g1) g1->invertedOutputs[0] = 1;
        TDevice* g2 = place(d_.or2);
        read(g2, 0, source());
        read(g2, 1, q);
        drive(g2, 0, qn);
        if (g2) g2->invertedOutputs[0] = 1;
    }
    void ramBank() {
        for (int n = 1 + static_cast<int>(below(8)); n > 0; --n) {
            TDevice* m = place(d_.ram);
            readAll(m);
            drive(m, 0);
            if (pct() < 50) drive(m, 1);
        }
    }
    void counter() {
        const DraftPtr& kind = pct() < 40 ? d_.cnt2 : (pct() < 70 ? d_.cnt4 : d_.cnt8);
        TDevice* c = place(kind);
        if (!c) return;
        read(c, 0, source());                  // "+"
        if (pct() < 30) read(c, 1, source());  // "-"
        if (pct() < 30) read(c, 2, source());  // "S"
        if (pct() < 40) read(c, 3, source());  // "R"
        for (size_t i = 4; i < c->inputs.size(); ++i)
            if (pct() < 50) read(c, static_cast<int>(i), source());
        std::vector<TWireComplex*> bits;
        for (size_t i = 0; i < c->outputs.size(); ++i) bits.push_back(drive(c, static_cast<int>(i)));
        // A gate decoding two of the bits.
        TDevice* g = place(d_.and2);
        read(g, 0, bits[below(bits.size())]);
        read(g, 1, bits[below(bits.size())]);
        drive(g, 0);
    }
    void edge() {
        const int r = pct();
        TDevice* dev;
        if (r < 20)
            dev = place(pct() < 50 ? d_.clk : d_.clk2);
        else if (r < 35)
            dev = place(d_.rnd);
        else if (r < 45)
            dev = place(d_.sw);
        else if (r < 90)
            dev = place(d_.led);
        else
            dev = place(d_.digit);
        if (!dev) return;
        if (!dev->outputs.empty()) {
            if (dev->draft == d_.sw) dev->data = static_cast<int>(rng_() & 1);
            drive(dev, 0);
            if (pct() < 30) drive(dev, 2);
        } else {
            readAll(dev);
        }
    }

    void block() {
        if (recent_.size() < 4) {  // every board starts with something driving nets
            edge();
            return;
        }
        const int r = pct();
        if (r < 40)
            gateCluster();
        else if (r < 55)
            rippleAdder();
        else if (r < 65)
            latch();
        else if (r < 77)
            ramBank();
        else if (r < 87)
            counter();
        else
            edge();
    }

    // Segments from the driver's pin (or the first reader's) to every reader's pin.
    void route() {
        auto inPos = [](const TDevice* d, int pin, int& x, int& y) {
            x = d->xPos + d->draft->getInputXPos(pin);
            y = d->yPos + d->draft->getInputYPos(pin);
        };
        auto outPos = [](const TDevice* d, int pin, int& x, int& y) {
            x = d->xPos + d->draft->getOutputXPos(pin);
            y = d->yPos + d->draft->getOutputYPos(pin);
        };
        auto lay = [](TWireComplex& n, int x0, int y0, int x1, int y1) {
            if (std::abs(x1 - x0) + std::abs(y1 - y0) > 32) {
                n.lineList.push_back(TLine{x0, y0, x1, y0});
                n.lineList.push_back(TLine{x1, y0, x1, y1});
                return;
            }
            for (int x = x0; x != x1; x += x1 > x0 ? 1 : -1)
                n.lineList.push_back(TLine{x, y0, x + (x1 > x0 ? 1 : -1), y0});
            for (int y = y0; y != y1; y += y1 > y0 ? 1 : -1)
                n.lineList.push_back(TLine{x1, y, x1, y + (y1 > y0 ? 1 : -1)});
        };
        for (auto& np : b_.wireComplexList) {
            TWireComplex& n = *np;
            int sx = 0, sy = 0;
            bool have = false;
            if (n.Input) {
                for (size_t i = 0; i < n.Input->outputs.size() && !have; ++i)
                    if (n.Input->outputs[i] == &n) {
                        outPos(n.Input, static_cast<int>(i), sx, sy);
                        have = true;
                    }
            }
            for (TDevice* r : n.outputList)
                for (size_t i = 0; i < r->inputs.size(); ++i)
                    if (r->inputs[i] == &n) {
                        int x, y;
                        inPos(r, static_cast<int>(i), x, y);
                        if (!have) {
                            sx = x;
                            sy = y;
                            have = true;
                        } else {
                            lay(n, sx, sy, x, y);
                        }
                    }
            n.lineList.shrink_to_fit();
        }
    }
};

}  // namespace

std::shared_ptr<TBoardEngine> makeRandomBoard(size_t devices, uint32_t seed) {
    auto b = TBoardEngine::Create();
    Generator(*b, devices, seed).run();
    return b;
}

std::shared_ptr<TBoardEngine> makeICBoard(size_t ics, size_t inner, uint32_t seed) {
    static const bool registered = [] {
        registerBuiltinDrafts();
        return true;
    }();
    (void)registered;
    std::mt19937 rng(seed);
    auto dsc = TICDescription::Create();
    dsc->id = "$icbench" + std::to_string(inner);
    dsc->cap = "B";
    dsc->width = 4;
    dsc->Height = 5;
    std::vector<int> driven;  // wires with a driver, newest last
    auto wire = [&] {
        dsc->wireBelongs.emplace_back();
        return static_cast<int>(dsc->wireBelongs.size()) - 1;
    };
    for (int i = 0; i < 4; ++i) {
        const int w = wire();
        dsc->inputWires.push_back(w);
        dsc->input_xpos.push_back(-2);
        dsc->input_ypos.push_back(i - 2);
        driven.push_back(w);
    }
    const char* const kinds[] = {"$logic0|2", "$logic1|2", "$logic2|1", "$logic0|3", "$adder1",
                                 "$logic1|2", "$logic0|2", "$ram",      "$counter4", "$logic2|1"};
    std::vector<int> feedback;  // wires read before they are driven
    for (size_t k = 0; k < inner; ++k) {
        const std::string id = kinds[rng() % std::size(kinds)];
        const DraftPtr t = getDraft(id);
        const int dev = static_cast<int>(dsc->deviceID.size());
        dsc->deviceID.push_back(id);
        std::vector<int> ii(t->countInputs()), io(t->countOutputs());
        for (int i = 0; i < t->countInputs(); ++i) {
            ii[i] = rng() % 8 == 0;
            const unsigned r = rng() % 100;
            if (r < 5) continue;  // unwired
            int w;
            if (r < 12) {
                w = wire();
                feedback.push_back(w);
            } else {
                const size_t n = std::min<size_t>(6, driven.size());
                w = driven[driven.size() - 1 - rng() % n];
            }
            dsc->wireBelongs[w].push_back({0, i, dev});
        }
        for (int o = 0; o < t->countOutputs(); ++o) {
            io[o] = rng() % 10 == 0;
            int w;
            if (!feedback.empty() && rng() % 3 == 0) {
                w = feedback.back();
                feedback.pop_back();
            } else {
                w = wire();
            }
            dsc->wireBelongs[w].push_back({1, o, dev});
            driven.push_back(w);
        }
        dsc->invertedInputs.push_back(ii);
        dsc->invertedOutputs.push_back(io);
    }
    for (int i = 0; i < 4; ++i) {
        dsc->outputWires.push_back(driven[driven.size() - 1 - static_cast<size_t>(i) * 3 % driven.size()]);
        dsc->output_xpos.push_back(2);
        dsc->output_ypos.push_back(i - 2);
    }
    const DraftPtr ic = TLoadedDraft::Create(dsc);
    registerDraft(ic);

    auto b = TBoardEngine::Create();
    auto net = [&] {
        b->wireComplexList.push_back(makePooled<TWireComplex>());
        return b->wireComplexList.back().get();
    };
    auto connectOut = [](TDevice& d, int pin, TWireComplex* n) {
        d.outputs[pin] = n;
        n->Input = &d;
    };
    auto connectIn = [](TDevice& d, int pin, TWireComplex* n) {
        d.inputs[pin] = n;
        n->outputList.push_back(&d);
    };
    auto clk = makePooled<TDevice>(TTicker::Create(25), 0, 0);
    auto rnd = makePooled<TDevice>(TTicker::Create(0), 0, 4);
    std::vector<TWireComplex*> prev = {net(), net(), net(), net()};
    connectOut(*clk, 0, prev[0]);
    connectOut(*clk, 1, prev[1]);
    connectOut(*rnd, 0, prev[2]);
    connectOut(*rnd, 1, prev[3]);
    b->deviceList.push_back(clk);
    b->deviceList.push_back(rnd);
    for (size_t j = 0; j < ics; ++j) {
        auto d =
            makePooled<TDevice>(ic, 6 + static_cast<int>(j % 200) * 6, static_cast<int>(j / 200) * 8);
        std::vector<TWireComplex*> outs;
        for (int i = 0; i < 4; ++i) connectIn(*d, i, prev[i]);
        for (int i = 0; i < 4; ++i) {
            outs.push_back(net());
            connectOut(*d, i, outs.back());
        }
        prev = outs;
        b->deviceList.push_back(d);
    }
    return b;
}

}  // namespace gwbench
