// What the reader says about a damaged document: each message names where
// the damage is (the header, a resource, a layer, a channel, a block, an
// item) and the offending value, and keeps the error code callers rely on.
#include "PSDTestSupport.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDescriptorDecoder.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDError.h"

#include <gtest/gtest.h>

#include <algorithm>

using lf::test::ByteWriter;
using lf::test::TestDocument;
using lf::test::TestLayer;

namespace {

// A 2 x 2 layer at (`at`, `at`) with transparency and three colour channels.
TestLayer layerAt(const std::string& name, int32_t at) {
    TestLayer layer;
    layer.name = name;
    layer.top = layer.left = at;
    layer.bottom = layer.right = at + 2;
    for (int16_t id : {-1, 0, 1, 2})
        layer.channels.push_back({id, 0, std::vector<uint8_t>(4, 9)});
    return layer;
}

size_t offsetOf(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& pattern) {
    auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    EXPECT_NE(at, bytes.end());
    return size_t(at - bytes.begin());
}

std::vector<uint8_t> rectangle(int32_t at) {
    return ByteWriter()
        .u32(uint32_t(at))
        .u32(uint32_t(at))
        .u32(uint32_t(at + 2))
        .u32(uint32_t(at + 2))
        .data();
}

bool contains(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}

}  // namespace

TEST(ErrorMessageTest, OpeningErrorsNameThePlaceAndTheValue) {
    TestDocument document;
    document.resources = {{1037, {0, 0, 0, 30}}};
    document.layers = {layerAt("a", 5), layerAt("b", 7)};
    const auto bytes = document.build();
    // Layer 1's record: rectangle, channel count (+16), four channel entries
    // of 6 bytes, blend mode signature (+42), extra data length (+54), mask
    // data length (+58).
    const size_t record = offsetOf(bytes, rectangle(7));
    const size_t layerCount = offsetOf(bytes, rectangle(5)) - 2;
    const size_t resourceLength = offsetOf(bytes, {'8', 'B', 'I', 'M', 0x04, 0x0d}) + 8;
    struct Case {
        const char* damage;
        size_t offset;
        std::vector<uint8_t> patch;
        int64_t code;
        std::vector<std::string> fragments;
    };
    const Case cases[] = {
        {"header channels", 12, {0, 57}, OMPSDErrorInvalidHeader, {"header: 57 channels", "56"}},
        {"header depth", 22, {0, 7}, OMPSDErrorInvalidHeader, {"header: depth 7"}},
        {"resource length",
         resourceLength,
         {0, 0, 1, 0},
         OMPSDErrorTruncated,
         {"image resource 1037: 256 bytes, 4 left"}},
        {"layer count",
         layerCount,
         {0x7f, 0xff},
         OMPSDErrorCorruptData,
         {"layer info: 32767 layers"}},
        {"channels",
         record + 16,
         {0, 71},
         OMPSDErrorCorruptData,
         {"layer 1: 71 channels, at most 59"}},
        {"blend signature",
         record + 42,
         {'8', 'B', 'I', 'X'},
         OMPSDErrorCorruptData,
         {"layer 1: blend mode signature '8BIX', expected '8BIM'"}},
        {"extra data length",
         record + 54,
         {0x7f, 0, 0, 0},
         OMPSDErrorTruncated,
         {"layer 1: extra data of 2130706432 bytes"}},
        {"mask data length",
         record + 58,
         {0x7f, 0xff, 0xff, 0xff},
         OMPSDErrorCorruptData,
         {"layer 1: mask data of 2147483647 bytes"}},
        {"channel length",
         record + 18 + 2,
         {0xff, 0xff, 0xff, 0xff},
         OMPSDErrorTruncated,
         {"layer 1 'b' channel -1: 4294967295 bytes of data"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        auto damaged = bytes;
        std::copy(c.patch.begin(), c.patch.end(), damaged.begin() + long(c.offset));
        auto opened = OMPSDDocument::create(lf::Data(damaged));
        ASSERT_FALSE(opened);
        EXPECT_TRUE(opened.error().is(OMPSDErrorDomain, c.code)) << lf::describe(opened.error());
        for (const auto& fragment : c.fragments)
            EXPECT_TRUE(contains(opened.error().localizedDescription(), fragment))
                << opened.error().localizedDescription() << "\nlacks: " << fragment;
    }
}

TEST(ErrorMessageTest, PartsReadAsAbsentAreLoggedWithThePlaceAndTheValue) {
    TestDocument document;
    TestLayer top = layerAt("b", 7);
    top.blocks = {{"lyid", {0, 0, 0, 4}}};
    // Row counts of 3 and 2 bytes; the first row repeats a byte 128 times.
    top.channels[1] = {0, 1, {0, 3, 0, 2, 0x81, 7, 0, 1, 2}};
    document.layers = {layerAt("a", 5), top};
    document.mergedCompression = 7;
    auto bytes = document.build();
    bytes[offsetOf(bytes, {'l', 'y', 'i', 'd'}) + 4] = 0x7f;  // the block's length
    lf::LogCapture log;
    auto opened = OMPSDDocument::create(lf::Data(bytes));
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    EXPECT_TRUE(log.contains("Layer 1 'b', extra data: tagged block 'lyid'"));
    EXPECT_TRUE(log.contains("takes 2130706448 bytes"));
    EXPECT_TRUE(log.contains("Merged image: compression 7, expected 0 (raw) or 1 (RLE)"));

    auto plane = (*opened)->allLayers()[1]->channelReferences()[1]->decompressedByteArray();
    ASSERT_FALSE(plane);
    EXPECT_TRUE(plane.error().is(OMPSDErrorDomain, OMPSDErrorCompressedDataCorrupt));
    EXPECT_TRUE(contains(plane.error().localizedDescription(),
                         "layer 1 'b' channel 0: RLE row 0: PackBits repeat run of 128 bytes"))
        << plane.error().localizedDescription();
}

TEST(ErrorMessageTest, DescriptorErrorsNameTheItemPath) {
    ByteWriter color;
    lf::test::item(color, "Rd  ", "zzzz");
    ByteWriter items;
    lf::test::item(items, "Clr ", "Objc").bytes(lf::test::descriptor("RGBC", 1, color.data()));
    auto unknown = OMPSDDescriptorDecoder::decode(lf::test::descriptor("null", 1, items.data()));
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().localizedDescription(),
              "action descriptor: item 'Clr ': item 'Rd  ': unknown type 'zzzz'");

    ByteWriter text;
    lf::test::item(text, "Nm  ", "TEXT").u32(1000).u16('a');
    auto cut = OMPSDDescriptorDecoder::decode(lf::test::descriptor("null", 1, text.data()));
    ASSERT_FALSE(cut);
    EXPECT_TRUE(cut.error().is(OMPSDErrorDomain, OMPSDErrorCorruptData));
    EXPECT_TRUE(contains(cut.error().localizedDescription(),
                         "item 'Nm  ': value of type 'TEXT' at byte 28 reaches past the end"))
        << cut.error().localizedDescription();
}
