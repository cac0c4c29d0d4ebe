#pragma once
// Values of adjustment layers, decoded from their tagged blocks: levels
// ("levl"), curves ("curv"), exposure ("expA"), colour balance ("blnc"),
// hue/saturation ("hue2"), selective colour ("selc") and vibrance ("vibA").
// Posterize, threshold, gradient maps and brightness/contrast are plain
// values on OMPSDLayer.
//
// Each `fromBlock` returns null for a block that is too short or of an
// unknown version. Values are immutable once decoded and safe to share.
#include "psd/OMPSDContour.h"
#include "psd/OMPSDProperty.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

// One channel of a levels adjustment, every value a fraction except gamma.
struct OMPSDLevelsRecord {
    double inputFloor = 0;     // level / 255
    double inputCeiling = 1;   // level / 255
    double outputFloor = 0;    // level / 255
    double outputCeiling = 1;  // level / 255
    double gamma = 1;          // stored value / 100
};

class OMPSDLevelsList {
public:
    static std::shared_ptr<const OMPSDLevelsList> fromBlock(std::span<const uint8_t> data);
    // 0 master, 1 red, 2 green, 3 blue; any other index (and a record the
    // block does not hold) is the identity record.
    OMPSDLevelsRecord recordAtIndex(size_t index) const;

private:
    std::array<OMPSDLevelsRecord, 4> records_{};
};

// Curves with points in 0..1 (input level / 255 horizontally, output level
// / 255 vertically); a channel without a curve is null.
class OMPSDCurvesList {
public:
    static std::shared_ptr<const OMPSDCurvesList> fromBlock(std::span<const uint8_t> data);
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, masterCurve, setMasterCurve);
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, redCurve, setRedCurve);
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, greenCurve, setGreenCurve);
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDContour>, blueCurve, setBlueCurve);
};

// Exposure as stored: exposure in stops, offset, gamma (1.0 is neutral).
class OMPSDExposure {
public:
    static std::shared_ptr<const OMPSDExposure> fromBlock(std::span<const uint8_t> data);
    OMPSD_PROPERTY(double, exposure, setExposure, 0.0);
    OMPSD_PROPERTY(double, offset, setOffset, 0.0);
    OMPSD_PROPERTY(double, gamma, setGamma, 1.0);
};

// One tonal range of a colour balance: the three sliders as fractions
// -1..1 (the stored -100..100 / 100).
struct OMPSDColorBalanceValues {
    double cyanRed = 0;
    double magentaGreen = 0;
    double yellowBlue = 0;
};

class OMPSDColorBalance {
public:
    static std::shared_ptr<const OMPSDColorBalance> fromBlock(std::span<const uint8_t> data);
    OMPSD_PROPERTY(OMPSDColorBalanceValues, shadows, setShadows);
    OMPSD_PROPERTY(OMPSDColorBalanceValues, midtones, setMidtones);
    OMPSD_PROPERTY(OMPSDColorBalanceValues, highlights, setHighlights);
    OMPSD_PROPERTY(bool, preserveLuminosity, setPreserveLuminosity, true);
};

// One colour range of a hue/saturation adjustment: hue in degrees
// (-180..180), saturation and lightness as fractions -1..1, and the range
// bounds in degrees on the hue circle (rising from range0 to range1, full
// to range2, falling to range3; reds wrap round 0).
struct OMPSDHueSaturationRange {
    double hue = 0, saturation = 0, lightness = 0;
    double range0 = 0, range1 = 0, range2 = 360, range3 = 360;
};

class OMPSDHueSaturationList {
public:
    static std::shared_ptr<const OMPSDHueSaturationList> fromBlock(std::span<const uint8_t> data);
    OMPSD_PROPERTY(bool, shouldColorize, setShouldColorize, false);
    // Colorize: hue in degrees 0..360, saturation 0..1, lightness -1..1.
    OMPSD_PROPERTY(double, colorizationHue, setColorizationHue, 0.0);
    OMPSD_PROPERTY(double, colorizationSaturation, setColorizationSaturation, 0.0);
    OMPSD_PROPERTY(double, colorizationLightness, setColorizationLightness, 0.0);
    // Master: hue in degrees, saturation and lightness fractions -1..1.
    OMPSD_PROPERTY(double, masterHue, setMasterHue, 0.0);
    OMPSD_PROPERTY(double, masterSaturation, setMasterSaturation, 0.0);
    OMPSD_PROPERTY(double, masterLightness, setMasterLightness, 0.0);
    OMPSD_PROPERTY(OMPSDHueSaturationRange, reds, setReds);
    OMPSD_PROPERTY(OMPSDHueSaturationRange, yellows, setYellows);
    OMPSD_PROPERTY(OMPSDHueSaturationRange, greens, setGreens);
    OMPSD_PROPERTY(OMPSDHueSaturationRange, cyans, setCyans);
    OMPSD_PROPERTY(OMPSDHueSaturationRange, blues, setBlues);
    OMPSD_PROPERTY(OMPSDHueSaturationRange, magentas, setMagentas);
};

// One colour group of a selective colour adjustment: the cyan, magenta,
// yellow and black changes as fractions -1..1 (the stored -100..100 / 100).
struct OMPSDSelectiveColorValues {
    double cyan = 0, magenta = 0, yellow = 0, black = 0;
    friend bool operator==(const OMPSDSelectiveColorValues&,
                           const OMPSDSelectiveColorValues&) = default;
};

// The groups of a selective colour adjustment, in the stored order.
enum OMPSDSelectiveColorGroup : int {
    OMPSDSelectiveColorReds,
    OMPSDSelectiveColorYellows,
    OMPSDSelectiveColorGreens,
    OMPSDSelectiveColorCyans,
    OMPSDSelectiveColorBlues,
    OMPSDSelectiveColorMagentas,
    OMPSDSelectiveColorWhites,
    OMPSDSelectiveColorNeutrals,
    OMPSDSelectiveColorBlacks,
    OMPSDSelectiveColorGroupCount
};

class OMPSDSelectiveColor {
public:
    static std::shared_ptr<const OMPSDSelectiveColor> fromBlock(std::span<const uint8_t> data);
    // Absolute changes; else relative ones, each scaled by the amount of
    // its ink the colour already holds.
    OMPSD_PROPERTY(bool, isAbsolute, setIsAbsolute, false);
    using Groups = std::array<OMPSDSelectiveColorValues, OMPSDSelectiveColorGroupCount>;
    // By OMPSDSelectiveColorGroup.
    OMPSD_PROPERTY(Groups, groups, setGroups);
};

// Vibrance and saturation as fractions -1..1 ("vibrance" and "Strt"
// integers * 0.01; 0 when absent).
class OMPSDVibrance {
public:
    static std::shared_ptr<const OMPSDVibrance> fromBlock(std::span<const uint8_t> data);
    OMPSD_PROPERTY(double, vibrance, setVibrance, 0.0);
    OMPSD_PROPERTY(double, saturation, setSaturation, 0.0);
};
