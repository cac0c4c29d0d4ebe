#pragma once
// A byte range: location and length, both unsigned 64-bit.

#include <cstdint>

struct BARange {
    uint64_t location = 0;
    uint64_t length = 0;

    // One past the last byte. Only meaningful for ranges that fit, see
    // fitsWithin.
    uint64_t end() const { return location + length; }

    // True when the range lies inside [0, total), checked without overflow.
    bool fitsWithin(uint64_t total) const {
        return location <= total && length <= total - location;
    }

    friend bool operator==(const BARange&, const BARange&) = default;
};

inline BARange BAMakeRange(uint64_t location, uint64_t length) {
    return {location, length};
}
