#pragma once
// Data: an immutable, shared byte buffer. Copies share the bytes; subdata
// shares them too. Safe to read from any number of threads.

#include "platform/core/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lf {

class Data {
public:
    Data() = default;
    explicit Data(std::vector<uint8_t> bytes);
    static Data copy(const void* bytes, size_t length);
    // Takes over `length` bytes that the caller has finished writing; no
    // copy, and no clearing beforehand as a vector would need.
    static Data adopt(std::unique_ptr<uint8_t[]> bytes, size_t length);
    static Data fromString(std::string_view text) { return copy(text.data(), text.size()); }

    // The whole file, read with positioned reads and the page cache released
    // behind the reads, so that reading a large document does not evict the
    // rest of the system's cache. Anything but a regular file is refused,
    // without waiting on it (see FileDescriptor::openForReading).
    static Result<Data> readFile(const std::string& path);

    const uint8_t* bytes() const { return storage_ ? storage_.get() + offset_ : nullptr; }
    size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    std::span<const uint8_t> span() const { return {bytes(), length_}; }
    std::string_view stringView() const {
        return {reinterpret_cast<const char*>(bytes()), length_};
    }

    // The bytes [offset, offset + length); the range must lie inside.
    Data subdata(size_t offset, size_t length) const;

    friend bool operator==(const Data& a, const Data& b);

private:
    // The first byte; the pointer also owns whatever holds the bytes.
    std::shared_ptr<const uint8_t> storage_;
    size_t offset_ = 0;
    size_t length_ = 0;
};

}  // namespace lf
