#pragma once
// A byte array presented as one contiguous buffer, for consumers that need
// plain bytes (an ICC profile for the colour-management library, an icon
// payload). An array that is one slice of memory is presented without
// copying; any other is read once into memory.

#include "bytearray/BAByteArray.h"
#include "platform/files/Data.h"

class BAByteArrayProxiedData {
public:
    static lf::Result<BAByteArrayProxiedData> create(const BAByteArray& byteArray);

    const lf::Data& data() const { return data_; }
    const uint8_t* bytes() const { return data_.bytes(); }
    size_t length() const { return data_.size(); }

private:
    explicit BAByteArrayProxiedData(lf::Data data) : data_(std::move(data)) {}
    lf::Data data_;
};
