// TBoardEngine: the board being edited. It owns every placed device, wire net and caption, the view
// flags and background colours, the unsaved-changes flag, this frame's mouse input and marks, and the
// state of each editing mode.
//
// Ownership. The three lists own their objects through shared_ptr so that a holder outside the board
// (the IC tool keeps nets, the caption tool keeps a caption) can keep one after it was removed and see
// its notValid/isValid flag. Devices and nets refer to each other with plain pointers on both sides
// (TDevice::inputs/outputs, TWireComplex::Input/outputList); every removal operation here clears both
// sides before the object leaves its list, so no pointer outlives its target. The per-mode object
// fields hold shared_ptr too, so a stale one keeps its object alive (and flagged) instead of dangling.
//
// Hit tests scan the lists in list order and the first match wins. While a frame runs (Update opens a
// FrameScope) they answer from a spatial index instead, and the view queries (devicesInRect,
// netsInRect) always do; the index only ever returns what the plain scan would, in the same order.
//
// Keeping the index right. Every edit made through the board's own operations (addDevice,
// _removeDevice, the modes' placing, wiring, removing, cutting and moving, _connectWires,
// _repairWireAfterSplit, _removeWire, generate, Destroy) updates it in place. Code outside the board
// that changes deviceList or wireComplexList, a device's position or type, or a net's segment list
// calls invalidateIndex() when it is done (the board file reader does after a read); the next query
// then rebuilds the index from the lists. The one exception is cutting segments out of a net and
// handing it straight to _repairWireAfterSplit, which replaces the net and everything the index knew
// of it. As a safety net, opening a frame and the view queries compare the list lengths and the
// first and last object of each list with the index (constant time) and rebuild on a mismatch; an
// object moved or reshaped in place is not caught that way, so the call is not optional.
//
// Callbacks are a std::function plus a context pointer, stored as two fields and called as
// func(arguments..., context). They start unset; calling an unset one is a no-op answering 0, so a
// board made without callbacks (tests, the command-line tool) is still safe to edit.
//
// Nothing here is virtual: the board is not subclassed, and a plain member that no one calls needs
// no definition to link.
//
// Drawing operations take the renderer first, then the six drawing parameters (xMove, yMove, xScale,
// yScale, and either the view size or the cell size 20, 20).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "board/Caption.h"
#include "model/Device.h"
#include "model/Draft.h"
#include "model/Wire.h"
#include "sim/FastSimulator.h"

namespace gw {

class Renderer;
class TICDescription;
class BoardIndex;

using CaptionPtr = std::shared_ptr<TCaption>;

// Opens a caption in the caption editor; also told when a caption is removed (it then sees isValid 0).
using CaptionFunc = std::function<int(const CaptionPtr& caption, void* ctx)>;
// Receives the net picked in IC mode; typeOutput is 1 for an IC output, 0 for an input.
using ICPickFunc = std::function<int(int typeOutput, const WirePtr& net, void* ctx)>;
// Announces an IC description met while loading a board file.
using AddICFunc = std::function<int(const std::shared_ptr<TICDescription>& ic, void* ctx)>;
// Told whenever the changed flag flips.
using ChangedFunc = std::function<int(void* ctx)>;

class TBoardEngine {
public:
    // --- constants ---
    static constexpr float fieldXSize = 20.0f;
    static constexpr float fieldYSize = 20.0f;

    static constexpr int modeDefault = 0;
    static constexpr int modeDevice = 1;
    static constexpr int modeWire = 2;
    static constexpr int modeCaption = 3;
    static constexpr int modeInvert = 4;
    static constexpr int modeRemove = 5;
    static constexpr int modeIC = 6;
    static constexpr int modeMove = 7;

    static constexpr int colorGreen = 0;
    static constexpr int colorRed = 1;
    static constexpr int colorYellow = 2;
    static constexpr int colorBlack = 3;
    static constexpr int colorBlue = 4;
    static constexpr int colorWhite = 5;
    static constexpr int colorGrey = 6;

    // --- fields, in declared order ---
    int bNetOn = 1;
    int bGridOn = 1;
    int bBorderOn = 1;
    int currentMode = modeDefault;

