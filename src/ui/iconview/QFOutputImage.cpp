#include "ui/iconview/QFOutputImage.h"

#include "flows/icns/QFICNSContainer.h"

#include <QBuffer>
#include <QImageReader>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

// No output is this large; a damaged header must not make us allocate it.
constexpr uint64_t kMaximumPixels = uint64_t(1) << 26;

// `size` shrunk to fit `bound` (its aspect kept, at least a pixel each
// way) where it is larger, else as it is.
QSize sizeFitting(QSize size, QSize bound) {
    if (size.width() <= bound.width() && size.height() <= bound.height()) return size;
    return size.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

std::shared_ptr<const OMImage> imageOf(QImage bitmap) {
    if (bitmap.isNull()) return nullptr;
    return std::make_shared<const OMImage>(OMImage::fromBitmap(std::move(bitmap)));
}

QImage decodeICNS(const lf::Data& data) {
    const auto container = QFICNSContainer::create(data);
    if (!container) return {};
    std::shared_ptr<QFICNSElement> largest;
    for (const auto& element : container->elements()) {
        if (!largest || element->size().width > largest->size().width) largest = element;
    }
    if (!largest) return {};
    const int side = static_cast<int>(largest->size().width);
    const lf::Data& pixels = largest->pixelData();
    if (side <= 0 || pixels.size() != size_t(side) * size_t(side) * 4) return {};
    QImage bitmap(side, side, QImage::Format_RGBA8888);
    for (int y = 0; y < side; ++y)
        std::memcpy(bitmap.scanLine(y), pixels.bytes() + size_t(y) * size_t(side) * 4,
                    size_t(side) * 4);
    return bitmap;
}

// libtiff reads from memory through these.
struct MemoryFile {
    const lf::Data& data;
    toff_t offset = 0;
};

tsize_t readMemory(thandle_t handle, tdata_t buffer, tsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    const toff_t available = file->data.size() - std::min<toff_t>(file->offset, file->data.size());
    const toff_t count = std::min<toff_t>(available, static_cast<toff_t>(size));
    if (count > 0) std::memcpy(buffer, file->data.bytes() + file->offset, count);
    file->offset += count;
    return static_cast<tsize_t>(count);
}

tsize_t writeNothing(thandle_t, tdata_t, tsize_t) {
    return 0;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    const toff_t base = whence == SEEK_CUR   ? file->offset
                        : whence == SEEK_END ? file->data.size()
                                             : 0;
    file->offset = base + offset;
    return file->offset;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t sizeOfMemory(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->data.size();
}

bool looksLikeTIFF(const lf::Data& data) {
    const std::string_view head = data.stringView().substr(0, 4);
    return head == std::string_view("II*\0", 4) || head == std::string_view("MM\0*", 4);
}

QImage decodeTIFF(const lf::Data& data) {
    if (!looksLikeTIFF(data)) return {};
    MemoryFile file{data};
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(
        TIFFClientOpen("output", "rm", &file, readMemory, writeNothing, seekMemory, closeNothing,
                       sizeOfMemory, nullptr, nullptr),
        TIFFClose);
    if (!tiff) return {};
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || uint64_t(width) * height > kMaximumPixels) return {};
    // Packed R, G, B, A bytes with the alpha associated, top row first.
    QImage bitmap(int(width), int(height), QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull() || bitmap.bytesPerLine() != qsizetype(width) * 4) return {};
    if (!TIFFReadRGBAImageOriented(tiff.get(), width, height,
                                   reinterpret_cast<uint32_t*>(bitmap.bits()), ORIENTATION_TOPLEFT,
                                   0))
        return {};
    return bitmap;
}

}  // namespace

std::shared_ptr<const OMImage> QFImageWithData(const lf::Data& data, QSize bound) {
    if (data.empty() || data.size() > size_t(std::numeric_limits<int>::max())) return nullptr;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.bytes()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    QImage bitmap = QFReadImageFitting(reader, bound);
    if (bitmap.isNull()) bitmap = decodeICNS(data);
    if (bitmap.isNull()) bitmap = decodeTIFF(data);
    if (bitmap.isNull() || uint64_t(bitmap.width()) * uint64_t(bitmap.height()) > kMaximumPixels)
        return nullptr;
    // Our own decoders read whole pictures.
    if (const QSize fitted = sizeFitting(bitmap.size(), bound); fitted != bitmap.size())
        bitmap = bitmap.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return imageOf(std::move(bitmap));
}

QImage QFReadImageFitting(QImageReader& reader, QSize bound) {
    reader.setAutoTransform(true);
    // The bound holds for the picture as shown, a quarter turn transposes it.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize stored = reader.size();
    const QSize shown = turned ? stored.transposed() : stored;
    if (const QSize fitted = sizeFitting(shown, bound); shown.isValid() && fitted != shown)
        reader.setScaledSize(turned ? fitted.transposed() : fitted);
    return reader.read();
}
