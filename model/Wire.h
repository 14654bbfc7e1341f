// TWireComplex: one electrical net on the board — the straight segments (TLine) the user drew that
// touch each other, the one device output driving it (Input), the device inputs reading it
// (outputList) and the value it carries (State). Junction dots (TKnot) are derived from the segment
// ends and only drawn. Device <-> net links are recorded on both sides; the board keeps them so.
#pragma once

#include <cstdint>
#include <vector>

#include "model/PinList.h"

namespace gw {

class TDevice;
class Renderer;

struct TLine {
    int sx = 0, sy = 0;
    int ex = 0, ey = 0;

    // The segment in screen coordinates: (trunc(sx*scaleX + ox), ...).
    static TLine createRightCoords(const TLine& line, double sx, double sy, double ox, double oy);
    bool operator==(const TLine&) const = default;
};

struct TKnot {
    int xPos = 0, yPos = 0;
    int Count = 0;
};

class TWireComplex {
public:
    TDevice* Input = nullptr;             // the driver, or nullptr
    PinList<TDevice*, 2> outputList;      // the readers, in connection order
    int State = 0;
    std::vector<TLine> lineList;          // in the order added
    int highlightIt = 0;
    std::vector<TKnot> knotList;          // derived from lineList
    int updateKnots = 1;
    int notValid = 0;
    // Scratch of the compiled simulation step (sim/CompiledCircuit): the net's slot in the flat
    // form, tagged in the upper half with the stamp of the build that assigned it. A build takes a
    // fresh stamp, so a tag left by an earlier build (or copied along with the net) never matches;
    // this replaces a pointer-keyed hash lookup per pin when compiling a large board.
    uint64_t simSlot = 0;

    // Marks the net as taken off the board and forgets its readers. The board clears the devices'
    // references to it.
    void Destroy();
    // 1 when some segment starts or ends at (x, y); points inside a segment do not count.
    int isAt(int x, int y) const;
    int containsDot(int x, int y) const { return isAt(x, y); }
    void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
              int ownColour);
    // Appends the segment unless one with the same two ends (either direction) exists. Answers the
    // new segment, or nullptr when nothing was added. The pointer stays valid until lineList changes.
    TLine* addWire(int sx, int sy, int ex, int ey);
    // The first segment whose ends are the two points in either order, or nullptr.
    TLine* containsLine(int x1, int y1, int x2, int y2);
    static void DrawWire(Renderer& r, double x1, double y1, double x2, double y2, double sx, double sy);
    void recalcKnots();
    void addKnot(int x, int y);
};

}  // namespace gw
