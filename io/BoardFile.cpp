#include "io/BoardFile.h"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "board/BoardEngine.h"
#include "ic/ICDescription.h"
#include "io/AtomicFile.h"
#include "io/ByteStream.h"
#include "io/ICFile.h"
#include "model/ObjectPool.h"
#include "model/Registry.h"

namespace gw {

namespace {

// A device's flags (PinFlags) or an IC description's (ints), without copying them.
template <class Flags>
void writeFlags(ByteWriter& w, const Flags& flags) {
    for (int f : flags) {
        w.more();
        w.byte(f);
    }
    w.end();
}

// One element per input pin of `dev` that sits on `net`, ascending.
void writeSinkPairs(ByteWriter& w, const TDevice& dev, int index, const TWireComplex* net) {
    for (std::size_t j = 0; j < dev.inputs.size(); ++j)
        if (dev.inputs[j] == net) {
            w.more();
            w.i32(index);
            w.i32(static_cast<int32_t>(j));
        }
}

// Device -> index in the file, for the wire section: an open-addressing table sized once. The slot
// follows the address itself (not a scrambled hash): devices are allocated one after another as
// they are placed, so walking the nets in order touches the table in nearly ascending order, which
// keeps a million-device board in the cache instead of missing on every lookup.
class DeviceIndex {
public:
    explicit DeviceIndex(std::size_t n) {
        std::size_t cap = 16;
        while (cap < 2 * n) cap <<= 1;
        slots_.assign(cap, Slot{});
        mask_ = cap - 1;
    }
    void add(const TDevice* d, int index) {
        std::size_t i = hash(d);
        while (slots_[i].key && slots_[i].key != d) i = (i + 1) & mask_;
        slots_[i] = Slot{d, index};
    }
    // The index of `d`, or -1 for a device not on the board.
    int find(const TDevice* d) const {
        for (std::size_t i = hash(d);; i = (i + 1) & mask_) {
            if (slots_[i].key == d) return slots_[i].index;
            if (!slots_[i].key) return -1;
        }
    }

private:
    struct Slot {
        const TDevice* key = nullptr;
        int index = -1;
    };
    std::size_t hash(const TDevice* d) const {
        const auto a = reinterpret_cast<std::uintptr_t>(d);
        return static_cast<std::size_t>((a >> 4) ^ (a >> 28)) & mask_;
    }
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

}  // namespace

int WriteToStream(const TBoardEngine& board, std::string& out) {
    // A rough size guess saves the string from doubling its way up on large boards.
    out.reserve(out.size() + 16 + board.deviceList.size() * 40 + board.wireComplexList.size() * 48);
    ByteWriter w(out);

    // IC section: one description record per IC device, in device order.
    for (const auto& d : board.deviceList) {
        const auto* ic = dynamic_cast<const TLoadedDraft*>(d->draft.get());
        if (!ic || !ic->dsc) continue;
        w.more();
        writeICRecord(w, *ic->dsc);
    }
    w.end();

    // Device section; the position of a record is the device's index for the wire section.
    DeviceIndex index(board.deviceList.size());
    // getID() builds its text anew on every call; boards use few types, so each is asked once.
    std::unordered_map<const TDraft*, std::string> ids;
    int next = 0;
    for (const auto& d : board.deviceList) {
        index.add(d.get(), next++);
        w.more();
        auto id = ids.find(d->draft.get());
        if (id == ids.end()) id = ids.emplace(d->draft.get(), d->draft ? d->draft->getID() : std::string()).first;
        w.line(id->second);
        w.i32(d->xPos);
        w.i32(d->yPos);
        w.i32(d->data);
        writeFlags(w, d->invertedInputs);
        writeFlags(w, d->invertedOutputs);
    }
    w.end();

    // Wire section.
    std::unordered_set<const TDevice*> seen;
    std::vector<const TDevice*> seenSmall;
    for (const auto& net : board.wireComplexList) {
        w.more();
        for (const auto& l : net->lineList) {
            w.more();
            w.i32(l.sx);
            w.i32(l.sy);
            w.i32(l.ex);
            w.i32(l.ey);
        }
        w.end();

        // Each reading device once, at its first entry; every one of its pins on this net then
        // gets its own pair, so a device reading the net on two pins is written with two pairs.
        // Short reader lists (the usual case) are de-duplicated by a scan, long ones by a set.
        const bool big = net->outputList.size() > 32;
        seen.clear();
        seenSmall.clear();
        for (const TDevice* dev : net->outputList) {
            if (!dev) continue;
            if (big) {
                if (!seen.insert(dev).second) continue;
            } else {
                bool dup = false;
                for (const TDevice* s : seenSmall) dup = dup || s == dev;
                if (dup) continue;
                seenSmall.push_back(dev);
            }
            const int at = index.find(dev);
            if (at >= 0) writeSinkPairs(w, *dev, at, net.get());
        }
        w.end();

        if (const TDevice* drv = net->Input) {
            const int at = index.find(drv);
            if (at >= 0)
                for (std::size_t j = 0; j < drv->outputs.size(); ++j)
                    if (drv->outputs[j] == net.get()) {
                        w.more();
                        w.i32(at);
                        w.i32(static_cast<int32_t>(j));
                    }
        }
        w.end();
    }
    w.end();

    w.byte(board.backgroundR);
    w.byte(board.backgroundG);
    w.byte(board.backgroundB);
    w.byte(board.netR);
    w.byte(board.netG);
    w.byte(board.netB);

    for (const auto& c : board.captionList) {
        w.more();
        w.line(c->txt);
        w.i32(c->xPos);
        w.i32(c->yPos);
        w.i32(c->Size);
        w.byte(c->colR);
        w.byte(c->colG);
        w.byte(c->colB);
        w.byte(c->bShadow);
    }
    w.end();
    return 1;
}

int writeToFile(const TBoardEngine& board, const std::string& path, std::string* error) {
    std::string bytes;
    WriteToStream(board, bytes);
    return writeFileAtomically(path, bytes, error) ? 1 : 0;
}

namespace {

// Where the reader is, for messages: "wire section, net 3, sink 2". Formatted only when a
// message is needed, so a large board does not pay for a string per record.
struct Where {
    const char* section;
    const char* record;
    std::size_t index;
    const char* part = nullptr;  // "sink", "driver", "segment" or none
    std::size_t partIndex = 0;