    std::vector<DevicePtr> deviceList;       // insertion order = step order = draw order = hit priority
    std::vector<WirePtr> wireComplexList;
    std::vector<CaptionPtr> captionList;

    int mx = 0, my = 0;   // mouse in board pixels
    int mh = 0;           // fresh press this Update
    int md = 0;           // primary button held
    int tx = 0, ty = 0;   // grid point under the mouse
    int ctrl = 0;

    std::vector<int> mark_x, mark_y, mark_color;  // this frame's marks, equal lengths

    DraftPtr modeDevice_Draft;
    int modeDevice_buildable = 0;

    int modeWire_state = 0;   // 0 idle, 1 start point chosen
    WirePtr modeWire_wire;    // net of the wire being drawn, or null
    int modeWire_sx = 0, modeWire_sy = 0;
    int modeWire_buildable = 0;

    CaptionPtr modeCaption_cap;
    CaptionFunc modeCaption_gameFunc;
    void* modeCaption_game = nullptr;
    CaptionPtr modeCaption_onMove;
    int modeCaption_tx = 0, modeCaption_ty = 0;

    int modeIC_typeOutput = 0;
    ICPickFunc modeIC_gameFunc;
    void* modeIC_game = nullptr;

    std::vector<DevicePtr> modeRemove_devices;          // one entry (possibly null)
    std::vector<WirePtr> modeRemove_wires;
    std::vector<std::vector<TLine>> modeRemove_lines;   // parallel to modeRemove_wires
    CaptionPtr modeRemove_cap;

    DevicePtr modeMove_markDevice;
    int modeMove_markDeviceEnable = 0;
    int modeMove_enable = 0;
    DevicePtr modeMove_currentDevice;
    WirePtr modeMove_currentWire;
    int modeMove_tx = 0, modeMove_ty = 0;

    int backgroundR = 0, backgroundG = 0, backgroundB = 0;
    int netR = 0, netG = 0, netB = 0;

    AddICFunc addICFunc;
    void* addICFuncObj = nullptr;
    ChangedFunc changedFunc;
    void* changedObj = nullptr;

    int bChanged = 0;

    // --- construction and housekeeping ---
    TBoardEngine();
    ~TBoardEngine();
    TBoardEngine(const TBoardEngine&) = delete;
    TBoardEngine& operator=(const TBoardEngine&) = delete;

    static std::shared_ptr<TBoardEngine> Create(CaptionFunc captionFunc = {}, void* captionObj = nullptr,
                                                AddICFunc icFunc = {}, void* icObj = nullptr,
                                                ChangedFunc changed = {}, void* changedObj = nullptr);
    void generate(CaptionFunc captionFunc, void* captionObj, AddICFunc icFunc, void* icObj,
                          ChangedFunc changed, void* changedObj);
    // Empties the device and net lists, marking every device and net invalid; captions stay.
    void Destroy();

    // Sets or clears the document's changed flag; setting it also tells the compiled simulation
    // that the circuit changed (see circuitEdited).
    void setChanged(int flag);
    // Sets the flag for a change the compiled simulation sees by itself (a switch's data).
    void markChanged();
    int isChanged() const { return bChanged; }
    void setBackgroundColor(int r, int g, int b);
    void getBackgroundColor(int& r, int& g, int& b) const;
    void setNetColor(int r, int g, int b);
    void getNetColor(int& r, int& g, int& b) const;
    // Hands an IC description from a board file to the application, when it gave a callback.
    void _addIC(const std::shared_ptr<TICDescription>& ic);

    // --- frame (defined with the editing modes and the board drawing) ---
    void Update(int mx, int my, int mh, int md, int ctrl);
    void Draw(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                      double viewWidth, double viewHeight);
    static void SetOwnColor(Renderer& r, int index);
    void DrawBackground(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                double viewWidth, double viewHeight);
    void DrawWires(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                           double fx, double fy);
    void DrawDevices(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                             double fx, double fy);
    void DrawCaptions(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                              double fx, double fy);
    void drawBorder(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                            double viewWidth, double viewHeight);

    // --- editing modes ---
    void startDefaultMode();
    void startDeviceMode(DraftPtr draft);
    void startWireMode();
    void startCaptionMode();
    void startInvertMode();
    void startRemoveMode();
    void startICMode(int typeOutput, ICPickFunc func, void* obj);
    void startMoveMode();

