// Every encoder's file is read back by the format's own library and tools
// (pngcheck, djpeg, tiffinfo) and compared with the pixels it was given.
#include "platform/images/ColorProfile.h"
#include "platform/images/ImageEncoder.h"
#include "platform/images/PNGDecoder.h"
#include "platform/images/ParallelDeflate.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

using namespace lf;

namespace {

// A premultiplied test image: a colour ramp under an alpha ramp, with an
// opaque block, a transparent block and noise, in rows padded past the
// pixels so that the row stride is honoured.
struct TestImage {
    uint64_t width, height, rowBytes;
    std::vector<uint8_t> bytes;

    TestImage(uint64_t w, uint64_t h, uint32_t seed = 1)
        : width(w), height(h), rowBytes(w * 4 + 12) {
        bytes.assign(rowBytes * h, 0xEE);  // padding that must never be read as pixels
        std::mt19937 random(seed);
        for (uint64_t y = 0; y < h; ++y) {
            for (uint64_t x = 0; x < w; ++x) {
                uint8_t* p = &bytes[y * rowBytes + x * 4];
                unsigned a = static_cast<unsigned>((x * 255) / (w > 1 ? w - 1 : 1));
                if (y < h / 4) a = 255;
                if (y >= h - h / 4) a = 0;
                for (int c = 0; c < 3; ++c) {
                    unsigned straight = (x * 7 + y * 3 * (c + 1) + random() % 16) & 0xFF;
                    p[c] = static_cast<uint8_t>((straight * a + 127) / 255);
                }
                p[3] = static_cast<uint8_t>(a);
            }
        }
    }
    RGBABuffer buffer() const { return {bytes.data(), height, width, rowBytes}; }
    const uint8_t* pixel(uint64_t x, uint64_t y) const { return &bytes[y * rowBytes + x * 4]; }
};

uint8_t straightOf(uint8_t c, uint8_t a) {
    return a == 0 ? 0 : static_cast<uint8_t>(std::min(255u, (c * 255u + a / 2u) / a));
}

Data genericProfile() {
    return ColorProfile::genericRGBProfile()->iccData();
}

std::string writeTemporary(const test::TemporaryDirectory& folder, const std::string& name,
                           const Data& data) {
    std::string path = (folder / name).string();
    test::writeFile(path, std::string(data.stringView()));
    return path;
}

// libpng's own reader: straight RGBA rows and the iCCP profile.
struct ReadPNG {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
    std::string profile;
};
ReadPNG readPNG(const std::string& path) {
    ReadPNG out;
    FILE* file = fopen(path.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(file);
        ADD_FAILURE() << "libpng cannot read " << path;
        return {};
    }
    png_init_io(png, file);
    png_read_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    png_charp name;
    int compression;
    png_bytep profile;
    png_uint_32 length;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length))
        out.profile.assign(reinterpret_cast<char*>(profile), length);
    out.pixels.resize(size_t{out.width} * out.height * 4);
    std::vector<png_bytep> rows(out.height);
    for (uint32_t y = 0; y < out.height; ++y)
        rows[y] = &out.pixels[size_t{y} * out.width * 4];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    return out;
}

struct JPEGInfo {
    std::string profile;
    int lumaSampling = 0;  // horizontal sampling factor of Y; 1 means no chroma subsampling
};
JPEGInfo readJPEGInfo(const Data& data) {
    struct Errors {
        jpeg_error_mgr manager;
        jmp_buf jump;
    } errors;
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr c) {
        longjmp(reinterpret_cast<Errors*>(c->err)->jump, 1);
    };
    JPEGInfo out;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        ADD_FAILURE() << "libjpeg cannot read the file";
        return out;
    }
    jpeg_create_decompress(&info);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_mem_src(&info, data.bytes(), data.size());
    jpeg_read_header(&info, TRUE);
    JOCTET* profile = nullptr;
    unsigned length = 0;
    if (jpeg_read_icc_profile(&info, &profile, &length)) {
        out.profile.assign(reinterpret_cast<char*>(profile), length);
        free(profile);
    }
    out.lumaSampling = info.comp_info[0].h_samp_factor;
    jpeg_destroy_decompress(&info);
    return out;
}