    std::string str() const {
        std::string s = std::string(section) + ", " + record + " " + std::to_string(index);
        if (part) s += std::string(", ") + part + " " + std::to_string(partIndex);
        return s;
    }
    Where at(const char* p, std::size_t i) const {
        Where w = *this;
        w.part = p;
        w.partIndex = i;
        return w;
    }
};

// Reads the sections into lists of its own; the board is touched only by commit().
class BoardReader {
public:
    BoardReader(TBoardEngine& board, ByteReader& in, BoardLoadReport* report)
        : board_(board), in_(in), report_(report) {}

    bool run() {
        return readICs() && readDevices() && readWires() && readColours() && readCaptions();
    }

    void commit() {
        board_.deviceList.reserve(board_.deviceList.size() + devices_.size());
        for (auto& d : devices_) board_.deviceList.push_back(std::move(d));
        board_.wireComplexList.reserve(board_.wireComplexList.size() + nets_.size());
        for (auto& n : nets_) board_.wireComplexList.push_back(std::move(n));
        for (auto& c : captions_) board_.captionList.push_back(std::move(c));
        board_.setBackgroundColor(colours_[0], colours_[1], colours_[2]);
        board_.setNetColor(colours_[3], colours_[4], colours_[5]);
        board_.invalidateIndex();
    }

private:
    bool fail(const Where& where, const std::string& why) {
        if (report_) report_->error = where.str() + ": " + why;
        return false;
    }
    bool ended(const Where& where, const char* what) {
        return fail(where, std::string("the file ends inside ") + what);
    }
    // Reads the continuation byte of the next element of a list; false at the end of the file.
    bool next(bool& more, const Where& where, const char* what) {
        if (!in_.next(more)) return ended(where, what);
        return true;
    }

    static std::string count(std::size_t n, const std::string& what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    }

    bool readICs() {
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const Where where{"IC section", "record", k};
            if (!next(more, where, "the list of IC descriptions")) return false;
            if (!more) return true;
            auto dsc = std::make_shared<TICDescription>();
            std::string why;
            if (!readICRecord(in_, *dsc, &why)) return fail(where, why);
            board_._addIC(dsc);
        }
    }

    bool readFlags(std::vector<int>& flags, const Where& where, const char* what) {
        flags.clear();
        for (;;) {
            bool more = false;
            uint8_t b = 0;
            if (!in_.next(more)) return ended(where, what);
            if (!more) return true;
            if (!in_.byte(b)) return ended(where, what);
            flags.push_back(b);
        }
    }

