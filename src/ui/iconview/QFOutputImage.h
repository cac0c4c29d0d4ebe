#pragma once
// The picture of an output file from its bytes, whatever format the export
// wrote: PNG and JPEG through Qt's readers, ICNS through our own container
// (its largest image), TIFF through libtiff. One pixel is one point.
//
// Pictures are read no larger than they are shown: a large output, whose
// whole picture may pass the 128 MB Qt allows one image, is decoded
// straight at the size of its tile or of the screen, and costs no more.
//
// Threads: any thread.

#include "kit/gui/OMImage.h"
#include "platform/files/Data.h"

#include <QImage>
#include <QSize>

#include <memory>

class QImageReader;

// The picture, shrunk to fit `bound` pixels (its aspect kept) where it is
// larger. Null for bytes that are none of these formats, or a picture too
// large to read.
std::shared_ptr<const OMImage> QFImageWithData(const lf::Data& data, QSize bound);

// What `reader` reads, turned by the orientation its file records, and
// shrunk to fit `bound` pixels as it is decoded where it is larger.
QImage QFReadImageFitting(QImageReader& reader, QSize bound);
