#include "compositing/shared/QFBlendMode.h"

#include "psd/OMPSDProperty.h"

namespace {

struct KeyAndMode {
    uint32_t key;
    BNBlendMode mode;
};

constexpr KeyAndMode kModes[] = {
    {OMPSDFourCC("diss"), kTarrowBlendDissolve},     {OMPSDFourCC("dark"), kTarrowBlendDarken},
    {OMPSDFourCC("mul "), kTarrowBlendMultiply},     {OMPSDFourCC("idiv"), kTarrowBlendColorBurn},
    {OMPSDFourCC("lbrn"), kTarrowBlendLinearBurn},   {OMPSDFourCC("dkCl"), kTarrowBlendDarkerColor},
    {OMPSDFourCC("lite"), kTarrowBlendLighten},      {OMPSDFourCC("scrn"), kTarrowBlendScreen},
    {OMPSDFourCC("div "), kTarrowBlendColorDodge},   {OMPSDFourCC("lddg"), kTarrowBlendLinearDodge},
    {OMPSDFourCC("lgCl"), kTarrowBlendLighterColor}, {OMPSDFourCC("over"), kTarrowBlendOverlay},
    {OMPSDFourCC("sLit"), kTarrowBlendSoftLight},    {OMPSDFourCC("hLit"), kTarrowBlendHardLight},
    {OMPSDFourCC("vLit"), kTarrowBlendVividLight},   {OMPSDFourCC("lLit"), kTarrowBlendLinearLight},
    {OMPSDFourCC("pLit"), kTarrowBlendPinLight},     {OMPSDFourCC("hMix"), kTarrowBlendHardMix},
    {OMPSDFourCC("diff"), kTarrowBlendDifference},   {OMPSDFourCC("smud"), kTarrowBlendExclusion},
    {OMPSDFourCC("fsub"), kTarrowBlendSubtract},     {OMPSDFourCC("fdiv"), kTarrowBlendDivide},
    {OMPSDFourCC("hue "), kTarrowBlendHue},          {OMPSDFourCC("sat "), kTarrowBlendSaturation},
    {OMPSDFourCC("colr"), kTarrowBlendColor},        {OMPSDFourCC("lum "), kTarrowBlendLuminosity},
};

}  // namespace

BNBlendMode QFBlendModeForPSDKey(uint32_t key) {
    for (const KeyAndMode& entry : kModes)
        if (entry.key == key) return entry.mode;
    return kTarrowBlendNormal;
}
