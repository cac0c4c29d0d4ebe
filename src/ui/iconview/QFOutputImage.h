#pragma once
// The picture of an output file from its bytes, whatever format the export
// wrote: PNG and JPEG through Qt's readers, ICNS through our own container
// (its largest image), TIFF through libtiff. One pixel is one point.
//
// Threads: any thread.

#include "kit/gui/OMImage.h"
#include "platform/Data.h"

#include <memory>

// Null for bytes that are none of these, or a picture too large to show.
std::shared_ptr<const OMImage> QFImageWithData(const lf::Data& data);