    // Copies the flags read into the device's list, which has one entry per pin; a list of another
    // length is padded with 0 or cut, and the repair is reported.
    template <class Flags>
    void fit(const std::vector<int>& read, Flags& flags, const Where& where,
             const std::string& id, const char* kind) {
        const std::size_t pins = flags.size();
        for (std::size_t i = 0; i < pins; ++i) flags[i] = i < read.size() ? read[i] : 0;
        if (read.size() == pins || !report_) return;
        const std::string k(kind);
        report_->warnings.push_back(where.str() + " (\"" + id + "\"): " + count(read.size(), k + " inversion flag") +
                                    " for " + count(pins, k + " pin") +
                                    (read.size() < pins ? "; the missing flags were set to 0 (not inverted)"
                                                        : "; the extra flags were dropped"));
    }

    static bool onBoard(int32_t v) { return v >= -kMaxBoardCoordinate && v <= kMaxBoardCoordinate; }
    bool checkPoint(int32_t x, int32_t y, const Where& where, const char* what) {
        if (onBoard(x) && onBoard(y)) return true;
        return fail(where, std::string(what) + " (" + std::to_string(x) + ", " + std::to_string(y) +
                               ") lies outside the board's " + std::to_string(kMaxBoardCoordinate) +
                               " cells in each direction");
    }

    bool readDevices() {
        // Boards repeat a few types many times; a small cache saves most registry lookups.
        std::string lastID;
        DraftPtr lastDraft;
        std::vector<int> inFlags, outFlags;
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const Where where{"device section", "record", k};
            if (!next(more, where, "the list of devices")) return false;
            if (!more) return true;
            if (in_.atEnd()) return ended(where, "the device type");
            std::string id = in_.line();
            int32_t x = 0, y = 0, data = 0;
            if (!in_.i32(x) || !in_.i32(y)) return ended(where, "the device position");
            if (!in_.i32(data)) return ended(where, "the data word");
            if (!checkPoint(x, y, where, "the position")) return false;
            if (!lastDraft || id != lastID) {
                lastDraft = getDraft(id);
                lastID = id;
            }
            if (!lastDraft)
                return fail(where, "the device type \"" + id +
                                       "\" is not known (neither built in nor an IC description "
                                       "in the file or in the IC folder)");
            if (!readFlags(inFlags, where, "the input inversion flags") ||
                !readFlags(outFlags, where, "the output inversion flags"))
                return false;
            auto dev = makePooled<TDevice>(lastDraft, x, y);
            dev->data = data;
            fit(inFlags, dev->invertedInputs, where, id, "input");
            fit(outFlags, dev->invertedOutputs, where, id, "output");
            devices_.push_back(std::move(dev));
        }
    }

    bool pair(int32_t& d, int32_t& p, const Where& where, const char* what) {
        if (!in_.i32(d) || !in_.i32(p)) return ended(where, what);
        return true;
    }

    std::string deviceName(int32_t d) const {
        return "device " + std::to_string(d) + " (\"" + devices_[d]->draft->getID() + "\")";
    }

    bool checkDevice(int32_t d, const Where& where) {
        if (d < 0 || static_cast<std::size_t>(d) >= devices_.size())
            return fail(where, "device " + std::to_string(d) + " does not exist; the file holds " +
                                   count(devices_.size(), "device"));
        return true;
    }

