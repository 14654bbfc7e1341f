// An IC: a user-defined device type made from a circuit of built-in devices.
//
// TICDescription is the complete definition (texts, body, pins and a flat netlist of the inner
// circuit). TLoadedDraft wraps a description as a device type. Every placed IC device runs its own
// private copy of the inner circuit (TVDraft of TVDevice and TVWire), built from the description at
// the device's first update and kept in the device's obj; inner devices are stepped once per update
// in inner order, so an inner device sees this update's outputs of lower-numbered devices and the
// previous update's outputs of higher-numbered ones.
//
// Descriptions come from files and are not trusted. An inner circuit that cannot be built (an inner
// type the registry does not know or that is itself an IC, a device, pin or wire index out of range)
// makes every device of that IC yield 0 on all outputs; the problem is handed once per description
// to the handler installed with setICProblemHandler (the editor shows it, the command-line tool
// prints it). Inversion lists whose length differs from the inner type's pin count are padded with 0
// or cut, and pins without an inner wire read and give 0, so nothing is ever indexed out of range.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Device.h"
#include "model/Draft.h"
#include "model/Wire.h"

namespace gw {

class ByteReader;

// One pin attached to an inner wire: kind 0 = input `pin` of inner device `device` reads the wire,
// kind 1 (any non-zero kind) = its output `pin` drives it.
using TMembership = std::array<int, 3>;  // kind, pin, device

class TVDraft;

class TICDescription {
public:
    std::string Name, info, cap, id;
    std::vector<std::string> deviceID;
    std::vector<std::vector<int>> invertedInputs;
    std::vector<std::vector<int>> invertedOutputs;
    std::vector<std::vector<TMembership>> wireBelongs;
    std::vector<int> inputWires, outputWires;
    std::vector<std::string> input_cap;
    std::vector<int> input_xpos, input_ypos;
    std::vector<std::string> output_cap;
    std::vector<int> output_xpos, output_ypos;
    int width = 0, Height = 0;
    int colR = 255, colG = 255, colB = 255;

    // Set once the inner-circuit problem of this description has been handed to the handler.
    int problemReported = 0;

    // A description with its defaults and a fresh id.
    TICDescription();
    static std::shared_ptr<TICDescription> Create() { return std::make_shared<TICDescription>(); }
    // "$ic" and the system's millisecond counter taken as a signed 32-bit number.
    static std::string freshID();

    // A fresh inner circuit, or nullptr when it cannot be built; `problem` then says why.
    std::unique_ptr<TVDraft> generateVirtualDraft(std::string* problem = nullptr) const;
    // "" when the inner circuit can be built from the types registered now, else the reason.
    std::string circuitProblem() const;

    // The description record (see io/ICFile.h). The file operations answer 1 on success, 0 on
    // failure with a sentence naming the file and the cause in `error`. Saving goes through a
    // temporary file, so a failed save leaves an existing file as it was. Reading appends to the
    // lists (meant for a fresh description) and, on failure, leaves the description as it was.
    int SaveToFile(const std::string& path, std::string* error = nullptr) const;
    int SaveToStream(std::string* out) const;
    int readFromFile(const std::string& path, std::string* error = nullptr);
    int ReadFromStream(ByteReader* in, std::string* error = nullptr);

    bool sameContent(const TICDescription& o) const;
};

using ICDescriptionPtr = std::shared_ptr<TICDescription>;

// Receives the reason an IC's inner circuit cannot be built, once per description.
using ICProblemHandler = std::function<void(const TICDescription&, const std::string& reason)>;
// Installs the handler (an empty one drops reports). Answers the previous one.
ICProblemHandler setICProblemHandler(ICProblemHandler handler);
// Checks `dsc` now and, when its circuit cannot be built and this was not reported yet, hands the
// reason to the handler. Answers the reason or "". The application and the command-line tool call
// it when they register an IC, so a broken IC is reported even before a device of it runs.
std::string reportICProblem(TICDescription& dsc);

// Registers a TLoadedDraft for `dsc` unless a type with its id is registered already (that type then
// stays in force and nullptr is answered). A new type whose inner circuit cannot be built is still
// registered (its devices give 0) and its problem is reported through reportICProblem.
std::shared_ptr<class TLoadedDraft> registerICDescription(const ICDescriptionPtr& dsc);

// Reads every regular file of folder `dir` as an IC description, in the order the folder lists its
// entries ("." and ".." and sub-folders skipped). Answers the descriptions that read; for each file
// that did not, `skipped` (when given) receives a sentence naming it and the reason. A folder that
// cannot be listed gives nothing and one sentence.
std::vector<ICDescriptionPtr> readICFolder(const std::string& dir,
                                           std::vector<std::string>* skipped = nullptr);

// A wire of an inner circuit. Its value lives in the store of net values, as a board net's does,
// so that the compiled step reads and writes it in place.
class TVWire {
public:
    NetValue State;
};

// One inner device: its type, its wires per pin (nullptr = unconnected), its inversion flags (one
// per pin) and a private device record, never on a board, carrying its data word and state object.
class TVDevice {
public:
    DraftPtr draft;
    std::vector<TVWire*> inputs;
    std::vector<int> invertedInput;
    std::vector<TVWire*> outputs;
    std::vector<int> invertedOutput;
    std::unique_ptr<TDevice> device;

    TVDevice() : device(std::make_unique<TDevice>()) {}
    void Update();
};

// The inner circuit of one placed IC device; lives in that device's obj.
class TVDraft : public TDeviceObj {
public:
    std::vector<TVDevice> vDevices;
    std::vector<TVWire> vWires;      // sized once when built; the pointers below point into it
    std::vector<TVWire*> inputs;     // the wire of each IC input pin (nullptr: none)
    std::vector<TVWire*> outputs;    // the wire of each IC output pin (nullptr: none)

    // One evaluation: `values[i]` goes onto input wire i (for i below both counts), every inner
    // device runs once in order, and out[i] gets output wire i's state for i below `nOut`
    // (0 for a pin without wire).
    void Update(const int* values, int nValues, int* out, int nOut);
    std::vector<int> Update(const std::vector<int>& values);
};

// Marks a placed IC device whose inner circuit could not be built; it gives 0 on every output.
class TBrokenIC : public TDeviceObj {};

// Largest body size and pin offset (in cells) a TLoadedDraft takes from its description.
constexpr int kMaxICExtent = 4096;

// The device type of an IC description. Its size and pin offsets are clamped to kMaxICExtent.
class TLoadedDraft : public TDraft {
public:
    ICDescriptionPtr dsc;

    static std::shared_ptr<TLoadedDraft> Create(ICDescriptionPtr dsc);
    void generate(ICDescriptionPtr dsc);

    int Update(const int* inputs, int* outputs, TDevice& device) override;
    int clickAble() const override { return 0; }
    std::string GetName() const override { return dsc ? dsc->cap : std::string(); }
    std::string getID() const override { return dsc ? dsc->id : std::string(); }
};

}  // namespace gw
