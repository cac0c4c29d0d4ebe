// Channel decompression: PackBits, zip, prediction, and the channel
// reference that does it lazily, once, from several threads.
#include "PSDTestSupport.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDecompression.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDError.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

using lf::test::TestDocument;
using lf::test::TestLayer;

namespace {

std::vector<uint8_t> unpack(const std::vector<uint8_t>& input, size_t size, bool* ok) {
    std::vector<uint8_t> output(size, 0xee);
    *ok = OMPSDUnpackBits(input, output).ok();
    return output;
}

// The encoder side of prediction, to check that undoing it restores rows.
std::vector<uint8_t> predict(std::vector<uint8_t> data, size_t width, size_t rows, int depth) {
    size_t rowBytes = width * depth / 8;
    for (size_t r = 0; r < rows; ++r) {
        uint8_t* p = data.data() + r * rowBytes;
        if (depth == 8) {
            for (size_t i = width - 1; i > 0; --i)
                p[i] = uint8_t(p[i] - p[i - 1]);
        } else if (depth == 16) {
            for (size_t i = width - 1; i > 0; --i) {
                uint16_t v =
                    uint16_t((p[2 * i] << 8 | p[2 * i + 1]) - (p[2 * i - 2] << 8 | p[2 * i - 1]));
                p[2 * i] = uint8_t(v >> 8);
                p[2 * i + 1] = uint8_t(v);
            }
        } else {
            std::vector<uint8_t> planar(rowBytes);
            for (size_t i = 0; i < width; ++i)
                for (size_t b = 0; b < 4; ++b)
                    planar[b * width + i] = p[4 * i + b];
            for (size_t i = rowBytes - 1; i > 0; --i)
                planar[i] = uint8_t(planar[i] - planar[i - 1]);
            std::copy(planar.begin(), planar.end(), p);
        }
    }
    return data;
}

std::vector<uint8_t> bytesOf(const BAByteArray& array) {
    std::vector<uint8_t> out(array.length());
    EXPECT_TRUE(array.copyBytes(out.data(), {0, out.size()}));
    return out;
}

}  // namespace

TEST(DecompressionTest, PackBitsRunsAndDamage) {
    bool ok = false;
    // Literal of 3, repeat of 4, the no-op header -128, literal of 1.
    auto out = unpack({2, 'a', 'b', 'c', 0xfd, 'x', 0x80, 0, 'z'}, 8, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcxxxxz");
    // Input that ends early, a literal past the row, a repeat past the row.
    unpack({2, 'a', 'b'}, 3, &ok);
    EXPECT_FALSE(ok);
    unpack({5, 'a', 'b', 'c', 'd', 'e', 'f'}, 3, &ok);
    EXPECT_FALSE(ok);
    out = unpack({0x81, 'q'}, 4, &ok);  // 128 repeats for a 4-byte row
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0xee)) << "nothing written past a failed run";
    unpack({0xff}, 2, &ok);  // a repeat header without its byte
    EXPECT_FALSE(ok);
    unpack({}, 0, &ok);
    EXPECT_TRUE(ok);
}

TEST(DecompressionTest, InflateFillsExactlyOrFails) {
    std::vector<uint8_t> plain(10000);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = uint8_t(i * 7 / 13);
    auto packed = lf::test::deflateBytes(plain);
    std::vector<uint8_t> out(plain.size());
    EXPECT_TRUE(OMPSDInflate(packed, out));
    EXPECT_EQ(out, plain);
    std::vector<uint8_t> longer(plain.size() + 1);
    EXPECT_FALSE(OMPSDInflate(packed, longer)) << "stream shorter than the plane";
    std::vector<uint8_t> truncated(packed.begin(), packed.begin() + long(packed.size() / 2));
    EXPECT_FALSE(OMPSDInflate(truncated, out));
    std::vector<uint8_t> garbage(64, 0x5a);
    auto status = OMPSDInflate(garbage, out);
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().is(OMPSDErrorDomain, OMPSDErrorCompressedDataCorrupt));
}

TEST(DecompressionTest, PredictionRoundTripsAtEveryDepth) {
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        const size_t width = 5, rows = 3;
        std::vector<uint8_t> plain(width * rows * depth / 8);
        for (size_t i = 0; i < plain.size(); ++i)
            plain[i] = uint8_t(i * 37 + 11);
        auto data = predict(plain, width, rows, depth);
        EXPECT_TRUE(OMPSDUndoPrediction(data, width, rows, uint32_t(depth)));
        EXPECT_EQ(data, plain);
    }
    std::vector<uint8_t> small(4);
    EXPECT_FALSE(OMPSDUndoPrediction(small, 4, 2, 8)) << "plane larger than the data";
    EXPECT_FALSE(OMPSDUndoPrediction(small, 1, 1, 24));
}

