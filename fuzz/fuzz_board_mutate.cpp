// Structure-aware fuzz target for board files. Plain byte mutation rarely gets past the first few
// records of a board, so this target knows the layout: it walks a board file, notes where each
// field lies (continuation bytes, device and pin indices, positions, data words, inversion flags,
// type names) and mutates those fields the way damage and hostile edits do: flip a bit, cut the
// file, turn a list's continuation byte over (one element more or less), set an index to a value
// just out of range or to another valid one, nudge a position, copy or drop a whole record.
//
// Every load must either fail with a reason and leave the board empty, or give a board whose
// references are sound. What a loaded board must survive is what the editor does to it: the checks
// of the board's own consistency routine about lists, pin arrays and back references, stepping,
// saving and reloading to the same bytes, and removing every device and net one by one.
//
// Geometry is another matter: a file is free to place a pin beside the end of its net (the format
// stores both independently), so problems of the kind "has no end there", "zero length" and the
// like are counted, not treated as faults; the removal pass below proves they do not hurt.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/BoardEngine.h"
#include "board/Consistency.h"
#include "ic/ICDescription.h"
#include "io/BoardFile.h"
#include "io/ByteStream.h"
#include "io/ICFile.h"
#include "model/Catalogue.h"
#include "model/Registry.h"
#include "model/SimEnvironment.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

std::size_t builtinCount = 0;

std::shared_ptr<gw::TBoardEngine> newBoard() {
    return gw::TBoardEngine::Create({}, nullptr,
                                    [](const gw::ICDescriptionPtr& d, void*) {
                                        // The registry keeps every type for the whole run; the cap
                                        // keeps a long run from growing it without end.
                                        if (gw::draftRegistry().size() < builtinCount + 2000)
                                            gw::registerICDescription(d);
                                        return 1;
                                    },
                                    nullptr);
}

// ---- the layout of a board file, as far as it can be walked ----

enum class Kind { More, DeviceIndex, PinIndex, Coord, Data, Flag, Colour, Size, Record };

struct Field {
    Kind kind;
    std::size_t at;   // offset of the field
    std::size_t len;  // its length in bytes (for Record: the whole element including its 1 byte)
};

struct Layout {
    std::vector<Field> fields;
    int devices = 0;
};

// Walks as far as the bytes allow and records every field met; stops quietly at the first thing it
// cannot follow (the mutations then work on the part before it).
Layout scan(const std::string& bytes) {
    Layout L;
    gw::ByteReader in(bytes);
    auto field = [&](Kind k, std::size_t at, std::size_t len) { L.fields.push_back({k, at, len}); };
    auto more = [&](bool& m) {
        const std::size_t at = in.pos();
        if (!in.next(m)) return false;
        field(Kind::More, at, 1);
        return true;
    };
    auto i32 = [&](Kind k) {
        const std::size_t at = in.pos();
        int32_t v = 0;
        if (!in.i32(v)) return false;
        field(k, at, 4);
        return true;
    };
    bool m = false;
    // IC records.
    for (;;) {
        const std::size_t start = in.pos();
        if (!more(m)) return L;
        if (!m) break;
        gw::TICDescription d;
        std::string why;
        if (!gw::readICRecord(in, d, &why)) return L;
        field(Kind::Record, start, in.pos() - start);
    }
    // Devices.
    for (;;) {
        const std::size_t start = in.pos();
        if (!more(m)) return L;
        if (!m) break;
        in.line();
        if (!i32(Kind::Coord) || !i32(Kind::Coord) || !i32(Kind::Data)) return L;
        for (int list = 0; list < 2; ++list)
            for (;;) {
                if (!more(m)) return L;
                if (!m) break;
                const std::size_t at = in.pos();
                uint8_t b = 0;
                if (!in.byte(b)) return L;
                field(Kind::Flag, at, 1);
            }
        field(Kind::Record, start, in.pos() - start);
        ++L.devices;
    }
    // Nets.
    for (;;) {
        const std::size_t start = in.pos();
        if (!more(m)) return L;
        if (!m) break;
        for (;;) {
            if (!more(m)) return L;
            if (!m) break;
            for (int i = 0; i < 4; ++i)
                if (!i32(Kind::Coord)) return L;
        }
        for (int list = 0; list < 2; ++list)
            for (;;) {
                if (!more(m)) return L;
                if (!m) break;
                if (!i32(Kind::DeviceIndex) || !i32(Kind::PinIndex)) return L;
            }
        field(Kind::Record, start, in.pos() - start);
    }
    for (int i = 0; i < 6; ++i) {
        const std::size_t at = in.pos();
        uint8_t b = 0;
        if (!in.byte(b)) return L;
        field(Kind::Colour, at, 1);
    }
    for (;;) {
        const std::size_t start = in.pos();
        if (!more(m)) return L;
        if (!m) break;
        in.line();
        if (!i32(Kind::Coord) || !i32(Kind::Coord) || !i32(Kind::Size)) return L;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!in.byte(b)) return L;
        }
        field(Kind::Record, start, in.pos() - start);
    }
    return L;
}

