// The colour-mode data and the image resources are read as they are asked
// for: opening notes where they lie, a resource's bytes are read whole when
// it is used, and sections of gigabytes cost a document nothing until then.
#include "PSDTestSupport.h"
#include "bytearray/BABTreeByteArray.h"
#include "bytearray/BAByteSource.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

using lf::test::ByteWriter;
using lf::test::noise;
using lf::test::TestDocument;
using lf::test::TestLayer;

namespace {

// Another source's bytes, counted as they are read; reads fail once
// `failing` is set.
class CountedSource final : public BAByteSource {
public:
    explicit CountedSource(std::shared_ptr<const BAByteSource> source)
        : source_(std::move(source)) {}
    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        if (failing) return OMPSDMakeError(OMPSDErrorReadFailed, "the file is gone");
        read_ += length;
        return source_->read(destination, offset, length);
    }
    uint64_t bytesRead() const { return read_; }
    std::atomic<bool> failing{false};

private:
    std::shared_ptr<const BAByteSource> source_;
    mutable std::atomic<uint64_t> read_{0};
};

// The document of `length` bytes of `source`, read through a CountedSource
// (which copies, as a file does); the source is kept in `counted`.
lf::Result<std::shared_ptr<OMPSDDocument>> openCounted(std::shared_ptr<const BAByteSource> source,
                                                       uint64_t length,
                                                       std::shared_ptr<CountedSource>& counted) {
    counted = std::make_shared<CountedSource>(std::move(source));
    auto array = std::make_shared<BABTreeByteArray>();
    EXPECT_TRUE(array->insertSlice({counted, 0, length}, 0));
    return OMPSDDocument::create(std::shared_ptr<const BAByteArray>(array));
}

lf::Result<std::shared_ptr<OMPSDDocument>> openCounted(const TestDocument& built,
                                                       std::shared_ptr<CountedSource>& counted) {
    const auto bytes = built.build();
    return openCounted(std::make_shared<BAMemorySource>(lf::Data(bytes)), bytes.size(), counted);
}

std::vector<uint16_t> identifiers(const OMPSDDocument& document) {
    std::vector<uint16_t> out;
    for (const auto& resource : document.imageResources())
        out.push_back(resource->identifier());
    return out;
}

TestLayer layerOf(const std::vector<uint8_t>& plane, int32_t side) {
    TestLayer layer;
    layer.bottom = layer.right = side;
    for (int16_t id : {-1, 0, 1, 2})
        layer.channels.push_back({id, 0, plane});
    return layer;
}

// `built` written to `path` with colour-mode data of `colorModeBytes` and,
// before its own resources, resource 4000 of `resourceBytes`: both holes of
// a sparse file.
void writeSparse(const std::filesystem::path& path, const TestDocument& built,
                 uint32_t colorModeBytes, uint32_t resourceBytes) {
    ASSERT_TRUE(built.colorModeData.empty());
    const auto bytes = built.build();
    const size_t resourcesAt = 26 + 4 + 4;
    const uint32_t ownResources =
        uint32_t(bytes[30]) << 24 | bytes[31] << 16 | bytes[32] << 8 | bytes[33];
    std::ofstream out(path, std::ios::binary);
    auto write = [&](const std::vector<uint8_t>& part) {
        out.write(reinterpret_cast<const char*>(part.data()), std::streamsize(part.size()));
    };
    write({bytes.begin(), bytes.begin() + 26});
    write(ByteWriter().u32(colorModeBytes).data());
    out.seekp(colorModeBytes, std::ios::cur);
    write(ByteWriter().u32(12 + resourceBytes + ownResources).data());
    write(ByteWriter().code("8BIM").u16(4000).u16(0).u32(resourceBytes).data());
    out.seekp(resourceBytes, std::ios::cur);
    write({bytes.begin() + resourcesAt, bytes.end()});
    ASSERT_TRUE(out.good());
}

int64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

}  // namespace

// What opening reads, what each resource and the colour-mode data read as
// when asked for, and that each is read once.
TEST(ResourceReadingTest, ResourcesAndColourModeDataAreReadWhenAskedFor) {
    const auto palette = noise(768, 1);
    const auto large = noise(200 << 10, 2);  // longer than a read window
    TestDocument built;
    built.colorMode = OMPSDDocument::indexed;
    built.channels = 1;
    built.colorModeData = palette;
    // An odd length is padded; a repeated identifier keeps the first.
    built.resources = {{1037, {0, 0, 0, 120}},
                       {4000, large},
                       {1000, {1, 2, 3, 4, 5}},
                       {1037, {0, 0, 0, 45}},
                       {1049, {0, 0, 0, 60}}};
    std::shared_ptr<CountedSource> source;
    auto opened = openCounted(built, source);
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    const OMPSDDocument& document = **opened;

    const uint64_t atOpen = source->bytesRead();
    EXPECT_LT(atOpen, large.size());
    EXPECT_EQ(identifiers(document), (std::vector<uint16_t>{1037, 4000, 1000, 1049}));
    EXPECT_EQ(document.colorModeDataRange().length, palette.size());
    auto resource = document.imageResourceForIdentifier(4000);
    EXPECT_EQ(resource->size(), large.size());
    EXPECT_EQ(source->bytesRead(), atOpen) << "nothing is read for a length";

    EXPECT_EQ(resource->data(), lf::Data(large));
    const uint64_t afterRead = source->bytesRead();
    EXPECT_GE(afterRead, atOpen + large.size());
    EXPECT_EQ(resource->byteArray()->length(), large.size());
    EXPECT_EQ(source->bytesRead(), afterRead) << "a resource is read once";
    EXPECT_EQ(document.globalAngle(), 120);
    EXPECT_EQ(document.globalAltitude(), 60);
    auto colorModeData = document.colorModeData();
    ASSERT_TRUE(colorModeData);
    EXPECT_EQ(*colorModeData, lf::Data(palette));
}

