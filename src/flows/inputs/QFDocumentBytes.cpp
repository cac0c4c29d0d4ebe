#include "flows/inputs/QFDocumentBytes.h"

#include "bytearray/BABTreeByteArray.h"
#include "bytearray/BAFileReference.h"

#include <cerrno>
#include <mutex>
#include <sys/stat.h>

// Forwards every read to the document's source and keeps the first one
// that failed.
class QFDocumentBytes::RecordingSource final : public BAByteSource {
public:
    RecordingSource(std::shared_ptr<const BAByteSource> source, std::string path)
        : source_(std::move(source)), path_(std::move(path)) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        lf::Status status = source_->read(destination, offset, length);
        if (!status) record(status.error());
        return status;
    }
    std::optional<lf::Data> dataInRange(uint64_t offset, uint64_t length) const override {
        return source_->dataInRange(offset, length);
    }

    std::optional<lf::Error> firstError() const {
        std::lock_guard lock(mutex_);
        return firstError_;
    }

private:
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
