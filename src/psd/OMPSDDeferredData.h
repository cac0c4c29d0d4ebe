#pragma once
// OMPSDDeferredData: bytes of a document that are read when first asked
// for. A range of the document's byte array is read whole by the first
// call of data() (from any thread; others wait for that read) and kept,
// and the array is let go; bytes already in memory are simply kept. A part
// that nothing uses then costs nothing, and one that is used costs its
// length, once.
//
// A read that fails leaves the bytes empty from then on; the caller whose
// read failed is told why. (A document read from a file also keeps that
// error where its export looks for it: see QFDocumentBytes.) Copies share
// the one read. Safe from any thread.
#include "bytearray/BAByteArray.h"
#include "bytearray/BARange.h"
#include "platform/core/Error.h"
#include "platform/files/Data.h"

#include <cstdint>
#include <functional>
#include <memory>

class OMPSDDeferredData {
public:
    OMPSDDeferredData() = default;
    explicit OMPSDDeferredData(lf::Data data) : size_(data.size()), data_(std::move(data)) {}
    // The bytes of `range` in `bytes`; the caller has checked that they fit.
    OMPSDDeferredData(std::shared_ptr<const BAByteArray> bytes, BARange range);

    // The length of the bytes, known without reading them.
    uint64_t size() const { return size_; }
    // The bytes, read now if they have not been. `onFailure` is called
    // with the error of a read that fails, by the call that made it.
    const lf::Data& data(const std::function<void(const lf::Error&)>& onFailure) const;

private:
    struct Deferred;
    uint64_t size_ = 0;
    lf::Data data_;
    std::shared_ptr<Deferred> deferred_;  // read on first use; shared by copies
};
