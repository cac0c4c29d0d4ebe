// Opening reads a document's records through its byte array and leaves the
// channel data and large blocks where they are until they are used.
#include "PSDTestSupport.h"
#include "bytearray/BABTreeByteArray.h"
#include "bytearray/BAByteSource.h"
#include "psd/OMPSDDocument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

using lf::test::noise;
using lf::test::TestDocument;
using lf::test::TestLayer;

namespace {

// A document's bytes that hands out copies only (as a file does) and counts
// the bytes copied.
class CountingSource final : public BAByteSource {
public:
    explicit CountingSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        copied += length;
        std::memcpy(destination, bytes_.data() + offset, length);
        return {};
    }
    uint64_t size() const { return bytes_.size(); }
    mutable std::atomic<uint64_t> copied{0};

private:
    std::vector<uint8_t> bytes_;
};

// The layer info of a built document moved into an "Lr16" block, as
// 16-bit documents keep it (8-bit lengths: PSD).
TestDocument withLayerInfoInBlock(const TestDocument& built) {
    auto full = built.build();
    size_t lengthAt = 26 + 4 + 4 + 4;  // header, colour data, resources, section length
    uint64_t length = 0;
    for (int i = 0; i < 4; ++i)
        length = length << 8 | full[lengthAt + i];
    TestDocument document = built;
    document.layers.clear();
    document.documentBlocks.insert(
        document.documentBlocks.begin(),
        {"Lr16", std::vector<uint8_t>(full.begin() + long(lengthAt + 4),
                                      full.begin() + long(lengthAt + 4 + length))});
    return document;
}

}  // namespace

TEST(LayerSectionReadingTest, OpeningReadsTheRecordsAndLeavesChannelDataAndLargeBlocks) {
    constexpr int32_t kSide = 180;
    const std::vector<uint8_t> bigRecordBlock = noise(150 << 10, 1);  // longer than a read window
    const std::vector<uint8_t> bigDocumentBlock = noise(200 << 10, 2);
    for (uint16_t depth : {8, 16}) {
        SCOPED_TRACE(depth);
        TestDocument built;
        built.depth = depth;
        built.width = built.height = kSide;
        std::vector<std::vector<uint8_t>> planes;
        for (int i = 0; i < 3; ++i) {
            TestLayer layer;
            layer.name = "layer " + std::to_string(i);
            layer.bottom = layer.right = kSide;
            for (int16_t id : {-1, 0, 1, 2}) {
                planes.push_back(
                    noise(size_t(kSide) * kSide * depth / 8, uint32_t(10 * i + id + 5)));
                bool zip = id % 2 == 0;
                layer.channels.push_back(
                    {id, uint16_t(zip ? 2 : 0),
                     zip ? lf::test::deflateBytes(planes.back()) : planes.back()});
            }
            if (i == 1) layer.blocks = {{"Xbig", bigRecordBlock}};
            built.layers.push_back(layer);
        }
        built.documentBlocks = {{"Txt2", bigDocumentBlock}, {"Xsml", {1, 2, 3, 4}}};
        TestDocument document = depth == 16 ? withLayerInfoInBlock(built) : built;

        auto bytes = document.build();
        auto source = std::make_shared<CountingSource>(bytes);
        auto array = std::make_shared<BABTreeByteArray>();
        ASSERT_TRUE(array->insertSlice({source, 0, source->size()}, 0));
        auto opened = OMPSDDocument::create(std::shared_ptr<const BAByteArray>(array));
        ASSERT_TRUE(opened) << lf::describe(opened.error());
        const OMPSDDocument& read = **opened;

        // The records (the large block of one included) and a few read
        // windows, not the channel data and the large block, which are
        // more than twice as large.
        uint64_t atOpen = source->copied;
        EXPECT_LT(atOpen, bigRecordBlock.size() + 5 * (64 << 10));
        EXPECT_GT(bytes.size(), 2 * atOpen);
        ASSERT_EQ(read.layers().size(), 3u);
        EXPECT_EQ(read.layers()[1]->name(), "layer 1");
        const auto* recordBlock = read.layers()[1]->attributesAtomForKey(OMPSDFourCC("Xbig"));
        ASSERT_NE(recordBlock, nullptr);
        EXPECT_EQ(recordBlock->data(), lf::Data(bigRecordBlock));

        // Blocks and planes are read when used, and read what was written.
        const auto* small = read.attributesAtomForKey(OMPSDFourCC("Xsml"));
        ASSERT_NE(small, nullptr);
        EXPECT_EQ(small->data(), lf::Data(std::vector<uint8_t>{1, 2, 3, 4}));
        const auto* large = read.attributesAtomForKey(OMPSDFourCC("Txt2"));
        ASSERT_NE(large, nullptr);
        EXPECT_EQ(large->size(), bigDocumentBlock.size());
        EXPECT_EQ(source->copied, atOpen) << "the large block is not read yet";
        EXPECT_EQ(large->data(), lf::Data(bigDocumentBlock));
        EXPECT_GE(source->copied, atOpen + bigDocumentBlock.size());
        size_t plane = 0;
        for (const auto& layer : read.layers())
            for (const auto& channel : layer->channelReferences()) {
                auto samples = channel->byteArray();
                std::vector<uint8_t> decoded(samples->length());
                ASSERT_TRUE(samples->copyBytes(decoded.data(), {0, decoded.size()}));
                EXPECT_EQ(decoded, planes[plane++]) << channel->debugIdentifier();
            }
    }
}
