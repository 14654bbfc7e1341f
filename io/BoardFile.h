// The board file (".gwb"): everything needed to rebuild a board, as a compact binary stream of five
// sections with no header: the IC description records of the board's IC devices (one per device),
// the devices (type id, position, data word, inversion flags), the wire nets (segments, the input
// pins they feed, the output pins driving them), six colour bytes (background, grid) and the
// captions. Every list is a continuation-byte list; integers are little-endian on every host. An
// empty board is exactly ten bytes: 0, 0, 0, the six colour bytes, 0.
//
// Saving writes a temporary file beside the target and renames it into place, so a failed save
// never damages the file that was there.
//
// Loading never trusts the file. Everything is read into a scratch board first; only a complete,
// consistent file is moved into the board, so a failed load leaves the board exactly as it was. A
// failure names the section, the record and the reason ("wire section, net 3, sink 2: device 17
// does not exist; the file holds 10 devices"). Nothing is read past the end of the data and no list
// grows beyond what the remaining bytes can hold. IC descriptions are handed to the board's IC
// callback as they are read (so the types the devices need are registered first); they stay
// announced even when a later part of the file fails. Device types are looked up in the registry.
//
// Coordinates (device positions, segment ends, caption positions) must lie within
// ±kMaxBoardCoordinate cells: the board turns cells into pixels and body edges with plain int
// arithmetic, and no one draws that far out, so a file with larger values is refused.
//
// Repairs instead of failures: a device whose inversion lists are shorter or longer than its type's
// pin counts is padded with 0 (not inverted) or cut to the pin count, and the load goes on with a
// warning. Refused although the plain format would take them, because the board could not stay
// consistent: an input or output pin listed on two nets (or twice on one), and a net listed with
// drivers on two different devices or on two output pins of one device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gw {

class ByteReader;
class TBoardEngine;

struct BoardLoadReport {
    std::string error;                  // why the load failed; "" on success
    std::vector<std::string> warnings;  // repairs made on the way (one sentence each)
};

// Appends the board file bytes of `board` to `out`. Answers 1.
int WriteToStream(const TBoardEngine& board, std::string& out);
// Saves `board` to `path`. Answers 1, or 0 with a sentence naming the file and cause in `error`.
int writeToFile(const TBoardEngine& board, const std::string& path, std::string* error = nullptr);

// Reads one board file from `in` and, on success, appends its devices, nets and captions to `board`
// and takes over its colours. Answers 1 on success, 0 on failure (reason in report->error; `board`
// unchanged except that IC descriptions met before the failure were announced).
int ReadFromStream(TBoardEngine& board, ByteReader& in, BoardLoadReport* report = nullptr);
// The same from a file; a failure to open or read names the file.
int readFromFile(TBoardEngine& board, const std::string& path, BoardLoadReport* report = nullptr);

constexpr int32_t kMaxBoardCoordinate = 1 << 24;

// Largest board file the reader accepts.
constexpr std::size_t kMaxBoardFileBytes = 1024u * 1024u * 1024u;

}  // namespace gw
