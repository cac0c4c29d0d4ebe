#pragma once
// JPEG files from RGBA pixels through libjpeg-turbo: baseline, RGB without
// alpha. Premultiplied colour is written as it stands, so transparent areas
// turn black and half-transparent edges darken (ImageEncoder.h says why);
// straight colour is premultiplied first so both give the same file.

#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/images/RGBABuffer.h"

namespace lf {

// `quality` from 0 to 1 maps to libjpeg's 0 to 100 (which takes 0 as 1);
// from 0.9 up the chroma is not subsampled.
Result<Data> encodeJPEG(const RGBABuffer& pixels, double quality, const Data& iccProfile);

}  // namespace lf
