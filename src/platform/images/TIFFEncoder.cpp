#include "platform/images/TIFFEncoder.h"

#include "platform/images/ImageEncoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace lf {
namespace {

constexpr uint64_t kMaximumDimension = 0xFFFFFFFF;

// The file in memory that libtiff writes through its client procedures;
// libtiff seeks back to patch offsets, so writes may land anywhere.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    uint64_t position = 0;
    std::string error;
};

MemoryFile& fileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = fileOf(handle);
    if (file.position >= file.bytes.size()) return 0;
    const size_t count =
        std::min<uint64_t>(static_cast<uint64_t>(size), file.bytes.size() - file.position);
    std::memcpy(buffer, file.bytes.data() + file.position, count);
    file.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = fileOf(handle);
    const uint64_t end = file.position + static_cast<uint64_t>(size);
    if (end > file.bytes.size()) file.bytes.resize(end);
    std::memcpy(file.bytes.data() + file.position, buffer, static_cast<size_t>(size));
    file.position = end;
    return size;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& file = fileOf(handle);
    int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(file.position)
                   : whence == SEEK_END ? static_cast<int64_t>(file.bytes.size())
                                        : 0;
    const int64_t target = base + static_cast<int64_t>(offset);
    if (target < 0) return static_cast<toff_t>(-1);
    file.position = static_cast<uint64_t>(target);
    return static_cast<toff_t>(target);
}

int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t handle) {
    return fileOf(handle).bytes.size();
}
int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void unmapProc(thandle_t, void*, toff_t) {}

int recordError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    auto& file = *static_cast<MemoryFile*>(user);
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    if (file.error.empty()) file.error = std::string(module ? module : "libtiff") + ": " + text;
    return 1;
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TIFFCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

bool writeImage(TIFF* tiff, const RGBABuffer& pixels, const Data& iccProfile) {
    const uint16_t extra = pixels.alpha == RGBAAlpha::PremultipliedLast ? EXTRASAMPLE_ASSOCALPHA
                                                                        : EXTRASAMPLE_UNASSALPHA;
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(pixels.width)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(pixels.height)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4) &&
              TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    if (ok && !iccProfile.empty())
        ok = TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(iccProfile.size()),
                          iccProfile.bytes());
    // libtiff may change the row it is given, so each row goes through a copy.
    std::vector<uint8_t> row(pixels.width * 4);
    for (uint64_t y = 0; ok && y < pixels.height; ++y) {
        std::memcpy(row.data(), pixels.row(y), row.size());
        ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
    }
    return ok;
}

}  // namespace

Result<Data> encodeTIFF(const RGBABuffer& pixels, const Data& iccProfile) {
    if (!pixels.isValid() || pixels.width > kMaximumDimension || pixels.height > kMaximumDimension)
        return imageEncoderError(kImageEncoderInvalidPixels, "TIFF: no pixels, or too many");

    MemoryFile file;
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), recordError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreWarning, nullptr);
    // "8" asks for BigTIFF only where the classic format's 4 GiB would not do.
    const bool big = pixels.height > 0xF0000000ull / 4 / pixels.width;
    std::unique_ptr<TIFF, TIFFCloser> tiff(
        TIFFClientOpenExt("memory", big ? "w8" : "w", &file, readProc, writeProc, seekProc,
                          closeProc, sizeProc, mapProc, unmapProc, options.get()));
    bool ok = tiff && writeImage(tiff.get(), pixels, iccProfile);
    // Writes the directory; closing then has nothing left to write.
    ok = ok && TIFFFlush(tiff.get()) == 1;
    tiff.reset();
    if (!ok || !file.error.empty())
        return imageEncoderError(
            kImageEncoderFailed,
            "TIFF: " + (file.error.empty() ? std::string("cannot write") : file.error));
    return Data(std::move(file.bytes));
}

}  // namespace lf
