#include "io/ICFile.h"

#include "ic/ICDescription.h"
#include "io/ByteStream.h"

namespace gw {

namespace {

void writeLines(ByteWriter& w, const std::vector<std::string>& v) {
    for (const auto& s : v) {
        w.more();
        w.line(s);
    }
    w.end();
}

void writeInts(ByteWriter& w, const std::vector<int>& v) {
    for (int x : v) {
        w.more();
        w.i32(x);
    }
    w.end();
}

void writeFlagLists(ByteWriter& w, const std::vector<std::vector<int>>& v) {
    for (const auto& flags : v) {
        w.more();
        for (int f : flags) {
            w.more();
            w.byte(f);
        }
        w.end();
    }
    w.end();
}

// Reading: each helper answers false when the data ran out and then names what it was reading.
class RecordReader {
public:
    RecordReader(ByteReader& in, std::string* error) : in_(in), error_(error) {}

    bool lines(std::vector<std::string>& v, const char* what) {
        for (;;) {
            bool more = false;
            if (!in_.next(more)) return ends(what, v.size());
            if (!more) return true;
            if (in_.atEnd()) return ends(what, v.size());
            v.push_back(in_.line());
        }
    }
    bool ints(std::vector<int>& v, const char* what) {
        for (;;) {
            bool more = false;
            int32_t x = 0;
            if (!in_.next(more)) return ends(what, v.size());
            if (!more) return true;
            if (!in_.i32(x)) return ends(what, v.size());
            v.push_back(x);
        }
    }
    bool flagLists(std::vector<std::vector<int>>& v, const char* what) {
        for (;;) {
            bool more = false;
            if (!in_.next(more)) return ends(what, v.size());
            if (!more) return true;
            std::vector<int>& flags = v.emplace_back();
            for (;;) {
                uint8_t b = 0;
                if (!in_.next(more)) return ends(what, v.size() - 1);
                if (!more) break;
                if (!in_.byte(b)) return ends(what, v.size() - 1);
                flags.push_back(b);
            }
        }
    }
    bool wires(std::vector<std::vector<TMembership>>& v) {
        for (;;) {
            bool more = false;
            if (!in_.next(more)) return ends("the inner wires", v.size());
            if (!more) return true;
            auto& entries = v.emplace_back();
            for (;;) {
                uint8_t kind = 0;
                int32_t pin = 0, dev = 0;
                if (!in_.next(more)) return ends("the inner wires", v.size() - 1);
                if (!more) break;
                if (!in_.byte(kind) || !in_.i32(pin) || !in_.i32(dev))
                    return ends("the inner wires", v.size() - 1);
                entries.push_back({kind, pin, dev});
            }
        }
    }
    bool text(std::string& s, const char* what) {
        // A line at the very end of the data would read as "" without complaint; the fields after
        // it cannot be there either, so say where the record stopped.
        if (in_.atEnd()) return ends(what, std::string::npos);
        s = in_.line();
        return true;
    }
    bool i32(int& v, const char* what) {
        int32_t x = 0;
        if (!in_.i32(x)) return ends(what, std::string::npos);
        v = x;
        return true;
    }
    bool byte(int& v, const char* what) {
        uint8_t b = 0;
        if (!in_.byte(b)) return ends(what, std::string::npos);
        v = b;
        return true;
    }

private:
    bool ends(const char* what, std::size_t element) {
        if (error_) {
            *error_ = std::string("the data ends inside ") + what;
            if (element != std::string::npos) *error_ += " (element " + std::to_string(element) + ")";
        }
        return false;
    }

    ByteReader& in_;
    std::string* error_;
};

template <class T>
void append(std::vector<T>& to, std::vector<T>& from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

}  // namespace

void writeICRecord(ByteWriter& w, const TICDescription& d) {
    w.line(d.Name);
    w.line(d.info);
    w.line(d.cap);
    w.line(d.id);
    writeLines(w, d.deviceID);
    writeFlagLists(w, d.invertedInputs);
    writeFlagLists(w, d.invertedOutputs);
    for (const auto& entries : d.wireBelongs) {
        w.more();
        for (const auto& e : entries) {
            w.more();
            w.byte(e[0]);
            w.i32(e[1]);
            w.i32(e[2]);
        }
        w.end();
    }
    w.end();
    writeInts(w, d.inputWires);
    writeInts(w, d.outputWires);
    writeLines(w, d.input_cap);
    writeInts(w, d.input_xpos);
    writeInts(w, d.input_ypos);
    writeLines(w, d.output_cap);
    writeInts(w, d.output_xpos);
    writeInts(w, d.output_ypos);
    w.i32(d.width);
    w.i32(d.Height);
    w.byte(d.colR);
    w.byte(d.colG);
    w.byte(d.colB);
}

bool readICRecord(ByteReader& in, TICDescription& dsc, std::string* error) {
    RecordReader r(in, error);
    // Read into a scratch description first so a record that ends early changes nothing.
    TICDescription t;
    if (!r.text(t.Name, "the name") || !r.text(t.info, "the description text") ||
        !r.text(t.cap, "the title") || !r.text(t.id, "the id") ||
        !r.lines(t.deviceID, "the inner device types") ||
        !r.flagLists(t.invertedInputs, "the inner input inversion flags") ||
        !r.flagLists(t.invertedOutputs, "the inner output inversion flags") || !r.wires(t.wireBelongs) ||
        !r.ints(t.inputWires, "the input wire numbers") ||
        !r.ints(t.outputWires, "the output wire numbers") ||
        !r.lines(t.input_cap, "the input pin captions") ||
        !r.ints(t.input_xpos, "the input pin x positions") ||
        !r.ints(t.input_ypos, "the input pin y positions") ||
        !r.lines(t.output_cap, "the output pin captions") ||
        !r.ints(t.output_xpos, "the output pin x positions") ||
        !r.ints(t.output_ypos, "the output pin y positions") || !r.i32(t.width, "the width") ||
        !r.i32(t.Height, "the height") || !r.byte(t.colR, "the colour") ||
        !r.byte(t.colG, "the colour") || !r.byte(t.colB, "the colour"))
        return false;

    dsc.Name = std::move(t.Name);
    dsc.info = std::move(t.info);
    dsc.cap = std::move(t.cap);
    dsc.id = std::move(t.id);
    append(dsc.deviceID, t.deviceID);
    append(dsc.invertedInputs, t.invertedInputs);
    append(dsc.invertedOutputs, t.invertedOutputs);
    append(dsc.wireBelongs, t.wireBelongs);
    append(dsc.inputWires, t.inputWires);
    append(dsc.outputWires, t.outputWires);
    append(dsc.input_cap, t.input_cap);
    append(dsc.input_xpos, t.input_xpos);
    append(dsc.input_ypos, t.input_ypos);
    append(dsc.output_cap, t.output_cap);
    append(dsc.output_xpos, t.output_xpos);
    append(dsc.output_ypos, t.output_ypos);
    dsc.width = t.width;
    dsc.Height = t.Height;
    dsc.colR = t.colR;
    dsc.colG = t.colG;
    dsc.colB = t.colB;
    return true;
}

}  // namespace gw
