#include "psd/OMPSDDecompression.h"

#include "psd/OMPSDError.h"

#include <fmt/format.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Out of line: the decoders' loops stay as tight as without the messages.
template <typename... Args>
[[gnu::cold, gnu::noinline]] lf::Error corrupt(fmt::format_string<Args...> format, Args&&... args) {
    return OMPSDMakeError(OMPSDErrorCompressedDataCorrupt,
                          fmt::format(format, std::forward<Args>(args)...));
}

lf::Error predictionDoesNotFit(uint64_t width, uint64_t rows, uint32_t depth, size_t planeBytes) {
    return corrupt(
        "prediction of {} x {} samples of {} bits does not fit the plane "
        "of {} bytes",
        width, rows, depth, planeBytes);
}

}  // namespace

lf::Status OMPSDUnpackBits(std::span<const uint8_t> input, std::span<uint8_t> output,
                           size_t inputSlack, size_t outputSlack) {
    // A header byte n: 0..127 copies the next n + 1 bytes, -127..-1 repeats
    // the next byte 1 - n times, -128 is skipped.
    //
    // Runs are short (at most 128 bytes), so variable-length memcpy and
    // memset cost more than the bytes they move. Where 128 bytes can be
    // read and written (slack included), runs move in fixed 16-byte pieces
    // that may overshoot the run; the overshoot lands where later runs (or
    // later rows) write anyway.
    const uint8_t* in = input.data();
    const uint8_t* inEnd = in + input.size();
    const uint8_t* inLimit = inEnd + inputSlack;
    uint8_t* out = output.data();
    uint8_t* outEnd = out + output.size();
    uint8_t* outLimit = outEnd + outputSlack;
    while (out < outEnd) {
        if (in >= inEnd)
            return corrupt("PackBits data ends {} bytes before the end of its row", outEnd - out);
        int8_t header = int8_t(*in++);
        if (header >= 0) {
            size_t count = size_t(header) + 1;
            if (count > size_t(inEnd - in) || count > size_t(outEnd - out))
                return corrupt(
                    "PackBits literal run of {} bytes, {} bytes of data and {} of the row left",
                    count, inEnd - in, outEnd - out);
            if (size_t(inLimit - in) >= 128 && size_t(outLimit - out) >= 128) {
                for (size_t i = 0; i < count; i += 16)
                    std::memcpy(out + i, in + i, 16);
            } else {
                std::memcpy(out, in, count);
            }
            in += count;
            out += count;
        } else if (header != -128) {
            size_t count = size_t(1 - header);
            if (in >= inEnd || count > size_t(outEnd - out))
                return corrupt(
                    "PackBits repeat run of {} bytes, {} bytes of data and {} of the row left",
                    count, inEnd - in, outEnd - out);
            uint8_t value = *in++;
            if (size_t(outLimit - out) >= 128) {
                uint8_t pattern[16];
                std::memset(pattern, value, 16);
                for (size_t i = 0; i < count; i += 16)
                    std::memcpy(out + i, pattern, 16);
            } else {
                std::memset(out, value, count);
            }
            out += count;
        }
    }
    return {};
}

namespace {

// Inflates `input` into `output`, which it must fill exactly, giving zlib at
// most `step` bytes of room at a time and calling `arrived` with the number
// of bytes written so far after each step.
template <typename Arrived>
lf::Status inflateInSteps(std::span<const uint8_t> input, std::span<uint8_t> output, size_t step,
                          Arrived arrived) {
    z_stream stream{};
    // Window bits 15 + 32: zlib or gzip header, detected.
    if (inflateInit2(&stream, 15 + 32) != Z_OK) return corrupt("zip stream cannot be started");
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
    stream.next_in = const_cast<Bytef*>(input.data());
    uint8_t* out = output.data();
    size_t inLeft = input.size(), outLeft = output.size();
    // zlib counts in 32-bit units: feed large buffers in pieces.
    step = std::min<size_t>(step, std::numeric_limits<uInt>::max());
    int status = Z_OK;
    while (outLeft > 0) {
        stream.avail_in = uInt(std::min<size_t>(inLeft, std::numeric_limits<uInt>::max()));
        stream.next_out = out;
        stream.avail_out = uInt(std::min(outLeft, step));
        size_t inBefore = stream.avail_in, outBefore = stream.avail_out;
        status = inflate(&stream, Z_NO_FLUSH);
        size_t consumed = inBefore - stream.avail_in, produced = outBefore - stream.avail_out;
        inLeft -= consumed;
        out += produced;
        outLeft -= produced;
        if (produced > 0) LF_TRY(arrived(output.size() - outLeft));
        if (status == Z_STREAM_END) break;
        if (status != Z_OK || (consumed == 0 && produced == 0))
            return corrupt("zip data is damaged or ends early after {} of {} bytes ({})",
                           output.size() - outLeft, output.size(),
                           stream.msg ? stream.msg : zError(status));
    }
    if (outLeft != 0)
        return corrupt("zip data holds {} bytes, the plane takes {}", output.size() - outLeft,
                       output.size());
    return {};
}

}  // namespace

