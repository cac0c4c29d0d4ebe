#pragma once
// ICNSPackBits: the run-length scheme of the icon format's planar RGB
// payloads. A header byte h below 128 is followed by h + 1 literal bytes
// (1 to 128); a header h from 128 up is followed by one byte that stands
// for h - 125 copies of it (3 to 130).
//
// The encoder looks for runs only inside its literal buffer: the byte that
// fills the buffer to 128 goes out as a literal even where it would have
// made a run of three, and counting starts afresh after every packet, so
// the output is the same byte for byte as other writers of the format.

#include "platform/files/Data.h"

#include <cstdint>
#include <span>

namespace ICNSPackBits {

lf::Data ICNSRLE24_encode(std::span<const uint8_t> bytes);
// The decoded bytes, at most `maximumLength`; fewer when the input runs
// out. A run header without its value byte ends the input; nothing is read
// past its end.
lf::Data ICNSRLE24_decodeWithMaximumLength(std::span<const uint8_t> bytes, uint64_t maximumLength);

}  // namespace ICNSPackBits
