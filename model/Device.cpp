#include "model/Device.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <utility>

#include "model/SlotStore.h"
#include "model/Wire.h"

namespace gw {

int* detail::gDeviceData = nullptr;
TDeviceObj** detail::gDeviceObjs = nullptr;

namespace {
// The table behind DeviceObj: entries by number, and the numbers given back (reused first).
struct DeviceObjTable {
    std::vector<TDeviceObj*> objs{nullptr};
    std::vector<uint32_t> free;
};
DeviceObjTable& objTable() {
    static auto* t = new DeviceObjTable;  // outlives devices freed at exit
    return *t;
}
}  // namespace

void DeviceObj::set(std::unique_ptr<TDeviceObj> p) {
    if (!p) {
        reset();
        return;
    }
    if (i_) {  // the entry stays the device's
        delete std::exchange(detail::gDeviceObjs[i_], p.release());
        return;
    }
    DeviceObjTable& t = objTable();
    if (t.free.empty()) {
        if (t.objs.size() > UINT32_MAX - 1) throw std::length_error("too many device state objects");
        t.objs.push_back(nullptr);
        t.free.reserve(t.objs.capacity());  // giving the entry back never allocates
        detail::gDeviceObjs = t.objs.data();
        i_ = static_cast<uint32_t>(t.objs.size() - 1);
    } else {
        i_ = t.free.back();
        t.free.pop_back();
    }
    t.objs[i_] = p.release();
}

void DeviceObj::reset() noexcept {
    if (!i_) return;
    DeviceObjTable& t = objTable();
    TDeviceObj* o = std::exchange(t.objs[i_], nullptr);
    t.free.push_back(std::exchange(i_, 0));
    delete o;
}

size_t DeviceObj::live() {
    const DeviceObjTable& t = objTable();
    return t.objs.size() - 1 - t.free.size();
}

namespace {

// Never destroyed, like the store of net values: devices that live until exit may be freed after
// any destructor of this file would have run.
SlotArena& dataStore() {
    static SlotArena* s = [] {
        const ValueRegions& r = valueRegions();
        auto* a = new SlotArena(sizeof(int), DeviceDataStore::kChunkSlots, r.base + r.halfBytes,
                                std::min<size_t>(r.halfBytes, size_t{DeviceDataStore::kMaxSlots} * sizeof(int)), 1);
        detail::gDeviceData = reinterpret_cast<int*>(a->base());
        return a;
    }();
    return *s;
}

}  // namespace

int* DeviceDataStore::base() { return reinterpret_cast<int*>(dataStore().base()); }
uint32_t DeviceDataStore::acquire(int value) {
    const uint32_t s = dataStore().acquire();
    detail::gDeviceData[s] = value;
    return s;
}
void DeviceDataStore::release(uint32_t slot) { dataStore().release(slot); }
uint32_t DeviceDataStore::acquireRun(uint32_t n) { return dataStore().acquireRun(n); }
size_t DeviceDataStore::inUse() { return dataStore().inUse(); }
size_t DeviceDataStore::top() { return dataStore().top(); }
size_t DeviceDataStore::committedBytes() { return dataStore().committedBytes(); }
uint32_t DeviceDataStore::lowByteOffset(uint32_t slot) {
    dataStore();
    const size_t at = valueRegions().halfBytes + size_t{slot} * sizeof(int) +
                      (std::endian::native == std::endian::big ? sizeof(int) - 1 : 0);
    return static_cast<uint32_t>(at);
}

TDevice::TDevice(DraftPtr d, int x, int y) : xPos(x), yPos(y), draft(std::move(d)) { sizePins(); }

void TDevice::sizePins() {
    const int ni = draft ? draft->countInputs() : 0;
    const int no = draft ? draft->countOutputs() : 0;
    inputs.assign(ni, nullptr);
    invertedInputs.assign(ni, 0);
    outputs.assign(no, nullptr);
    invertedOutputs.assign(no, 0);
}

namespace {
thread_local std::vector<int> bigIns, bigOuts;
}  // namespace

PinBuffers::PinBuffers(int ni, int no) : ins(insBuf_), outs(outsBuf_) {
    if (ni > kStackPins) {
        if (static_cast<int>(bigIns.size()) < ni) bigIns.resize(ni);
        ins = bigIns.data();
    }
    if (no > kStackPins) {
        if (static_cast<int>(bigOuts.size()) < no) bigOuts.resize(no);
        outs = bigOuts.data();
    }
}

void TDevice::Update() {
    const int ni = static_cast<int>(inputs.size());
    const int no = draft->countOutputs();
    PinBuffers buf(ni, no);
    int* ins = buf.ins;
    int* outs = buf.outs;
    for (int i = 0; i < ni; ++i) {
        const TWireComplex* n = inputs[i];
        ins[i] = n ? (n->State == (invertedInputs[i] == 0 ? 1 : 0) ? 1 : 0) : 0;
    }
    int nout = draft->Update(ins, outs, *this);
    if (nout > static_cast<int>(outputs.size())) nout = static_cast<int>(outputs.size());
    for (int i = 0; i < nout; ++i) {
        TWireComplex* n = outputs[i];
        if (n) n->State = outs[i] == (invertedOutputs[i] == 0 ? 1 : 0) ? 1 : 0;
    }
}

int TDevice::pointIn(int x, int y, int inner) const {
    const int w = draft->width, h = draft->Height;
    const int left = xPos - static_cast<int>(0.5 * w);
    const int right = xPos + static_cast<int>(0.5 * w) + odd(w);
    const int top = yPos - static_cast<int>(0.5 * h);
    const int bottom = yPos + static_cast<int>(0.5 * h) + odd(h);
    if (inner) return (left < x && x < right && top < y && y < bottom) ? 1 : 0;
    return (left <= x && x <= right && top <= y && y <= bottom) ? 1 : 0;
}

}  // namespace gw
