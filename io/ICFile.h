// The IC description record: the texts, the inner circuit, the pins, the body size and the colour
// of an IC, in a fixed field order with no header. The same record is an IC file of its own in ics/
// and is embedded in a board file for every IC device the board holds.
//
// Field order: Name, info, cap, id (text lines); deviceID (list of text lines); invertedInputs and
// invertedOutputs (lists of byte lists, one per inner device, written even when empty);
// wireBelongs (list per wire of entries: byte kind, int32 pin, int32 device); inputWires,
// outputWires (int32 lists); input_cap (text lines), input_xpos, input_ypos (int32 lists); the same
// three for outputs; width, Height (int32); colR, colG, colB (bytes). An empty record is 31 bytes.
#pragma once

#include <string>

namespace gw {

class ByteReader;
class ByteWriter;
class TICDescription;

void writeICRecord(ByteWriter& out, const TICDescription& dsc);

// Reads one record. The strings, size and colour of `dsc` are replaced and its lists appended to.
// A record that ends early leaves `dsc` untouched, answers false and puts into `error` which field
// was being read ("the data ends inside the inner wires (wire 3)"). Values are taken as they stand;
// whether the inner circuit can be built is checked when it is built.
bool readICRecord(ByteReader& in, TICDescription& dsc, std::string* error);

}  // namespace gw
