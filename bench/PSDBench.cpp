// Opening a document and decompressing every channel of it (layers and
// merged image), against a plain PackBits loop and plain zlib inflate over
// the same compressed data in the same run: that pair is the limit. Both
// report MB/s of decompressed samples. The documents are the largest of
// the shared corpus ($LF_SHARED_DIR, else ../shared beside the checkout).
#include "bytearray/BABTreeByteArray.h"
#include "platform/Data.h"
#include "psd/OMPSDDocument.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

const char* const kDocuments[] = {
    "psd/blend-modes/cmyk-blend-modes.psd",
    "psd/blend-modes/rgb-blend-modes.psd",
    "psd/broken-groups.psd",
};

std::filesystem::path sharedDirectory() {
    if (const char* env = std::getenv("LF_SHARED_DIR"); env && *env) return env;
    return LF_DEFAULT_SHARED_DIR;
}

lf::Data documentData(int index) {
    auto data = lf::Data::readFile((sharedDirectory() / kDocuments[index]).string());
    return data ? *data : lf::Data();
}

std::vector<std::shared_ptr<const OMPSDChannelReference>> allChannels(const OMPSDDocument& d) {
    std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
    for (const auto& layer : d.allLayers())
        channels.insert(channels.end(), layer->channelReferences().begin(),
                        layer->channelReferences().end());
    channels.insert(channels.end(), d.mergedChannelReferences().begin(),
                    d.mergedChannelReferences().end());
    return channels;
}

void BM_OpenAndDecompress(benchmark::State& state) {
    lf::Data data = documentData(int(state.range(0)));
    if (data.empty()) return state.SkipWithError("shared documents not found");
    uint64_t samples = 0;
    for (auto _ : state) {
        auto document = OMPSDDocument::create(data);
        if (!document) return state.SkipWithError("cannot open");
        samples = 0;
        for (const auto& channel : allChannels(**document))
            samples += channel->byteArray()->length();
    }
    state.SetBytesProcessed(int64_t(samples) * state.iterations());
    state.SetLabel(kDocuments[state.range(0)]);
}

// The same planes decoded by the plainest loops, from bytes prepared
// outside the timed loop.
struct Plane {
    OMPSDCompression compression;
    std::vector<uint8_t> input;
    std::vector<uint32_t> rowLengths;
    uint64_t rowBytes = 0, rows = 0;
};

void plainPackBits(const uint8_t* in, const uint8_t* end, uint8_t* out, uint8_t* outEnd) {
    while (in < end && out < outEnd) {
        int8_t n = int8_t(*in++);
        if (n >= 0) {
            size_t count = std::min<size_t>(size_t(n) + 1, size_t(outEnd - out));
            std::memcpy(out, in, count);
            in += n + 1;
            out += count;
        } else if (n != -128) {
            size_t count = std::min<size_t>(size_t(1 - n), size_t(outEnd - out));
            std::memset(out, *in++, count);
            out += count;
        }
    }
}

void BM_PlainDecoders(benchmark::State& state) {
    lf::Data data = documentData(int(state.range(0)));
    if (data.empty()) return state.SkipWithError("shared documents not found");
    auto document = OMPSDDocument::create(data);
    if (!document) return state.SkipWithError("cannot open");
    std::vector<Plane> planes;
    uint64_t samples = 0;
    const auto& array = *(*document)->byteArray();
    for (const auto& channel : allChannels(**document)) {
        uint64_t rowBytes = 0, total = 0;
        if (!channel->planeSize(&rowBytes, &total) || total == 0) continue;
        Plane plane{channel->compression(), {}, {}, rowBytes, channel->rect().height()};
        BARange range = channel->compressedRange();
        plane.input.resize(range.length);
        if (!array.copyBytes(plane.input.data(), range)) return state.SkipWithError("read failed");
        if (plane.compression == OMPSDCompression::rle) {
            BARange counts = channel->rowCountsRange();
            std::vector<uint8_t> countBytes(counts.length);
            if (!array.copyBytes(countBytes.data(), counts))
                return state.SkipWithError("read failed");
            size_t width = (*document)->isPSB() ? 4 : 2;
            for (size_t i = 0; i + width <= countBytes.size(); i += width)
                plane.rowLengths.push_back(
                    width == 2 ? uint32_t(countBytes[i] << 8 | countBytes[i + 1])
                               : uint32_t(countBytes[i] << 24 | countBytes[i + 1] << 16 |
                                          countBytes[i + 2] << 8 | countBytes[i + 3]));
        }
        samples += total;
        planes.push_back(std::move(plane));
    }
    for (auto _ : state) {
        for (const auto& plane : planes) {
            std::vector<uint8_t> out(plane.rowBytes * plane.rows);
            switch (plane.compression) {
                case OMPSDCompression::raw:
                    std::memcpy(out.data(), plane.input.data(),
                                std::min(out.size(), plane.input.size()));
                    break;
                case OMPSDCompression::rle: {
                    const uint8_t* in = plane.input.data();
                    for (uint64_t row = 0; row < plane.rows && row < plane.rowLengths.size();
                         ++row) {
                        plainPackBits(in, in + plane.rowLengths[row],
                                      out.data() + row * plane.rowBytes,
                                      out.data() + (row + 1) * plane.rowBytes);
                        in += plane.rowLengths[row];
                    }
                    break;
                }
                default: {
                    uLongf length = uLongf(out.size());
                    uncompress(out.data(), &length, plane.input.data(), uLong(plane.input.size()));
                    break;
                }
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(samples) * state.iterations());
    state.SetLabel(kDocuments[state.range(0)]);
}

}  // namespace

BENCHMARK(BM_OpenAndDecompress)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDecoders)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
