#include "psd/OMPSDImageResource.h"

#include "bytearray/BABTreeByteArray.h"
#include "platform/core/Log.h"

const lf::Data& OMPSDImageResource::data() const {
    return bytes_.data([&](const lf::Error& error) {
        lf::log("*** Image resource {} cannot be read: {}", identifier_,
                error.localizedDescription());
    });
}

std::shared_ptr<const BAByteArray> OMPSDImageResource::byteArray() const {
    return std::make_shared<BABTreeByteArray>(data());
}