TEST(DecompressionTest, InflatingWithPredictionEqualsInflatingThenUndoing) {
    // Planes from one row to many read windows' worth of rows, and rows
    // longer than a window.
    struct Case {
        int depth;
        size_t width, rows;
    } cases[] = {{8, 1, 1},      {8, 7, 3},      {8, 3000, 50}, {16, 5, 2},
                 {16, 2500, 40}, {16, 40000, 2}, {32, 9, 4},    {32, 1200, 30}};
    std::mt19937 random(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth << "-bit " << c.width << "x" << c.rows);
        std::vector<uint8_t> plain(c.width * c.rows * c.depth / 8);
        for (auto& byte : plain)
            byte = uint8_t(random() % 7 + 100);  // small deltas, as in images
        auto compressed = lf::test::deflateBytes(predict(plain, c.width, c.rows, c.depth));
        std::vector<uint8_t> fused(plain.size(), 0xee);
        ASSERT_TRUE(
            OMPSDInflateAndUndoPrediction(compressed, fused, c.width, c.rows, uint32_t(c.depth)));
        EXPECT_EQ(fused, plain);
        // Cut short, it fails where plain inflating fails.
        compressed.resize(compressed.size() / 2);
        std::vector<uint8_t> plainOut(plain.size());
        EXPECT_EQ(
            OMPSDInflateAndUndoPrediction(compressed, fused, c.width, c.rows, uint32_t(c.depth))
                .ok(),
            OMPSDInflate(compressed, plainOut).ok());
        if (plain.size() > 1000) {
            EXPECT_FALSE(OMPSDInflate(compressed, plainOut)) << "half a large plane is missing";
        }
    }
    std::vector<uint8_t> small(4);
    EXPECT_FALSE(OMPSDInflateAndUndoPrediction(lf::test::deflateBytes(small), small, 4, 2, 8))
        << "plane larger than the output";
}

TEST(DecompressionTest, ChannelsOfEveryCompressionReadTheSamePlane) {
    // One 4 x 3 layer per compression; 16-bit samples to exercise byte order.
    std::vector<uint8_t> plane(4 * 3 * 2);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = uint8_t(i * 11 + 1);
    std::vector<uint8_t> rle;
    for (int row = 0; row < 3; ++row) {  // row byte counts
        rle.push_back(0);
        rle.push_back(9);
    }
    for (int row = 0; row < 3; ++row) {
        std::vector<uint8_t> bytes(plane.begin() + row * 8, plane.begin() + row * 8 + 8);
        auto packed = lf::test::packBitsLiteral(bytes);
        rle.insert(rle.end(), packed.begin(), packed.end());
    }
    TestDocument document;
    document.depth = 16;
    auto layer = [&](uint16_t compression, std::vector<uint8_t> payload) {
        TestLayer l;
        l.bottom = 3;
        l.right = 4;
        l.channels = {{0, compression, std::move(payload)}};
        return l;
    };
    document.layers = {layer(0, plane), layer(1, rle), layer(2, lf::test::deflateBytes(plane)),
                       layer(3, lf::test::deflateBytes(predict(plane, 4, 3, 16)))};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    ASSERT_EQ((*opened)->allLayers().size(), 4u);
    for (const auto& l : (*opened)->allLayers()) {
        auto channel = l->channelReferences()[0];
        SCOPED_TRACE(int(channel->compression()));
        EXPECT_EQ(channel->depth(), 16u);
        EXPECT_EQ(bytesOf(*channel->byteArray()), plane);
    }
}