void putI32(std::string& s, std::size_t at, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
}

int32_t getI32(const std::string& s, std::size_t at) {
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<uint8_t>(s[at + i]);
    return static_cast<int32_t>(u);
}

const Field* pick(const Layout& L, unsigned& seed, Kind k) {
    std::vector<const Field*> of;
    for (const auto& f : L.fields)
        if (f.kind == k) of.push_back(&f);
    if (of.empty()) return nullptr;
    seed = seed * 1103515245u + 12345u;
    return of[(seed >> 8) % of.size()];
}

unsigned roll(unsigned& seed, unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return n ? (seed >> 8) % n : 0;
}

// One structural mutation of `s`; false when none applied (the caller then mutates bytes).
bool mutate(std::string& s, unsigned seed) {
    const Layout L = scan(s);
    if (L.fields.empty()) return false;
    switch (roll(seed, 8)) {
    case 0: {  // flip one bit anywhere
        if (s.empty()) return false;
        s[roll(seed, static_cast<unsigned>(s.size()))] ^= static_cast<char>(1u << roll(seed, 8));
        return true;
    }
    case 1: {  // cut the file, at a field boundary or anywhere
        const Field& f = L.fields[roll(seed, static_cast<unsigned>(L.fields.size()))];
        s.resize(roll(seed, 2) ? f.at : f.at + roll(seed, static_cast<unsigned>(f.len) + 1));
        return true;
    }
    case 2: {  // one list element more or less
        const Field* f = pick(L, seed, Kind::More);
        if (!f) return false;
        s[f->at] = s[f->at] ? '\0' : '\1';
        return true;
    }
    case 3: {  // a device index just out of range, negative, or another device
        const Field* f = pick(L, seed, Kind::DeviceIndex);
        if (!f) return false;
        const int32_t choices[] = {-1, L.devices, L.devices - 1, 0, INT32_MAX, INT32_MIN,
                                   static_cast<int32_t>(roll(seed, L.devices + 1))};
        putI32(s, f->at, choices[roll(seed, 7)]);
        return true;
    }
    case 4: {  // a pin index off by one, far out, or negative
        const Field* f = pick(L, seed, Kind::PinIndex);
        if (!f) return false;
        const uint32_t v = static_cast<uint32_t>(getI32(s, f->at));
        const int32_t choices[] = {static_cast<int32_t>(v + 1), static_cast<int32_t>(v - 1), -1, 0, 1, 2, 64,
                                   INT32_MAX};
        putI32(s, f->at, choices[roll(seed, 8)]);
        return true;
    }
    case 5: {  // a position, data word or caption size nudged or pushed to the limits
        const Kind kinds[] = {Kind::Coord, Kind::Data, Kind::Size};
        const Field* f = pick(L, seed, kinds[roll(seed, 3)]);
        if (!f) return false;
        // Unsigned arithmetic: the field may already hold a limit value.
        const uint32_t v = static_cast<uint32_t>(getI32(s, f->at));
        const int32_t choices[] = {static_cast<int32_t>(v + 1), static_cast<int32_t>(v - 1),
                                   static_cast<int32_t>(0u - v), 0, INT32_MAX, INT32_MIN,
                                   static_cast<int32_t>(v ^ 0x40000000u)};
        putI32(s, f->at, choices[roll(seed, 7)]);
        return true;
    }
    case 6: {  // an inversion flag or colour byte set to an odd value
        const Field* f = pick(L, seed, roll(seed, 2) ? Kind::Flag : Kind::Colour);
        if (!f) return false;
        const char choices[] = {'\0', '\1', '\2', '\xff', '\x80'};
        s[f->at] = choices[roll(seed, 5)];
        return true;
    }
    default: {  // copy a whole record next to itself, or drop it
        const Field* f = pick(L, seed, Kind::Record);
        if (!f) return false;
        if (roll(seed, 2))
            s.insert(f->at, s.substr(f->at, f->len));
        else
            s.erase(f->at, f->len);
        return true;
    }
    }
}