// Bytes that can no longer be read when they are asked for (the file went
// away, a disk failed) read as absent, with a log line and the fallback
// values; a section of many blocks keeps one resource per identifier.
TEST(ResourceReadingTest, UnreadableOrRepeatedResourcesStayBounded) {
    TestDocument built;
    built.colorModeData = noise(32, 3);
    built.resources = {{1037, {0, 0, 0, 120}}, {4000, noise(10, 5)}};
    std::shared_ptr<CountedSource> source;
    auto opened = openCounted(built, source);
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    const OMPSDDocument& document = **opened;
    source->failing = true;
    lf::LogCapture log;
    EXPECT_TRUE(document.imageResourceForIdentifier(4000)->data().empty());
    EXPECT_TRUE(log.contains("Image resource 4000 cannot be read: "));
    EXPECT_EQ(document.globalAngle(), 30);
    auto colorModeData = document.colorModeData();
    ASSERT_FALSE(colorModeData);
    EXPECT_TRUE(colorModeData.error().is(OMPSDErrorDomain, OMPSDErrorReadFailed));

    built.colorModeData.clear();
    built.resources.clear();
    for (uint16_t i = 0; i < 60000; ++i)
        built.resources.push_back({uint16_t(2000 + i % 3), {uint8_t(i), 0}});
    auto repeated = OMPSDDocument::create(built.data());
    ASSERT_TRUE(repeated) << lf::describe(repeated.error());
    EXPECT_EQ(identifiers(**repeated), (std::vector<uint16_t>{2000, 2001, 2002}));
    EXPECT_EQ((*repeated)->imageResourceForIdentifier(2002)->data(),
              lf::Data(std::vector<uint8_t>{2, 0}));
}

// A document whose colour-mode data and image resources take 3 and 3.5 GiB
// (holes of a sparse file) opens and reads its layers, the resources beyond
// the large one, and every channel, reading a few windows and keeping its
// resident memory small.
TEST(ResourceReadingTest, SectionsOfGigabytesCostNothingUntilRead) {
    constexpr uint32_t kColorModeBytes = uint32_t{3} << 30;
    constexpr uint32_t kResourceBytes = uint32_t{7} << 29;
    const auto profile = noise(3000, 6);
    const auto plane = noise(64 * 64, 7);
    TestDocument built;
    built.width = built.height = 64;
    built.resources = {{1037, {0, 0, 0, 90}}, {1039, profile}};
    built.layers = {layerOf(plane, 64), layerOf(plane, 64)};
    lf::test::TemporaryDirectory folder;
    const auto path = folder / "sparse.psd";
    ASSERT_NO_FATAL_FAILURE(writeSparse(path, built, kColorModeBytes, kResourceBytes));

    const int64_t residentBefore = residentBytes();
    auto file = BABTreeByteArray::createWithFile(path.string());
    ASSERT_TRUE(file);
    std::shared_ptr<const BAByteSource> fileSource;
    ASSERT_TRUE((*file)->forEachSlice({0, (*file)->length()},
                                      [&](const BASlice& slice) { fileSource = slice.source; }));
    std::shared_ptr<CountedSource> source;
    auto opened = openCounted(fileSource, (*file)->length(), source);
    ASSERT_TRUE(opened) << lf::describe(opened.error());
    const OMPSDDocument& document = **opened;

    EXPECT_EQ(document.colorModeDataRange().length, kColorModeBytes);
    EXPECT_EQ(document.imageResourceForIdentifier(4000)->size(), kResourceBytes);
    EXPECT_EQ(document.globalAngle(), 90);
    EXPECT_EQ(document.imageResourceForIdentifier(1039)->data(), lf::Data(profile));
    ASSERT_EQ(document.allLayers().size(), 2u);
    for (const auto& layer : document.allLayers())
        for (const auto& channel : layer->channelReferences()) {
            auto samples = channel->decompressedByteArray();
            ASSERT_TRUE(samples);
            std::vector<uint8_t> decoded((*samples)->length());
            ASSERT_TRUE((*samples)->copyBytes(decoded.data(), {0, decoded.size()}));
            EXPECT_EQ(decoded, plane);
        }
    EXPECT_LT(source->bytesRead(), uint64_t{1} << 20);
    EXPECT_LT(residentBytes() - residentBefore, int64_t{64} << 20);
}
