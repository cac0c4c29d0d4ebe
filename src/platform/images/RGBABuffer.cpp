#include "platform/images/RGBABuffer.h"

#include <array>
#include <cstring>

namespace lf {
namespace {

// One table per alpha value, built once: 64 KiB that stay in cache, so a
// division per sample becomes a load.
struct AlphaTables {
    std::array<std::array<uint8_t, 256>, 256> unpremultiplied;
    std::array<std::array<uint8_t, 256>, 256> premultiplied;

    AlphaTables() {
        for (unsigned a = 0; a < 256; ++a) {
            for (unsigned c = 0; c < 256; ++c) {
                unsigned straight = a == 0 ? 0 : (c * 255 + a / 2) / a;
                unpremultiplied[a][c] = static_cast<uint8_t>(straight > 255 ? 255 : straight);
                premultiplied[a][c] = static_cast<uint8_t>((c * a + 127) / 255);
            }
        }
    }
};

const AlphaTables& alphaTables() {
    static const AlphaTables tables;
    return tables;
}

// Pixels are taken in blocks of 8 so that fully opaque blocks, most of a
// typical render, are one copy instead of 24 look-ups, and fully clear
// blocks, most of the rest, one fill (either conversion clears their colour).
constexpr size_t kBlock = 8;

enum class Block { opaque, clear, mixed };

Block blockKind(const uint8_t* pixels) {
    uint8_t all = 0xFF, any = 0;
    for (size_t i = 0; i < kBlock; ++i) {
        all &= pixels[i * 4 + 3];
        any |= pixels[i * 4 + 3];
    }
    return all == 0xFF ? Block::opaque : any == 0 ? Block::clear : Block::mixed;
}

// The look-ups are the fastest road for mixed coverage: dividing in
// vectors (the planes of a block, or four pixels a register) took about
// twice as long on renders of translucent layers (bench_render_process,
// BM_StraightColour).
template <class Table>
void convert(const uint8_t* source, uint8_t* destination, size_t pixelCount, const Table& table) {
    size_t i = 0;
    auto convertPixel = [&](size_t p) {
        const uint8_t a = source[p * 4 + 3];
        const auto& row = table[a];
        destination[p * 4 + 0] = row[source[p * 4 + 0]];
        destination[p * 4 + 1] = row[source[p * 4 + 1]];
        destination[p * 4 + 2] = row[source[p * 4 + 2]];
        destination[p * 4 + 3] = a;
    };
    for (; i + kBlock <= pixelCount; i += kBlock) {
        Block kind = blockKind(source + i * 4);
        if (kind == Block::opaque) {
            if (source != destination) std::memcpy(destination + i * 4, source + i * 4, kBlock * 4);
            continue;
        }
        if (kind == Block::clear) {
            std::memset(destination + i * 4, 0, kBlock * 4);
            continue;
        }
        for (size_t p = i; p < i + kBlock; ++p)
            convertPixel(p);
    }
    for (; i < pixelCount; ++i)
        convertPixel(i);
}

}  // namespace

void unpremultiplyRGBA(const uint8_t* source, uint8_t* destination, size_t pixelCount) {
    convert(source, destination, pixelCount, alphaTables().unpremultiplied);
}

void premultiplyRGBA(const uint8_t* source, uint8_t* destination, size_t pixelCount) {
    convert(source, destination, pixelCount, alphaTables().premultiplied);
}

}  // namespace lf
