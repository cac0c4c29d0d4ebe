#pragma once
// Decompression of channel data: PackBits (RLE) rows, zip (deflate) and
// the per-row delta prediction of "zip with prediction".
//
// Every function writes exactly `output.size()` bytes or fails: input that
// runs out, decodes past the output, or is not valid deflate data is an
// OMPSDErrorCompressedDataCorrupt error. None of them reads outside its
// spans. Pure functions; safe from any thread.
#include "platform/core/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>

// One PackBits-compressed row (or any run of rows) into `output`. The
// slacks are bytes that may be read past the input span and written past
// the output span (the rest of the plane): with them the decoder moves runs
// in whole 16-byte pieces. What it writes past the output is garbage that
// the caller overwrites with the following rows.
lf::Status OMPSDUnpackBits(std::span<const uint8_t> input, std::span<uint8_t> output,
                           size_t inputSlack = 0, size_t outputSlack = 0);

// A zlib (or gzip) stream into `output`, which it must fill exactly.
lf::Status OMPSDInflate(std::span<const uint8_t> input, std::span<uint8_t> output);

// Zip with prediction: inflates `rows` rows of `width` samples of `depth`
// bits into `output` and reverses the prediction (as OMPSDUndoPrediction).
// Each few rows are undone as soon as they arrive, while they are still in
// the cache, instead of in a second pass over the plane.
lf::Status OMPSDInflateAndUndoPrediction(std::span<const uint8_t> input, std::span<uint8_t> output,
                                         uint64_t width, uint64_t rows, uint32_t depth);

// Reverses the prediction of zip-with-prediction data in place: `rows` rows
// of `width` samples of `depth` bits (8, 16 or 32). 8 and 16 bits are deltas
// of whole samples; 32-bit rows hold the four bytes of the samples as four
// planes (most significant first) with deltas over the row's bytes, and
// come back as big-endian samples.
lf::Status OMPSDUndoPrediction(std::span<uint8_t> data, uint64_t width, uint64_t rows,
                               uint32_t depth);

// The largest output that `compressedLength` bytes can hold for each
// method: limits what a hostile document can make the reader allocate.
uint64_t OMPSDMaximumPackBitsOutput(uint64_t compressedLength);
uint64_t OMPSDMaximumInflateOutput(uint64_t compressedLength);
