// The board's frame update and its editing modes: Update stores the mouse, lets the current mode
// react (marks, placing, removing, dragging), then steps the simulation once. Each mode's drawing
// operation paints its feedback (ghosts, outlines, highlights) and the mode cursor. Wire mode lives
// with the wire editing; everything else about the modes is here.
//
// Refusals are never reported in words: a red mark or a red ghost is the whole answer, and a press
// on something red changes nothing.
#include <algorithm>
#include <typeinfo>

#include "board/BoardEngine.h"
#include "model/InputDevices.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw {

namespace {

inline int trunc(double v) { return static_cast<int>(v); }

// Screen position of grid point (g) along one axis.
inline double gridToScreen(double move, double scale, int g) { return move + scale * 20.0 * g; }

bool hasNoConnection(const TDevice& d) {
    for (const TWireComplex* n : d.inputs)
        if (n) return false;
    for (const TWireComplex* n : d.outputs)
        if (n) return false;
    return true;
}

// The frame of the mode image beside the mouse that every mode but the default one ends with.
void drawModeCursor(const TBoardEngine& b, Renderer& r, int frame, double xMove, double yMove,
                    double xScale, double yScale) {
    r.setTransform(0, 1, 1);
    TBoardEngine::SetOwnColor(r, TBoardEngine::colorBlack);
    r.setAlpha(1);
    r.drawImage(r.pics().mode.get(), trunc(xMove + xScale * b.mx), trunc(yMove + yScale * b.my), frame);
}

}  // namespace

// --- the frame ---

void TBoardEngine::Update(int mouseX, int mouseY, int mouseHit, int mouseDown, int ctrlDown) {
    FrameScope frame(*this);
    mx = mouseX;
    my = mouseY;
    mh = mouseHit;
    md = mouseDown;
    ctrl = ctrlDown;
    MouseToTilePos(mx, my, tx, ty);
    switch (currentMode) {
        case modeDefault: updateDefaultMode(); break;
        case modeDevice: updateDeviceMode(); break;
        case modeWire: updateWireMode(); break;
        case modeCaption: updateCaptionMode(); break;
        case modeInvert: updateInvertMode(); break;
        case modeRemove: updateRemoveMode(); break;
        case modeIC: updateICMode(); break;
        case modeMove: updateMoveMode(); break;
        default: break;  // an unknown mode edits nothing; the circuit still runs
    }
    updateDevices();
}

// --- starting modes: each sets the mode and keeps every other mode's state ---

void TBoardEngine::startDefaultMode() { currentMode = modeDefault; }

void TBoardEngine::startDeviceMode(DraftPtr draft) {
    currentMode = modeDevice;
    modeDevice_Draft = std::move(draft);
}

void TBoardEngine::startCaptionMode() { currentMode = modeCaption; }
void TBoardEngine::startInvertMode() { currentMode = modeInvert; }
void TBoardEngine::startRemoveMode() { currentMode = modeRemove; }

void TBoardEngine::startICMode(int typeOutput, ICPickFunc func, void* obj) {
    currentMode = modeIC;
    modeIC_typeOutput = typeOutput;
    modeIC_gameFunc = std::move(func);
    modeIC_game = obj;
}

void TBoardEngine::startMoveMode() { currentMode = modeMove; }

// --- default mode: operating the circuit ---

void TBoardEngine::updateDefaultMode() {
    const DevicePtr d = getDeviceAtPixPos(mx, my);
    if (d) {
        d->mouseOver();
        if (mh) {
            if (ctrl) {
                // Control-press picks the type to place more of; nothing else happens this frame.
                startDeviceMode(d->draft);
                return;
            }
            d->onClick();
            if (d->draft->clickAble()) {
                // A switch's data is read live by the compiled step, so a click on one changes
                // the document but not the circuit: no recompiling of a large board per click.
                if (typeid(*d->draft) == typeid(TSwich))
                    markChanged();
                else
                    setChanged(1);
            }
        }
        if (md) d->whileClick(); else d->noClick();
    }
    // Every other device is released. Only types whose release does something need the call, so
    // they are collected once per circuit change instead of visiting the whole list every frame.
    if (releasableVersion_ != circuitVersion_ || releasableSize_ != deviceList.size()) {
        releasable_.clear();
        for (const DevicePtr& dev : deviceList)
            if (dev->draft && dev->draft->actsWhenNotClicked()) releasable_.push_back(dev.get());
        releasableVersion_ = circuitVersion_;
        releasableSize_ = deviceList.size();
    }
    // A release only sets the device's own data; it never edits the list.
    for (size_t i = 0; i < releasable_.size(); ++i)
        if (releasable_[i] != d.get()) releasable_[i]->noClick();
}

