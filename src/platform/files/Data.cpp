#include "platform/files/Data.h"

#include "platform/core/Assert.h"
#include "platform/files/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace lf {

Data::Data(std::vector<uint8_t> bytes) : length_(bytes.size()) {
    auto owner = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    storage_ = std::shared_ptr<const uint8_t>(owner, owner->data());
}

Data Data::adopt(std::unique_ptr<uint8_t[]> bytes, size_t length) {
    Data data;
    std::shared_ptr<const uint8_t[]> owner(std::move(bytes));
    data.storage_ = std::shared_ptr<const uint8_t>(owner, owner.get());
    data.length_ = length;
    return data;
}

Data Data::copy(const void* bytes, size_t length) {
    const auto* begin = static_cast<const uint8_t*>(bytes);
    return Data(std::vector<uint8_t>(begin, begin + length));
}

Result<Data> Data::readFile(const std::string& path) {
    auto file = FileDescriptor::openForReading(path);
    if (!file) return file.error();
    struct stat info {};
    if (::fstat(file->get(), &info) != 0) return Error::posix(errno, "stat " + path);
    if (S_ISDIR(info.st_mode)) return Error::posix(EISDIR, "read " + path);

    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    auto read = file->readUncached(bytes.data(), bytes.size(), 0);
    if (!read) return read.error();
    // A file that shrank while we read it yields what is there now.
    bytes.resize(*read);
    return Data(std::move(bytes));
}

Data Data::subdata(size_t offset, size_t length) const {
    LF_PRECONDITION(offset <= length_ && length <= length_ - offset,
                    "subdata range outside the data");
    Data result = *this;
    result.offset_ = offset_ + offset;
    result.length_ = length;
    return result;
}

bool operator==(const Data& a, const Data& b) {
    return a.size() == b.size() &&
           (a.size() == 0 || std::memcmp(a.bytes(), b.bytes(), a.size()) == 0);
}

}  // namespace lf
