#include "flows/icns/ICNSPackBits.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace ICNSPackBits {

namespace {

constexpr size_t kMaximumLiteral = 128;
constexpr size_t kMinimumRun = 3, kMaximumRun = 130;
constexpr uint8_t kRunBias = 125;  // a run header is its length + 125

class PacketWriter {
public:
    explicit PacketWriter(size_t inputLength)
        // At worst every 128 input bytes cost one header more.
        : bytes_(std::make_unique<uint8_t[]>(inputLength + (inputLength + 126) / 127)) {}

    void literal(const uint8_t* literal, size_t count) {
        bytes_[length_++] = static_cast<uint8_t>(count - 1);
        std::copy(literal, literal + count, bytes_.get() + length_);
        length_ += count;
    }
    void run(uint8_t value, size_t count) {
        bytes_[length_++] = static_cast<uint8_t>(count + kRunBias);
        bytes_[length_++] = value;
    }
    lf::Data finish() { return lf::Data::adopt(std::move(bytes_), length_); }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t length_ = 0;
};

}  // namespace

lf::Data ICNSRLE24_encode(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    PacketWriter out(bytes.size());
    uint8_t literal[kMaximumLiteral];
    size_t count = 0;  // bytes in `literal`
    size_t equal = 1;  // equal bytes at the end of the literal, or the run's length
    bool inRun = false;
    uint8_t runValue = 0;
    for (uint8_t byte : bytes) {
        if (!inRun) {
            literal[count++] = byte;
            if (count == kMaximumLiteral) {
                out.literal(literal, count);
                count = 0;
                equal = 1;
            } else if (count >= 2 && byte == literal[count - 2]) {
                if (++equal == kMinimumRun) {
                    if (count > kMinimumRun) out.literal(literal, count - kMinimumRun);
                    inRun = true;
                    runValue = byte;
                    count = 0;
                }
            } else {
                equal = 1;
            }
        } else if (byte != runValue) {
            out.run(runValue, equal);
            inRun = false;
            literal[0] = byte;
            count = 1;
            equal = 1;
        } else if (equal + 1 == kMaximumRun) {
            out.run(runValue, kMaximumRun);
            inRun = false;
            count = 0;
            equal = 1;
        } else {
            ++equal;
        }
    }
    if (inRun)
        out.run(runValue, equal);
    else if (count > 0)
        out.literal(literal, count);
    return out.finish();
}

lf::Data ICNSRLE24_decodeWithMaximumLength(std::span<const uint8_t> bytes, uint64_t maximumLength) {
    std::vector<uint8_t> out;
    // Two input bytes give at most 130 output bytes.
    out.reserve(std::min<uint64_t>(maximumLength, bytes.size() * 65 + kMaximumRun));
    size_t in = 0;
    while (in < bytes.size() && out.size() < maximumLength) {
        uint8_t header = bytes[in];
        uint64_t room = maximumLength - out.size();
        if (header >= 128) {
            if (in + 1 >= bytes.size()) break;
            out.insert(out.end(), std::min<uint64_t>(header - kRunBias, room), bytes[in + 1]);
            in += 2;
        } else {
            uint64_t count =
                std::min<uint64_t>({uint64_t{header} + 1, room, bytes.size() - in - 1});
            out.insert(out.end(), bytes.begin() + in + 1, bytes.begin() + in + 1 + count);
            in += 1 + count;
        }
    }
    return lf::Data(std::move(out));
}

}  // namespace ICNSPackBits
