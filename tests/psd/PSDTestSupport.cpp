#include "PSDTestSupport.h"

#include "support/TestSupport.h"

#include <png.h>

#include <bit>
#include <cstdio>
#include <memory>

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

}  // namespace lf::test
