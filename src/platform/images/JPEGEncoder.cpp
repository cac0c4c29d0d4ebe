#include "platform/images/JPEGEncoder.h"

#include "platform/images/ImageEncoder.h"

#include <jpeglib.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace lf {
namespace {

constexpr uint64_t kMaximumJPEGDimension = 65500;  // JPEG_MAX_DIMENSION
constexpr double kFullChromaQuality = 0.9;

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the encoder with the library's message.
struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void exitWithError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

// Everything the jump may skip is plain data owned outside this function,
// so no destructor is bypassed: the compressor, the output bytes, the rows.
bool compress(jpeg_compress_struct& info, ErrorManager& errors, const RGBABuffer& pixels,
              int libjpegQuality, bool fullChroma, const Data& iccProfile,
              std::vector<uint8_t>& scratch, unsigned char** output, unsigned long* outputSize) {
    if (setjmp(errors.jump)) return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, output, outputSize);
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    // The fourth byte of every pixel is skipped: alpha is dropped.
    info.input_components = 4;
    info.in_color_space = JCS_EXT_RGBX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, libjpegQuality, TRUE);
    if (fullChroma) {
        for (int c = 0; c < info.num_components; ++c) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&info, TRUE);
    if (!iccProfile.empty())
        jpeg_write_icc_profile(&info, iccProfile.bytes(), static_cast<unsigned>(iccProfile.size()));
    const bool straight = pixels.alpha == RGBAAlpha::Last;
    while (info.next_scanline < info.image_height) {
        const uint8_t* row = pixels.row(info.next_scanline);
        if (straight) {
            premultiplyRGBA(row, scratch.data(), pixels.width);
            row = scratch.data();
        }
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

}  // namespace

Result<Data> encodeJPEG(const RGBABuffer& pixels, double quality, const Data& iccProfile) {
    if (!pixels.isValid() || pixels.width > kMaximumJPEGDimension ||
        pixels.height > kMaximumJPEGDimension)
        return imageEncoderError(kImageEncoderInvalidPixels, "JPEG: no pixels, or too many");

    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = exitWithError;
    errors.manager.emit_message = ignoreMessage;
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    std::vector<uint8_t> scratch(pixels.alpha == RGBAAlpha::Last ? pixels.width * 4 : 0);

    const int libjpegQuality = static_cast<int>(std::lround(quality * 100));
    const bool ok = compress(info, errors, pixels, libjpegQuality, quality >= kFullChromaQuality,
                             iccProfile, scratch, &output, &outputSize);
    jpeg_destroy_compress(&info);
    std::unique_ptr<unsigned char, decltype(&std::free)> owned(output, &std::free);
    if (!ok) return imageEncoderError(kImageEncoderFailed, std::string("JPEG: ") + errors.message);
    return Data::copy(output, outputSize);
}

}  // namespace lf