// djpeg's binary PPM: "P6\n<w> <h>\n255\n" then RGB.
std::vector<uint8_t> decodeWithDjpeg(const std::string& path, uint64_t& width, uint64_t& height) {
    auto [status, ppm] = test::runCommand("djpeg -pnm " + path);
    EXPECT_EQ(status, 0) << ppm.substr(0, 200);
    unsigned w = 0, h = 0, max = 0;
    int consumed = 0;
    if (std::sscanf(ppm.c_str(), "P6 %u %u %u%n", &w, &h, &max, &consumed) != 3) return {};
    width = w;
    height = h;
    return std::vector<uint8_t>(ppm.begin() + consumed + 1, ppm.end());
}

}  // namespace

TEST(ImageEncoder, TypeComesFromTheLowerCasedExtension) {
    const std::pair<const char*, std::optional<ImageType>> cases[] = {
        {"icon.png", ImageType::PNG},
        {"x.PNG", ImageType::PNG},
        {"a/b/photo.jpg", ImageType::JPEG},
        {"photo.JPEG", ImageType::JPEG},
        {"scan.tif", ImageType::TIFF},
        {"scan.TIFF", ImageType::TIFF},
        {"x.gif", std::nullopt},
        {"notes.pdf", std::nullopt},
        {".png", std::nullopt},
        {"folder.png/file", std::nullopt},
        {"png", std::nullopt},
    };
    for (const auto& [path, type] : cases)
        EXPECT_EQ(imageTypeForPath(path), type) << path;
}

TEST(ImageEncoder, UnsupportedExtensionAndEmptyPixelsGiveErrorsNotEmptyData) {
    TestImage image(8, 8);
    auto unsupported = encodeImageForPath(image.buffer(), "notes.pdf");
    ASSERT_FALSE(unsupported);
    EXPECT_TRUE(unsupported.error().is(kImageEncoderErrorDomain, kImageEncoderUnsupportedType));

    RGBABuffer shortRows{image.bytes.data(), 8, 8, 31};
    for (ImageType type : {ImageType::PNG, ImageType::JPEG, ImageType::TIFF}) {
        auto encoded = encodeImage(RGBABuffer{}, type);
        ASSERT_FALSE(encoded);
        EXPECT_TRUE(encoded.error().is(kImageEncoderErrorDomain, kImageEncoderInvalidPixels));
        EXPECT_FALSE(encodeImage(shortRows, type));
    }
}

// Many bands (a band is about 512 KiB of rows) and both alpha forms: the
// joined stream must inflate to exactly the straight pixels.
TEST(ImageEncoder, ConcurrentPNGBandsReadBackExactlyWithTheProfile) {
    test::TemporaryDirectory folder;
    struct Case {
        uint64_t width, height;
        RGBAAlpha alpha;
    };
    for (const Case& c :
         {Case{1, 1, RGBAAlpha::PremultipliedLast}, Case{3, 5, RGBAAlpha::Last},
          Case{517, 1100, RGBAAlpha::PremultipliedLast}, Case{9000, 40, RGBAAlpha::Last}}) {
        TestImage image(c.width, c.height, static_cast<uint32_t>(c.width));
        RGBABuffer buffer = image.buffer();
        buffer.alpha = c.alpha;
        auto png = encodeImageForPath(buffer, "x.png", {1.0, genericProfile()});
        ASSERT_TRUE(png) << describe(png.error());
        const std::string path = writeTemporary(folder, "x.png", *png);
        auto [status, report] = test::runCommand("pngcheck " + path);
        EXPECT_EQ(status, 0) << report;

        ReadPNG read = readPNG(path);
        ASSERT_EQ(read.width, c.width);
        ASSERT_EQ(read.height, c.height);
        EXPECT_EQ(read.profile, std::string(genericProfile().stringView()));
        size_t mismatches = 0;
        for (uint64_t y = 0; y < c.height; ++y) {
            for (uint64_t x = 0; x < c.width; ++x) {
                const uint8_t* given = image.pixel(x, y);
                const uint8_t* got = &read.pixels[(y * c.width + x) * 4];
                for (int k = 0; k < 4; ++k) {
                    uint8_t expected = k == 3 || c.alpha == RGBAAlpha::Last
                                           ? given[k]
                                           : straightOf(given[k], given[3]);
                    mismatches += got[k] != expected;
                }
            }
        }
        EXPECT_EQ(mismatches, 0u) << c.width << "x" << c.height;

        auto decoded = decodePNG(*png);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->pixels, read.pixels);
    }
}

