#include "io/BoardFile.h"

#include <unordered_map>
#include <unordered_set>

#include "board/BoardEngine.h"
#include "ic/ICDescription.h"
#include "io/AtomicFile.h"
#include "io/ByteStream.h"
#include "io/ICFile.h"
#include "model/Registry.h"

namespace gw {

namespace {

void writeFlags(ByteWriter& w, const std::vector<int>& flags) {
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
    std::unordered_map<const TDevice*, int> index;
    index.reserve(board.deviceList.size());
    int next = 0;
    for (const auto& d : board.deviceList) {
        index.emplace(d.get(), next++);
        w.more();
        w.line(d->draft ? d->draft->getID() : std::string());
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
            auto it = index.find(dev);
            if (it != index.end()) writeSinkPairs(w, *dev, it->second, net.get());
        }
        w.end();

        if (const TDevice* drv = net->Input) {
            auto it = index.find(drv);
            if (it != index.end())
                for (std::size_t j = 0; j < drv->outputs.size(); ++j)
                    if (drv->outputs[j] == net.get()) {
                        w.more();
                        w.i32(it->second);
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

// Reads the sections into lists of its own; the board is touched only by commit().
class BoardReader {
public:
    BoardReader(TBoardEngine& board, ByteReader& in, BoardLoadReport* report)
        : board_(board), in_(in), report_(report) {}

    bool run() {
        return readICs() && readDevices() && readWires() && readColours() && readCaptions();
    }

    void commit() {
        for (auto& d : devices_) board_.deviceList.push_back(std::move(d));
        for (auto& n : nets_) board_.wireComplexList.push_back(std::move(n));
        for (auto& c : captions_) board_.captionList.push_back(std::move(c));
        board_.setBackgroundColor(colours_[0], colours_[1], colours_[2]);
        board_.setNetColor(colours_[3], colours_[4], colours_[5]);
        board_.invalidateIndex();
    }

private:
    bool fail(const std::string& where, const std::string& why) {
        if (report_) report_->error = where + ": " + why;
        return false;
    }
    bool ended(const std::string& where, const char* what) {
        return fail(where, std::string("the file ends inside ") + what);
    }
    void warn(std::string s) {
        if (report_) report_->warnings.push_back(std::move(s));
    }
    // Reads the continuation byte of the next element of a section; false at the end of the file.
    bool next(bool& more, const std::string& where, const char* what) {
        if (!in_.next(more)) return ended(where, what);
        return true;
    }

    bool readICs() {
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const std::string where = "IC section, record " + std::to_string(k);
            if (!next(more, where, "the list of IC descriptions")) return false;
            if (!more) return true;
            auto dsc = std::make_shared<TICDescription>();
            std::string why;
            if (!readICRecord(in_, *dsc, &why)) return fail(where, why);
            board_._addIC(dsc);
        }
    }

    bool readFlags(std::vector<int>& flags, const std::string& where, const char* what) {
        for (;;) {
            bool more = false;
            uint8_t b = 0;
            if (!in_.next(more)) return ended(where, what);
            if (!more) return true;
            if (!in_.byte(b)) return ended(where, what);
            flags.push_back(b);
        }
    }

    // Makes the flag list exactly as long as the type has pins, saying what was changed.
    void fit(std::vector<int>& flags, std::size_t pins, const std::string& where, const char* kind) {
        if (flags.size() == pins) return;
        const std::string had = std::to_string(flags.size()) + " " + kind + " inversion flags for " +
                                std::to_string(pins) + " " + kind + " pins";
        if (flags.size() < pins)
            warn(where + ": " + had + "; the missing flags were set to 0 (not inverted)");
        else
            warn(where + ": " + had + "; the extra flags were dropped");
        flags.resize(pins, 0);
    }

    bool readDevices() {
        // Boards repeat a few types many times; remembering the last lookup saves most of them.
        std::string lastID;
        DraftPtr lastDraft;
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const std::string where = "device section, record " + std::to_string(k);
            if (!next(more, where, "the list of devices")) return false;
            if (!more) return true;
            if (in_.atEnd()) return ended(where, "the device type");
            std::string id = in_.line();
            int32_t x = 0, y = 0, data = 0;
            if (!in_.i32(x) || !in_.i32(y)) return ended(where, "the device position");
            if (!in_.i32(data)) return ended(where, "the data word");
            if (!checkPoint(x, y, where, "the position")) return false;
            DraftPtr draft;
            if (id == lastID && lastDraft) {
                draft = lastDraft;
            } else {
                draft = getDraft(id);
                lastID = id;
                lastDraft = draft;
            }
            if (!draft)
                return fail(where, "the device type \"" + id +
                                       "\" is not known (neither built in nor an IC description "
                                       "in the file or in the IC folder)");
            auto dev = std::make_shared<TDevice>(draft, x, y);
            dev->data = data;
            dev->invertedInputs.clear();
            dev->invertedOutputs.clear();
            if (!readFlags(dev->invertedInputs, where, "the input inversion flags") ||
                !readFlags(dev->invertedOutputs, where, "the output inversion flags"))
                return false;
            const std::string named = where + " (\"" + id + "\")";
            fit(dev->invertedInputs, dev->inputs.size(), named, "input");
            fit(dev->invertedOutputs, dev->outputs.size(), named, "output");
            devices_.push_back(std::move(dev));
        }
    }

    static bool onBoard(int32_t v) { return v >= -kMaxBoardCoordinate && v <= kMaxBoardCoordinate; }
    bool checkPoint(int32_t x, int32_t y, const std::string& where, const char* what) {
        if (onBoard(x) && onBoard(y)) return true;
        return fail(where, std::string(what) + " (" + std::to_string(x) + ", " + std::to_string(y) +
                               ") lies outside the board's " + std::to_string(kMaxBoardCoordinate) +
                               " cells in each direction");
    }

    bool pair(int32_t& d, int32_t& p, const std::string& where, const char* what) {
        if (!in_.i32(d) || !in_.i32(p)) return ended(where, what);
        return true;
    }

    static std::string count(std::size_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    }

    std::string deviceName(int32_t d) const {
        return "device " + std::to_string(d) + " (\"" + devices_[d]->draft->getID() + "\")";
    }

    bool checkDevice(int32_t d, const std::string& where) {
        if (d < 0 || static_cast<std::size_t>(d) >= devices_.size())
            return fail(where, "device " + std::to_string(d) + " does not exist; the file holds " +
                                   count(devices_.size(), "device"));
        return true;
    }

    bool readWires() {
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const std::string where = "wire section, net " + std::to_string(k);
            if (!next(more, where, "the list of nets")) return false;
            if (!more) return true;
            auto net = std::make_shared<TWireComplex>();
            net->updateKnots = 1;
            const TWireComplex* self = net.get();
            // Segments.
            for (;;) {
                if (!next(more, where, "the segments")) return false;
                if (!more) break;
                int32_t c[4];
                for (int i = 0; i < 4; ++i)
                    if (!in_.i32(c[i])) return ended(where, "the segments");
                const std::string seg = where + ", segment " + std::to_string(net->lineList.size());
                if (!checkPoint(c[0], c[1], seg, "the start") || !checkPoint(c[2], c[3], seg, "the end"))
                    return false;
                net->lineList.push_back(TLine{c[0], c[1], c[2], c[3]});
            }
            // Input pins the net feeds.
            for (std::size_t s = 0;; ++s) {
                const std::string at = where + ", sink " + std::to_string(s);
                if (!next(more, at, "the list of input pins")) return false;
                if (!more) break;
                int32_t d = 0, p = 0;
                if (!pair(d, p, at, "the input pin pair") || !checkDevice(d, at)) return false;
                TDevice& dev = *devices_[d];
                if (p < 0 || static_cast<std::size_t>(p) >= dev.inputs.size())
                    return fail(at, deviceName(d) + " has no input " + std::to_string(p) + "; it has " +
                                        count(dev.inputs.size(), "input"));
                if (dev.inputs[p])
                    return fail(at, "input " + std::to_string(p) + " of " + deviceName(d) +
                                        (dev.inputs[p] == self ? " is listed twice for this net"
                                                               : " is already on another net"));
                dev.inputs[p] = net.get();
                net->outputList.push_back(&dev);
            }
            // Output pins driving it.
            int32_t driver = -1;
            for (std::size_t s = 0;; ++s) {
                const std::string at = where + ", driver " + std::to_string(s);
                if (!next(more, at, "the list of driving pins")) return false;
                if (!more) break;
                int32_t d = 0, p = 0;
                if (!pair(d, p, at, "the driving pin pair") || !checkDevice(d, at)) return false;
                TDevice& dev = *devices_[d];
                if (p < 0 || static_cast<std::size_t>(p) >= dev.outputs.size())
                    return fail(at, deviceName(d) + " has no output " + std::to_string(p) + "; it has " +
                                        count(dev.outputs.size(), "output"));
                if (dev.outputs[p])
                    return fail(at, "output " + std::to_string(p) + " of " + deviceName(d) +
                                        (dev.outputs[p] == self ? " is listed twice for this net"
                                                                : " already drives another net"));
                if (driver >= 0 && driver != d)
                    return fail(at, "the net is already driven by " + deviceName(driver) +
                                        "; a net has one driving device");
                driver = d;
                dev.outputs[p] = net.get();
                net->Input = &dev;
            }
            nets_.push_back(std::move(net));
        }
    }

    bool readColours() {
        for (int& c : colours_) {
            uint8_t b = 0;
            if (!in_.byte(b)) return ended("colour block", "the six colour bytes");
            c = b;
        }
        return true;
    }

    bool readCaptions() {
        for (std::size_t k = 0;; ++k) {
            bool more = false;
            const std::string where = "caption section, caption " + std::to_string(k);
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
