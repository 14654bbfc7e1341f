// Helpers for board tests: a device type with pins exactly where a test wants them, a board that
// counts changed-flag flips, and short hands for driving the wire mode one frame at a time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "board/BoardEngine.h"
#include "board/Consistency.h"

namespace gwtest {

using Pins = std::vector<std::pair<int, int>>;

// Pins are stored as given; note that odd widths/heights report inputs one cell further
// right/down, as every type does.
class PinDraft : public gw::TFeatureDraft {
public:
    PinDraft(int w, int h, const Pins& ins, const Pins& outs) {
        width = w;
        Height = h;
        for (auto [x, y] : ins) {
            input_xpos.push_back(x);
            input_ypos.push_back(y);
            input_cap.push_back("");
        }
        for (auto [x, y] : outs) {
            output_xpos.push_back(x);
            output_ypos.push_back(y);
            output_cap.push_back("");
        }
    }
    // Every output copies input 0 (or 1 without inputs), so signals can be traced through a board.
    int Update(const int* in, int* out, gw::TDevice&) override {
        for (int i = 0; i < countOutputs(); ++i) out[i] = countInputs() ? in[0] : 1;
        return countOutputs();
    }
    int clickAble() const override { return 0; }
    std::string GetName() const override { return "T"; }
};

inline std::shared_ptr<PinDraft> draft(int w, int h, const Pins& ins = {}, const Pins& outs = {}) {
    return std::make_shared<PinDraft>(w, h, ins, outs);
}
// 2 x 2 bodies: a source driving its right edge (1, 0), a sink reading its left edge (-1, 0).
inline std::shared_ptr<PinDraft> source() { return draft(2, 2, {}, {{1, 0}}); }
inline std::shared_ptr<PinDraft> sink() { return draft(2, 2, {{-1, 0}}, {}); }

struct Board {
    int flips = 0;
    std::shared_ptr<gw::TBoardEngine> b = gw::TBoardEngine::Create(
        {}, nullptr, {}, nullptr, [](void* ctx) { ++*static_cast<int*>(ctx); return 1; }, &flips);

    gw::TBoardEngine* operator->() { return b.get(); }
    gw::TBoardEngine& operator*() { return *b; }

    // One wire-mode frame with the mouse over grid point (x, y).
    void frame(int x, int y, int press, int ctrl = 0) {
        b->tx = x;
        b->ty = y;
        b->mx = 20 * x;
        b->my = 20 * y;
        b->mh = press;
        b->md = press;
        b->ctrl = ctrl;
        b->mark_x.clear();
        b->mark_y.clear();
        b->mark_color.clear();
        gw::TBoardEngine::FrameScope scope(*b);
        b->updateWireMode();
    }
    void press(int x, int y, int ctrl = 0) { frame(x, y, 1, ctrl); }
    // The colour this frame's mark at (x, y) has, or -1.
    int markAt(int x, int y) const {
        for (size_t i = 0; i < b->mark_x.size(); ++i)
            if (b->mark_x[i] == x && b->mark_y[i] == y) return b->mark_color[i];
        return -1;
    }
    // Draws a straight wire in wire mode: press at the start, press at the end.
    void wire(int x1, int y1, int x2, int y2) {
        b->startWireMode();
        press(x1, y1);
        press(x2, y2);
    }
    std::string problems() const {
        std::string s;
        for (const auto& p : gw::checkBoard(*b)) s += p + "\n";
        return s;
    }
};

using Seg = std::pair<std::pair<int, int>, std::pair<int, int>>;
inline std::vector<Seg> segments(const gw::TWireComplex& w) {
    std::vector<Seg> v;
    for (const auto& l : w.lineList) v.push_back({{l.sx, l.sy}, {l.ex, l.ey}});
    return v;
}

}  // namespace gwtest
