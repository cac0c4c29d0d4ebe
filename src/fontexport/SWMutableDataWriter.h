#pragma once
// SWMutableDataWriter: appends the bytes of each string, in its encoding,
// to a byte buffer that the caller shares. Writing a character that the
// encoding cannot represent is a programming error (writers in front of
// it, such as SWXMLWriter, replace such characters first).

#include "fontexport/SWWriter.h"

#include <cstdint>
#include <memory>
#include <vector>

using SWMutableData = std::vector<uint8_t>;

class SWMutableDataWriter : public SWWriter {
public:
    SWMutableDataWriter(std::shared_ptr<SWMutableData> data, SWStringEncoding encoding);

    void writeString(std::string_view string) override;
    // Drops the data; nothing is written afterwards.
    void close() override { data_.reset(); }
    std::optional<SWStringEncoding> encoding() const override { return encoding_; }

private:
    std::shared_ptr<SWMutableData> data_;
    SWStringEncoding encoding_;
};
