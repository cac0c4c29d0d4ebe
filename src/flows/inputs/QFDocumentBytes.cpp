#include "flows/inputs/QFDocumentBytes.h"

#include "bytearray/BABTreeByteArray.h"
#include "bytearray/BAFileReference.h"

#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

// What a range of bytes held, to tell it from what it holds later. Only
// ever compared with a digest of the same range in the same process, so
// the standard library's hash of bytes serves; two contents share one
// digest once in 2^64.
size_t digestOf(const void* bytes, uint64_t length) {
    return std::hash<std::string_view>()(
        std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(length)));
}

}  // namespace

// Forwards every read to the document's source, keeps the first one that
// failed, and the digest of what each range gave when first read.
class QFDocumentBytes::RecordingSource final : public BAByteSource {
public:
    RecordingSource(std::shared_ptr<const BAByteSource> source, std::string path)
        : source_(std::move(source)), path_(std::move(path)) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        // Asked before the read: a digest kept already is of a read that
        // ended before this one began, so this one gave what that one gave
        // unless the range gives something else by the time it is read
        // again.
        const Range range{offset, length};
        const bool isFirstRead = !hasDigest(range);
        lf::Status status = source_->read(destination, offset, length);
        if (!status)
            record(status.error());
        else if (isFirstRead)
            keepDigest(range, digestOf(destination, length));
        return status;
    }
    std::optional<lf::Data> dataInRange(uint64_t offset, uint64_t length) const override {
        return source_->dataInRange(offset, length);
    }

    std::optional<lf::Error> firstError() const {
        std::lock_guard lock(mutex_);
        return firstError_;
    }

    lf::Result<bool> readsAgainAsRead() const {
        std::map<Range, size_t> digests;
        {
            std::lock_guard lock(mutex_);
            if (firstReadsDiffered_) return false;
            digests = digests_;
        }
        // In the order of the file, into one buffer of the longest range.
        std::vector<uint8_t> buffer;
        for (const auto& [range, digest] : digests) {
            if (buffer.size() < range.length) buffer.resize(range.length);
            if (lf::Status read = source_->read(buffer.data(), range.offset, range.length); !read) {
                record(read.error());
                return *firstError();
            }
            if (digestOf(buffer.data(), range.length) != digest) return false;
        }
        return true;
    }

private:
    struct Range {
        uint64_t offset, length;
        friend auto operator<=>(const Range&, const Range&) = default;
    };

    bool hasDigest(const Range& range) const {
        std::lock_guard lock(mutex_);
        return digests_.count(range) != 0;
    }
    void keepDigest(const Range& range, size_t digest) const {
        std::lock_guard lock(mutex_);
        const auto [kept, isNew] = digests_.emplace(range, digest);
        if (!isNew && kept->second != digest) firstReadsDiffered_ = true;
    }
    void record(const lf::Error& error) const {
        // The file's reads wrap what the system said (BAFileReference).
        const auto cause = error.underlyingError();
        lf::Error named = cause && cause->domain == lf::kPOSIXErrorDomain
                              ? QFDocumentReadError(path_, static_cast<int>(cause->code))
                              : error;
        std::lock_guard lock(mutex_);
        if (!firstError_) firstError_ = std::move(named);
    }

    const std::shared_ptr<const BAByteSource> source_;
    const std::string path_;
    mutable std::mutex mutex_;
    mutable std::optional<lf::Error> firstError_;
    mutable std::map<Range, size_t> digests_;
    mutable bool firstReadsDiffered_ = false;
};

lf::Result<BASlice> QFOpenDocumentFile(const std::string& path) {
    auto file = BAFileReference::open(path);
    if (!file) return file.error();
    // A folder opens for reading, but holds no bytes to read.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return QFDocumentReadError(path, EISDIR);
    const uint64_t length = (*file)->length();
    return BASlice{std::move(*file), 0, length};
}

lf::Error QFDocumentReadError(const std::string& path, int code) {
    return lf::Error::posix(code, "read " + path);
}

QFDocumentBytes::QFDocumentBytes(BASlice slice, std::string path)
    : source_(std::make_shared<RecordingSource>(std::move(slice.source), std::move(path))) {
    auto array = std::make_shared<BABTreeByteArray>();
    if (slice.length > 0) (void)array->insertSlice({source_, slice.offset, slice.length}, 0);
    array_ = std::move(array);
}

std::optional<lf::Error> QFDocumentBytes::readError() const {
    return source_->firstError();
}

lf::Result<bool> QFDocumentBytes::readsAgainAsRead() const {
    return source_->readsAgainAsRead();
}
