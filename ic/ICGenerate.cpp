#include "ic/ICGenerate.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "model/InputDevices.h"
#include "model/Registry.h"

namespace gw {

namespace {

int clampSize(int n) { return std::clamp(n, 1, icMaxSize); }

}  // namespace

int ICForm::placesInUse(int side) const {
    const int n = (side == icSideRight || side == icSideLeft) ? Height : width;
    return clampSize(n) - 1;
}

void icPinPosition(int side, int i, int typeOutput, int w, int h, int& x, int& y) {
    auto f = [](int n) { return n / 2; };
    auto c = [&](int n) { return n - f(n); };
    auto e = [](int n) { return n % 2 == 0 ? 1 : 0; };
    const bool out = typeOutput != 0;
    switch (side) {
        case icSideRight:
            x = out ? c(w) : f(w);
            y = i - f(h) + (out ? 1 : e(h));
            break;
        case icSideLeft:
            x = out ? -f(w) : -c(w);
            y = i - f(h) + (out ? 1 : e(h));
            break;
        case icSideBottom:
            x = i - f(w) + (out ? 1 : e(w));
            y = out ? c(h) : f(h);
            break;
        default:  // top
            x = i - f(w) + (out ? 1 : e(w));
            y = out ? -f(h) : -c(h);
            break;
    }
}

// --- the two sets ---

bool ICDeviceSet::add(TDevice* d) {
    if (!d || contains(d)) return false;
    index_.emplace(d, static_cast<int>(items_.size()));
    items_.push_back(d);
    return true;
}

bool ICNetSet::add(TWireComplex* n) {
    if (!n || contains(n)) return false;
    index_.emplace(n, static_cast<int>(items_.size()));
    items_.push_back(n);
    return true;
}

int ICNetSet::indexOf(const TWireComplex* n) const {
    auto it = index_.find(n);
    return it == index_.end() ? -1 : it->second;
}

void addWire(ICNetSet& set, TWireComplex* net) { set.add(net); }

void addDevices(ICDeviceSet& set, TWireComplex* net) {
    if (!net) return;
    // The depth-first walk with an explicit stack. A net frame steps through the net's readers and
    // then its driver; a device frame steps through the nets on its output pins, then its inputs.
    struct Frame {
        TWireComplex* net;
        TDevice* dev;
        size_t i;
    };
    std::vector<Frame> stack{{net, nullptr, 0}};
    auto enter = [&](TDevice* d) {
        if (d && set.add(d)) stack.push_back({nullptr, d, 0});
    };
    while (!stack.empty()) {
        const size_t top = stack.size() - 1;
        if (TWireComplex* n = stack[top].net) {
            const size_t i = stack[top].i++;
            if (i < n->outputList.size())
                enter(n->outputList[i]);
            else if (i == n->outputList.size())
                enter(n->Input);
            else
                stack.pop_back();
        } else {
            TDevice* d = stack[top].dev;
            const size_t i = stack[top].i++;
            const size_t nOut = d->outputs.size();
            if (i < nOut + d->inputs.size()) {
                TWireComplex* next = i < nOut ? d->outputs[i] : d->inputs[i - nOut];
                if (next) stack.push_back({next, nullptr, 0});
            } else {
                stack.pop_back();
            }
        }
    }
}

int keptInIC(const TDevice& d) {
    if (d.notValid || !d.draft) return 0;
    if (dynamic_cast<const TSwich*>(d.draft.get())) return 0;
    if (d.draft->countOutputs() < 1) return 0;
    for (const TWireComplex* o : d.outputs)
        if (o) return 1;
    return 0;
}

// --- generation ---

namespace {

// Union-find over all nets of the IC (outer nets first, then each nested IC's inner nets), where
// every link also says whether the two nets carry equal (0) or opposite (1) values.
class ParityUnion {
public:
    ParityUnion(int nodes, int outerCount) : parent_(nodes), parity_(nodes, 0), outer_(nodes, -1) {
        for (int i = 0; i < nodes; ++i) {
            parent_[i] = i;
            if (i < outerCount) outer_[i] = i;
        }
    }
    // The class root of x; `p` becomes x's value relative to the root (0 equal, 1 opposite).
    int find(int x, int& p) {
        p = 0;
        int r = x;
        while (parent_[r] != r) {
            p ^= parity_[r];
            r = parent_[r];
        }
        // Path compression, keeping every node's parity relative to the new parent (the root).
        int q = p;
        while (parent_[x] != x) {
            const int next = parent_[x];
            const int qNext = q ^ parity_[x];
            parent_[x] = r;
            parity_[x] = q;
            x = next;
            q = qNext;
        }
        return r;
    }
    // Links b = a ^ p. Refuses (answers false) a link that contradicts the links made so far or that
    // would give two outer nets opposite values.
    bool unite(int a, int b, int p) {
        int pa = 0, pb = 0;
        const int ra = find(a, pa), rb = find(b, pb);
        if (ra == rb) return (pa ^ pb) == p;
        const int link = pa ^ p ^ pb;  // value(rb) = value(ra) ^ link
        if (outer_[ra] >= 0 && outer_[rb] >= 0) {
            int qa = 0, qb = 0;
            find(outer_[ra], qa);
            find(outer_[rb], qb);
            if ((qa ^ link ^ qb) != 0) return false;
        }
        parent_[rb] = ra;
        parity_[rb] = link;
        if (outer_[ra] < 0 || (outer_[rb] >= 0 && outer_[rb] < outer_[ra])) outer_[ra] = outer_[rb];
        return true;
    }

private:
    std::vector<int> parent_, parity_, outer_;  // outer_: an outer net of the class (at its root)
};

struct NestedIC {
    TDevice* dev;
    const TICDescription* dsc;
    int offset;    // number of its inner device 0 in the IC
    int wireBase;  // node number of its inner net 0
};

}  // namespace

void claimUniqueICID(TICDescription& dsc) {
    static std::mutex lock;
    static std::set<std::string> issued;
    std::lock_guard<std::mutex> guard(lock);
    auto taken = [&](const std::string& id) { return issued.count(id) != 0 || getDraft(id) != nullptr; };
    if (taken(dsc.id)) {
        int32_t n = 0;
        try {
            n = static_cast<int32_t>(std::stoll(dsc.id.substr(3)));
        } catch (...) {
        }
        // Next millisecond values, as a later creation would have had them (wrapping like the
        // 32-bit counter does).
        do n = static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
        while (taken("$ic" + num(n)));
        dsc.id = "$ic" + num(n);
    }
    issued.insert(dsc.id);
}

ICDescriptionPtr generateDescription(ICForm& form, const std::vector<DevicePtr>& boardOrder,
                                     ICGenerateReport* report) {
    auto d = TICDescription::Create();
    claimUniqueICID(*d);
    d->Name = form.Name;
    d->info = form.info;
    d->cap = form.cap;
    const int w = clampSize(form.width), h = clampSize(form.Height);
    d->width = w;
    d->Height = h;
    d->colR = form.colR;
    d->colG = form.colG;
    d->colB = form.colB;

    // Pins, in the order right/left for each row, then bottom/top for each column.
    std::vector<TWireComplex*> inNets, outNets;
    auto visit = [&](int side, int i) {
        ICPlace& p = form.places[side][i];
        if (!p.conWire) return;
        if (p.conWire->notValid) {
            p.conWire.reset();
            if (report) report->clearedPlaces.emplace_back(side, i);
            return;
        }
        int x = 0, y = 0;
        icPinPosition(side, i, p.conTypeOutput, w, h, x, y);
        if (p.conTypeOutput) {
            d->output_cap.push_back(p.caption);
            d->output_xpos.push_back(x);
            d->output_ypos.push_back(y);
            outNets.push_back(p.conWire.get());
        } else {
            d->input_cap.push_back(p.caption);
            d->input_xpos.push_back(x);
            d->input_ypos.push_back(y);
            inNets.push_back(p.conWire.get());
        }
    };
    for (int i = 0; i < h - 1; ++i) {
        visit(icSideRight, i);
        visit(icSideLeft, i);
    }
    for (int i = 0; i < w - 1; ++i) {
        visit(icSideBottom, i);
        visit(icSideTop, i);
    }

    // Devices: everything reachable, then the ones that belong inside, in the board's step order.
    ICDeviceSet found;
    for (TWireComplex* n : outNets) addDevices(found, n);
    for (TWireComplex* n : inNets) addDevices(found, n);
    std::unordered_map<const TDevice*, size_t> boardPos;
    for (size_t i = 0; i < boardOrder.size(); ++i) boardPos.emplace(boardOrder[i].get(), i);
    std::vector<std::pair<size_t, TDevice*>> order;
    for (size_t i = 0; i < found.items().size(); ++i) {
        TDevice* dev = found.items()[i];
        if (!keptInIC(*dev)) continue;
        auto it = boardPos.find(dev);
        order.emplace_back(it != boardPos.end() ? it->second : boardOrder.size() + i, dev);
    }
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    // Nets, numbered in the order they are met.
    ICNetSet nets;
    for (const auto& [key, dev] : order) {
        for (TWireComplex* o : dev->outputs) addWire(nets, o);
        for (TWireComplex* i : dev->inputs) addWire(nets, i);
    }
    for (TWireComplex* n : inNets) addWire(nets, n);
    for (TWireComplex* n : outNets) addWire(nets, n);
    const int outerCount = static_cast<int>(nets.items().size());

    // Inner devices: plain devices first, then one block per nested IC.
    std::unordered_map<const TDevice*, int> plainNo, nestedNo;
    std::vector<NestedIC> nested;
    for (const auto& [key, dev] : order) {
        const auto* ld = dynamic_cast<const TLoadedDraft*>(dev->draft.get());
        if (ld && ld->dsc) {
            nestedNo.emplace(dev, static_cast<int>(nested.size()));
            nested.push_back({dev, ld->dsc.get(), 0, 0});
            continue;
        }
        plainNo.emplace(dev, static_cast<int>(d->deviceID.size()));
        d->deviceID.push_back(dev->draft->getID());
        d->invertedInputs.push_back(dev->invertedInputs);
        d->invertedOutputs.push_back(dev->invertedOutputs);
    }
    int nodes = outerCount;
    for (NestedIC& k : nested) {
        k.offset = static_cast<int>(d->deviceID.size());
        k.wireBase = nodes;
        const TICDescription& s = *k.dsc;
        for (size_t i = 0; i < s.deviceID.size(); ++i) {
            d->deviceID.push_back(s.deviceID[i]);
            d->invertedInputs.push_back(i < s.invertedInputs.size() ? s.invertedInputs[i] : std::vector<int>{});
            d->invertedOutputs.push_back(i < s.invertedOutputs.size() ? s.invertedOutputs[i] : std::vector<int>{});
        }
        nodes += static_cast<int>(s.wireBelongs.size());
    }

    // The inner net behind pin j of a nested IC (from its inputWires or outputWires), as a node
    // number, or -1 when the description does not name a usable one.
    auto innerNode = [](const NestedIC& k, const std::vector<int>& pinWires, size_t j) {
        if (j >= pinWires.size()) return -1;
        const int v = pinWires[j];
        if (v < 0 || v >= static_cast<int>(k.dsc->wireBelongs.size())) return -1;
        return k.wireBase + v;
    };
    auto pinInverted = [](const std::vector<int>& flags, size_t j) {
        return j < flags.size() && flags[j] != 0 ? 1 : 0;
    };
    auto describeLink = [&](const NestedIC& k, const char* kind, size_t j) {
        return "The " + std::string(kind) + " pin " + std::to_string(j) + " of the nested IC \"" +
               k.dsc->Name + "\" would make two nets carry opposite values of one signal; it is left "
               "unconnected inside the new IC.";
    };

    // Merge the nested ICs' pin nets into the outer nets they are wired to.
    ParityUnion uf(nodes, outerCount);
    for (int n = 0; n < outerCount; ++n) {
        TWireComplex* net = nets.items()[n];
        for (TDevice* reader : net->outputList) {
            auto it = nestedNo.find(reader);
            if (it == nestedNo.end()) continue;
            const NestedIC& k = nested[it->second];
            for (size_t j = 0; j < reader->inputs.size(); ++j) {
                if (reader->inputs[j] != net) continue;
                const int v = innerNode(k, k.dsc->inputWires, j);
                if (v < 0) continue;
                if (!uf.unite(n, v, pinInverted(reader->invertedInputs, j)) && report)
                    report->unmerged.push_back(describeLink(k, "input", j));
            }
        }
        auto it = net->Input ? nestedNo.find(net->Input) : nestedNo.end();
        if (it == nestedNo.end()) continue;
        const NestedIC& k = nested[it->second];
        for (size_t j = 0; j < k.dev->outputs.size(); ++j) {
            if (k.dev->outputs[j] != net) continue;
            const int v = innerNode(k, k.dsc->outputWires, j);
            if (v < 0) continue;
            if (!uf.unite(n, v, pinInverted(k.dev->invertedOutputs, j)) && report)
                report->unmerged.push_back(describeLink(k, "output", j));
        }
    }

    // Each class of merged nets becomes the wire of its lowest-numbered member.
    std::vector<int> rep(nodes), relParity(nodes);
    {
        std::vector<int> minOf(nodes, -1), rootParity(nodes, 0);
        std::vector<int> root(nodes);
        for (int x = 0; x < nodes; ++x) {
            int p = 0;
            root[x] = uf.find(x, p);
            relParity[x] = p;
            if (minOf[root[x]] < 0) {
                minOf[root[x]] = x;
                rootParity[root[x]] = p;
            }
        }
        for (int x = 0; x < nodes; ++x) {
            rep[x] = minOf[root[x]];
            relParity[x] ^= rootParity[root[x]];
        }
    }

    // Decoding an inner node into its nested IC and net.
    auto nestedOfNode = [&](int node) -> const NestedIC& {
        size_t k = 0;
        while (k + 1 < nested.size() && nested[k + 1].wireBase <= node) ++k;
        return nested[k];
    };
    // Flips an inversion flag of an inner device, growing a short flag list up to the pin count of
    // the inner type (the list a well-formed description would have had).
    auto flip = [&](std::vector<int>& flags, int dev, int pin, bool input) {
        if (pin < 0) return;
        if (pin >= static_cast<int>(flags.size())) {
            DraftPtr t = getDraft(d->deviceID[dev]);
            const int count = t ? (input ? t->countInputs() : t->countOutputs()) : 0;
            if (pin >= count) return;
            flags.resize(count, 0);
        }
        flags[pin] = flags[pin] ? 0 : 1;
    };
    std::vector<char> readersDone(nodes, 0), driversDone(nodes, 0);
    // Appends the entries of inner node `node` to `to`: its readers, and with `drivers` also its
    // drivers, each group once. Pins of a net with the opposite value have their inversion flipped.
    auto emitInner = [&](int node, bool drivers, std::vector<TMembership>& to) {
        const NestedIC& k = nestedOfNode(node);
        const auto& entries = k.dsc->wireBelongs[node - k.wireBase];
        const int devCount = static_cast<int>(k.dsc->deviceID.size());
        for (int pass = 0; pass < 2; ++pass) {
            const bool driverPass = pass == 1;
            if (driverPass && !drivers) break;
            std::vector<char>& done = driverPass ? driversDone : readersDone;
            if (done[node]) continue;
            done[node] = 1;
            for (const TMembership& e : entries) {
                const auto [kind, pin, dev] = e;
                if ((kind != 0) != driverPass || dev < 0 || dev >= devCount) continue;
                const int D = k.offset + dev;
                if (relParity[node])
                    flip(kind == 0 ? d->invertedInputs[D] : d->invertedOutputs[D], D, pin, kind == 0);
                to.push_back({kind, pin, D});
            }
        }
    };

    // Members of each class, in node order.
    std::vector<std::vector<int>> members(nodes);
    for (int x = 0; x < nodes; ++x) members[rep[x]].push_back(x);

    d->wireBelongs.assign(nodes, {});
    for (int r = 0; r < outerCount; ++r) {
        if (rep[r] != r) continue;  // merged into a lower-numbered net
        std::vector<TMembership>& to = d->wireBelongs[r];
        for (int n : members[r]) {
            if (n >= outerCount) break;
            TWireComplex* net = nets.items()[n];
            std::vector<const TDevice*> seen;
            for (TDevice* reader : net->outputList) {
                if (std::find(seen.begin(), seen.end(), reader) != seen.end()) continue;
                seen.push_back(reader);
                if (auto p = plainNo.find(reader); p != plainNo.end()) {
                    for (size_t j = 0; j < reader->inputs.size(); ++j)
                        if (reader->inputs[j] == net) to.push_back({0, static_cast<int>(j), p->second});
                } else if (auto q = nestedNo.find(reader); q != nestedNo.end()) {
                    const NestedIC& k = nested[q->second];
                    for (size_t j = 0; j < reader->inputs.size(); ++j) {
                        if (reader->inputs[j] != net) continue;
                        const int v = innerNode(k, k.dsc->inputWires, j);
                        if (v >= 0 && rep[v] == r) emitInner(v, false, to);
                    }
                }
            }
            TDevice* driver = net->Input;
            if (!driver) continue;
            if (auto p = plainNo.find(driver); p != plainNo.end()) {
                for (size_t j = 0; j < driver->outputs.size(); ++j)
                    if (driver->outputs[j] == net) to.push_back({1, static_cast<int>(j), p->second});
            } else if (auto q = nestedNo.find(driver); q != nestedNo.end()) {
                const NestedIC& k = nested[q->second];
                for (size_t j = 0; j < driver->outputs.size(); ++j) {
                    if (driver->outputs[j] != net) continue;
                    const int v = innerNode(k, k.dsc->outputWires, j);
                    if (v >= 0 && rep[v] == r) emitInner(v, true, to);
                }
            }
        }
    }
    // Inner nets that stayed on their own keep their entries, moved to their block.
    for (int x = outerCount; x < nodes; ++x)
        if (rep[x] == x) emitInner(x, true, d->wireBelongs[x]);

    for (TWireComplex* n : inNets) d->inputWires.push_back(rep[nets.indexOf(n)]);
    for (TWireComplex* n : outNets) d->outputWires.push_back(rep[nets.indexOf(n)]);
    return d;
}

// --- saving ---

namespace {

std::string fileNameSafe(const std::string& text) {
    std::string safe;
    for (unsigned char ch : text) {
        const bool bad = ch < 0x20 || ch == 0x7f || ch == '/' || ch == '\\' || ch == ':' || ch == '*' ||
                         ch == '?' || ch == '"' || ch == '<' || ch == '>' || ch == '|';
        safe.push_back(bad ? '_' : static_cast<char>(ch));
    }
    return safe;
}

}  // namespace

std::string safeICFileName(const std::string& name, const std::string& id) {
    std::string safe = fileNameSafe(name);
    const std::string tail = "_" + fileNameSafe(id) + ".ic";
    constexpr size_t kMaxFileName = 255;
    const size_t room = tail.size() < kMaxFileName ? kMaxFileName - tail.size() : 0;
    if (safe.size() > room) {
        size_t cut = room;
        // Never split a UTF-8 sequence: back up to the start of the character at the cut.
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;
        safe.resize(cut);
    }
    return safe + tail;
}

std::string icFilePath(const std::string& dir, const TICDescription& dsc) {
    return dir + "/" + safeICFileName(dsc.Name, dsc.id);
}

int saveICToFolder(const TICDescription& dsc, const std::string& dir, std::string* path, std::string* error) {
    const std::string target = icFilePath(dir, dsc);
    if (path) *path = target;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec && !std::filesystem::is_directory(dir)) {
        if (error) *error = "Could not create the folder \"" + dir + "\": " + ec.message() + ".";
        return 0;
    }
    return dsc.SaveToFile(target, error);
}

}  // namespace gw
