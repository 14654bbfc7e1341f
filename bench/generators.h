// Board generators shared by the benchmarks: reproducible random boards of any size, built straight
// into a TBoardEngine's lists (placing a million devices through the editing operations would
// measure their hit tests instead).
//
// makeRandomBoard builds the board from small blocks of the kind people draw: clusters of gates
// (AND, OR, inverters, NAND/NOR through inverted outputs), ripple-carry adders, cross-coupled
// latches, banks of memory cells, counters with a decoding gate, and now and then a clock, random
// generator, switch, LED or digit display. Most inputs read a net driven a few devices earlier; some
// read a net that is only driven later in the list (feedback: it is seen one step late, and loops
// through it oscillate or hold), a few read a net far away, a few stay unwired; about one pin in
// eight is inverted. Devices stand on a grid of slots, 1,000 to a row; every net gets segments
// from its driver's pin to each reader's pin: short wires split at every grid point as the editor
// lays them, wires longer than 32 cells as two long segments (a board whose cross-board wires were
// split per cell would measure the generator rather than the program).
#pragma once

#include <cstdint>
#include <memory>

#include "board/BoardEngine.h"

namespace gwbench {

std::shared_ptr<gw::TBoardEngine> makeRandomBoard(size_t devices, uint32_t seed = 1);

// A board of `ics` devices of one IC type whose inner circuit has `inner` devices (gates, adders,
// memory cells and counters wired mostly to their near predecessors, with some feedback), four
// inputs and four outputs. Each IC reads the outputs of the one before it; the first reads a clock
// and a random generator. Registers the built-in types, which the inner circuit is made of.
std::shared_ptr<gw::TBoardEngine> makeICBoard(size_t ics, size_t inner, uint32_t seed = 1);

}  // namespace gwbench
