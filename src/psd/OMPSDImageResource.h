#pragma once
// One image resource of the document ("8BIM", identifier, name, data).
// 1039 is the ICC profile, 1037 the global light angle, 1049 the global
// altitude, 1065 the layer comps, 1005 the resolution; the reader keeps
// all of them raw. Immutable; safe to share.
#include "bytearray/BAByteArray.h"
#include "platform/Data.h"

#include <cstdint>
#include <memory>
#include <string>

class OMPSDImageResource {
public:
    OMPSDImageResource(uint16_t identifier, std::string name, lf::Data data)
        : identifier_(identifier), name_(std::move(name)), data_(std::move(data)) {}

    uint16_t identifier() const { return identifier_; }
    const std::string& name() const { return name_; }
    const lf::Data& data() const { return data_; }
    // The bytes as a byte array (made on each call; shares the bytes).
    std::shared_ptr<const BAByteArray> byteArray() const;

private:
    uint16_t identifier_;
    std::string name_;
    lf::Data data_;
};
