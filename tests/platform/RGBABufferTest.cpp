#include "platform/images/RGBABuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace lf;

// Every colour under every alpha, against the division the image library's
// unpremultiply does, and multiplying back.
TEST(RGBABuffer, AlphaConversionsMatchTheFormulasForEverySample) {
    std::vector<uint8_t> pixels(256 * 256 * 4);
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned c = 0; c < 256; ++c) {
            uint8_t* p = &pixels[(a * 256 + c) * 4];
            p[0] = static_cast<uint8_t>(c);
            p[1] = static_cast<uint8_t>(255 - c);
            p[2] = static_cast<uint8_t>(c / 2);
            p[3] = static_cast<uint8_t>(a);
        }
    std::vector<uint8_t> straight(pixels.size()), premultiplied(pixels.size());
    unpremultiplyRGBA(pixels.data(), straight.data(), 256 * 256);
    premultiplyRGBA(pixels.data(), premultiplied.data(), 256 * 256);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const unsigned c = pixels[i], a = pixels[i | 3];
        if ((i & 3) == 3) {
            ASSERT_EQ(straight[i], a);
            ASSERT_EQ(premultiplied[i], a);
            continue;
        }
        const unsigned divided = a == 0 ? 0 : std::min(255u, (c * 255 + a / 2) / a);
        ASSERT_EQ(straight[i], divided) << "c " << c << " a " << a;
        ASSERT_EQ(premultiplied[i], static_cast<unsigned>(std::lround(c * a / 255.0)))
            << "c " << c << " a " << a;
    }
}

// Opaque blocks are copied whole: lengths around the block size, in place,
// with one translucent pixel at each position, and bytes past the end kept.
TEST(RGBABuffer, OpaqueBlocksAndTailsConvertInPlace) {
    for (size_t count = 1; count <= 25; ++count) {
        for (size_t odd = 0; odd < count; ++odd) {
            std::vector<uint8_t> pixels((count + 1) * 4, 0x77);
            for (size_t i = 0; i < count; ++i) {
                pixels[i * 4 + 0] = 40;
                pixels[i * 4 + 1] = 80;
                pixels[i * 4 + 2] = 120;
                pixels[i * 4 + 3] = i == odd ? 128 : 255;
            }
            unpremultiplyRGBA(pixels.data(), pixels.data(), count);
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(pixels[i * 4], i == odd ? 80 : 40) << count << " " << odd << " " << i;
            ASSERT_EQ(pixels[count * 4], 0x77);
        }
    }
}
