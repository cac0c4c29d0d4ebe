#pragma once
// OMPSDTypeRecord: what the reader takes from a type layer's type record
// ("TySh": version 1, the text's transform as six doubles, the text
// version 50, then the text descriptor and the warp). The text itself is
// drawn into the layer's pixels, which are what the compositing reads;
// this holds only how those pixels were anti-aliased. Immutable; safe to
// share.
#include "psd/OMPSDProperty.h"

#include <memory>
#include <span>
#include <string>

class OMPSDTypeRecord {
public:
    // From the block's bytes; null when its header or text descriptor is
    // damaged.
    static std::shared_ptr<const OMPSDTypeRecord> fromBlock(std::span<const uint8_t> data);

    // Anti-aliased by the system's text rendering, not Photoshop's own.
    bool isAntiAliasedByPlatform() const;

    // "AntA": "Anno" (none), "antiAliasSharp" or "AnCr" (sharp, crisp),
    // "AnSt" (strong), "AnSm" (smooth), or the system's own text rendering,
    // "antiAliasPlatformLCD" and "antiAliasPlatformGray"; empty when absent.
    OMPSD_PROPERTY(std::string, antiAliasing, setAntiAliasing);
};
