#pragma once
// Blend modes by number, in Photoshop's order: the index into the blend
// kernel tables, shared by the blend node and the layer compositing.

enum BNBlendMode : int {
    BNBlendModeNormal = 0,
    BNBlendModeDissolve = 1,
    BNBlendModeDarken = 2,
    BNBlendModeMultiply = 3,
    BNBlendModeColorBurn = 4,
    BNBlendModeLinearBurn = 5,
    BNBlendModeDarkerColor = 6,
    BNBlendModeLighten = 7,
    BNBlendModeScreen = 8,
    BNBlendModeColorDodge = 9,
    BNBlendModeLinearDodge = 10,
    BNBlendModeLighterColor = 11,
    BNBlendModeOverlay = 12,
    BNBlendModeSoftLight = 13,
    BNBlendModeHardLight = 14,
    BNBlendModeVividLight = 15,
    BNBlendModeLinearLight = 16,
    BNBlendModePinLight = 17,
    BNBlendModeHardMix = 18,
    BNBlendModeDifference = 19,
    BNBlendModeExclusion = 20,
    BNBlendModeSubtract = 21,
    BNBlendModeDivide = 22,
    BNBlendModeHue = 23,
    BNBlendModeSaturation = 24,
    BNBlendModeColor = 25,
    BNBlendModeLuminosity = 26,
};

inline constexpr int BNBlendModeCount = 27;
