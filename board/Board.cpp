// TBoardEngine: construction, the changed flag, colours, the grid, hit tests, placement and pin
// rules, adding and removing devices, marks and the simulation step.
#include "board/BoardEngine.h"

#include <algorithm>

#include "board/BoardIndex.h"
#include "model/ObjectPool.h"

namespace gw {

namespace {

// Body extent of a draft placed at (x, y), closed: left..right x top..bottom. Odd sizes reach one
// cell further right/down, exactly as TDevice::pointIn measures.
struct Box {
    int left, top, right, bottom;
};

Box bodyOf(const TDraft& d, int x, int y) {
    const int w = d.width, h = d.Height;
    return Box{x - static_cast<int>(0.5 * w), y - static_cast<int>(0.5 * h),
               x + static_cast<int>(0.5 * w) + odd(w), y + static_cast<int>(0.5 * h) + odd(h)};
}

template <class List, class T>
void eraseFirst(List& v, const T* p) {
    auto it = std::find(v.begin(), v.end(), p);
    if (it != v.end()) v.erase(it);
}

}  // namespace

TBoardEngine::TBoardEngine() : index_(std::make_unique<BoardIndex>(*this)) {}

TBoardEngine::~TBoardEngine() = default;

std::shared_ptr<TBoardEngine> TBoardEngine::Create(CaptionFunc captionFunc, void* captionObj,
                                                   AddICFunc icFunc, void* icObj,
                                                   ChangedFunc changed, void* changedCtx) {
    auto b = std::make_shared<TBoardEngine>();
    b->generate(std::move(captionFunc), captionObj, std::move(icFunc), icObj, std::move(changed),
                changedCtx);
    return b;
}

void TBoardEngine::generate(CaptionFunc captionFunc, void* captionObj, AddICFunc icFunc, void* icObj,
                            ChangedFunc changed, void* changedCtx) {
    deviceList.clear();
    wireComplexList.clear();
    captionList.clear();
    setBackgroundColor(240, 240, 240);
    setNetColor(200, 200, 200);
    modeCaption_gameFunc = std::move(captionFunc);
    modeCaption_game = captionObj;
    addICFunc = std::move(icFunc);
    addICFuncObj = icObj;
    changedFunc = std::move(changed);
    changedObj = changedCtx;
    invalidateIndex();
}

void TBoardEngine::Destroy() {
    // Whoever still holds a device or net (the IC tool, a mode field) must see it is gone.
    for (auto& d : deviceList) {
        std::fill(d->inputs.begin(), d->inputs.end(), nullptr);
        std::fill(d->outputs.begin(), d->outputs.end(), nullptr);
        d->Destroy();
    }
    for (auto& w : wireComplexList) {
        w->Input = nullptr;
        w->Destroy();
    }
    deviceList.clear();
    wireComplexList.clear();
    invalidateIndex();
}

void TBoardEngine::setChanged(int flag) {
    // Every edit of the circuit says so here, whether or not the flag flips.
    if (flag) circuitEdited();
    setChangedFlag(flag);
}

void TBoardEngine::markChanged() { setChangedFlag(1); }

bool TBoardEngine::simulationFollows(TDevice& d) {
    // Most devices are table ops, whose pins and tables (inversions folded in) the compiled form
    // takes in place instead of compiling the whole list again.
    return fastStep && fastSim_ && fastSim_->patchDevice(deviceList, circuitVersion_, d);
}

bool TBoardEngine::simulationFollows(std::vector<TDevice*> moved) {
    // A walk of the whole list finds them; past a few devices compiling afresh is as quick.
    if (moved.size() > kFollowedPinMoves) return false;
    return fastStep && fastSim_ && fastSim_->patchDevices(deviceList, circuitVersion_, std::move(moved));
}

void TBoardEngine::inversionToggled(TDevice& d) {
    if (simulationFollows(d))
        markChanged();
    else
        setChanged(1);
}

void TBoardEngine::setChangedFlag(int flag) {
    if (flag == bChanged) return;
    bChanged = flag;
    if (changedFunc) changedFunc(changedObj);
}

void TBoardEngine::setBackgroundColor(int r, int g, int b) {
    backgroundR = r;
    backgroundG = g;
    backgroundB = b;
}

void TBoardEngine::getBackgroundColor(int& r, int& g, int& b) const {
    r = backgroundR;
    g = backgroundG;
    b = backgroundB;
}

void TBoardEngine::setNetColor(int r, int g, int b) {
    netR = r;
    netG = g;
    netB = b;
}

void TBoardEngine::getNetColor(int& r, int& g, int& b) const {
    r = netR;
    g = netG;
    b = netB;
}

void TBoardEngine::_addIC(const std::shared_ptr<TICDescription>& ic) {
    if (addICFunc) addICFunc(ic, addICFuncObj);
}

// --- grid and queries ---

void TBoardEngine::MouseToTilePos(double px, double py, int& outX, int& outY) {
    outX = static_cast<int>(px / fieldXSize + 0.5);
    if (px <= -0.5 * fieldXSize) --outX;
    outY = static_cast<int>(py / fieldYSize + 0.5);
    if (py <= -0.5 * fieldYSize) --outY;
}

DevicePtr TBoardEngine::getDeviceAt(int x, int y, int inner) const {
    if (indexActive()) {
        const DevicePtr* d = index_->deviceAt(x, y, inner);
        return d ? *d : nullptr;
    }
    for (const auto& d : deviceList)
        if (d->pointIn(x, y, inner)) return d;
    return nullptr;
}

std::vector<WirePtr> TBoardEngine::getWiresAt(int x, int y) const {
    std::vector<WirePtr> out;
    if (indexActive()) {
        index_->wiresAt(x, y, hits_);
        out.reserve(hits_.size());
        for (const WirePtr* w : hits_) out.push_back(*w);
        return out;
    }
    for (const auto& w : wireComplexList)
        if (w->isAt(x, y)) out.push_back(w);
    return out;
}

int TBoardEngine::countWiresAt(int x, int y, WirePtr* first) const {
    int n = 0;
    if (first) first->reset();
    if (indexActive()) {
        index_->wiresAt(x, y, hits_);
        if (first && !hits_.empty()) *first = *hits_[0];
        return static_cast<int>(hits_.size());
    }
    for (const auto& w : wireComplexList) {
        if (!w->isAt(x, y)) continue;
        if (n == 0 && first) *first = w;
        ++n;
    }
    return n;
}

DevicePtr TBoardEngine::getDeviceAtPixPos(int px, int py) const {
    if (indexActive()) {
        const DevicePtr* d = index_->deviceAtPixel(px, py);
        return d ? *d : nullptr;
    }
    for (const auto& d : deviceList) {
        const int w = d->draft->width, h = d->draft->Height;
        const long long left = 20LL * (d->xPos - static_cast<int>(0.5 * w));
        const long long top = 20LL * (d->yPos - static_cast<int>(0.5 * h));
        if (left <= px && px <= left + 20LL * w && top <= py && py <= top + 20LL * h) return d;
    }
    return nullptr;
}

CaptionPtr TBoardEngine::getCaptionAtPixPos(int px, int py) const {
    for (const auto& c : captionList)
        if (c->containsPixel(px, py)) return c;
    return nullptr;
}

int TBoardEngine::posAbleForDraft(const DraftPtr& draft, int x, int y, const TDevice* ignore) const {
    if (!draft) return 0;
    const Box b = bodyOf(*draft, x, y);
    // The interior is what must be free; the answer does not depend on scan order, so one pass over
    // each list checks the whole interior rectangle at once.
    const int l = b.left + 1, r = b.right - 1, t = b.top + 1, bt = b.bottom - 1;
    if (l > r || t > bt) return 1;
    if (indexActive()) {
        const int wires = index_->anyWireEndIn(l, t, r, bt);
        if (wires == 1) return 0;
        const int devs = wires == 0 ? index_->anyDeviceMeets(l, t, r, bt, ignore) : -1;
        if (devs >= 0) return devs ? 0 : 1;
    }
    for (const auto& w : wireComplexList)
        for (const TLine& s : w->lineList)
            if ((l <= s.sx && s.sx <= r && t <= s.sy && s.sy <= bt) ||
                (l <= s.ex && s.ex <= r && t <= s.ey && s.ey <= bt))
                return 0;
    for (const auto& d : deviceList) {
        if (d.get() == ignore) continue;
        const Box o = bodyOf(*d->draft, d->xPos, d->yPos);
        if (o.left <= r && l <= o.right && o.top <= bt && t <= o.bottom) return 0;
    }
    return 1;
}

DevicePtr TBoardEngine::posInputConnectableTo(int x, int y, int& index) const {
    DevicePtr d = getDeviceAt(x, y, 0);
    if (!d) return nullptr;
    const TDraft& dr = *d->draft;
    const int n = dr.countInputs();
    for (int i = 0; i < n; ++i) {
        if (d->xPos + dr.getInputXPos(i) == x && d->yPos + dr.getInputYPos(i) == y) {
            index = i;
            return d;
        }
    }
    return nullptr;
}

DevicePtr TBoardEngine::posOutputConnectableTo(int x, int y, int& index) const {
    DevicePtr d = getDeviceAt(x, y, 0);
    if (!d) return nullptr;
    const TDraft& dr = *d->draft;
    const int n = dr.countOutputs();
    for (int i = 0; i < n; ++i) {
        if (d->xPos + dr.getOutputXPos(i) == x && d->yPos + dr.getOutputYPos(i) == y) {
            index = i;
            return d;
        }
    }
    return nullptr;
}

WirePtr TBoardEngine::inputAddable(int x, int y, const TDraft& draft, int i) const {
    WirePtr w;
    if (countWiresAt(x + draft.getInputXPos(i), y + draft.getInputYPos(i), &w) != 1) return nullptr;
    return w;
}

WirePtr TBoardEngine::outputAddable(int x, int y, const TDraft& draft, int i) const {
    WirePtr w;
    if (countWiresAt(x + draft.getOutputXPos(i), y + draft.getOutputYPos(i), &w) != 1) return nullptr;
    return w->Input ? nullptr : w;
}

void TBoardEngine::devicesInRect(int l, int t, int r, int b, std::vector<TDevice*>& out) {
    index_->checkGuards();
    if (index_->devicesInRect(l, t, r, b, out) >= 0) return;
    for (const auto& d : deviceList) {
        const Box o = bodyOf(*d->draft, d->xPos, d->yPos);
        if (o.left <= r && l <= o.right && o.top <= b && t <= o.bottom) out.push_back(d.get());
    }
}

void TBoardEngine::netsInRect(int l, int t, int r, int b, std::vector<TWireComplex*>& out) {
    index_->checkGuards();
    if (index_->netsInRect(l, t, r, b, out) >= 0) return;
    for (const auto& w : wireComplexList) {
        for (const TLine& s : w->lineList) {
            if (std::min(s.sx, s.ex) <= r && l <= std::max(s.sx, s.ex) && std::min(s.sy, s.ey) <= b &&
                t <= std::max(s.sy, s.ey)) {
                out.push_back(w.get());
                break;
            }
        }
    }
}

// --- edits ---

DevicePtr TBoardEngine::addDevice(const DraftPtr& draft, int x, int y) {
    if (!draft) return nullptr;
    markChanged();
    auto d = makePooled<TDevice>(draft, x, y);
    const int ni = draft->countInputs(), no = draft->countOutputs();
    for (int i = 0; i < ni; ++i) {
        if (WirePtr w = inputAddable(x, y, *draft, i)) {
            w->outputList.push_back(d.get());
            d->inputs[i] = w.get();
        }
    }
    for (int i = 0; i < no; ++i) {
        if (WirePtr w = outputAddable(x, y, *draft, i)) {
            w->Input = d.get();
            d->outputs[i] = w.get();
        }
    }
    deviceList.push_back(d);
    index_->deviceAdded(d);
    devicesAppended();
    return d;
}

void TBoardEngine::_removeDevice(TDevice* device) {
    if (!device) return;
    auto it = std::find_if(deviceList.begin(), deviceList.end(),
                           DevicePtr::refersTo(device));
    // A device the board no longer holds has been disconnected already; its pointers may name nets
    // that are gone, so they must not be followed.
    if (it == deviceList.end()) return;
    DevicePtr keep = *it;  // the device must outlive its own removal
    // The compiled simulation lets the device's ops idle instead of compiling the list again.
    const bool followed = fastStep && fastSim_ && fastSim_->removeDevice(deviceList, circuitVersion_, *device);
    for (auto& w : device->inputs) {
        if (!w) continue;
        // A device reading one net on several pins is listed once per pin.
        eraseFirst(w->outputList, device);
        w = nullptr;
    }
    for (auto& w : device->outputs) {
        if (!w) continue;
        if (w->Input == device) w->Input = nullptr;
        w = nullptr;
    }
    device->Destroy();
    index_->deviceRemoved(device);
    deviceList.erase(it);
    if (!followed) circuitEdited();
}

void TBoardEngine::markPos(int x, int y, int color) {
    for (size_t i = 0; i < mark_x.size(); ++i) {
        if (mark_x[i] == x && mark_y[i] == y) {
            mark_color[i] = color;
            return;
        }
    }
    mark_x.push_back(x);
    mark_y.push_back(y);
    mark_color.push_back(color);
}

void TBoardEngine::updateDevices() {
    if (!fastStep) {
        stepDevices(deviceList);
        return;
    }
    if (!fastSim_) fastSim_ = std::make_unique<FastSimulator>();
    fastSim_->step(deviceList, circuitVersion_, appendsFrom_);
}

// --- index plumbing ---

TBoardEngine::FrameScope::FrameScope(TBoardEngine& board) : board_(board) {
    if (board_.frameDepth_++ == 0) board_.index_->checkGuards();
}

TBoardEngine::FrameScope::~FrameScope() { --board_.frameDepth_; }

void TBoardEngine::invalidateIndex() {
    circuitEdited();
    if (index_) index_->invalidate();
}

bool TBoardEngine::indexActive() const { return frameDepth_ > 0; }

uint64_t TBoardEngine::indexRebuilds() const { return index_->rebuilds(); }

void TBoardEngine::deviceMoved(TDevice* d) {
    // Only devices without a connected pin move, and the simulation never reads a position: the
    // compiled circuit stays valid.
    index_->deviceMoved(d);
}

WirePtr TBoardEngine::findWire(const TWireComplex* w) const {
    const auto it = std::find_if(wireComplexList.begin(), wireComplexList.end(), WirePtr::refersTo(w));
    return it == wireComplexList.end() ? nullptr : *it;
}

}  // namespace gw
