#include "psd/OMPSDImageResource.h"

#include "bytearray/BABTreeByteArray.h"

std::shared_ptr<const BAByteArray> OMPSDImageResource::byteArray() const {
    return std::make_shared<BABTreeByteArray>(data_);
}