// Problems of placement rather than of references: a file may carry them (see the header).
bool geometric(const std::string& problem) {
    static const char* const kinds[] = {"which has no end there", "has zero length",
                                        "passes a grid point", "is stored twice",
                                        "do not hang together", "has no segments"};
    for (const char* k : kinds)
        if (problem.find(k) != std::string::npos) return true;
    return false;
}

void requireSound(const gw::TBoardEngine& b, const char* when) {
    for (const auto& p : gw::checkBoard(b))
        if (!geometric(p)) {
            std::fprintf(stderr, "board unsound %s: %s\n", when, p.c_str());
            std::abort();
        }
}

std::string save(const gw::TBoardEngine& b) {
    std::string s;
    gw::WriteToStream(b, s);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gw::registerBuiltinDrafts();
    builtinCount = gw::draftRegistry().size();
    gw::setSimEnvironment(std::make_shared<gw::SimulatedEnvironment>(0, 1));
    gw::setICProblemHandler({});
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    std::string s(reinterpret_cast<const char*>(data), size);
    // Mostly structural, now and then plain bytes, so both kinds of damage get explored together.
    const int rounds = 1 + static_cast<int>(seed % 3);
    bool done = false;
    for (int i = 0; i < rounds; ++i) done = mutate(s, seed * 2654435761u + static_cast<unsigned>(i)) || done;
    if (!done || seed % 8 == 0 || s.size() > maxSize) {
        if (s.size() > maxSize) s.resize(maxSize);
        std::memcpy(data, s.data(), s.size());
        return LLVMFuzzerMutate(data, s.size(), maxSize);
    }
    std::memcpy(data, s.data(), s.size());
    return s.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto board = newBoard();
    gw::BoardLoadReport rep;
    gw::ByteReader in(bytes);
    if (!gw::ReadFromStream(*board, in, &rep)) {
        if (rep.error.empty() || !board->deviceList.empty() || !board->wireComplexList.empty() ||
            !board->captionList.empty())
            std::abort();
        return 0;
    }
    requireSound(*board, "after loading");
    for (int i = 0; i < 3; ++i) board->updateDevices();
    requireSound(*board, "after stepping");

    // What was loaded saves and loads back to the same bytes.
    const std::string first = save(*board);
    auto again = newBoard();
    gw::ByteReader in2(first);
    gw::BoardLoadReport rep2;
    if (!gw::ReadFromStream(*again, in2, &rep2)) {
        std::fprintf(stderr, "saved board does not load: %s\n", rep2.error.c_str());
        std::abort();
    }
    if (save(*again) != first) std::abort();

    // Take the board apart the way the editor's remove mode does: alternately a device and a net,
    // checking the references after each removal.
    while (!board->deviceList.empty() || !board->wireComplexList.empty()) {
        if (!board->deviceList.empty()) board->_removeDevice(board->deviceList.back().get());
        if (!board->wireComplexList.empty()) board->_removeWire(board->wireComplexList.front().get());
        requireSound(*board, "after a removal");
        board->updateDevices();
    }
    return 0;
}