// --- device mode: placing devices of one type ---

void TBoardEngine::updateDeviceMode() {
    // Without a type there is nothing to place and nothing to mark.
    if (!modeDevice_Draft) {
        modeDevice_buildable = 0;
        return;
    }
    const TDraft& draft = *modeDevice_Draft;
    modeDevice_buildable = posAbleForDraft(modeDevice_Draft, tx, ty, nullptr);
    for (int i = 0, n = draft.countInputs(); i < n; ++i) {
        const int px = tx + draft.getInputXPos(i), py = ty + draft.getInputYPos(i);
        if (inputAddable(tx, ty, draft, i)) markPos(px, py, colorGreen);
        else markPos(px, py, countWiresAt(px, py) == 0 ? colorYellow : colorRed);
    }
    for (int i = 0, n = draft.countOutputs(); i < n; ++i) {
        const int px = tx + draft.getOutputXPos(i), py = ty + draft.getOutputYPos(i);
        if (outputAddable(tx, ty, draft, i)) markPos(px, py, colorBlue);
        else markPos(px, py, countWiresAt(px, py) == 0 ? colorYellow : colorRed);
    }
    if (!mh) return;
    if (modeDevice_buildable) {
        addDevice(modeDevice_Draft, tx, ty);
    } else if (ctrl) {
        if (DevicePtr d = getDeviceAtPixPos(mx, my)) modeDevice_Draft = d->draft;
    }
}

void TBoardEngine::drawDeviceMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                  double, double) {
    if (modeDevice_Draft) {
        SetOwnColor(r, modeDevice_buildable ? colorGreen : colorRed);
        r.setAlpha(0.5);
        modeDevice_Draft->DrawGhost(r, gridToScreen(xMove, xScale, tx), gridToScreen(yMove, yScale, ty), xScale,
                                    yScale, 20, 20);
        SetOwnColor(r, colorWhite);
        r.setAlpha(0.25);
        modeDevice_Draft->DrawGhost(r, xMove + xScale * mx, yMove + yScale * my, xScale, yScale, 20, 20);
    }
    drawModeCursor(*this, r, 0, xMove, yMove, xScale, yScale);
}

// --- caption mode: adding, opening and dragging captions ---

void TBoardEngine::updateCaptionMode() {
    modeCaption_cap = getCaptionAtPixPos(mx, my);
    if (!modeCaption_cap) markPos(tx, ty, colorGreen);
    if (mh && !modeCaption_cap) {
        auto c = TCaption::Create();
        c->txt = "Unnamed";
        c->xPos = tx;
        c->yPos = ty;
        c->colR = c->colG = c->colB = 0;
        c->Size = 1;
        c->bShadow = 1;
        captionList.push_back(c);
        // Captions are not part of the circuit: the compiled simulation stays as it is.
        markChanged();
        if (modeCaption_gameFunc) modeCaption_gameFunc(c, modeCaption_game);
    } else if (mh) {
        // Hold our own reference: the editor callback may change the caption list.
        const CaptionPtr c = modeCaption_cap;
        if (modeCaption_gameFunc) modeCaption_gameFunc(c, modeCaption_game);
        modeCaption_onMove = c;
        modeCaption_tx = tx - c->xPos;
        modeCaption_ty = ty - c->yPos;
    } else if (md && modeCaption_onMove) {
        modeCaption_onMove->xPos = tx - modeCaption_tx;
        modeCaption_onMove->yPos = ty - modeCaption_ty;
        markChanged();
    } else {
        modeCaption_onMove = nullptr;
    }
}

void TBoardEngine::drawCaptionMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                   double, double) {
    for (const CaptionPtr& c : captionList) {
        r.setAlpha(0.5);
        SetOwnColor(r, c == modeCaption_cap ? colorGreen : colorBlack);
        c->drawGhost(r, xMove, yMove, xScale, yScale, 20, 20);
    }
    drawModeCursor(*this, r, 3, xMove, yMove, xScale, yScale);
}

// --- invert mode: toggling pin inversion ---

