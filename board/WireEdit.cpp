// Wire editing: the wire mode's frame logic and the three net operations other modes rely on —
// merging two nets, rebuilding a net after segments were cut out of it, and removing a net.
//
// A committed wire is stored split at every grid point its straight line passes exactly, so every
// grid point on a wire is a segment end; getWiresAt depends on that. Only the two ends of a wire join
// nets and pins. A net has at most one driver, and the refusal rules exist to keep it so.
#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "board/BoardEngine.h"
#include "board/BoardIndex.h"
#include "model/ObjectPool.h"

namespace gw {

namespace {

// The devices with a pin on `w`: its readers, then its driver.
std::vector<TDevice*> devicesOn(const TWireComplex& w) {
    std::vector<TDevice*> out(w.outputList.begin(), w.outputList.end());
    if (w.Input) out.push_back(w.Input);
    return out;
}

uint64_t pointKey(int x, int y) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
}

// Replaces every entry naming `from` by `to`.
template <class Pins>
void renamePins(Pins& pins, const TWireComplex* from, TWireComplex* to) {
    for (auto& p : pins)
        if (p == from) p = to;
}

}  // namespace

void TBoardEngine::startWireMode() {
    currentMode = modeWire;
    modeWire_state = 0;
}

void TBoardEngine::updateWireMode() {
    const std::vector<WirePtr> nets = getWiresAt(tx, ty);
    const WirePtr endNet = nets.size() == 1 ? nets[0] : nullptr;
    int inPin = -1, outPin = -1;
    const DevicePtr inDev = posInputConnectableTo(tx, ty, inPin);
    const DevicePtr outDev = posOutputConnectableTo(tx, ty, outPin);
    const bool pinHere = inDev || outDev;
    bool isFree = nets.size() <= 1 && !getDeviceAt(tx, ty, 1);

    if (modeWire_state == 1 && modeWire_wire && modeWire_wire->notValid) {
        // The start net was taken off the board behind this mode's back; what the start point is
        // connected to is no longer known, so the wire is dropped rather than guessed at.
        modeWire_state = 0;
        modeWire_wire.reset();
    }

    if (modeWire_state == 0) {
        if (isFree) {
            markPos(tx, ty, (endNet || pinHere) ? colorGreen : colorBlack);
            if (mh) {
                modeWire_state = 1;
                modeWire_sx = tx;
                modeWire_sy = ty;
                modeWire_wire = endNet;
                modeWire_buildable = 0;
            }
        } else if (nets.size() >= 2) {
            int drivers = 0;
            for (const WirePtr& w : nets)
                if (w->Input) ++drivers;
            if (drivers <= 1) {
                markPos(tx, ty, colorBlue);
                if (mh) {
                    for (size_t k = 1; k < nets.size(); ++k) _connectWires(nets[k].get(), nets[0].get());
                    markChanged();  // the merges tell the simulation when they move a pin
                }
            } else {
                markPos(tx, ty, colorRed);
            }
        }
        return;
    }

    // State 1: a start point is chosen.
    const int sx = modeWire_sx, sy = modeWire_sy;
    if (tx == sx && ty == sy) isFree = false;
    const WirePtr startNet = modeWire_wire;
    int startOutPin = -1;
    const DevicePtr startOutDev = posOutputConnectableTo(sx, sy, startOutPin);
    const bool startIsOutput = startOutDev != nullptr;
    const bool endIsOutput = outDev != nullptr;

    bool buildable = isFree;
    if (endNet && startNet && endNet->Input && startNet->Input) buildable = false;
    if (endNet && endNet == startNet) buildable = false;
    if (endNet && endNet->Input && !startNet && startIsOutput) buildable = false;
    if (!endNet && startNet && startNet->Input && endIsOutput) buildable = false;
    if (!endNet && !startNet && startIsOutput && endIsOutput) buildable = false;
    if (buildable) {
        // The rules above miss pins that are still unconnected but stand on a net: committing would
        // hand the joined net a second driver while the first one still lists it as its output.
        // Count every driver the joined net would have and refuse more than one.
        int drivers = 0;
        if (startNet && startNet->Input) ++drivers;
        if (endNet && endNet->Input) ++drivers;
        if (startOutDev && !startOutDev->outputs[startOutPin]) ++drivers;
        if (outDev && !outDev->outputs[outPin]) ++drivers;
        if (drivers > 1) buildable = false;
    }
    modeWire_buildable = buildable ? 1 : 0;

    if (!buildable)
        markPos(tx, ty, colorRed);
    else
        markPos(tx, ty, (endNet || pinHere) ? colorGreen : colorBlack);

    if (!mh) return;
    if (!buildable) {
        modeWire_state = 0;
        return;
    }

    markChanged();
    WirePtr w = startNet;
    WirePtr separateEnd = endNet;
    if (!w) {
        w = separateEnd;
        separateEnd.reset();
    }
    if (!w) {
        w = makePooled<TWireComplex>();
        wireComplexList.push_back(w);
    } else if (separateEnd) {
        _connectWires(separateEnd.get(), w.get());
    }

    const int ex = tx, ey = ty;
    const int dx = ex - sx, dy = ey - sy;
    int px = sx, py = sy;
    auto segmentTo = [&](int x, int y) {
        w->addWire(px, py, x, y);
        px = x;
        py = y;
    };
    if (dx != 0 && dy != 0) {
        const int s = dx > 0 ? 1 : -1;
        for (int i = s; (i < 0 ? -i : i) < (dx < 0 ? -dx : dx); i += s) {
            const long long num = static_cast<long long>(i) * dy;
            if (num % dx == 0) segmentTo(sx + i, sy + static_cast<int>(num / dx));
        }
    } else if (dx == 0) {
        const int s = dy > 0 ? 1 : -1;
        for (int i = s; (i < 0 ? -i : i) < (dy < 0 ? -dy : dy); i += s) segmentTo(sx, sy + i);
    } else {
        const int s = dx > 0 ? 1 : -1;
        for (int i = s; (i < 0 ? -i : i) < (dx < 0 ? -dx : dx); i += s) segmentTo(sx + i, sy);
    }
    segmentTo(ex, ey);

    std::vector<DevicePtr> joined;
    auto joinPins = [&](int x, int y, bool inputs, bool outputs) {
        int k = -1;
        if (inputs) {
            if (DevicePtr d = posInputConnectableTo(x, y, k); d && !d->inputs[k]) {
                d->inputs[k] = w.get();
                w->outputList.push_back(d.get());
                joined.push_back(d);
            }
        }
        if (outputs) {
            if (DevicePtr d = posOutputConnectableTo(x, y, k); d && !d->outputs[k]) {
                d->outputs[k] = w.get();
                w->Input = d.get();
                joined.push_back(d);
            }
        }
    };
    joinPins(sx, sy, true, true);
    joinPins(ex, ey, inDev != nullptr, outDev != nullptr);
    index_->netAdded(w);  // a new net was appended; an existing one grew
    // Segments alone change nothing the simulation reads: only a pin joined to the net does (a
    // merge above says so itself when it moved pins), and the simulation takes most of those in
    // place.
    bool followed = true;
    for (const DevicePtr& d : joined) followed = followed && simulationFollows(*d);
    if (!followed) circuitEdited();

    if (ctrl) {
        modeWire_state = 1;
        modeWire_sx = ex;
        modeWire_sy = ey;
        modeWire_wire = w;
        modeWire_buildable = 0;
    } else {
        modeWire_state = 0;
    }
}