    bool readWires() {
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const Where where{"wire section", "net", k};
            if (!next(more, where, "the list of nets")) return false;
            if (!more) return true;
            auto net = makePooled<TWireComplex>();
            net->updateKnots = 1;
            const TWireComplex* self = net.get();
            // Segments.
            for (;;) {
                if (!next(more, where, "the segments")) return false;
                if (!more) break;
                int32_t c[4];
                for (int i = 0; i < 4; ++i)
                    if (!in_.i32(c[i])) return ended(where, "the segments");
                const Where seg = where.at("segment", net->lineList.size());
                if (!checkPoint(c[0], c[1], seg, "the start") || !checkPoint(c[2], c[3], seg, "the end"))
                    return false;
                net->lineList.push_back(TLine{c[0], c[1], c[2], c[3]});
            }
            // Appending doubles the list's room; a large board would keep about a third of its
            // segment memory empty.
            net->lineList.shrink_to_fit();
            // Input pins the net feeds.
            for (std::size_t s = 0;; ++s) {
                if (!next(more, where.at("sink", s), "the list of input pins")) return false;
                if (!more) break;
                int32_t d = 0, p = 0;
                if (!pair(d, p, where.at("sink", s), "the input pin pair") || !checkDevice(d, where.at("sink", s)))
                    return false;
                TDevice& dev = *devices_[d];
                if (p < 0 || static_cast<std::size_t>(p) >= dev.inputs.size())
                    return fail(where.at("sink", s), deviceName(d) + " has no input " + std::to_string(p) +
                                                         "; it has " + count(dev.inputs.size(), "input"));
                if (dev.inputs[p])
                    return fail(where.at("sink", s),
                                "input " + std::to_string(p) + " of " + deviceName(d) +
                                    (dev.inputs[p] == self ? " is listed twice for this net" : " is already on another net"));
                dev.inputs[p] = net.get();
                net->outputList.push_back(&dev);
            }
            // Output pins driving it.
            int32_t driver = -1, driverPin = -1;
            for (std::size_t s = 0;; ++s) {
                if (!next(more, where.at("driver", s), "the list of driving pins")) return false;
                if (!more) break;
                int32_t d = 0, p = 0;
                if (!pair(d, p, where.at("driver", s), "the driving pin pair") ||
                    !checkDevice(d, where.at("driver", s)))
                    return false;
                TDevice& dev = *devices_[d];
                if (p < 0 || static_cast<std::size_t>(p) >= dev.outputs.size())
                    return fail(where.at("driver", s), deviceName(d) + " has no output " + std::to_string(p) +
                                                           "; it has " + count(dev.outputs.size(), "output"));
                if (dev.outputs[p])
                    return fail(where.at("driver", s),
                                "output " + std::to_string(p) + " of " + deviceName(d) +
                                    (dev.outputs[p] == self ? " is listed twice for this net" : " already drives another net"));
                if (driver >= 0 && driver != d)
                    return fail(where.at("driver", s),
                                "the net is already driven by " + deviceName(driver) + "; a net has one driving device");
                // Two outputs of one device on one net would fight over it, and the editor never
                // makes such a net; refused like drivers on two devices.
                if (driver >= 0)
                    return fail(where.at("driver", s),
                                "output " + std::to_string(p) + " of " + deviceName(d) + " would be a second driving pin; output " +
                                    std::to_string(driverPin) + " already drives the net, and a net has one driving pin");
                driver = d;
                driverPin = p;
                dev.outputs[p] = net.get();
                net->Input = &dev;
            }
            nets_.push_back(std::move(net));
        }
    }

    bool readColours() {
        for (int& c : colours_) {
            uint8_t b = 0;
            if (!in_.byte(b)) {
                if (report_) report_->error = "colour block: the file ends inside the six colour bytes";
                return false;
            }
            c = b;
        }
        return true;
    }

    bool readCaptions() {
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const Where where{"caption section", "caption", k};
            if (!next(more, where, "the list of captions")) return false;
            if (!more) return true;
            auto c = TCaption::Create();
            if (in_.atEnd()) return ended(where, "the text");
            c->txt = in_.line();
            int32_t x = 0, y = 0, size = 0;
            uint8_t r = 0, g = 0, b = 0, shadow = 0;
            if (!in_.i32(x) || !in_.i32(y)) return ended(where, "the position");
            if (!in_.i32(size)) return ended(where, "the text size");
            if (!in_.byte(r) || !in_.byte(g) || !in_.byte(b)) return ended(where, "the colour");
            if (!in_.byte(shadow)) return ended(where, "the shadow flag");
            if (!checkPoint(x, y, where, "the position")) return false;
            c->xPos = x;
            c->yPos = y;
            c->Size = size;
            c->colR = r;
            c->colG = g;
            c->colB = b;
            c->bShadow = shadow;
            captions_.push_back(std::move(c));
        }
    }

    TBoardEngine& board_;
    ByteReader& in_;
    BoardLoadReport* report_;
    std::vector<DevicePtr> devices_;
    std::vector<WirePtr> nets_;
    std::vector<CaptionPtr> captions_;
    int colours_[6] = {0, 0, 0, 0, 0, 0};
};

}  // namespace

int ReadFromStream(TBoardEngine& board, ByteReader& in, BoardLoadReport* report) {
    BoardReader r(board, in, report);
    if (!r.run()) return 0;
    if (!in.atEnd() && report)
        report->warnings.push_back(std::to_string(in.remaining()) +
                                   " bytes after the caption section were ignored");
    r.commit();
    return 1;
}

int readFromFile(TBoardEngine& board, const std::string& path, BoardLoadReport* report) {
    std::string bytes, why;
    if (!readWholeFile(path, bytes, &why, kMaxBoardFileBytes)) {
        if (report) report->error = why;
        return 0;
    }
    ByteReader in(bytes);
    if (!ReadFromStream(board, in, report)) {
        if (report) report->error = "\"" + path + "\" is not a readable board file: " + report->error + ".";
        return 0;
    }
    return 1;
}

}  // namespace gw
