#include "PSDTestSupport.h"

#include "support/TestSupport.h"

#include <png.h>
#include <zlib.h>

#include <bit>
#include <cstdio>
#include <memory>
#include <random>

namespace lf::test {

lf::Data readShared(const std::string& relativePath) {
    auto data = lf::Data::readFile(sharedFile(relativePath).string());
    EXPECT_TRUE(data.ok()) << relativePath;
    return data ? *data : lf::Data();
}

bool decodePNG(const std::string& path, DecodedPNG* out) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    struct Cleanup {
        png_structp* png;
        png_infop* info;
        ~Cleanup() { png_destroy_read_struct(png, info, nullptr); }
    } cleanup{&png, &info};
    if (!info) return false;
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file.get());
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) != 8) return false;
    png_set_expand(png);
    png_read_update_info(png, info);
    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->channels = png_get_channels(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    out->pixels.assign(rowBytes * out->height, 0);
    std::vector<png_bytep> rows(out->height);
    for (uint32_t y = 0; y < out->height; ++y)
        rows[y] = out->pixels.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return true;
}

std::shared_ptr<OMPSDLayer> layerNamed(const OMPSDDocument& document, const std::string& name) {
    for (const auto& layer : document.allLayers())
        if (layer->name() == name) return layer;
    ADD_FAILURE() << "no layer " << name;
    return nullptr;
}

ByteWriter& ByteWriter::f32(float v) {
    return u32(std::bit_cast<uint32_t>(v));
}

ByteWriter& ByteWriter::f64(double v) {
    return u64(std::bit_cast<uint64_t>(v));
}

ByteWriter& ByteWriter::identifier(const std::string& id) {
    if (id.size() == 4) return u32(0).text(id);
    return u32(uint32_t(id.size())).text(id);
}

ByteWriter& ByteWriter::unicode(const std::string& s) {
    u32(uint32_t(s.size()));
    for (char c : s)
        u16(uint8_t(c));
    return *this;
}

ByteWriter& ByteWriter::section(const std::vector<uint8_t>& body, bool wide) {
    if (wide)
        u64(body.size());
    else
        u32(uint32_t(body.size()));
    return bytes(body);
}

std::vector<uint8_t> TestDocument::build() const {
    const bool wide = version == 2;
    ByteWriter out;
    out.code("8BPS").u16(version).u32(0).u16(0).u16(channels).u32(height).u32(width).u16(depth).u16(
        colorMode);
    out.section(colorModeData);
    ByteWriter resourceSection;
    for (const auto& [id, data] : resources) {
        resourceSection.code("8BIM").u16(id).u16(0).u32(uint32_t(data.size())).bytes(data);
        if (data.size() % 2) resourceSection.u8(0);
    }
    out.section(resourceSection.data());

    ByteWriter info;
    info.u16(uint16_t(int16_t(mergedTransparency ? -int(layers.size()) : int(layers.size()))));
    for (const auto& layer : layers) {
        info.u32(uint32_t(layer.top))
            .u32(uint32_t(layer.left))
            .u32(uint32_t(layer.bottom))
            .u32(uint32_t(layer.right));
        info.u16(uint16_t(layer.channels.size()));
        for (const auto& channel : layer.channels) {
            info.u16(uint16_t(channel.identifier));
            if (wide)
                info.u64(channel.payload.size() + 2);
            else
                info.u32(uint32_t(channel.payload.size() + 2));
        }
        info.code("8BIM")
            .text(layer.blendKey)
            .u8(layer.opacity)
            .u8(layer.clipping)
            .u8(layer.flags)
            .u8(0);
        ByteWriter extra;
        extra.section(layer.maskData).section(layer.blendingRanges);
        ByteWriter name;
        name.u8(uint8_t(layer.name.size())).text(layer.name);
        while (name.size() % 4)
            name.u8(0);
        extra.bytes(name.data());
        for (const auto& [key, data] : layer.blocks) {
            extra.code("8BIM").text(key).u32(uint32_t(data.size())).bytes(data);
            while (extra.size() % 2)
                extra.u8(0);
        }
        info.section(extra.data());
    }
    for (const auto& layer : layers)
        for (const auto& channel : layer.channels)
            info.u16(channel.compression).bytes(channel.payload);
    while (info.size() % 2)
        info.u8(0);

    ByteWriter section;
    section.section(layers.empty() ? std::vector<uint8_t>() : info.data(), wide);
    section.u32(0);  // global layer mask info
    for (const auto& [key, data] : documentBlocks) {
        section.code("8BIM").text(key);
        bool wideBlock = wide && (key == "Lr16" || key == "Lr32" || key == "FXid" || key == "FEid");
        if (wideBlock)
            section.u64(data.size());
        else
            section.u32(uint32_t(data.size()));
        section.bytes(data);
        while (section.size() % 4)
            section.u8(0);
    }
    out.section(section.data(), wide);

    out.u16(mergedCompression);
    if (merged.empty())
        out.bytes(std::vector<uint8_t>(size_t(width) * height * channels * (depth / 8)));
    else
        out.bytes(merged);
    return out.data();
}

std::vector<uint8_t> noise(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes)
        byte = uint8_t(random());
    return bytes;
}

std::vector<uint8_t> packBitsLiteral(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bytes.size(); i += 128) {
        size_t count = std::min<size_t>(128, bytes.size() - i);
        out.push_back(uint8_t(count - 1));
        out.insert(out.end(), bytes.begin() + long(i), bytes.begin() + long(i + count));
    }
    return out;
}

std::vector<uint8_t> deflateBytes(const std::vector<uint8_t>& bytes) {
    uLongf length = compressBound(uLong(bytes.size()));
    std::vector<uint8_t> out(length);
    compress(out.data(), &length, bytes.data(), uLong(bytes.size()));
    out.resize(length);
    return out;
}

std::vector<uint8_t> descriptor(const std::string& classId, uint32_t count,
                                const std::vector<uint8_t>& items) {
    ByteWriter out;
    out.unicode("").identifier(classId).u32(count).bytes(items);
    return out.data();
}

ByteWriter& item(ByteWriter& out, const std::string& key, const char (&type)[5]) {
    return out.identifier(key).code(type);
}

std::vector<uint8_t> versionedDescriptor(uint32_t itemCount, const std::vector<uint8_t>& items) {
    ByteWriter out;
    out.u32(16).unicode("").identifier("null").u32(itemCount).bytes(items);
    return out.data();
}

}  // namespace lf::test
