#include "psd/OMPSDSmartObject.h"

#include "bytearray/BABTreeByteArray.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"
#include "psd/OMPSDProperty.h"

#include <fmt/format.h>

std::shared_ptr<const OMPSDSmartObjectInstance> OMPSDSmartObjectInstance::fromPlacedLayerBlock(
    uint32_t key, std::span<const uint8_t> data) {
    OMPSDBinaryReader reader(data);
    uint32_t type = reader.u32();
    reader.skip(4);  // version
    if (key == OMPSDFourCC("SoLd") && type == OMPSDFourCC("soLD")) {
        // "soLD", version, descriptor version, descriptor.
        reader.skip(4);
        auto descriptor = OMPSDDescriptorDecoder::read(reader);
        if (!descriptor) return nullptr;
        std::string placed, linked;
        descriptor->decodeString(&linked, "Idnt");
        if (!descriptor->decodeString(&placed, "placed")) placed = linked;
        return std::make_shared<OMPSDSmartObjectInstance>(placed, linked);
    }
    if (key == OMPSDFourCC("PlLd") && type == OMPSDFourCC("plcL")) {
        // "plcL", version, the linked data's identifier as a Pascal string.
        std::string linked = reader.pascalString();
        if (reader.failed()) return nullptr;
        return std::make_shared<OMPSDSmartObjectInstance>(linked, linked);
    }
    return nullptr;
}

std::vector<std::shared_ptr<const OMPSDSmartObjectSnapshot>> OMPSDReadSmartObjectSnapshots(
    const lf::Data& block, int colorChannels, std::weak_ptr<const OMPSDDocument> document) {
    // Filter effects (Photoshop File Formats, "Filter Effects"): version,
    // 8-byte length, then per snapshot: identifier (Pascal string),
    // version, 8-byte length, rectangle, depth, maximum channels, and per
    // channel plus the user and sheet masks: written flag, 8-byte length,
    // compression, data; then a flag for the extra (smart filter) mask with
    // its rectangle, 8-byte length, compression and data.
    std::vector<std::shared_ptr<const OMPSDSmartObjectSnapshot>> snapshots;
    auto bytes = std::make_shared<BABTreeByteArray>(block);
    OMPSDBinaryReader outer(block.span());
    outer.skip(4);
    OMPSDBinaryReader reader = outer.subreader(outer.u64());
    if (outer.failed()) return snapshots;
    size_t base = 12;
    while (!reader.atEnd()) {
        std::string identifier = reader.pascalString();
        reader.skip(4);
        uint64_t length = reader.u64();
        size_t start = reader.position();
        OMPSDBinaryReader snapshot = reader.subreader(length);
        if (reader.failed()) break;
        OMPSDRect rect = snapshot.rect();
        uint32_t depth = snapshot.u32();
        uint32_t maximumChannels = snapshot.u32();
        if (snapshot.failed() || maximumChannels > 56) break;
        auto owner = std::make_shared<const std::string>(
            fmt::format("smart object snapshot '{}'", identifier));
        auto plane = [&](int16_t id, OMPSDRect planeRect,
                         uint64_t planeLength) -> std::shared_ptr<const OMPSDChannelReference> {
            size_t planeStart = snapshot.position();
            snapshot.skip(planeLength);
            if (snapshot.failed() || planeLength < 2) return nullptr;
            OMPSDBinaryReader method(block.span().subspan(base + start + planeStart, 2));
            OMPSDChannelReference::Source source;
            source.byteArray = bytes;
            source.compression = OMPSDCompression(method.u16());
            source.range = {base + start + planeStart + 2, planeLength - 2};
            return std::make_shared<OMPSDChannelReference>(id, planeRect, depth, std::move(source),
                                                           owner, document);
        };
        std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
        for (uint32_t c = 0; c < maximumChannels + 2 && !snapshot.failed(); ++c) {
            if (snapshot.u32() == 0) continue;
            uint64_t planeLength = snapshot.u64();
            int16_t id = int(c) < colorChannels    ? int16_t(c)
                         : int(c) == colorChannels ? int16_t(-1)
                                                   : int16_t(-2 - int(c - colorChannels - 1));
            if (auto channel = plane(id, rect, planeLength); channel && id >= -1)
                channels.push_back(std::move(channel));
        }
        std::shared_ptr<const OMPSDChannelReference> mask;
        if (snapshot.remaining() > 0 && snapshot.u8() != 0) {
            OMPSDRect maskRect = snapshot.rect();
            mask = plane(-2, maskRect, snapshot.u64());
        }
        if (snapshot.failed()) break;
        snapshots.push_back(std::make_shared<OMPSDSmartObjectSnapshot>(
            std::move(identifier), std::move(channels), std::move(mask)));
    }
    return snapshots;
}
