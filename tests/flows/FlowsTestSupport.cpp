#include "FlowsTestSupport.h"

#include "PSDTestSupport.h"
#include "bytearray/BAByteSource.h"
#include "platform/images/PNGDecoder.h"
#include "platform/images/RGBABuffer.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace flows_test {

using lf::test::TestChannel;
using lf::test::TestDocument;
using lf::test::TestLayer;

namespace {

std::vector<uint8_t> sectionDivider(uint32_t type) {
    return {0, 0, 0, uint8_t(type)};
}

void appendLayers(const std::vector<TestNode>& nodes, std::vector<TestLayer>& records) {
    for (const auto& node : nodes) {
        TestLayer record;
        record.name = node.name;
        record.clipping = node.clipping;
        record.flags = node.visible ? 0 : 2;
        if (node.isGroup) {
            TestLayer end;
            end.name = "</Layer group>";
            end.blocks = {{"lsct", sectionDivider(3)}};
            for (int16_t id : {-1, 0, 1, 2})
                end.channels.push_back({id, 0, {}});
            records.push_back(end);
            appendLayers(node.children, records);
            record.blocks = {{"lsct", sectionDivider(1)}};
            for (int16_t id : {-1, 0, 1, 2})
                record.channels.push_back({id, 0, {}});
        } else {
            record.top = node.top;
            record.left = node.left;
            record.bottom = node.bottom;
            record.right = node.right;
            size_t samples = size_t(std::max(0, node.bottom - node.top)) *
                             size_t(std::max(0, node.right - node.left));
            const int16_t ids[] = {-1, 0, 1, 2};
            const uint8_t values[] = {node.colour[3], node.colour[0], node.colour[1],
                                      node.colour[2]};
            for (int i = 0; i < 4; ++i)
                record.channels.push_back({ids[i], 0, std::vector<uint8_t>(samples, values[i])});
        }
        records.push_back(std::move(record));
    }
}

lf::test::TemporaryDirectory& idleDefaultsFolder() {
    static lf::test::TemporaryDirectory folder;
    return folder;
}

}  // namespace

TestNode layer(std::string name, int32_t left, int32_t top, int32_t width, int32_t height,
               std::array<uint8_t, 4> colour) {
    TestNode node;
    node.name = std::move(name);
    node.left = left;
    node.top = top;
    node.right = left + width;
    node.bottom = top + height;
    node.colour = colour;
    return node;
}

TestNode group(std::string name, std::vector<TestNode> children) {
    TestNode node;
    node.name = std::move(name);
    node.isGroup = true;
    node.children = std::move(children);
    return node;
}

lf::Data documentData(uint32_t width, uint32_t height, const std::vector<TestNode>& layers,
                      uint16_t colorMode, uint16_t depth, const lf::Data& iccProfile) {
    TestDocument document;
    document.width = width;
    document.height = height;
    document.colorMode = colorMode;
    document.depth = depth;
    document.channels = colorMode == 3 ? 3 : 1;
    if (!iccProfile.empty())
        document.resources.push_back(
            {1039,
             std::vector<uint8_t>(iccProfile.bytes(), iccProfile.bytes() + iccProfile.size())});
    appendLayers(layers, document.layers);
    return document.data();
}

std::shared_ptr<OMPSDDocument> buildDocument(uint32_t width, uint32_t height,
                                             const std::vector<TestNode>& layers,
                                             const lf::Data& iccProfile) {
    auto document = OMPSDDocument::create(documentData(width, height, layers, 3, 8, iccProfile));
    EXPECT_TRUE(document) << lf::describe(document.error());
    return document ? *document : nullptr;
}

QFExportInputItem inputOf(std::string path, lf::Data data) {
    return {std::move(path),
            [data] {
                return lf::Result<BASlice>(
                    BASlice{std::make_shared<BAMemorySource>(data), 0, data.size()});
            },
            {}};
}

ScopedUserDefaults::ScopedUserDefaults(const nlohmann::json& values) {
    auto defaults = std::make_shared<lf::UserDefaults>((folder_ / "defaults.json").string());
    for (const auto& [key, value] : values.items())
        defaults->setObject(key, value);
    lf::UserDefaults::setStandard(std::move(defaults));
}

ScopedUserDefaults::~ScopedUserDefaults() {
    lf::UserDefaults::setStandard(
        std::make_shared<lf::UserDefaults>((idleDefaultsFolder() / "defaults.json").string()));
}

namespace {

struct JPEGErrorExit {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

std::optional<TestImage> decodeJPEG(const lf::Data& data) {
    jpeg_decompress_struct info{};
    JPEGErrorExit error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JPEGErrorExit*>(common->err)->jump, 1);
    };
    TestImage image;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.bytes(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    image.width = info.output_width;
    image.height = info.output_height;
    image.pixels.resize(image.width * image.height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.pixels.data() + size_t(info.output_scanline) * image.width * 4;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

std::optional<TestImage> decodeTIFF(const std::filesystem::path& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return std::nullopt;
    uint32_t width = 0, height = 0;
    uint16_t samples = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TestImage image{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
    bool read = samples == 4 && size_t(TIFFScanlineSize(tiff)) == size_t(width) * 4;
    for (uint32_t y = 0; read && y < height; ++y)
        read = TIFFReadScanline(tiff, image.pixels.data() + size_t(y) * width * 4, y, 0) == 1;
    TIFFClose(tiff);
    if (!read) return std::nullopt;
    return image;
}

}  // namespace

std::optional<TestImage> decodeImageData(const lf::Data& data, const std::string& extension) {
    std::string type = extension;
    std::transform(type.begin(), type.end(), type.begin(), ::tolower);
    if (type == "jpg" || type == "jpeg") return decodeJPEG(data);
    auto png = lf::decodePNG(data);
    if (!png) return std::nullopt;
    TestImage image{png->width, png->height, std::move(png->pixels)};
    lf::premultiplyRGBA(image.pixels.data(), image.pixels.data(), image.pixels.size() / 4);
    return image;
}

std::optional<TestImage> decodeImageFile(const std::filesystem::path& path) {
    std::string extension = path.extension().string().substr(1);
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    if (extension == "tif" || extension == "tiff") return decodeTIFF(path);
    auto data = lf::Data::readFile(path.string());
    if (!data) return std::nullopt;
    return decodeImageData(*data, extension);
}

std::optional<ImageDifference> compareImages(const TestImage& a, const TestImage& b) {
    if (a.width != b.width || a.height != b.height) return std::nullopt;
    ImageDifference difference;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        int d = std::abs(int(a.pixels[i]) - int(b.pixels[i]));
        difference.largest = std::max(difference.largest, d);
        if (i % 4 != 3) sum += d;
    }
    difference.mean = a.pixels.empty() ? 0 : sum / double(a.pixels.size() / 4 * 3);
    return difference;
}

std::vector<std::string> filesBelow(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (!entry.is_directory())
            files.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace flows_test
