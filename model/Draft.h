// TDraft: a device type, the template every placed device of that type shares. It knows the body
// size in grid cells, where its pins sit and what they are captioned, the body tint, how it computes
// outputs from inputs, its title and its identifier. All per-device state lives in TDevice, never
// here, so one draft serves every device placed from it.
//
// Grid geometry: a body of width w covers x = -trunc(w/2) .. -trunc(w/2) + w around the device's
// reference point (likewise for the height); odd sizes reach one cell further right/down. Input pin
// positions are reported one cell further right/down for odd sizes (getInputXPos/getInputYPos);
// outputs are reported as stored. Everything that places, wires, draws or hit-tests a pin uses the
// four get*Pos operations, never the stored arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/Compact.h"

namespace gw {

class TDevice;
class Renderer;
class TDraft;
class DeviceDraft;

using DraftPtr = std::shared_ptr<TDraft>;

class TDraft : public std::enable_shared_from_this<TDraft> {
public:
    int width = 0;
    int Height = 0;
    std::vector<int> input_xpos, input_ypos;
    std::vector<std::string> input_cap;
    std::vector<int> output_xpos, output_ypos;
    std::vector<std::string> output_cap;
    int colR = 255, colG = 255, colB = 255;

    virtual ~TDraft() = default;

    // One simulation step of `device`. `inputs` holds countInputs() values (0/1, inversion already
    // applied); the type writes its results into `outputs` (room for countOutputs() values) and
    // answers how many it wrote: countOutputs(), or 0 for "no result". May change device.data/obj.
    virtual int Update(const int* inputs, int* outputs, TDevice& device) = 0;
    // 1 when a click on a device of this type changes the user's circuit (the board marks itself
    // changed).
    virtual int clickAble() const = 0;

    // Drawing (see the drawing notes in Draft.cpp / DraftDraw.cpp).
    virtual void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                      const TDevice* device) const;
    virtual void _drawArea(Renderer& r, int x, int y, int w, int h, double px, double py, double sx,
                           double sy, double fx, double fy) const;
    virtual void DrawGhost(Renderer& r, double px, double py, double sx, double sy, double fx,
                           double fy) const;
    virtual void DrawWireConnection(Renderer& r, double x, double y, double sx, double sy) const;
    // True when Draw shows nothing of the device it is given (no state, data or hover): every
    // device of the type then looks the same, and the board may draw the picture once and repeat
    // it. A type whose Draw shows its device's state must answer false.
    virtual bool drawsEveryDeviceAlike() const { return true; }

    // The title drawn in the body centre; "" for none.
    virtual std::string GetName() const = 0;
    // The registry key and the type name stored in board files; "" for the base.
    virtual std::string getID() const { return ""; }

    virtual void drawConnections(Renderer& r, double px, double py, double sx, double sy, double fx,
                                 double fy, const TDevice* device) const;
    virtual void _drawConnection(Renderer& r, const std::string& caption, int x, int y, double px,
                                 double py, double sx, double sy, double fx, double fy,
                                 const TDevice* device) const;
    virtual void _drawTitle(Renderer& r, double px, double py, double sx, double sy, double fx,
                            double fy, const TDevice* device) const;

    virtual int countInputs() const { return static_cast<int>(input_xpos.size()); }
    virtual int getInputXPos(int i) const { return input_xpos[i] + (width % 2 != 0 ? 1 : 0); }
    virtual int getInputYPos(int i) const { return input_ypos[i] + (Height % 2 != 0 ? 1 : 0); }
    // Captions are answered by reference (every frame draws every pin); "" past the list.
    virtual const std::string& getInputCap(int i) const {
        return i >= 0 && i < static_cast<int>(input_cap.size()) ? input_cap[i] : noCaption();
    }
    virtual int countOutputs() const { return static_cast<int>(output_xpos.size()); }
    virtual int getOutputXPos(int i) const { return output_xpos[i]; }
    virtual int getOutputYPos(int i) const { return output_ypos[i]; }
    virtual const std::string& getOutputCap(int i) const {
        return i >= 0 && i < static_cast<int>(output_cap.size()) ? output_cap[i] : noCaption();
    }
    static const std::string& noCaption() {
        static const std::string none;
        return none;
    }

