#include "psd/OMPSDDeferredData.h"

#include "psd/OMPSDSource.h"

#include <mutex>

struct OMPSDDeferredData::Deferred {
    std::shared_ptr<const BAByteArray> bytes;  // released once read
    BARange range;
    std::once_flag once;
    lf::Data data;
};

OMPSDDeferredData::OMPSDDeferredData(std::shared_ptr<const BAByteArray> bytes, BARange range)
    : size_(range.length), deferred_(std::make_shared<Deferred>()) {
    deferred_->bytes = std::move(bytes);
    deferred_->range = range;
}

const lf::Data& OMPSDDeferredData::data(
    const std::function<void(const lf::Error&)>& onFailure) const {
    if (!deferred_) return data_;
    Deferred& deferred = *deferred_;
    std::call_once(deferred.once, [&] {
        auto read = OMPSDReadBytes(*deferred.bytes, deferred.range);
        if (read)
            deferred.data = std::move(*read);
        else
            onFailure(read.error());
        deferred.bytes = nullptr;
    });
    return deferred.data;
}
