// A structural check of a board, for tests to run after any edit. It answers a list of readable
// problems, empty when the board is sound, so a failing test can say what broke.
//
// Checked: the lists hold no null, removed or repeated object; every device's pin arrays have its
// draft's lengths; every device<->net reference is recorded on both sides (a reader once per pin, a
// driver as the net's Input) and names a net still on the board; a connected pin sits on a segment
// end of its net; a net has at most one driving pin; a net has segments, none of zero length, none
// repeated, none passing a grid point without ending there, and they all hang together; the mark
// arrays have equal lengths.
#pragma once

#include <string>
#include <vector>

namespace gw {

class TBoardEngine;

std::vector<std::string> checkBoard(const TBoardEngine& board);

}  // namespace gw