    void updateDefaultMode();
    void updateDeviceMode();
    void updateWireMode();
    void updateCaptionMode();
    void updateInvertMode();
    void updateRemoveMode();
    void updateICMode();
    void updateMoveMode();

    void drawDefaultMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                 double viewWidth, double viewHeight);
    void drawDeviceMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                double viewWidth, double viewHeight);
    void drawWireMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                              double viewWidth, double viewHeight);
    void drawCaptionMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                 double viewWidth, double viewHeight);
    void drawInvertMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                double viewWidth, double viewHeight);
    void drawRemoveMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                double viewWidth, double viewHeight);
    void drawICMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                            double viewWidth, double viewHeight);
    void drawMoveMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                              double viewWidth, double viewHeight);

    // --- grid and queries ---
    // Nearest grid point of a board-pixel position; halves round away from zero.
    static void MouseToTilePos(double px, double py, int& tx, int& ty);
    // First device whose body holds grid point (x, y): open body with inner 1, closed with 0.
    DevicePtr getDeviceAt(int x, int y, int inner) const;
    // Every net with a segment end at (x, y), in list order.
    std::vector<WirePtr> getWiresAt(int x, int y) const;
    // How many nets have a segment end at (x, y), and the first of them (null when none); the
    // allocation-free form of getWiresAt for callers that only need the count.
    int countWiresAt(int x, int y, WirePtr* first = nullptr) const;
    DevicePtr getDeviceAtPixPos(int px, int py) const;
    CaptionPtr getCaptionAtPixPos(int px, int py) const;
    // 1 when a device of `draft` may stand at (x, y): no net end and no other device's closed body
    // on any interior point of its body. `ignore` (the device being moved) is disregarded. A null
    // draft may stand nowhere.
    int posAbleForDraft(const DraftPtr& draft, int x, int y, const TDevice* ignore) const;
    // The device with an input (output) pin at (x, y) and the pin's index; only the first device
    // whose closed body holds the point is examined.
    DevicePtr posInputConnectableTo(int x, int y, int& index) const;
    DevicePtr posOutputConnectableTo(int x, int y, int& index) const;
    // The net input (output) pin i of a device of `draft` at (x, y) would join: the single net at the
    // pin's point (for an output: only if it has no driver yet), else null.
    WirePtr inputAddable(int x, int y, const TDraft& draft, int i) const;
    WirePtr outputAddable(int x, int y, const TDraft& draft, int i) const;
    // Devices whose closed grid body meets the closed grid rectangle [l, r] x [t, b], in list
    // order; `out` is cleared first. For drawing only what is in view: works outside a frame too.
    void devicesInRect(int l, int t, int r, int b, std::vector<TDevice*>& out);
    // Nets with a segment whose closed bounding box meets the rectangle, in list order; `out` is
    // cleared first. A long segment is found where the rectangle only crosses its middle.
    void netsInRect(int l, int t, int r, int b, std::vector<TWireComplex*>& out);

    // --- edits ---
    // Places a device of `draft` at (x, y), joins its pins to the nets they land on and appends it.
    // Answers null (and changes nothing) for a null draft.
    DevicePtr addDevice(const DraftPtr& draft, int x, int y);
    // Disconnects the device from its nets on both sides, marks it invalid and drops it from the list.
    void _removeDevice(TDevice* device);
    // Records a mark for this frame; a second mark at the same point replaces the colour.
    void markPos(int x, int y, int color);
    // One simulation step: every device in list order. Runs through a compiled form of the
    // device list (same results as stepping each device) unless `fastStep` is 0; the compiled form
    // is rebuilt after any edit the board hears of (circuitEdited), except that devices placed
    // since it was built are compiled onto it.
    void updateDevices();
    int fastStep = 1;
    // Tells the board that the circuit changed in a way it may not have seen itself (a pin, an
    // inversion, a net value or a non-switch device's data set from outside); every edit made
    // through the board's own operations already does this.
    void circuitEdited() {
        ++circuitVersion_;
        appendsFrom_ = circuitVersion_;
    }
    // How many times the simulation compiled the device list (for tests).
    uint64_t simulationCompiles() const { return fastSim_ ? fastSim_->compileCount() : 0; }
    // How many times it compiled devices appended to the list onto the form it had (for tests).
    uint64_t simulationAppends() const { return fastSim_ ? fastSim_->appendCount() : 0; }
    // How many times it took a device's toggled inversions in place (for tests).
    uint64_t simulationPatches() const { return fastSim_ ? fastSim_->patchCount() : 0; }
    // How many removed devices it forgot without compiling (for tests).
    uint64_t simulationRemovals() const { return fastSim_ ? fastSim_->removalCount() : 0; }
    // The spatial index of the hit tests (for the memory figures of benchmarks).
    const BoardIndex& spatialIndex() const { return *index_; }

    // --- nets (wire editing) ---
    // Merges net a into net b (segments, driver, readers); a leaves the list, invalid. The caller
    // makes sure they do not both have a driver.
    void _connectWires(TWireComplex* a, TWireComplex* b);
    // Replaces w by one new net per connected group of its remaining segments, re-attaching pins.
    void _repairWireAfterSplit(TWireComplex* w);
    // Detaches w from every device and drops it from the list, invalid.
    void _removeWire(TWireComplex* w);

    // --- hit-test index ---
    // Held by Update for the length of a frame: within it the hit tests use the spatial index.
    // Opening one runs the constant-time check described at the top; scopes nest.
    class FrameScope {
    public:
        explicit FrameScope(TBoardEngine& board);
        ~FrameScope();
        FrameScope(const FrameScope&) = delete;
        FrameScope& operator=(const FrameScope&) = delete;

    private:
        TBoardEngine& board_;
    };
    // Tells the index that the lists, device positions or segment lists changed behind the board's
    // back; it is rebuilt on its next use. Also counts as a circuit edit for the compiled step.
    void invalidateIndex();
    // How many times the index was rebuilt from the lists since the board was made.
    uint64_t indexRebuilds() const;

