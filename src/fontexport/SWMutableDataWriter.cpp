#include "fontexport/SWMutableDataWriter.h"

#include "platform/core/Assert.h"

SWMutableDataWriter::SWMutableDataWriter(std::shared_ptr<SWMutableData> data,
                                         SWStringEncoding encoding)
    : data_(std::move(data)), encoding_(encoding) {}

void SWMutableDataWriter::writeString(std::string_view string) {
    if (!data_ || string.empty()) return;
    if (encoding_ == SWStringEncoding::UTF8) {
        data_->insert(data_->end(), string.begin(), string.end());
        return;
    }
    auto bytes = SWEncodeString(string, encoding_);
    LF_PRECONDITION(bytes.has_value(), "Unexpected number of characters converted");
    data_->insert(data_->end(), bytes->begin(), bytes->end());
}
