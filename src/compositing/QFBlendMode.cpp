#include "compositing/QFBlendMode.h"

#include "psd/OMPSDProperty.h"

namespace {

struct KeyAndMode {
    uint32_t key;
    BNBlendMode mode;
};

constexpr KeyAndMode kModes[] = {
    {OMPSDFourCC("diss"), BNBlendModeDissolve},     {OMPSDFourCC("dark"), BNBlendModeDarken},
    {OMPSDFourCC("mul "), BNBlendModeMultiply},     {OMPSDFourCC("idiv"), BNBlendModeColorBurn},
    {OMPSDFourCC("lbrn"), BNBlendModeLinearBurn},   {OMPSDFourCC("dkCl"), BNBlendModeDarkerColor},
    {OMPSDFourCC("lite"), BNBlendModeLighten},      {OMPSDFourCC("scrn"), BNBlendModeScreen},
    {OMPSDFourCC("div "), BNBlendModeColorDodge},   {OMPSDFourCC("lddg"), BNBlendModeLinearDodge},
    {OMPSDFourCC("lgCl"), BNBlendModeLighterColor}, {OMPSDFourCC("over"), BNBlendModeOverlay},
    {OMPSDFourCC("sLit"), BNBlendModeSoftLight},    {OMPSDFourCC("hLit"), BNBlendModeHardLight},
    {OMPSDFourCC("vLit"), BNBlendModeVividLight},   {OMPSDFourCC("lLit"), BNBlendModeLinearLight},
    {OMPSDFourCC("pLit"), BNBlendModePinLight},     {OMPSDFourCC("hMix"), BNBlendModeHardMix},
    {OMPSDFourCC("diff"), BNBlendModeDifference},   {OMPSDFourCC("smud"), BNBlendModeExclusion},
    {OMPSDFourCC("fsub"), BNBlendModeSubtract},     {OMPSDFourCC("fdiv"), BNBlendModeDivide},
    {OMPSDFourCC("hue "), BNBlendModeHue},          {OMPSDFourCC("sat "), BNBlendModeSaturation},
    {OMPSDFourCC("colr"), BNBlendModeColor},        {OMPSDFourCC("lum "), BNBlendModeLuminosity},
};

}  // namespace

int QFBlendModeForPSDKey(uint32_t key) {
    for (const KeyAndMode& entry : kModes)
        if (entry.key == key) return entry.mode;
    return BNBlendModeNormal;
}
