// Turning a circuit on the board into an IC description, without any window: the IC tool's form
// (texts, body size and colour, the pin places on the four sides with their nets) goes in, a
// complete TICDescription comes out. The tool window only fills the form and shows the result.
//
// What goes into the IC. Starting from the nets assigned to pins, every device reachable through
// nets is collected; kept are the devices that compute something for the IC: not switches or push
// buttons (the IC's input pins take their place), with at least one output pin, still on the board
// and with at least one output wired. LEDs and displays therefore stay outside, but a gate that is
// reached only through an LED is still found and kept. Kept devices keep the board's step order,
// so the IC computes exactly as the circuit did on the board.
//
// Nested ICs are expanded into their inner devices: plain devices are numbered first, then every
// nested IC gets one consecutive block of numbers. An inner net that a nested IC's pin joins to an
// outer net is merged into it; the pin's inversion is carried into the inner pins that read or drive
// that inner net, so every inner device goes on seeing the value it saw inside the nested IC (an
// inverted output pin flips the inner driver's output and the inner readers' inputs alike). An
// inner net that links two outer nets through the nested IC (one wire shared by an input and an
// output pin, or by two output pins) merges all of them into one net, so a pass-through keeps
// passing. The only link that cannot be flattened is one that would make two outer nets carry
// opposite values of the same signal; it is left unmerged and listed in `unmerged`.
//
// Generation never fails. A place whose net has left the board is cleared and gives no pin.
// Indices read from a nested IC's description (which may come from a file) are checked; entries
// that point outside that description are dropped, never followed.
//
// Timing. Plain devices run first, then the nested blocks, so a circuit whose nested ICs come last
// on the board computes step for step alike. One difference cannot be expressed in a description
// (inner nets have no start value): when an inverted output pin's inner net is read inside the
// nested IC by a device that runs before the net's driver, that reader sees the opposite value in
// the IC's very first step, before the driver has run once; from then on they agree.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ic/ICDescription.h"
#include "model/Device.h"
#include "model/Wire.h"

namespace gw {

// The four sides of the chip, in the order the pins are visited for each index.
enum ICSide { icSideRight = 0, icSideBottom = 1, icSideLeft = 2, icSideTop = 3 };
constexpr int icPlacesPerSide = 15;
constexpr int icMaxSize = 15;

// One pin place: the net assigned to it (none: empty place), whether that net is an output pin,
// and the pin's caption.
struct ICPlace {
    int conTypeOutput = 0;
    WirePtr conWire;
    std::string caption;
};

// Everything the IC tool's window lets the user choose.
struct ICForm {
    std::string Name, info, cap;
    int width = 3, Height = 3;  // 1 .. 15
    int colR = 255, colG = 255, colB = 255;
    std::array<std::array<ICPlace, icPlacesPerSide>, 4> places;  // indexed by ICSide

    ICPlace& place(int side, int i) { return places[side][i]; }
    // How many places a side offers at the current size: its length minus one (0 for length 1).
    int placesInUse(int side) const;
};

// The stored position of the pin made from place i of `side` on a body of w x h cells. Input
// positions are stored so that the draft's input-position rule (one cell further right/down for odd
// sizes) puts an input on the same point of the body's edge as an output from the same place.
void icPinPosition(int side, int i, int typeOutput, int w, int h, int& x, int& y);

// Devices in the order they were first met, each once.
class ICDeviceSet {
public:
    bool contains(const TDevice* d) const { return index_.count(d) != 0; }
    // Adds `d` unless present; answers whether it was added.
    bool add(TDevice* d);
    const std::vector<TDevice*>& items() const { return items_; }

private:
    std::vector<TDevice*> items_;
    std::unordered_map<const TDevice*, int> index_;
};

// Nets in the order they were first met, each once; the order numbers them.
class ICNetSet {
public:
    bool contains(const TWireComplex* n) const { return index_.count(n) != 0; }
    bool add(TWireComplex* n);
    // The number of `n`, or -1.
    int indexOf(const TWireComplex* n) const;
    const std::vector<TWireComplex*>& items() const { return items_; }

private:
    std::vector<TWireComplex*> items_;
    std::unordered_map<const TWireComplex*, int> index_;
};

// Collects every device reachable from `net`: its readers, each followed into the nets on its
// output pins and then its input pins, and then its driver likewise. Runs without recursion, so a
// board of any size cannot exhaust the stack; the order is that of the depth-first walk.
void addDevices(ICDeviceSet& set, TWireComplex* net);
// Adds `net` when it is present and not yet in the set.
void addWire(ICNetSet& set, TWireComplex* net);

// 1 when a collected device becomes part of the IC (see the header comment).
int keptInIC(const TDevice& d);

struct ICGenerateReport {
    // Places cleared because their net had left the board.
    std::vector<std::pair<int, int>> clearedPlaces;  // (side, index)
    // Nested-IC pin links that could not be merged (see the header comment), as sentences.
    std::vector<std::string> unmerged;
};

// Gives `dsc` an id that no registered type and no description generated in this run has yet: an id
// from the millisecond counter repeats when two ICs are made within one millisecond, and the second
// would then be taken for the first by the palette and by every board file that carries both.
void claimUniqueICID(TICDescription& dsc);

// Builds the description from the form, with an id claimed as above. `boardOrder` is the board's device list (step order) and
// decides the order of the kept devices; devices not on it follow in the order they were found.
// Places whose net has left the board are cleared in `form`.
ICDescriptionPtr generateDescription(ICForm& form, const std::vector<DevicePtr>& boardOrder,
                                     ICGenerateReport* report = nullptr);

// The file name a description is saved under inside `dir`: dir + "/" + the name made safe + "_" +
// id + ".ic". Every character a file name cannot hold, or that would lead out of the folder
// ("/", "\", control characters, and : * ? " < > | which other systems refuse), becomes "_"; a
// long name is shortened (on a character boundary) so the whole file name stays within 255 bytes.
// The description's Name itself is not changed.
std::string safeICFileName(const std::string& name, const std::string& id);
std::string icFilePath(const std::string& dir, const TICDescription& dsc);

// Saves `dsc` into folder `dir` (created when missing) under icFilePath. Answers 1 on success;
// on failure 0 with a sentence naming the file and the cause in `error`. The path written is
// stored in `path` either way.
int saveICToFolder(const TICDescription& dsc, const std::string& dir, std::string* path = nullptr,
                   std::string* error = nullptr);

}  // namespace gw