    // Mouse callbacks the board runs in the default editing mode.
    virtual void mouseOverFunc(TDevice& device) const;
    virtual void onClickFunc(TDevice& /*device*/) const {}
    virtual void noClickFunc(TDevice& /*device*/) const {}
    virtual void whileClickFunc(TDevice& /*device*/) const {}
    // Whether noClickFunc can change a device of this type. The default mode releases every device
    // not under the pressed mouse each frame; on large boards it visits only these.
    virtual bool actsWhenNotClicked() const { return false; }

private:
    friend class DeviceDraft;
    // The placed devices' hold on the draft: how many there are, and the draft's own shared
    // pointer while there are any. A copied draft is placed nowhere.
    struct Placed {
        uint32_t devices = 0;
        DraftPtr keep;
        Placed() = default;
        Placed(const Placed&) {}
        Placed& operator=(const Placed&) { return *this; }
    };
    Placed placed_;
};

// Base of the built-in kinds; adds nothing.
class TFeatureDraft : public TDraft {};

// The draft of a placed device. It keeps the draft alive as a DraftPtr would, in a four-byte link
// rather than two pointers (a large board holds a million devices): the first device placed from a
// draft makes the draft hold a shared pointer to itself, and the last one gone lets it go. A draft
// that no shared pointer owns is left to its owner. Like the devices it belongs to, used by one
// thread only.
class DeviceDraft {
public:
    DeviceDraft() noexcept = default;
    DeviceDraft(const DraftPtr& d) : p_(d.get()) { hold(); }  // NOLINT: converts as a DraftPtr copy
    DeviceDraft(const DeviceDraft& o) : p_(o.p_) { hold(); }
    DeviceDraft& operator=(const DeviceDraft& o) {
        DeviceDraft t(o);
        std::swap(p_, t.p_);
        return *this;
    }
    DeviceDraft& operator=(const DraftPtr& d) { return *this = DeviceDraft(d); }
    ~DeviceDraft() { drop(); }

    TDraft* get() const noexcept { return p_.get(); }
    TDraft* operator->() const noexcept { return get(); }
    TDraft& operator*() const noexcept { return *get(); }
    explicit operator bool() const noexcept { return !p_.isNull(); }
    // A shared pointer to the draft (one that owns nothing when no shared pointer owns it).
    DraftPtr ptr() const {
        TDraft* p = get();
        return !p ? nullptr : p->placed_.keep ? p->placed_.keep : DraftPtr(DraftPtr(), p);
    }
    operator DraftPtr() const { return ptr(); }  // NOLINT: reads as the DraftPtr it replaced

    friend bool operator==(const DeviceDraft& a, const DeviceDraft& b) noexcept { return a.p_.sameAs(b.p_); }
    friend bool operator==(const DeviceDraft& a, const DraftPtr& b) noexcept { return a.get() == b.get(); }
    friend bool operator==(const DeviceDraft& a, std::nullptr_t) noexcept { return a.p_.isNull(); }

private:
    void hold() {
        TDraft* p = get();
        if (p && p->placed_.devices++ == 0) p->placed_.keep = p->weak_from_this().lock();
    }
    void drop() noexcept {
        TDraft* p = std::exchange(p_, nullptr).get();
        if (p && --p->placed_.devices == 0) {
            const DraftPtr last = std::move(p->placed_.keep);  // may be the draft's end
        }
    }
    Compact<TDraft> p_;  // four bytes (model/Compact.h)
};

// Decimal text of an int as identifiers and labels write numbers.
inline std::string num(long long v) { return std::to_string(v); }
inline int odd(int n) { return n % 2 != 0 ? 1 : 0; }

}  // namespace gw