// A band that throws (its producer out of memory, say), on a worker or on
// the calling thread: what it threw reaches the caller once every band
// ended, and nothing ends the process.
TEST(ImageEncoder, ConcurrentBandsThrowOnTheCallersThread) {
    for (size_t failing : {size_t(0), size_t(5), size_t(63)}) {
        std::atomic<size_t> produced{0};
        EXPECT_THROW(deflateInBands(64, Z_DEFAULT_COMPRESSION, Z_FILTERED,
                                    [&](size_t index, std::vector<uint8_t>& bytes, size_t&) {
                                        if (index == failing) throw std::bad_alloc();
                                        bytes.assign(4096, uint8_t(index));
                                        ++produced;
                                    }),
                     std::bad_alloc)
            << "band " << failing;
        EXPECT_LT(produced, 64u);
    }
}

TEST(ImageEncoder, JPEGDropsAlphaFromPremultipliedColourWithinTolerance) {
    test::TemporaryDirectory folder;
    TestImage image(203, 97);
    auto jpeg = encodeImageForPath(image.buffer(), "x.JPG", {1.0, genericProfile()});
    ASSERT_TRUE(jpeg) << describe(jpeg.error());
    uint64_t width = 0, height = 0;
    auto rgb = decodeWithDjpeg(writeTemporary(folder, "x.jpg", *jpeg), width, height);
    ASSERT_EQ(width, 203u);
    ASSERT_EQ(height, 97u);
    ASSERT_EQ(rgb.size(), width * height * 3);
    double sum = 0;
    for (uint64_t y = 0; y < height; ++y)
        for (uint64_t x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k)
                sum += std::abs(int{rgb[(y * width + x) * 3 + k]} - int{image.pixel(x, y)[k]});
    // Quality 1 is libjpeg's 100 without chroma subsampling: only the DCT's
    // rounding remains. Transparent pixels (premultiplied black) stay black.
    EXPECT_LT(sum / static_cast<double>(width * height * 3), 1.5);
    EXPECT_LE(rgb[((height - 1) * width + 5) * 3], 3);
    EXPECT_EQ(readJPEGInfo(*jpeg).profile, std::string(genericProfile().stringView()));
}

TEST(ImageEncoder, JPEGQualityIsClampedAndSubsamplesChromaBelowNineTenths) {
    TestImage image(64, 64);
    struct Case {
        double quality;
        int lumaSampling;
    };
    for (const Case& c : {Case{1.0, 1}, Case{0.9, 1}, Case{0.89, 2}, Case{0.0, 2}, Case{-3, 2}}) {
        auto jpeg = encodeImage(image.buffer(), ImageType::JPEG, {c.quality, {}});
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(readJPEGInfo(*jpeg).lumaSampling, c.lumaSampling) << c.quality;
    }
    auto best = encodeImage(image.buffer(), ImageType::JPEG, {1.0, {}});
    EXPECT_EQ(*encodeImage(image.buffer(), ImageType::JPEG, {1.7, {}}), *best);
    EXPECT_EQ(*encodeImage(image.buffer(), ImageType::JPEG, {std::nan(""), {}}), *best);
    EXPECT_EQ(*encodeImage(image.buffer(), ImageType::JPEG, {-3, {}}),
              *encodeImage(image.buffer(), ImageType::JPEG, {0.0, {}}));
    EXPECT_LT(encodeImage(image.buffer(), ImageType::JPEG, {0.0, {}})->size(), best->size() / 2);
}

TEST(ImageEncoder, QualityComesFromTheUserDefaultsClampedAndOneWhenNotANumber) {
    test::TemporaryDirectory folder;
    UserDefaults defaults((folder / "defaults.json").string());
    EXPECT_EQ(lossyCompressionQualityFromDefaults(defaults), 1.0);
    const std::pair<nlohmann::json, double> cases[] = {
        {0.5, 0.5}, {1.7, 1.0}, {-3, 0.0}, {0, 0.0}, {"0.5", 1.0}, {nlohmann::json::array(), 1.0},
    };
    for (const auto& [stored, quality] : cases) {
        defaults.setObject(kCompressionQualityDefaultsKey, stored);
        EXPECT_EQ(lossyCompressionQualityFromDefaults(defaults), quality) << stored;
    }
}

