#include "psd/OMPSDTypeRecord.h"

#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"

std::shared_ptr<const OMPSDTypeRecord> OMPSDTypeRecord::fromBlock(std::span<const uint8_t> data) {
    // Version, the transform (xx, xy, yx, yy, tx, ty), the text version,
    // then the text descriptor with its own version.
    constexpr size_t kHeaderSize = 2 + 6 * 8 + 2;
    OMPSDBinaryReader reader(data);
    uint16_t version = reader.u16();
    if (reader.failed() || version != 1 || data.size() < kHeaderSize) return nullptr;
    auto text = OMPSDDescriptorDecoder::decodeVersioned(data.subspan(kHeaderSize));
    if (!text) return nullptr;
    auto record = std::make_shared<OMPSDTypeRecord>();
    record->setAntiAliasing((*text)->enumForKey("AntA"));
    return record;
}

bool OMPSDTypeRecord::isAntiAliasedByPlatform() const {
    return antiAliasing().starts_with("antiAliasPlatform");
}
