#include "platform/images/ColorProfile.h"

#include <lcms2.h>

namespace lf {
namespace {

constexpr double kDefaultGamma = 2.2;

double estimateGamma(cmsHPROFILE profile) {
    for (cmsTagSignature tag : {cmsSigGreenTRCTag, cmsSigGrayTRCTag}) {
        if (!cmsIsTag(profile, tag)) continue;
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
        if (!curve) continue;
        // Single precision, as the gamma is used in single precision.
        double gamma = static_cast<float>(cmsEstimateGamma(curve, 0.01));
        if (gamma > 0) return gamma;
    }
    return kDefaultGamma;
}

// The creation date of the profiles this program builds: the header's date
// and time field (ICC.1:2010 7.2.8), year, month, day, hours, minutes and
// seconds in UTC, each a big-endian 16-bit number. Little CMS writes the
// moment it builds a profile there, which would make the same profile, and
// every output that embeds it, differ from one launch to the next. A built
// profile is wholly given by its definition here, so its date is the day
// that definition was set down: a valid date that stays as long as the
// definition does.
constexpr size_t kCreationDateOffset = 24;
constexpr uint16_t kBuiltProfilesCreated[6] = {2026, 12, 7, 0, 0, 0};

// The profile's ICC data as Little CMS saves it, with the creation date of
// the profiles this program builds. The profile ID stays zero, "not
// computed" (ICC.1:2010 7.2.18), as Little CMS leaves it.
Data saveBuiltProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
    bytes.resize(size);
    if (bytes.size() < kCreationDateOffset + sizeof kBuiltProfilesCreated) return {};
    uint8_t* date = bytes.data() + kCreationDateOffset;
    for (uint16_t field : kBuiltProfilesCreated) {
        *date++ = static_cast<uint8_t>(field >> 8);
        *date++ = static_cast<uint8_t>(field);
    }
    return Data(std::move(bytes));
}

// A raw sRGB handle for checking other profiles against; its transforms are
// never kept, so one handle serves every thread.
cmsHPROFILE referenceSRGB() {
    static cmsHPROFILE profile = cmsCreate_sRGBProfile();
    return profile;
}

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

TransformPtr createTransform(cmsHPROFILE from, cmsUInt32Number fromFormat, cmsHPROFILE to,
                             cmsUInt32Number toFormat, cmsUInt32Number flags) {
    return TransformPtr(
        cmsCreateTransform(from, fromFormat, to, toFormat, INTENT_PERCEPTUAL, flags));
}

// Usable as the colour of RGB pixels: RGB data that converts both ways.
bool checkUsableForRGB(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData) return false;
    const cmsUInt32Number flags = cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE;
    return createTransform(profile, TYPE_RGB_8, referenceSRGB(), TYPE_RGB_8, flags) &&
           createTransform(referenceSRGB(), TYPE_RGB_8, profile, TYPE_RGB_8, flags);
}

std::shared_ptr<const ColorProfile> adoptBuiltProfile(cmsHPROFILE profile) {
    Data data = saveBuiltProfile(profile);
    cmsCloseProfile(profile);
    return ColorProfile::createWithICCData(data);
}

}  // namespace

ColorProfile::ColorProfile(void* profile, Data iccData)
    : profile_(profile),
      iccData_(std::move(iccData)),
      estimatedGamma_(estimateGamma(profile)),
      usableForRGB_(checkUsableForRGB(profile)) {}

ColorProfile::~ColorProfile() {
    cmsCloseProfile(profile_);
}

std::shared_ptr<const ColorProfile> ColorProfile::createWithICCData(const Data& iccData) {
    if (iccData.empty()) return nullptr;
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(iccData.bytes(), static_cast<cmsUInt32Number>(iccData.size()));
    if (!profile) return nullptr;
    return std::shared_ptr<const ColorProfile>(new ColorProfile(profile, iccData));
}

std::shared_ptr<const ColorProfile> ColorProfile::mainDisplayProfile() {
    static const std::shared_ptr<const ColorProfile> srgb =
        adoptBuiltProfile(cmsCreate_sRGBProfile());
    return srgb;
}

std::shared_ptr<const ColorProfile> ColorProfile::genericRGBProfile() {
    static const std::shared_ptr<const ColorProfile> generic = [] {
        const cmsCIExyY white = {0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries = {
            {0.625, 0.340, 1.0},
            {0.280, 0.595, 1.0},
            {0.155, 0.070, 1.0},
        };
        cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.8);
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsFreeToneCurve(gamma);
        cmsMLU* description = cmsMLUalloc(nullptr, 1);
        cmsMLUsetASCII(description, "en", "US", "Generic RGB Profile");
        cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
        cmsMLUfree(description);
        return adoptBuiltProfile(profile);
    }();
    return generic;
}

Result<std::vector<uint8_t>> convertRGBA(const RGBABuffer& pixels, const ColorProfile& from,
                                         const ColorProfile& to) {
    if (!pixels.isValid()) return Error::posix(EINVAL, "convert colour: empty pixel buffer");
    if (!from.isUsableForRGB() || !to.isUsableForRGB())
        return Error::posix(EINVAL, "convert colour: a profile is not an RGB profile");
    TransformPtr transform =
        createTransform(from.handle(), TYPE_RGBA_8, to.handle(), TYPE_RGBA_8, cmsFLAGS_COPY_ALPHA);
    if (!transform)
        return Error::posix(EINVAL, "convert colour: no transform between the profiles");
    // Premultiplied colour is divided out first and multiplied in again
    // after, with the same rounding as every other alpha conversion.
    const bool premultiplied = pixels.alpha == RGBAAlpha::PremultipliedLast;
    const uint64_t rowBytes = pixels.width * 4;
    std::vector<uint8_t> converted(rowBytes * pixels.height);
    std::vector<uint8_t> straight(premultiplied ? rowBytes : 0);
    for (uint64_t y = 0; y < pixels.height; ++y) {
        const uint8_t* row = pixels.row(y);
        if (premultiplied) {
            unpremultiplyRGBA(row, straight.data(), pixels.width);
            row = straight.data();
        }
        uint8_t* out = converted.data() + y * rowBytes;
        cmsDoTransform(transform.get(), row, out, static_cast<cmsUInt32Number>(pixels.width));
        if (premultiplied) premultiplyRGBA(out, out, pixels.width);
    }
    return converted;
}

}  // namespace lf
