#pragma once
// PNG files from RGBA pixels: 8-bit RGBA with straight alpha, an iCCP chunk
// for the profile, rows filtered as libpng filters them (PNGRowFilter.h),
// at libpng's default level and strategy, and the image data deflated in
// bands on the workers (ParallelDeflate.h). The chunks are written here, not
// by libpng, whose writer deflates on one thread; the files are the size of
// libpng's own within a fraction of a percent.

#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/images/RGBABuffer.h"

namespace lf {

Result<Data> encodePNG(const RGBABuffer& pixels, const Data& iccProfile);

}  // namespace lf
