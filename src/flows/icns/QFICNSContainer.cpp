#include "flows/icns/QFICNSContainer.h"

#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kFileType = QFICNSTypeCode("icns");
constexpr uint32_t kTableOfContentsType = QFICNSTypeCode("TOC ");
constexpr size_t kHeaderLength = 8;

void appendUInt32(std::vector<uint8_t>& bytes, uint64_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t readUInt32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
           uint32_t(bytes[3]);
}

}  // namespace

void QFICNSContainer::addElement(std::shared_ptr<QFICNSElement> element) {
    VKSize size = element->size();
    std::erase_if(elements_, [&](const auto& held) { return held->size() == size; });
    elements_.push_back(std::move(element));
}

lf::Data QFICNSContainer::ICNSRepresentation() const {
    std::vector<uint8_t> table, records;
    for (const auto& element : elements_) {
        auto payloads = element->keyedPayloads();
        if (!payloads) continue;
        for (const auto& [type, payload] : *payloads) {
            for (auto* part : {&table, &records}) {
                appendUInt32(*part, type);
                appendUInt32(*part, payload.size() + kHeaderLength);
            }
            records.insert(records.end(), payload.bytes(), payload.bytes() + payload.size());
        }
    }
    std::vector<uint8_t> file;
    file.reserve(2 * kHeaderLength + table.size() + records.size());
    appendUInt32(file, kFileType);
    appendUInt32(file, 2 * kHeaderLength + table.size() + records.size());
    appendUInt32(file, kTableOfContentsType);
    appendUInt32(file, kHeaderLength + table.size());
    file.insert(file.end(), table.begin(), table.end());
    file.insert(file.end(), records.begin(), records.end());
    return lf::Data(std::move(file));
}

std::shared_ptr<QFICNSContainer> QFICNSContainer::create(const lf::Data& data) {
    const uint8_t* bytes = data.bytes();
    size_t size = data.size();
    if (size < kHeaderLength || readUInt32(bytes) != kFileType || readUInt32(bytes + 4) > size)
        return nullptr;

    // The records by type; a later record of a type replaces an earlier one.
    std::map<uint32_t, lf::Data> records;
    for (size_t offset = kHeaderLength; offset + kHeaderLength < size;) {
        uint32_t type = readUInt32(bytes + offset);
        uint32_t length = readUInt32(bytes + offset + 4);
        // A length below the header's would stand still; one past the end
        // would read outside the data.
        if (length < kHeaderLength || length > size - offset) break;
        records[type] = data.subdata(offset + kHeaderLength, length - kHeaderLength);
        offset += length;
    }

    auto container = std::make_shared<QFICNSContainer>();
    for (const auto& format : QFICNSFormat::table()) {
        std::vector<lf::Data> payloads;
        for (int i = 0; i < format.payloadCount; ++i) {
            auto found = records.find(format.payloads[i].type);
            if (found == records.end()) break;
            payloads.push_back(found->second);
        }
        if (payloads.size() != static_cast<size_t>(format.payloadCount)) continue;
        if (auto element = QFICNSElement::create(format, payloads)) container->addElement(element);
    }
    return container;
}