void TBoardEngine::_connectWires(TWireComplex* a, TWireComplex* b) {
    if (!a || !b || a == b) return;
    // Both must be nets of this board; anything else was removed already and is left alone.
    auto it = std::find_if(wireComplexList.begin(), wireComplexList.end(),
                           WirePtr::refersTo(a));
    if (it == wireComplexList.end() || !findWire(b)) return;
    const WirePtr keep = *it;  // a must outlive its own removal
    // Only pins moving from a to b change what the simulation reads: those devices' ops are updated
    // in place when they can be.
    std::vector<TDevice*> pinned = devicesOn(*a);
    const bool movesPins = !pinned.empty();
    for (const TLine& l : a->lineList) b->addWire(l.sx, l.sy, l.ex, l.ey);
    if (TDevice* drv = a->Input) {
        // Callers never join two driven nets; should it happen anyway, b's old driver is let go on
        // both sides so that no device keeps driving a net that names someone else as its driver.
        if (b->Input && b->Input != drv) {
            for (auto& p : b->Input->outputs)
                if (p == b) p = nullptr;
            pinned.push_back(b->Input);
        }
        b->Input = drv;
        renamePins(drv->outputs, a, b);
    }
    for (TDevice* d : a->outputList) {
        b->outputList.push_back(d);
        renamePins(d->inputs, a, b);
    }
    a->Input = nullptr;
    wireComplexList.erase(std::find(wireComplexList.begin(), wireComplexList.end(), keep));
    a->Destroy();
    index_->netGrew(b);
    index_->netRemoved(a);
    if (movesPins && !simulationFollows(std::move(pinned))) circuitEdited();
}

