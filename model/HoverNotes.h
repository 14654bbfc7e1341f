// Devices whose hover flag was set since the board last drew: the board's drawing, which skips
// devices outside the view without visiting them, still has to clear the flag of a hovered device
// it does not draw, as drawing it would have done. Each note keeps the grid position the device
// had, so the board can find it again through its own lists (a note is only a key: the device may
// have been removed meanwhile and is never touched through the note itself).
#pragma once

#include <vector>

namespace gw {

class TDevice;

struct HoverNote {
    const TDevice* device;
    int x, y;
};

// Notes taken by TDraft::mouseOverFunc; the board empties them as it draws. At most a few
// hundred are kept (the oldest go first); a frame hovers one or two devices.
std::vector<HoverNote>& hoverNotes();

}  // namespace gw