lf::Status OMPSDInflate(std::span<const uint8_t> input, std::span<uint8_t> output) {
    return inflateInSteps(input, output, output.size(), [](size_t) { return lf::Status(); });
}

lf::Status OMPSDInflateAndUndoPrediction(std::span<const uint8_t> input, std::span<uint8_t> output,
                                         uint64_t width, uint64_t rows, uint32_t depth) {
    uint64_t rowBytes = width * (depth / 8);
    if (depth % 8 != 0 || depth == 0 || rowBytes == 0 || rowBytes * rows > output.size())
        return predictionDoesNotFit(width, rows, depth, output.size());
    // About 64 KiB of rows a step: they stay in the cache until undone.
    size_t step = std::max<uint64_t>(1, (uint64_t{64} << 10) / rowBytes) * rowBytes;
    uint64_t undone = 0;
    return inflateInSteps(input, output, step, [&](size_t written) -> lf::Status {
        uint64_t ready = std::min<uint64_t>(written / rowBytes, rows);
        if (ready == undone) return {};
        auto status =
            OMPSDUndoPrediction(output.subspan(undone * rowBytes), width, ready - undone, depth);
        undone = ready;
        return status;
    });
}

lf::Status OMPSDUndoPrediction(std::span<uint8_t> data, uint64_t width, uint64_t rows,
                               uint32_t depth) {
    uint64_t bytesPerSample = depth / 8;
    if (bytesPerSample == 0 || depth % 8 != 0 || width * bytesPerSample * rows > data.size())
        return predictionDoesNotFit(width, rows, depth, data.size());
    uint64_t rowBytes = width * bytesPerSample;
    std::vector<uint8_t> planar(depth == 32 ? rowBytes : 0);
    for (uint64_t row = 0; row < rows; ++row) {
        uint8_t* p = data.data() + row * rowBytes;
        switch (depth) {
            case 8:
                for (uint64_t i = 1; i < width; ++i)
                    p[i] = uint8_t(p[i] + p[i - 1]);
                break;
            case 16: {
                // Big-endian samples, each the sum of its delta and the
                // sample before it.
                auto load = [](const uint8_t* at) {
                    uint16_t value;
                    std::memcpy(&value, at, 2);
                    return __builtin_bswap16(value);
                };
                uint16_t previous = load(p);
                for (uint64_t i = 1; i < width; ++i) {
                    uint16_t value = uint16_t(load(p + 2 * i) + previous);
                    uint16_t stored = __builtin_bswap16(value);
                    std::memcpy(p + 2 * i, &stored, 2);
                    previous = value;
                }
                break;
            }
            case 32:
                for (uint64_t i = 1; i < rowBytes; ++i)
                    p[i] = uint8_t(p[i] + p[i - 1]);
                std::memcpy(planar.data(), p, rowBytes);
                for (uint64_t i = 0; i < width; ++i)
                    for (uint64_t b = 0; b < 4; ++b)
                        p[4 * i + b] = planar[b * width + i];
                break;
            default:
                return corrupt("prediction of {}-bit samples, expected 8, 16 or 32", depth);
        }
    }
    return {};
}

uint64_t OMPSDMaximumPackBitsOutput(uint64_t compressedLength) {
    // Two bytes repeat one byte 128 times.
    return compressedLength > std::numeric_limits<uint64_t>::max() / 64 ? UINT64_MAX
                                                                        : compressedLength * 64;
}

uint64_t OMPSDMaximumInflateOutput(uint64_t compressedLength) {
    // Deflate cannot expand beyond about 1032:1; allow for headers.
    return compressedLength > std::numeric_limits<uint64_t>::max() / 1032
               ? UINT64_MAX
               : compressedLength * 1032 + 1024;
}