TEST(DecompressionTest, DamagedChannelsFailAloneAndOnce) {
    TestDocument document;
    auto layer = [&](int32_t right, int32_t bottom, uint16_t compression,
                     std::vector<uint8_t> payload) {
        TestLayer l;
        l.bottom = bottom;
        l.right = right;
        l.channels = {{0, compression, std::move(payload)}};
        return l;
    };
    document.layers = {
        layer(4, 4, 2, std::vector<uint8_t>(20, 0x33)),             // not a zip stream
        layer(4, 1, 1, {0, 3, 0x81, 7, 0}),                         // RLE run past its row
        layer(4, 1, 1, {0, 200, 0, 1}),                             // row count past the data
        layer(4, 4, 9, std::vector<uint8_t>(16)),                   // unknown method
        layer(4, 4, 0, std::vector<uint8_t>(15)),                   // raw, one byte short
        layer(2000000000, 2000000000, 1, std::vector<uint8_t>(8)),  // absurd size, tiny data
    };
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    const int64_t expected[] = {OMPSDErrorCompressedDataCorrupt,
                                OMPSDErrorCompressedDataCorrupt,
                                OMPSDErrorCompressedDataCorrupt,
                                OMPSDErrorUnsupportedCompression,
                                OMPSDErrorTruncated,
                                OMPSDErrorTruncated};
    lf::LogCapture log;
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        auto channel = (*opened)->allLayers()[i]->channelReferences()[0];
        auto result = channel->decompressedByteArray();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().domain, OMPSDErrorDomain);
        EXPECT_EQ(result.error().code, expected[i]);
        // The plain accessor gives an empty plane, which readers skip.
        EXPECT_EQ(channel->byteArray()->length(), 0u);
    }
    EXPECT_EQ(log.lines().size(), 6u) << "each failure logged once";
}

TEST(DecompressionTest, ConcurrentReadersShareOneDecompression) {
    std::vector<uint8_t> plane(64 * 64);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = uint8_t(i ^ (i >> 6));
    TestDocument document;
    document.width = document.height = 64;
    TestLayer layer;
    layer.bottom = layer.right = 64;
    for (int16_t id : {-1, 0, 1, 2})
        layer.channels.push_back({id, 2, lf::test::deflateBytes(plane)});
    document.layers = {layer};
    auto opened = OMPSDDocument::create(document.data());
    ASSERT_TRUE(opened);
    const auto& channels = (*opened)->allLayers()[0]->channelReferences();
    std::vector<std::shared_ptr<const BAByteArray>> seen(8 * channels.size());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (size_t c = 0; c < channels.size(); ++c)
                seen[t * channels.size() + c] = channels[c]->byteArray();
        });
    for (auto& thread : threads)
        thread.join();
    for (size_t t = 0; t < 8; ++t)
        for (size_t c = 0; c < channels.size(); ++c)
            EXPECT_EQ(seen[t * channels.size() + c], seen[c]);
    EXPECT_EQ(bytesOf(*seen[0]), plane);
}

TEST(DecompressionTest, PackBitsWithSlackDecodesTheSameRows) {
    // Rows decoded with room to overshoot (the fast path) must equal rows
    // decoded without, for every mix of run kinds and lengths.
    std::mt19937 random(7);
    for (int trial = 0; trial < 200; ++trial) {
        const size_t rowBytes = 1 + random() % 300, rows = 1 + random() % 4;
        std::vector<uint8_t> expected(rowBytes * rows), stream;
        std::vector<size_t> lengths;
        for (size_t row = 0; row < rows; ++row) {
            size_t start = stream.size(), filled = 0;
            while (filled < rowBytes) {
                size_t count = std::min<size_t>(1 + random() % 128, rowBytes - filled);
                if (random() % 2) {
                    stream.push_back(uint8_t(count - 1));
                    for (size_t i = 0; i < count; ++i)
                        stream.push_back(uint8_t(random()));
                    std::copy(stream.end() - long(count), stream.end(),
                              expected.begin() + long(row * rowBytes + filled));
                } else {
                    uint8_t value = uint8_t(random());
                    if (count == 1) {
                        stream.insert(stream.end(), {0, value});
                    } else {
                        stream.push_back(uint8_t(1 - int(count)));
                        stream.push_back(value);
                    }
                    std::fill_n(expected.begin() + long(row * rowBytes + filled), count, value);
                }
                filled += count;
            }
            lengths.push_back(stream.size() - start);
        }
        std::vector<uint8_t> fast(expected.size()), slow(expected.size());
        size_t offset = 0;
        for (size_t row = 0; row < rows; ++row) {
            std::span<const uint8_t> input(stream.data() + offset, lengths[row]);
            ASSERT_TRUE(OMPSDUnpackBits(input, std::span(fast).subspan(row * rowBytes, rowBytes),
                                        stream.size() - offset - lengths[row],
                                        fast.size() - (row + 1) * rowBytes));
            ASSERT_TRUE(OMPSDUnpackBits(input, std::span(slow).subspan(row * rowBytes, rowBytes)));
            offset += lengths[row];
        }
        EXPECT_EQ(fast, expected);
        EXPECT_EQ(slow, expected);
    }
}