void TBoardEngine::updateInvertMode() {
    int k = 0;
    if (DevicePtr d = posInputConnectableTo(tx, ty, k)) {
        markPos(tx, ty, colorGreen);
        if (mh) {
            d->invertedInputs[k] = 1 - d->invertedInputs[k];
            inversionToggled(*d);
        }
    } else if (DevicePtr d = posOutputConnectableTo(tx, ty, k)) {
        markPos(tx, ty, colorGreen);
        if (mh) {
            d->invertedOutputs[k] = 1 - d->invertedOutputs[k];
            inversionToggled(*d);
        }
    }
}

void TBoardEngine::drawInvertMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                  double, double) {
    drawModeCursor(*this, r, 4, xMove, yMove, xScale, yScale);
}

// --- remove mode: devices and captions on the press, wire points while held ---

void TBoardEngine::updateRemoveMode() {
    modeRemove_cap = getCaptionAtPixPos(mx, my);
    modeRemove_devices.assign(1, getDeviceAtPixPos(mx, my));
    modeRemove_wires = getWiresAt(tx, ty);
    modeRemove_lines.assign(modeRemove_wires.size(), {});
    for (size_t i = 0; i < modeRemove_wires.size(); ++i)
        for (const TLine& l : modeRemove_wires[i]->lineList)
            if ((l.sx == tx && l.sy == ty) || (l.ex == tx && l.ey == ty)) modeRemove_lines[i].push_back(l);

    if (mh && modeRemove_cap) {
        // A caption lying over a device shields it: only the caption goes.
        const CaptionPtr c = modeRemove_cap;
        auto it = std::find(captionList.begin(), captionList.end(), c);
        if (it != captionList.end()) captionList.erase(it);
        c->Destroy();
        if (modeCaption_gameFunc) modeCaption_gameFunc(c, modeCaption_game);
        modeRemove_cap = nullptr;
        markChanged();
    } else if (mh) {
        for (const DevicePtr& d : modeRemove_devices)
            if (d && !d->notValid) _removeDevice(d.get());
        markChanged();  // each removal tells the simulation itself
    }

    if (md && !modeRemove_wires.empty()) {
        for (size_t i = 0; i < modeRemove_wires.size(); ++i) {
            TWireComplex& w = *modeRemove_wires[i];
            for (const TLine& l : modeRemove_lines[i]) {
                auto it = std::find(w.lineList.begin(), w.lineList.end(), l);
                if (it != w.lineList.end()) w.lineList.erase(it);
            }
            w.updateKnots = 1;
            // The repair replaces the net, and with it everything the index knew of its segments.
            _repairWireAfterSplit(&w);
        }
        markChanged();  // the repairs tell the simulation when pins moved
    }
}

void TBoardEngine::drawRemoveMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                  double, double) {
    r.setTransform(0, xScale, yScale);
    SetOwnColor(r, colorRed);
    r.setAlpha(0.5);
    for (const DevicePtr& d : modeRemove_devices) {
        if (!d) continue;
        // The ghost may change the colour (pins are drawn black); every ghost starts red.
        SetOwnColor(r, colorRed);
        d->draft->DrawGhost(r, gridToScreen(xMove, xScale, d->xPos), gridToScreen(yMove, yScale, d->yPos), xScale,
                            yScale, 20, 20);
    }
    r.setAlpha(1);
    const size_t n = std::min(modeRemove_wires.size(), modeRemove_lines.size());
    for (size_t i = 0; i < n; ++i) {
        if (modeRemove_lines[i].empty()) continue;
        modeRemove_wires[i]->Draw(r, xMove, yMove, xScale, yScale, 20, 20, 0);
        SetOwnColor(r, colorRed);
        for (const TLine& l : modeRemove_lines[i])
            TWireComplex::DrawWire(r, gridToScreen(xMove, xScale, l.sx), gridToScreen(yMove, yScale, l.sy),
                                   gridToScreen(xMove, xScale, l.ex), gridToScreen(yMove, yScale, l.ey), xScale,
                                   yScale);
    }
    r.setTransform(0, 1, 1);
    for (const CaptionPtr& c : captionList) {
        r.setAlpha(0.5);
        SetOwnColor(r, c == modeRemove_cap ? colorRed : colorBlack);
        c->drawGhost(r, xMove, yMove, xScale, yScale, 20, 20);
    }
    drawModeCursor(*this, r, 5, xMove, yMove, xScale, yScale);
}

