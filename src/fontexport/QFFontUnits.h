#pragma once
// Font units. Outlines, widths and advances are measured in outline units;
// the font has 1000 units per em and 100 font units per outline unit (so
// 10 outline units make one em). A value is written as the nearest integer
// of font units, halves rounded away from zero.
//
// Every such number ends up in a 16-bit field of the binary font (metrics,
// and the integers of Type 2 charstrings), so a value is checked against
// its field's range before it is written: an out-of-range value is
// reported, never wrapped.

#include "platform/core/Result.h"

#include <cstdint>
#include <string_view>

inline constexpr double kQFFontUnitsPerOutlineUnit = 100.0;

// Ranges of the binary fields.
struct QFFieldRange {
    int64_t minimum;
    int64_t maximum;
};
inline constexpr QFFieldRange kQFSignedField{-32768, 32767};
inline constexpr QFFieldRange kQFUnsignedField{0, 65535};

// round(value x 100) when it is finite and lies in `range`; otherwise a
// QFFontErrorValueOutOfRange error naming `field`.
lf::Result<int32_t> QFFontUnitsFromOutlineUnits(double value, QFFieldRange range,
                                                std::string_view field);
