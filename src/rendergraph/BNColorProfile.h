#pragma once
// BNColorProfile: the colour profile of a rendering, over Little CMS. Nodes
// and providers read its estimated gamma (vibrance, the exposure curve).
// Immutable; safe to share between threads.

#include "platform/Data.h"

#include <memory>

class BNColorProfile {
public:
    // A profile from ICC data, or null when the data is no usable profile.
    static std::shared_ptr<const BNColorProfile> createWithICCData(const lf::Data& iccData);
    // The profile of the main display, which here is sRGB.
    static std::shared_ptr<const BNColorProfile> mainDisplayProfile();

    ~BNColorProfile();
    BNColorProfile(const BNColorProfile&) = delete;
    BNColorProfile& operator=(const BNColorProfile&) = delete;

    // The gamma Little CMS estimates from the profile's green tone curve (the
    // gray curve of a gray profile), 2.2 when the profile has neither.
    double estimatedGamma() const { return estimatedGamma_; }
    // The Little CMS profile handle (cmsHPROFILE), owned by this object.
    void* handle() const { return profile_; }
    // The ICC data the profile was made from.
    const lf::Data& iccData() const { return iccData_; }

private:
    BNColorProfile(void* profile, lf::Data iccData);
    void* profile_;
    lf::Data iccData_;
    double estimatedGamma_;
};
