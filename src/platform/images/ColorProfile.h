#pragma once
// ColorProfile: a colour profile made from ICC data, over Little CMS. The
// render graph reads its estimated gamma; the export recipes check a
// document's embedded profile with it, embed its bytes in every output and
// convert icon pixels between profiles.
//
// Immutable once made; safe to share and use from any number of threads.

#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/images/RGBABuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace lf {

class ColorProfile {
public:
    // A profile from ICC data, or null when Little CMS cannot read the data
    // as a profile.
    static std::shared_ptr<const ColorProfile> createWithICCData(const Data& iccData);
    // The two profiles below are built with Little CMS, once in a process;
    // their ICC data, which outputs embed, is the same at every launch.
    //
    // The profile of the main display, which here is sRGB.
    static std::shared_ptr<const ColorProfile> mainDisplayProfile();
    // The "Generic RGB" profile that icons without a profile of their own
    // are stored in: gamma 1.8 over the Trinitron primaries with a D65
    // white point.
    static std::shared_ptr<const ColorProfile> genericRGBProfile();

    ~ColorProfile();
    ColorProfile(const ColorProfile&) = delete;
    ColorProfile& operator=(const ColorProfile&) = delete;

    // The gamma Little CMS estimates from the profile's green tone curve (the
    // gray curve of a gray profile), 2.2 when the profile has neither.
    double estimatedGamma() const { return estimatedGamma_; }
    // Whether the profile describes RGB colour and can be converted from and
    // to: only such a profile may stand for a document's RGB pixels.
    bool isUsableForRGB() const { return usableForRGB_; }
    // The Little CMS profile handle (cmsHPROFILE), owned by this object.
    void* handle() const { return profile_; }
    // The ICC data the profile was made from, byte for byte.
    const Data& iccData() const { return iccData_; }

private:
    ColorProfile(void* profile, Data iccData);
    void* profile_;
    Data iccData_;
    double estimatedGamma_;
    bool usableForRGB_;
};

// Converts 8-bit RGBA pixels from one RGB profile to another, with their
// alpha kept; premultiplied pixels stay premultiplied (converted as straight
// colour and multiplied again, as drawing into a bitmap of another colour
// space does). The result has rows of width * 4 bytes. Fails when either
// profile is not usable for RGB.
Result<std::vector<uint8_t>> convertRGBA(const RGBABuffer& pixels, const ColorProfile& from,
                                         const ColorProfile& to);

}  // namespace lf