TEST(ImageEncoder, TIFFKeepsPremultipliedPixelsAsAssociatedAlpha) {
    test::TemporaryDirectory folder;
    TestImage image(131, 67);
    auto tiff = encodeImageForPath(image.buffer(), "x.tiff", {1.0, genericProfile()});
    ASSERT_TRUE(tiff) << describe(tiff.error());
    const std::string path = writeTemporary(folder, "x.tif", *tiff);
    auto [status, report] = test::runCommand("tiffinfo " + path);
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("assoc-alpha"), std::string::npos) << report;

    TIFF* reader = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(reader, nullptr);
    uint32_t profileLength = 0;
    void* profile = nullptr;
    ASSERT_TRUE(TIFFGetField(reader, TIFFTAG_ICCPROFILE, &profileLength, &profile));
    EXPECT_EQ(std::string(static_cast<char*>(profile), profileLength),
              std::string(genericProfile().stringView()));
    std::vector<uint8_t> row(TIFFScanlineSize(reader));
    ASSERT_EQ(row.size(), 131u * 4);
    for (uint32_t y = 0; y < 67; ++y) {
        ASSERT_EQ(TIFFReadScanline(reader, row.data(), y, 0), 1);
        ASSERT_EQ(std::memcmp(row.data(), image.pixel(0, y), row.size()), 0) << "row " << y;
    }
    TIFFClose(reader);
}

// A PNG of one row written chunk by chunk, with no gamma chunk, as other
// programs write icon payloads.
Data pngOfOneRow(uint32_t width, uint8_t bitDepth, uint8_t colourType,
                 const std::vector<uint8_t>& samples) {
    std::string file("\x89PNG\r\n\x1a\n", 8);
    auto bigEndian = [](std::string& out, uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += char(value >> shift);
    };
    auto chunk = [&](const std::string& type, const std::string& body) {
        const std::string typed = type + body;
        bigEndian(file, uint32_t(body.size()));
        file += typed;
        bigEndian(file, crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size()));
    };
    std::string header;
    bigEndian(header, width);
    bigEndian(header, 1);
    header += {char(bitDepth), char(colourType), 0, 0, 0};
    chunk("IHDR", header);
    std::vector<uint8_t> row{0};  // filter: none
    row.insert(row.end(), samples.begin(), samples.end());
    std::vector<uint8_t> deflated(compressBound(row.size()));
    uLongf length = deflated.size();
    compress(deflated.data(), &length, row.data(), row.size());
    chunk("IDAT", std::string(reinterpret_cast<char*>(deflated.data()), length));
    chunk("IEND", "");
    return Data::fromString(file);
}

// Icon payloads come from other programs: 16-bit samples are gamma-encoded
// as 8-bit ones are (not linear light), grey and alpha widen to RGBA, and
// alpha stays straight.
TEST(ImageEncoder, DecodingGivesStraight8BitRGBAOfEveryKindOfPNG) {
    const struct {
        const char* what;
        Data png;
        std::vector<uint8_t> pixels;
    } cases[] = {
        {"16-bit RGBA",
         pngOfOneRow(2, 16, 6,
                     {0x80, 0x80, 0x40, 0x40, 0x20, 0x20, 0xFF, 0xFF,  //
                      0xC0, 0xC0, 0x10, 0x10, 0xF0, 0xF0, 0x80, 0x80}),
         {128, 64, 32, 255, 192, 16, 240, 128}},
        {"8-bit grey and alpha",
         pngOfOneRow(2, 8, 4, {0x80, 0x40, 0x10, 0xFF}),
         {128, 128, 128, 64, 16, 16, 16, 255}},
    };
    for (const auto& c : cases) {
        auto decoded = decodePNG(c.png);
        ASSERT_TRUE(decoded) << c.what << ": " << describe(decoded.error());
        EXPECT_EQ(decoded->pixels, c.pixels) << c.what;
    }
}

TEST(ImageEncoder, DecodingRefusesDataThatIsNotPNG) {
    EXPECT_FALSE(decodePNG(Data::fromString("not a PNG at all")));
    TestImage image(4, 4);
    auto png = encodeImage(image.buffer(), ImageType::PNG);
    ASSERT_TRUE(png);
    EXPECT_FALSE(decodePNG(png->subdata(0, png->size() / 2)));
}
