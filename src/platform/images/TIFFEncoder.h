#pragma once
// TIFF files from RGBA pixels through libtiff: uncompressed 8-bit RGBA in
// strips, the alpha marked associated (premultiplied) or unassociated as
// the pixels come, so they are written without conversion.

#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/images/RGBABuffer.h"

namespace lf {

Result<Data> encodeTIFF(const RGBABuffer& pixels, const Data& iccProfile);

}  // namespace lf
