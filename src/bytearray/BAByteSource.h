#pragma once
// Where the bytes of a slice come from: memory or a file. Sources are
// immutable and shared by every slice and byte array that refers to them;
// reading is safe from any number of threads.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <cstdint>
#include <optional>

class BAByteSource {
public:
    virtual ~BAByteSource() = default;

    // Copies [offset, offset + length) into `destination`. The caller keeps
    // the range within the length the source had when its slice was made.
    virtual lf::Status read(void* destination, uint64_t offset, uint64_t length) const = 0;

    // The bytes [offset, offset + length) without copying, when the source
    // holds them in memory.
    virtual std::optional<lf::Data> dataInRange(uint64_t offset, uint64_t length) const {
        return std::nullopt;
    }
};

// Bytes held in memory.
class BAMemorySource final : public BAByteSource {
public:
    explicit BAMemorySource(lf::Data data) : data_(std::move(data)) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override;
    std::optional<lf::Data> dataInRange(uint64_t offset, uint64_t length) const override;
    const lf::Data& data() const { return data_; }

private:
    lf::Data data_;
};
