#pragma once
// TIFF files from RGBA pixels through libtiff: uncompressed 8-bit RGBA in
// strips, the alpha marked associated (premultiplied) or unassociated as
// the pixels come, so they are written without conversion.

#include "platform/Data.h"
#include "platform/RGBABuffer.h"
#include "platform/Result.h"

namespace lf {

Result<Data> encodeTIFF(const RGBABuffer& pixels, const Data& iccProfile);

}  // namespace lf