private:
    friend class BoardIndex;
    WirePtr findWire(const TWireComplex* w) const;
    bool indexActive() const;
    // Move mode's drop: the device keeps its place in the list and stands somewhere else.
    void deviceMoved(TDevice* d);
    // The changed flag alone, with the callback when it flips.
    void setChangedFlag(int flag);
    // The invert mode toggled an inversion of one of d's pins.
    void inversionToggled(TDevice& d);
    // d's pins were joined, parted or inverted and nothing else changed since the last step: asks
    // the compiled simulation to take that in place; false when the edit must be announced.
    bool simulationFollows(TDevice& d);
    // The same for every device whose pins a merge, split or removal of nets moved (all devices
    // that had a pin on a net that left the board among them); false when the edit must be
    // announced, and always for more than kFollowedPinMoves devices.
    bool simulationFollows(std::vector<TDevice*> moved);
    static constexpr size_t kFollowedPinMoves = 16;

    std::unique_ptr<BoardIndex> index_;
    int frameDepth_ = 0;
    uint64_t circuitVersion_ = 1;
    // The version after the last edit other than appending devices (see FastSimulator).
    uint64_t appendsFrom_ = 1;
    // Devices were appended to the list, joining only nets that exist: the compiled simulation
    // compiles just those.
    void devicesAppended() { ++circuitVersion_; }
    std::unique_ptr<FastSimulator> fastSim_;
    // The devices whose type acts when not clicked (push buttons), in list order, as of the
    // circuit version and list length they were collected at.
    std::vector<TDevice*> releasable_;
    uint64_t releasableVersion_ = 0;
    size_t releasableSize_ = SIZE_MAX;
    mutable std::vector<const WirePtr*> hits_;  // scratch for indexed net lookups

    // Off-screen skipping while Draw runs (BoardDraw.cpp): the view size (-1 outside Draw), the
    // measured drawing extent of each device type, and which devices reach into the view.
    struct DrawExtentCache;
    std::shared_ptr<DrawExtentCache> drawExtents_;
    double cullW_ = -1, cullH_ = -1;
    std::vector<unsigned char> visible_;
    bool outsideView(double l, double t, double r, double b) const;
};

}  // namespace gw
