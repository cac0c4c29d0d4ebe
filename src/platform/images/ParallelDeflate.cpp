#include "platform/images/ParallelDeflate.h"

#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

namespace lf {
namespace {

struct BandResult {
    std::vector<uint8_t> compressed;
    uLong adler = 1;
    uLong length = 0;
};

// One raw deflate stream per worker, reset between its bands.
class BandDeflater {
public:
    BandDeflater(int level, int strategy) {
        ok_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, strategy) == Z_OK;
    }
    ~BandDeflater() {
        if (ok_) deflateEnd(&stream_);
    }
    BandDeflater(const BandDeflater&) = delete;
    BandDeflater& operator=(const BandDeflater&) = delete;

    bool deflateBand(const std::vector<uint8_t>& bytes, size_t dictionaryLength, bool last,
                     BandResult& result) {
        if (!ok_ || deflateReset(&stream_) != Z_OK) return false;
        if (dictionaryLength > 0 &&
            deflateSetDictionary(&stream_, bytes.data(), static_cast<uInt>(dictionaryLength)) !=
                Z_OK)
            return false;
        const size_t length = bytes.size() - dictionaryLength;
        // Room for the worst case plus the sync flush's empty block.
        result.compressed.resize(deflateBound(&stream_, length) + 16);
        stream_.next_in = const_cast<Bytef*>(bytes.data() + dictionaryLength);
        stream_.avail_in = static_cast<uInt>(length);
        stream_.next_out = result.compressed.data();
        stream_.avail_out = static_cast<uInt>(result.compressed.size());
        const int status = ::deflate(&stream_, last ? Z_FINISH : Z_SYNC_FLUSH);
        if (status != (last ? Z_STREAM_END : Z_OK) || stream_.avail_in != 0) return false;
        result.compressed.resize(result.compressed.size() - stream_.avail_out);
        result.adler = adler32(1, bytes.data() + dictionaryLength, static_cast<uInt>(length));
        result.length = static_cast<uLong>(length);
        return true;
    }

private:
    z_stream stream_{};
    bool ok_ = false;
};

}  // namespace

size_t DeflatedStream::size() const {
    size_t total = 0;
    for (const auto& piece : pieces)
        total += piece.size();
    return total;
}

namespace {

// Deflates every band on the calling thread and as many workers as there
// are processors. What the producer throws is rethrown here, on the
// caller's thread, once every band ended: on a worker it would end the
// process.
bool deflateEveryBand(std::vector<BandResult>& bands, int level, int strategy,
                      const DeflateBandProducer& produce) {
    const size_t bandCount = bands.size();
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex thrownMutex;
    std::exception_ptr thrown;

    auto work = [&] {
        try {
            BandDeflater deflater(level, strategy);
            std::vector<uint8_t> bytes;
            for (size_t index; !failed && (index = next.fetch_add(1)) < bandCount;) {
                size_t dictionaryLength = 0;
                bytes.clear();
                produce(index, bytes, dictionaryLength);
                if (!deflater.deflateBand(bytes, dictionaryLength, index + 1 == bandCount,
                                          bands[index]))
                    failed = true;
            }
        } catch (...) {
            std::lock_guard lock(thrownMutex);
            if (!thrown) thrown = std::current_exception();
            failed = true;
        }
    };

    const size_t helpers =
        std::min(bandCount, static_cast<size_t>(activeProcessorCount())) - (bandCount > 0 ? 1 : 0);
    DispatchGroup group;
    for (size_t i = 0; i < helpers; ++i)
        group.async(DispatchQueue::global(), work);
    work();
    group.wait();
    if (thrown) std::rethrow_exception(thrown);
    return !failed;
}

// The bands' raw deflate streams joined into one zlib stream.
DeflatedStream zlibStreamOfBands(std::vector<BandResult>& bands) {
    DeflatedStream stream;
    stream.pieces.reserve(bands.size() + 2);
    // CMF 0x78: deflate with a 32 KiB window; FLG 0x9C: default level, no
    // dictionary, and CMF * 256 + FLG divisible by 31.
    stream.pieces.push_back({0x78, 0x9C});
    uLong adler = 1;
    for (auto& band : bands) {
        adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
        stream.pieces.push_back(std::move(band.compressed));
    }
    if (bands.empty()) {
        // An empty stream still needs one final block.
        stream.pieces.push_back({0x03, 0x00});
    }
    stream.pieces.push_back({static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                             static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)});
    return stream;
}

}  // namespace

Result<DeflatedStream> deflateInBands(size_t bandCount, int level, int strategy,
                                      const DeflateBandProducer& produce) {
    std::vector<BandResult> bands(bandCount);
    if (!deflateEveryBand(bands, level, strategy, produce)) return Error::posix(ENOMEM, "deflate");
    return zlibStreamOfBands(bands);
}

}  // namespace lf