// --- IC mode: picking one net for the IC tool ---

void TBoardEngine::updateICMode() {
    WirePtr net;
    if (countWiresAt(tx, ty, &net) == 1) {
        markPos(tx, ty, colorGreen);
        if (mh) {
            if (modeIC_gameFunc) modeIC_gameFunc(modeIC_typeOutput, net, modeIC_game);
            startDefaultMode();
        }
    } else {
        markPos(tx, ty, colorRed);
    }
}

void TBoardEngine::drawICMode(Renderer& r, double xMove, double yMove, double xScale, double yScale, double,
                              double) {
    drawModeCursor(*this, r, 6, xMove, yMove, xScale, yScale);
}

// --- move mode: moving devices that have no connected pin ---

void TBoardEngine::updateMoveMode() {
    if (!md) {
        if (modeMove_enable == 1 && modeMove_currentDevice) {
            modeMove_currentDevice->xPos = tx + modeMove_tx;
            modeMove_currentDevice->yPos = ty + modeMove_ty;
            deviceMoved(modeMove_currentDevice.get());
        }
        modeMove_enable = 0;
        modeMove_currentDevice = nullptr;
        modeMove_currentWire = nullptr;
        modeMove_markDevice = nullptr;
        if (DevicePtr d = getDeviceAtPixPos(mx, my)) {
            modeMove_markDevice = d;
            modeMove_markDeviceEnable = hasNoConnection(*d) ? 1 : 0;
        } else {
            WirePtr net;
            const int n = countWiresAt(tx, ty, &net);
            if (n == 1) {
                net->highlightIt = 1;
                markPos(tx, ty, colorGreen);
            } else if (n > 1) {
                markPos(tx, ty, colorRed);
            }
        }
        return;
    }
    if (modeMove_currentDevice) {
        // The press frame picked the device up; from here on each held frame tests the drop point.
        modeMove_enable = posAbleForDraft(modeMove_currentDevice->draft, tx + modeMove_tx, ty + modeMove_ty,
                                          modeMove_currentDevice.get());
    } else if (!modeMove_currentWire) {
        // A device marked before a mode switch may have been removed meanwhile; it is not picked up.
        if (modeMove_markDevice && modeMove_markDeviceEnable && !modeMove_markDevice->notValid) {
            modeMove_currentDevice = modeMove_markDevice;
            modeMove_tx = modeMove_currentDevice->xPos - tx;
            modeMove_ty = modeMove_currentDevice->yPos - ty;
            // Only devices without a connected pin move: the circuit stays as it is.
            markChanged();
        } else {
            WirePtr net;
            if (countWiresAt(tx, ty, &net) == 1) {
                net->highlightIt = 1;
                modeMove_currentWire = net;
                markChanged();
            }
        }
    }
}

void TBoardEngine::drawMoveMode(Renderer& r, double xMove, double yMove, double xScale, double yScale, double,
                                double) {
    r.setTransform(0, xScale, yScale);
    if (modeMove_markDevice) {
        SetOwnColor(r, modeMove_markDeviceEnable ? colorGreen : colorRed);
        r.setAlpha(modeMove_currentDevice ? 0.5 : 1);
        modeMove_markDevice->draft->DrawGhost(r, gridToScreen(xMove, xScale, modeMove_markDevice->xPos),
                                              gridToScreen(yMove, yScale, modeMove_markDevice->yPos), xScale,
                                              yScale, 20, 20);
    }
    if (const DevicePtr& d = modeMove_currentDevice) {
        SetOwnColor(r, modeMove_enable ? colorGreen : colorRed);
        r.setAlpha(0.5);
        d->draft->DrawGhost(r, gridToScreen(xMove, xScale, tx + modeMove_tx),
                            gridToScreen(yMove, yScale, ty + modeMove_ty), xScale, yScale, 20, 20);
        SetOwnColor(r, colorWhite);
        r.setAlpha(0.5);
        d->draft->DrawGhost(r, xMove + xScale * mx + xScale * 20 * modeMove_tx,
                            yMove + yScale * my + yScale * 20 * modeMove_ty, xScale, yScale, 20, 20);
    }
    drawModeCursor(*this, r, 2, xMove, yMove, xScale, yScale);
}

// The default mode shows nothing beyond the board itself.
void TBoardEngine::drawDefaultMode(Renderer&, double, double, double, double, double, double) {}

}  // namespace gw
