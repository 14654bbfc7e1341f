// The board's structural self-check (see Consistency.h).
#include "board/Consistency.h"

#include <cstdint>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <unordered_map>

#include "board/BoardEngine.h"

namespace gw {

namespace {

std::string pt(int x, int y) {
    std::ostringstream s;
    s << "(" << x << "," << y << ")";
    return s.str();
}

struct Namer {
    std::map<const void*, std::string> names;
    std::string operator()(const void* p) const {
        auto it = names.find(p);
        return it == names.end() ? std::string("<foreign>") : it->second;
    }
};

// Union-find over segment indices, joined through shared end points.
bool segmentsConnected(const LineList& lines) {
    if (lines.size() < 2) return true;
    std::vector<size_t> parent(lines.size());
    std::iota(parent.begin(), parent.end(), size_t{0});
    auto find = [&](size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    std::unordered_map<uint64_t, size_t> firstAt;
    auto key = [](int x, int y) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const TLine l = lines[i];
        for (uint64_t k : {key(l.sx, l.sy), key(l.ex, l.ey)}) {
            auto [it, fresh] = firstAt.emplace(k, i);
            if (!fresh) parent[find(i)] = find(it->second);
        }
    }
    const size_t root = find(0);
    for (size_t i = 1; i < lines.size(); ++i)
        if (find(i) != root) return false;
    return true;
}

}  // namespace

std::vector<std::string> checkBoard(const TBoardEngine& b) {
    std::vector<std::string> out;
    auto bad = [&](const std::string& s) { out.push_back(s); };

    Namer name;
    std::set<const TDevice*> devices;
    std::set<const TWireComplex*> nets;
    for (size_t i = 0; i < b.deviceList.size(); ++i) {
        const TDevice* d = b.deviceList[i].get();
        const std::string n = "device #" + std::to_string(i);
        if (!d) { bad(n + " is null"); continue; }
        if (!devices.insert(d).second) bad(n + " is listed twice");
        if (d->notValid) bad(n + " is marked removed but still listed");
        name.names.emplace(d, n);
    }
    for (size_t i = 0; i < b.wireComplexList.size(); ++i) {
        const TWireComplex* w = b.wireComplexList[i].get();
        const std::string n = "net #" + std::to_string(i);
        if (!w) { bad(n + " is null"); continue; }
        if (!nets.insert(w).second) bad(n + " is listed twice");
        if (w->notValid) bad(n + " is marked removed but still listed");
        name.names.emplace(w, n);
    }
    std::set<const TCaption*> caps;
    for (size_t i = 0; i < b.captionList.size(); ++i) {
        const TCaption* c = b.captionList[i].get();
        const std::string n = "caption #" + std::to_string(i);
        if (!c) { bad(n + " is null"); continue; }
        if (!caps.insert(c).second) bad(n + " is listed twice");
        if (!c->isValid) bad(n + " is marked removed but still listed");
    }
    if (b.mark_x.size() != b.mark_y.size() || b.mark_x.size() != b.mark_color.size())
        bad("mark arrays differ in length");

    // Driving pins per net, and reading pins per (net, device).
    std::map<const TWireComplex*, int> drivingPins;
    std::map<std::pair<const TWireComplex*, const TDevice*>, int> readingPins;

    for (const TDevice* d : devices) {
        const std::string dn = name(d);
        if (!d->draft) { bad(dn + " has no type"); continue; }
        const TDraft& dr = *d->draft;
        const size_t ni = static_cast<size_t>(dr.countInputs()), no = static_cast<size_t>(dr.countOutputs());
        if (d->inputs.size() != ni || d->invertedInputs.size() != ni)
            bad(dn + " input arrays do not have the type's " + std::to_string(ni) + " pins");
        if (d->outputs.size() != no || d->invertedOutputs.size() != no)
            bad(dn + " output arrays do not have the type's " + std::to_string(no) + " pins");
        for (size_t k = 0; k < d->inputs.size() && k < ni; ++k) {
            const TWireComplex* w = d->inputs[k];
            if (!w) continue;
            const std::string pn = dn + " input " + std::to_string(k);
            if (!nets.count(w)) { bad(pn + " names a net that is not on the board"); continue; }
            ++readingPins[{w, d}];
            const int x = d->xPos + dr.getInputXPos(static_cast<int>(k));
            const int y = d->yPos + dr.getInputYPos(static_cast<int>(k));
            if (!w->isAt(x, y)) bad(pn + " at " + pt(x, y) + " is joined to " + name(w) + " which has no end there");
        }
        for (size_t k = 0; k < d->outputs.size() && k < no; ++k) {
            const TWireComplex* w = d->outputs[k];
            if (!w) continue;
            const std::string pn = dn + " output " + std::to_string(k);
            if (!nets.count(w)) { bad(pn + " names a net that is not on the board"); continue; }
            ++drivingPins[w];
            if (w->Input != d) bad(pn + " drives " + name(w) + " but that net names " + name(w->Input) + " as driver");
            const int x = d->xPos + dr.getOutputXPos(static_cast<int>(k));
            const int y = d->yPos + dr.getOutputYPos(static_cast<int>(k));
            if (!w->isAt(x, y)) bad(pn + " at " + pt(x, y) + " is joined to " + name(w) + " which has no end there");
        }
    }

    for (const TWireComplex* w : nets) {
        const std::string wn = name(w);
        if (w->Input) {
            if (!devices.count(w->Input))
                bad(wn + " is driven by a device that is not on the board");
            else if (!drivingPins.count(w))
                bad(wn + " names " + name(w->Input) + " as driver but no output pin of it names the net");
        }
        if (drivingPins.count(w) && drivingPins[w] > 1)
            bad(wn + " has " + std::to_string(drivingPins[w]) + " driving pins");
        std::map<const TDevice*, int> listed;
        for (const TDevice* d : w->outputList) {
            if (!d) { bad(wn + " lists a null reader"); continue; }
            if (!devices.count(d)) { bad(wn + " lists a reader that is not on the board"); continue; }
            ++listed[d];
        }
        for (const auto& [d, n] : listed) {
            auto it = readingPins.find({w, d});
            const int pins = it == readingPins.end() ? 0 : it->second;
            if (pins != n)
                bad(wn + " lists " + name(d) + " " + std::to_string(n) + " times but it has " +
                    std::to_string(pins) + " input pins on the net");
        }
        for (const auto& [key, n] : readingPins)
            if (key.first == w && !listed.count(key.second))
                bad(name(key.second) + " reads " + wn + " but the net does not list it");

        if (w->lineList.empty()) bad(wn + " has no segments");
        std::set<std::pair<std::pair<int, int>, std::pair<int, int>>> seen;
        for (const TLine& l : w->lineList) {
            const std::string sn = wn + " segment " + pt(l.sx, l.sy) + "-" + pt(l.ex, l.ey);
            const long long dx = static_cast<long long>(l.ex) - l.sx, dy = static_cast<long long>(l.ey) - l.sy;
            if (dx == 0 && dy == 0) bad(sn + " has zero length");
            else if (std::gcd(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy) != 1)
                bad(sn + " passes a grid point without ending there");
            auto a = std::make_pair(l.sx, l.sy), c = std::make_pair(l.ex, l.ey);
            if (!seen.insert(a < c ? std::make_pair(a, c) : std::make_pair(c, a)).second)
                bad(sn + " is stored twice");
        }
        if (!segmentsConnected(w->lineList)) bad(wn + " has segments that do not hang together");
    }
    return out;
}

}  // namespace gw
