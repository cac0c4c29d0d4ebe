#pragma once
// One zlib stream made of bands deflated in parallel, as parallel
// compressors do: each band is a raw deflate stream primed with the last
// 32 KiB before it (so splitting costs almost nothing in size) and ended
// with a sync flush, the bands follow one zlib header, and one Adler-32
// combined from the bands' own checksums closes the stream. Any inflater
// reads the result as one stream.
//
// Bands run on the default global queue; the calling thread takes bands
// too, so the work finishes even when every worker is busy. What a band
// throws (the producer running out of memory, say) is thrown on the
// calling thread once every band has ended.

#include "platform/core/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace lf {

// Fills `bytes` with the input of band `index`: up to 32 KiB of the input
// just before the band (its deflate dictionary), then the band itself;
// `dictionaryLength` says how many of the bytes are dictionary. Called on
// several threads at once, each band once.
using DeflateBandProducer =
    std::function<void(size_t index, std::vector<uint8_t>& bytes, size_t& dictionaryLength)>;

struct DeflatedStream {
    // In order: the zlib header, each band's deflate data, the Adler-32.
    std::vector<std::vector<uint8_t>> pieces;
    size_t size() const;
};

inline constexpr size_t kDeflateWindow = 32768;

Result<DeflatedStream> deflateInBands(size_t bandCount, int level, int strategy,
                                      const DeflateBandProducer& produce);

}  // namespace lf