void TBoardEngine::_repairWireAfterSplit(TWireComplex* w) {
    if (!w) return;
    auto self = std::find_if(wireComplexList.begin(), wireComplexList.end(),
                             WirePtr::refersTo(w));
    if (self == wireComplexList.end()) return;  // not on this board (already removed)
    const WirePtr keep = *self;
    // Only a net with pins on it hands pins to new nets, which the simulation must hear of (or
    // take in place).
    std::vector<TDevice*> pinned = devicesOn(*w);
    const bool hadPins = !pinned.empty();

    // Grouping. Each pass walks the remaining segments in order and moves a segment into the first
    // new net (in creation order) holding one of its ends; a pass that moves nothing seeds a new net
    // with the first remaining segment. `owner` maps a point to the first new net with an end there,
    // which is what scanning the new nets with containsDot would find.
    std::vector<WirePtr> made;
    std::unordered_map<uint64_t, size_t> owner;
    auto claim = [&](int x, int y, size_t n) {
        auto [it, fresh] = owner.emplace(pointKey(x, y), n);
        if (!fresh && n < it->second) it->second = n;
    };
    auto firstOwner = [&](int x, int y) -> long {
        auto it = owner.find(pointKey(x, y));
        return it == owner.end() ? -1 : static_cast<long>(it->second);
    };
    auto moveInto = [&](size_t n, const TLine& l) {
        made[n]->lineList.push_back(l);
        claim(l.sx, l.sy, n);
        claim(l.ex, l.ey, n);
    };
    std::vector<TLine> rest(w->lineList.begin(), w->lineList.end());
    w->lineList.clear();
    while (!rest.empty()) {
        bool moved = false;
        std::vector<TLine> kept;
        kept.reserve(rest.size());
        for (const TLine& l : rest) {
            const long a = firstOwner(l.sx, l.sy), b = firstOwner(l.ex, l.ey);
            const long n = a < 0 ? b : (b < 0 ? a : std::min(a, b));
            if (n >= 0) {
                moveInto(static_cast<size_t>(n), l);
                moved = true;
            } else {
                kept.push_back(l);
            }
        }
        rest.swap(kept);
        if (!moved) {
            auto net = makePooled<TWireComplex>();
            made.push_back(net);
            wireComplexList.push_back(net);
            moveInto(made.size() - 1, rest.front());
            rest.erase(rest.begin());
        }
    }
    w->updateKnots = 1;

    auto netAt = [&](int x, int y) -> TWireComplex* {
        const long n = firstOwner(x, y);
        return n < 0 ? nullptr : made[static_cast<size_t>(n)].get();
    };
    const std::vector<TDevice*> readers(w->outputList.begin(), w->outputList.end());
    for (TDevice* d : readers) {
        const TDraft& dr = *d->draft;
        for (int k = 0; k < dr.countInputs() && k < static_cast<int>(d->inputs.size()); ++k) {
            if (d->inputs[k] != w) continue;
            d->inputs[k] = nullptr;
            if (TWireComplex* n = netAt(d->xPos + dr.getInputXPos(k), d->yPos + dr.getInputYPos(k))) {
                d->inputs[k] = n;
                n->outputList.push_back(d);
            }
        }
    }
    if (TDevice* d = w->Input) {
        const TDraft& dr = *d->draft;
        for (int k = 0; k < dr.countOutputs() && k < static_cast<int>(d->outputs.size()); ++k) {
            if (d->outputs[k] != w) continue;
            d->outputs[k] = nullptr;
            if (TWireComplex* n = netAt(d->xPos + dr.getOutputXPos(k), d->yPos + dr.getOutputYPos(k))) {
                d->outputs[k] = n;
                n->Input = d;
            }
        }
    }
    w->Input = nullptr;
    w->Destroy();
    wireComplexList.erase(std::find(wireComplexList.begin(), wireComplexList.end(), keep));
    // The old net's record goes whatever was cut from its segment list before this call; the new
    // nets were appended in creation order.
    index_->netRemoved(w);
    for (const WirePtr& n : made) index_->netAdded(n);
    if (hadPins && !simulationFollows(std::move(pinned))) circuitEdited();
}

void TBoardEngine::_removeWire(TWireComplex* w) {
    if (!w) return;
    auto it = std::find_if(wireComplexList.begin(), wireComplexList.end(),
                           WirePtr::refersTo(w));
    if (it == wireComplexList.end()) return;  // not on this board (already removed)
    const WirePtr keep = *it;
    std::vector<TDevice*> pinned = devicesOn(*w);
    const bool hadPins = !pinned.empty();
    for (TDevice* d : w->outputList) renamePins(d->inputs, w, nullptr);
    if (w->Input) renamePins(w->Input->outputs, w, nullptr);
    w->Input = nullptr;
    wireComplexList.erase(it);
    w->Destroy();
    index_->netRemoved(w);
    if (hadPins && !simulationFollows(std::move(pinned))) circuitEdited();
}

}  // namespace gw
