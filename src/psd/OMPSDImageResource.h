#pragma once
// One image resource of the document ("8BIM", identifier, name, data).
// 1039 is the ICC profile, 1037 the global light angle, 1049 the global
// altitude, 1057 the version info, 1065 the layer comps, 1005 the
// resolution; the reader keeps all of them raw.
//
// Opening notes only where a resource's bytes lie. They are read whole when
// first asked for and kept while the document lives, so a resource costs
// its length once it is used and nothing while it is not (a thumbnail, a
// plug-in's data). Immutable to its users; safe to share and to read from
// any thread.
#include "bytearray/BAByteArray.h"
#include "bytearray/BARange.h"
#include "platform/files/Data.h"
#include "psd/OMPSDDeferredData.h"

#include <cstdint>
#include <memory>
#include <string>

class OMPSDImageResource {
public:
    // The resource whose bytes are `range` of the document's `bytes`.
    OMPSDImageResource(uint16_t identifier, std::string name,
                       std::shared_ptr<const BAByteArray> bytes, BARange range)
        : identifier_(identifier), name_(std::move(name)), bytes_(std::move(bytes), range) {}

    uint16_t identifier() const { return identifier_; }
    const std::string& name() const { return name_; }
    // The length of its bytes, known without reading them.
    uint64_t size() const { return bytes_.size(); }
    // The bytes, read on the first call; empty (with one log line) when
    // they can no longer be read.
    const lf::Data& data() const;
    // The bytes as a byte array (made on each call; shares the bytes).
    std::shared_ptr<const BAByteArray> byteArray() const;

private:
    uint16_t identifier_;
    std::string name_;
    OMPSDDeferredData bytes_;
};
