#pragma once
// Channels of render-graph surfaces.
//
// A surface holds one to five of the channels R, G, B, A (opacity) and F
// (fill), chosen by a bit mask, interleaved per pixel in channel-index
// order: mask 15 is R G B A, 23 is R G B F, 8 is A alone, 16 F alone. The
// fill channel is a second coverage channel: a layer's fill opacity applies
// to it. Colour samples are premultiplied by the pixel's coverage (A or F)
// and every sample of a valid surface lies in [0, 1].
//
// Colour arrays of nodes hold five doubles, one per channel index.

#include <array>
#include <bit>
#include <string>

enum BNChannel : int {
    BNChannelRed = 0,
    BNChannelGreen = 1,
    BNChannelBlue = 2,
    BNChannelOpacity = 3,
    BNChannelFill = 4,
};

inline constexpr int BNChannelCount = 5;

using BNChannelMask = int;

inline constexpr BNChannelMask BNChannelMaskRed = 1 << BNChannelRed;
inline constexpr BNChannelMask BNChannelMaskGreen = 1 << BNChannelGreen;
inline constexpr BNChannelMask BNChannelMaskBlue = 1 << BNChannelBlue;
inline constexpr BNChannelMask BNChannelMaskOpacity = 1 << BNChannelOpacity;
inline constexpr BNChannelMask BNChannelMaskFill = 1 << BNChannelFill;
inline constexpr BNChannelMask BNChannelMaskRGB =
    BNChannelMaskRed | BNChannelMaskGreen | BNChannelMaskBlue;
inline constexpr BNChannelMask BNChannelMaskRGBA = BNChannelMaskRGB | BNChannelMaskOpacity;  // 15
inline constexpr BNChannelMask BNChannelMaskRGBF = BNChannelMaskRGB | BNChannelMaskFill;     // 23

// Five doubles by channel index, as nodes keep colours and backgrounds.
using BNChannelValues = std::array<double, BNChannelCount>;

// Samples per pixel: the set bits among the low five bits of the mask.
inline int BNSamplesPerPixel(BNChannelMask mask) {
    return std::popcount(static_cast<unsigned>(mask) & 0x1Fu);
}

inline bool BNMaskHasChannel(BNChannelMask mask, BNChannel channel) {
    return (mask & (1 << channel)) != 0;
}

// The four-channel layouts (RGBA and RGBF), which the four-channel kernels take.
inline bool BNMaskIsFourChannel(BNChannelMask mask) {
    mask &= 0x1F;
    return mask == BNChannelMaskRGBA || mask == BNChannelMaskRGBF;
}

// The one-channel layouts (A or F alone), which the planar kernels take.
inline bool BNMaskIsOneChannel(BNChannelMask mask) {
    mask &= 0x1F;
    return mask == BNChannelMaskOpacity || mask == BNChannelMaskFill;
}

// The letters of the set channels in index order, e.g. "RGBA" or "RGBF".
inline std::string BNChannelMaskLetters(BNChannelMask mask) {
    static constexpr char kLetters[] = "RGBAF";
    std::string letters;
    for (int channel = 0; channel < BNChannelCount; ++channel)
        if (mask & (1 << channel)) letters += kLetters[channel];
    return letters;
}
