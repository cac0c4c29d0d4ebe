#include "psd/OMPSDPattern.h"

#include "bytearray/BABTreeByteArray.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDocument.h"

#include <fmt/format.h>

// Pattern (Photoshop File Formats, "Pattern"): length, version 1, image
// mode, height and width, Unicode name, unique identifier (Pascal string),
// for indexed images a colour table, then a virtual memory array list:
// version 3, length, rectangle, channel count, and per channel plus the
// user and sheet masks: written flag, length, depth, rectangle, depth
// again, compression byte, data.

std::vector<std::shared_ptr<const OMPSDPattern>> OMPSDReadPatterns(
    const lf::Data& block, std::shared_ptr<std::mutex> lock,
    std::weak_ptr<const OMPSDDocument> document) {
    std::vector<std::shared_ptr<const OMPSDPattern>> patterns;
    auto bytes = std::make_shared<BABTreeByteArray>(block);
    OMPSDBinaryReader reader(block.span());
    while (reader.remaining() >= 4) {
        uint32_t length = reader.u32();
        size_t start = reader.position();
        OMPSDBinaryReader pattern = reader.subreader(length);
        if (reader.failed()) break;
        reader.align(4);
        pattern.skip(4);  // version
        uint32_t mode = pattern.u32();
        pattern.skip(4);  // height and width
        std::string name = pattern.unicodeString();
        std::string identifier = pattern.pascalString();
        std::vector<uint8_t> colorTable;
        if (mode == 2) {
            std::span<const uint8_t> table = pattern.bytes(256 * 3);
            colorTable.assign(table.begin(), table.end());
            pattern.skip(4);
        }
        pattern.skip(4 + 4);  // list version and length
        pattern.skip(16);     // the list's rectangle; each plane has its own
        uint32_t channelCount = pattern.u32();
        if (pattern.failed() || channelCount > 56) break;
        int colorChannels = OMPSDDocument::colorChannelCountOfMode(mode);
        std::vector<std::shared_ptr<const OMPSDChannelReference>> channels;
        auto owner = std::make_shared<const std::string>(fmt::format("pattern '{}'", name));
        for (uint32_t c = 0; c < channelCount + 2 && !pattern.failed(); ++c) {
            if (pattern.u32() == 0) continue;  // not written
            uint32_t planeLength = pattern.u32();
            size_t planeStart = pattern.position();
            OMPSDBinaryReader plane = pattern.subreader(planeLength);
            plane.skip(4);  // pixel depth
            OMPSDRect rect = plane.rect();
            uint16_t depth = plane.u16();
            uint8_t compression = plane.u8();
            if (plane.failed() || compression > 1) continue;
            // Colour planes first; the first further written plane is the
            // tile's transparency.
            int16_t id = int(c) < colorChannels ? int16_t(c) : int16_t(-1);
            if (id == -1 && !channels.empty() && channels.back()->identifier() == -1) continue;
            OMPSDChannelReference::Source source;
            source.byteArray = bytes;
            source.compression = compression ? OMPSDCompression::rle : OMPSDCompression::raw;
            uint64_t headerSize = 4 + 16 + 2 + 1;
            source.range = {start + planeStart + headerSize, planeLength - headerSize};
            channels.push_back(std::make_shared<OMPSDChannelReference>(
                id, rect, depth == 0 ? 8 : depth, std::move(source), lock, owner, document));
        }
        if (pattern.failed()) break;
        patterns.push_back(std::make_shared<OMPSDPattern>(std::move(identifier), std::move(name),
                                                          mode, std::move(channels),
                                                          std::move(colorTable)));
    }
    return patterns;
}
