#include "rendergraph/BNColorProfile.h"

#include <lcms2.h>

#include <vector>

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

lf::Data saveProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
    bytes.resize(size);
    return lf::Data(std::move(bytes));
}

}  // namespace

BNColorProfile::BNColorProfile(void* profile, lf::Data iccData)
    : profile_(profile), iccData_(std::move(iccData)), estimatedGamma_(estimateGamma(profile)) {}

BNColorProfile::~BNColorProfile() {
    cmsCloseProfile(profile_);
}

std::shared_ptr<const BNColorProfile> BNColorProfile::createWithICCData(const lf::Data& iccData) {
    if (iccData.empty()) return nullptr;
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(iccData.bytes(), static_cast<cmsUInt32Number>(iccData.size()));
    if (!profile) return nullptr;
    return std::shared_ptr<const BNColorProfile>(new BNColorProfile(profile, iccData));
}

std::shared_ptr<const BNColorProfile> BNColorProfile::mainDisplayProfile() {
    static const std::shared_ptr<const BNColorProfile> srgb = [] {
        cmsHPROFILE profile = cmsCreate_sRGBProfile();
        lf::Data data = saveProfile(profile);
        return std::shared_ptr<const BNColorProfile>(new BNColorProfile(profile, std::move(data)));
    }();
    return srgb;
}
