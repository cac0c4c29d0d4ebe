// Opening a document and decompressing every channel of it (layers and
// merged image) on one thread, against the plainest decoding loops over the
// same compressed data measured in the same run: PackBits rows, zlib's
// uncompress, and the row-by-row undoing of prediction that zip with
// prediction needs after it, each plane into memory of its own that is kept
// until every plane is decoded. The documents are the generated benchmark
// documents (BenchDocuments.h), read into memory first.
//
// Counters: "of_plain" is the plain loops' time over ours (the aim is 0.7
// or more); bytes per second count decompressed samples.
#include "BenchDocuments.h"
#include "BenchSupport.h"
#include "platform/files/Data.h"
#include "psd/OMPSDDocument.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstring>

namespace {

std::vector<std::shared_ptr<const OMPSDChannelReference>> allChannels(const OMPSDDocument& d) {
    std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
    for (const auto& layer : d.allLayers())
        channels.insert(channels.end(), layer->channelReferences().begin(),
                        layer->channelReferences().end());
    channels.insert(channels.end(), d.mergedChannelReferences().begin(),
                    d.mergedChannelReferences().end());
    return channels;
}

// One plane as the plain loops see it, prepared outside the timed loop.
struct Plane {
    OMPSDCompression compression;
    std::vector<uint8_t> input;
    std::vector<uint32_t> rowLengths;
    uint64_t width = 0, rows = 0, depth = 8;
    uint64_t bytes() const { return width * depth / 8 * rows; }
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

void plainUndoPrediction(uint8_t* data, uint64_t width, uint64_t rows, uint64_t depth) {
    for (uint64_t r = 0; r < rows; ++r) {
        uint8_t* p = data + r * width * depth / 8;
        if (depth == 8) {
            for (uint64_t i = 1; i < width; ++i)
                p[i] = uint8_t(p[i] + p[i - 1]);
        } else {
            for (uint64_t i = 1; i < width; ++i) {
                unsigned v = ((p[2 * i] << 8 | p[2 * i + 1]) + (p[2 * i - 2] << 8 | p[2 * i - 1]));
                p[2 * i] = uint8_t(v >> 8);
                p[2 * i + 1] = uint8_t(v);
            }
        }
    }
}

std::unique_ptr<uint8_t[]> decodePlain(const Plane& plane) {
    std::unique_ptr<uint8_t[]> out(new uint8_t[plane.bytes()]);
    uint64_t rowBytes = plane.width * plane.depth / 8;
    switch (plane.compression) {
        case OMPSDCompression::raw:
            std::memcpy(out.get(), plane.input.data(), std::min(plane.bytes(), plane.input.size()));
            break;
        case OMPSDCompression::rle: {
            const uint8_t* in = plane.input.data();
            for (uint64_t row = 0; row < plane.rows && row < plane.rowLengths.size(); ++row) {
                plainPackBits(in, in + plane.rowLengths[row], out.get() + row * rowBytes,
                              out.get() + (row + 1) * rowBytes);
                in += plane.rowLengths[row];
            }
            break;
        }
        default: {
            uLongf length = uLongf(plane.bytes());
            uncompress(out.get(), &length, plane.input.data(), uLong(plane.input.size()));
            if (plane.compression == OMPSDCompression::zipPrediction)
                plainUndoPrediction(out.get(), plane.width, plane.rows, plane.depth);
            break;
        }
    }
    benchmark::DoNotOptimize(out.get());
    return out;
}

std::vector<Plane> plainPlanes(const OMPSDDocument& document) {
    std::vector<Plane> planes;
    const auto& array = *document.byteArray();
    for (const auto& channel : allChannels(document)) {
        uint64_t rowBytes = 0, total = 0;
        if (!channel->planeSize(&rowBytes, &total) || total == 0) continue;
        Plane plane{channel->compression(),
                    {},
                    {},
                    uint64_t(channel->rect().width()),
                    channel->rect().height(),
                    channel->depth()};
        BARange range = channel->compressedRange();
        plane.input.resize(range.length);
        if (!array.copyBytes(plane.input.data(), range)) return {};
        if (plane.compression == OMPSDCompression::rle) {
            BARange counts = channel->rowCountsRange();
            std::vector<uint8_t> countBytes(counts.length);
            if (!array.copyBytes(countBytes.data(), counts)) return {};
            size_t width = document.isPSB() ? 4 : 2;
            for (size_t i = 0; i + width <= countBytes.size(); i += width)
                plane.rowLengths.push_back(
                    width == 2 ? uint32_t(countBytes[i] << 8 | countBytes[i + 1])
                               : uint32_t(countBytes[i] << 24 | countBytes[i + 1] << 16 |
                                          countBytes[i + 2] << 8 | countBytes[i + 3]));
        }
        planes.push_back(std::move(plane));
    }
    return planes;
}

void BM_OpenAndDecompress(benchmark::State& state) {
    const BenchDocumentSpec& spec = kBenchDocuments[state.range(0)];
    std::string error;
    auto path = BenchDocumentPath(spec, &error);
    if (path.empty()) return state.SkipWithError(error.c_str());
    auto data = lf::Data::readFile(path.string());
    if (!data) return state.SkipWithError("cannot read the document");
    auto document = OMPSDDocument::create(*data);
    if (!document) return state.SkipWithError("cannot open");
    std::vector<Plane> planes = plainPlanes(**document);
    uint64_t samples = 0;
    for (const Plane& plane : planes)
        samples += plane.bytes();

    // The limit: the plain loops, best of three.
    double plainSeconds = 1e9;
    for (int i = 0; i < 3; ++i) {
        // Every plane is kept until the pass ends, as a document keeps them.
        std::vector<std::unique_ptr<uint8_t[]>> decoded;
        auto start = std::chrono::steady_clock::now();
        for (const Plane& plane : planes)
            decoded.push_back(decodePlain(plane));
        plainSeconds = std::min(
            plainSeconds,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    double seconds = timedSecondsPerIteration(state, [&] {
        auto opened = OMPSDDocument::create(*data);
        for (const auto& channel : allChannels(**opened))
            benchmark::DoNotOptimize(channel->byteArray()->length());
    });
    state.SetBytesProcessed(int64_t(samples) * state.iterations());
    state.counters["of_plain"] = plainSeconds / seconds;
    state.SetLabel(spec.name());
}

}  // namespace

BENCHMARK(BM_OpenAndDecompress)
    ->DenseRange(0, int(std::size(kBenchDocuments)) - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
