#pragma once
// BNColorProfile: the colour profile of a rendering. Nodes and providers
// read its estimated gamma (vibrance, the exposure curve). It is the
// platform layer's profile, shared with the image encoder, so a document's
// profile is read by one piece of code whether it is rendered or embedded.

#include "platform/images/ColorProfile.h"

using BNColorProfile = lf::ColorProfile;
