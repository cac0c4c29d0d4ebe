#include "psd/OMPSDLayerSectionParser.h"

#include "platform/Log.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDError.h"
#include "psd/OMPSDSource.h"

#include <fmt/format.h>

#include <algorithm>

// Layer and mask information (Photoshop File Formats): layer info (layer
// count, records, channel image data), global layer mask info, tagged
// blocks. 16- and 32-bit documents keep their layer info in the "Lr16" and
// "Lr32" blocks instead.

namespace {

bool isSignature(uint32_t signature) {
    return signature == OMPSDFourCC("8BIM") || signature == OMPSDFourCC("8B64");
}

// Blocks whose length is 8 bytes in PSB files.
bool hasWideLength(uint32_t key) {
    switch (key) {
        case OMPSDFourCC("LMsk"):
        case OMPSDFourCC("Lr16"):
        case OMPSDFourCC("Lr32"):
        case OMPSDFourCC("Layr"):
        case OMPSDFourCC("Mt16"):
        case OMPSDFourCC("Mt32"):
        case OMPSDFourCC("Mtrn"):
        case OMPSDFourCC("Alph"):
        case OMPSDFourCC("FMsk"):
        case OMPSDFourCC("lnk2"):
        case OMPSDFourCC("FEid"):
        case OMPSDFourCC("FXid"):
        case OMPSDFourCC("PxSD"):
            return true;
        default:
            return false;
    }
}

// The most a record's fields before its extra data take: rectangle,
// channel count, 59 channel entries of PSB size, blend mode and flags,
// extra data length.
constexpr uint64_t kRecordHeadBytes = 16 + 2 + 59 * 10 + 12 + 4;

// A record's length from its first bytes, or as many bytes as there are
// where they cannot tell (the parse then reports why).
uint64_t recordLength(std::span<const uint8_t> head, bool wide) {
    OMPSDBinaryReader reader(head);
    reader.skip(16);
    uint16_t channels = reader.u16();
    reader.skip(uint64_t{channels} * (wide ? 10 : 6) + 12);
    uint32_t extra = reader.u32();
    return reader.failed() ? head.size() : reader.position() + extra;
}

OMPSDBlendingRange readRange(OMPSDBinaryReader& reader) {
    OMPSDBlendingRange range;
    range.blackLow = reader.u8() / 255.0;
    range.blackHigh = reader.u8() / 255.0;
    range.whiteLow = reader.u8() / 255.0;
    range.whiteHigh = reader.u8() / 255.0;
    return range;
}

}  // namespace

std::vector<OMPSDAttributesAtom> OMPSDReadTaggedBlocks(OMPSDBinaryReader& reader,
                                                       const lf::Data& backing,
                                                       size_t backingOffset, bool isPSB,
                                                       bool* damaged) {
    std::vector<OMPSDAttributesAtom> atoms;
    while (reader.remaining() >= 12) {
        uint32_t signature = reader.u32();
        if (!isSignature(signature)) {
            if (damaged) *damaged = true;
            break;
        }
        uint32_t key = reader.u32();
        uint64_t length = reader.length(isPSB && hasWideLength(key));
        size_t start = reader.position();
        reader.skip(length);
        if (reader.failed()) {
            if (damaged) *damaged = true;
            break;
        }
        atoms.emplace_back(key, backing.subdata(backingOffset + start, length));
        // Writers pad blocks to 2 or 4 bytes, some inside the length and
        // some outside: skip zero bytes up to the next signature.
        for (int pad = 0; pad < 3 && reader.remaining() >= 4; ++pad) {
            size_t here = reader.position();
            if (isSignature(reader.u32())) {
                reader.seek(here);
                break;
            }
            reader.seek(here);
            if (reader.u8() != 0) {
                reader.seek(here);
                break;
            }
        }
    }
    return atoms;
}

void OMPSDLayerSectionParser::parseMaskData(OMPSDBinaryReader& reader, OMPSDLayerRecord& record) {
    // Size, then rectangle, default colour and flags; with a size of 20 two
    // bytes of padding; otherwise the real (user and vector combined) mask's
    // flags, default colour and rectangle; then, when flag bit 4 is set, the
    // mask parameters.
    uint32_t size = reader.u32();
    if (size == 0) return;
    OMPSDBinaryReader mask = reader.subreader(size);
    OMPSDLayerMaskData data;
    data.rect = mask.rect();
    data.backgroundColor = mask.u8();
    data.flags = mask.u8();
    if (size >= 36) {
        data.realFlags = mask.u8();
        data.realBackgroundColor = mask.u8();
        data.realRect = mask.rect();
        data.hasRealMask = !mask.failed();
    }
    if (data.flags & 0x10) {
        uint8_t parameters = mask.u8();
        if (parameters & 0x01) data.density = mask.u8() / 255.0;
        if (parameters & 0x02) data.feather = mask.f64();
        if (parameters & 0x04) data.vectorDensity = mask.u8() / 255.0;
        if (parameters & 0x08) data.vectorFeather = mask.f64();
        if (mask.failed())
            data.density = 1, data.feather = 0, data.vectorDensity = 1, data.vectorFeather = 0;
    }
    if (!reader.failed()) record.mask = data;
}

lf::Status OMPSDLayerSectionParser::parseRecord(OMPSDBinaryReader& reader, const lf::Data& backing,
                                                size_t readerOffset, PendingLayer& layer) {
    const bool wide = document_.isPSB();
    OMPSDLayerRecord& record = layer.record;
    record.rect = reader.rect();
    uint16_t channelCount = reader.u16();
    if (channelCount > 56 + 3)
        return OMPSDMakeError(OMPSDErrorCorruptData, "a layer record has too many channels");
    for (uint16_t i = 0; i < channelCount; ++i) {
        int16_t identifier = reader.i16();
        layer.channels.push_back({identifier, reader.length(wide)});
    }
    if (reader.u32() != OMPSDFourCC("8BIM") && !reader.failed())
        return OMPSDMakeError(OMPSDErrorCorruptData, "a layer record has no blend mode signature");
    record.blendKey = reader.u32();
    record.opacity = reader.u8();
    record.clipping = reader.u8();
    record.flags = reader.u8();
    reader.skip(1);
    uint32_t extraLength = reader.u32();
    if (reader.failed() || extraLength > reader.remaining())
        return OMPSDMakeError(OMPSDErrorTruncated, "a layer record reaches past its section");
    size_t extraStart = reader.position();
    OMPSDBinaryReader extra = reader.subreader(extraLength);
    parseMaskData(extra, record);
    uint32_t rangesLength = extra.u32();
    auto ranges = extra.bytes(rangesLength);
    record.blendingRanges.assign(ranges.begin(), ranges.end());
    record.pascalName = extra.pascalString(4);
    if (extra.failed())
        return OMPSDMakeError(OMPSDErrorCorruptData, "a layer record's extra data is damaged");
    bool damaged = false;
    record.atoms = OMPSDReadTaggedBlocks(extra, backing, readerOffset + extraStart, wide, &damaged);
    if (damaged) lf::log("Layer '{}': damaged tagged block skipped", record.pascalName);

    record.name = record.pascalName;
    for (const auto& atom : record.atoms) {
        OMPSDBinaryReader block(atom.data().span());
        switch (atom.key()) {
            case OMPSDFourCC("luni"): {
                std::string name = block.unicodeString();
                if (!block.failed()) record.name = std::move(name);
                break;
            }
            case OMPSDFourCC("lsct"):
            case OMPSDFourCC("lsdk"): {
                int type = int(block.u32());
                if (block.failed()) break;
                record.sectionType = type;
                if (block.remaining() >= 8 && block.u32() == OMPSDFourCC("8BIM"))
                    record.sectionBlendKey = block.u32();
                break;
            }
            default:
                break;
        }
    }
    return {};
}

std::shared_ptr<const OMPSDBlendingOptions> OMPSDBlendingOptionsForRecord(
    const OMPSDLayerRecord& record) {
    auto options = std::make_shared<OMPSDBlendingOptions>();
    options->setBlendMode(record.sectionBlendKey ? record.sectionBlendKey : record.blendKey);
    options->setOpacity(record.opacity / 255.0);
    auto byteOf = [&](uint32_t key) -> std::optional<uint8_t> {
        for (const auto& atom : record.atoms)
            if (atom.key() == key && atom.data().size() >= 1) return atom.data().bytes()[0];
        return std::nullopt;
    };
    if (auto value = byteOf(OMPSDFourCC("iOpa"))) options->setFillOpacity(*value / 255.0);
    if (auto value = byteOf(OMPSDFourCC("knko")))
        options->setKnockoutStyle(*value <= OMPSDKnockoutStyleDeep ? OMPSDKnockoutStyle(*value)
                                                                   : OMPSDKnockoutStyleDeep);
    if (auto value = byteOf(OMPSDFourCC("tsly"))) options->setTransparencyShapesLayer(*value != 0);
    if (auto value = byteOf(OMPSDFourCC("lmgm"))) options->setLayerMaskHidesEffects(*value != 0);
    if (auto value = byteOf(OMPSDFourCC("vmgm"))) options->setVectorMaskHidesEffects(*value != 0);
    if (auto value = byteOf(OMPSDFourCC("infx")))
        options->setShouldBlendInteriorEffectsAsGroup(*value != 0);
    if (auto value = byteOf(OMPSDFourCC("clbl")))
        options->setShouldBlendClippedLayersAsGroup(*value != 0);
    for (const auto& atom : record.atoms) {
        if (atom.key() != OMPSDFourCC("brst")) continue;
        // Channel blending restrictions: the indices of excluded channels.
        OMPSDBinaryReader reader(atom.data().span());
        while (reader.remaining() >= 4) {
            uint32_t channel = reader.u32();
            options->setHasRestrictedBlending(true);
            if (channel == 0) options->setShouldBlendRed(false);
            if (channel == 1) options->setShouldBlendGreen(false);
            if (channel == 2) options->setShouldBlendBlue(false);
        }
    }
    // Blending ranges: gray source and destination, then a source and
    // destination pair per channel.
    auto ranges = std::make_shared<OMPSDBlendingRangesList>();
    OMPSDBinaryReader reader(record.blendingRanges);
    if (reader.remaining() >= 8) {
        ranges->setGraySourceBlendingRange(readRange(reader));
        ranges->setGrayDestinationBlendingRange(readRange(reader));
    }
    if (reader.remaining() >= 8) {
        ranges->setRedSourceBlendingRange(readRange(reader));
        ranges->setRedDestinationBlendingRange(readRange(reader));
    }
    if (reader.remaining() >= 8) {
        ranges->setGreenSourceBlendingRange(readRange(reader));
        ranges->setGreenDestinationBlendingRange(readRange(reader));
    }
    if (reader.remaining() >= 8) {
        ranges->setBlueSourceBlendingRange(readRange(reader));
        ranges->setBlueDestinationBlendingRange(readRange(reader));
    }
    options->setBlendingRanges(std::move(ranges));
    return options;
}

lf::Result<std::span<const uint8_t>> OMPSDLayerSectionParser::bytesAt(uint64_t offset,
                                                                      uint64_t length,
                                                                      uint64_t limit,
                                                                      uint64_t minimum) {
    length = offset < limit ? std::min(length, limit - offset) : 0;
    uint64_t windowEnd = windowOffset_ + window_.size();
    if (offset < windowOffset_ || offset + length > windowEnd) {
        uint64_t size = std::min(std::max(length, minimum), limit - std::min(offset, limit));
        OMPSD_TRY_ASSIGN(window_, OMPSDReadBytes(*document_.bytes_, {offset, size}));
        windowOffset_ = offset;
    }
    return window_.span().subspan(offset - windowOffset_, length);
}

lf::Result<std::span<const uint8_t>> OMPSDLayerSectionParser::windowFrom(uint64_t offset,
                                                                         uint64_t length,
                                                                         uint64_t limit) {
    LF_TRY(bytesAt(offset, length, limit));
    return window_.span().subspan(offset - windowOffset_);
}

lf::Status OMPSDLayerSectionParser::parseLayerInfo(uint64_t offset, uint64_t length) {
    if (!BARange{offset, length}.fitsWithin(document_.bytes_->length()))
        return OMPSDMakeError(OMPSDErrorTruncated, "the layer info reaches past its section");
    const uint64_t end = offset + length;
    const bool wide = document_.isPSB();
    OMPSD_TRY_ASSIGN(auto countBytes, bytesAt(offset, 2, end));
    if (countBytes.size() < 2) return {};  // no count: no layers
    int16_t count = OMPSDBinaryReader(countBytes).i16();
    if (count < 0) document_.hasMergedTransparency_ = true;
    size_t layerCount = size_t(count < 0 ? -int(count) : count);
    // A record takes at least 34 bytes: refuse counts the bytes cannot hold.
    if (layerCount * 34 > length - 2)
        return OMPSDMakeError(OMPSDErrorCorruptData, "the layer count exceeds the layer info");

    // Records, each read from the window once it holds the whole record.
    uint64_t position = offset + 2;
    std::vector<PendingLayer> pending(layerCount);
    for (auto& layer : pending) {
        OMPSD_TRY_ASSIGN(auto head, windowFrom(position, kRecordHeadBytes, end));
        OMPSD_TRY_ASSIGN(auto bytes, windowFrom(position, recordLength(head, wide), end));
        OMPSDBinaryReader reader(bytes);
        LF_TRY(parseRecord(reader, window_, position - windowOffset_, layer));
        if (reader.failed())
            return OMPSDMakeError(OMPSDErrorTruncated, "a layer record is truncated");
        position += reader.position();
    }

    // Channel image data follows the records, layer by layer, channel by
    // channel: each a compression method and the compressed samples, which
    // stay in the byte array until the channel is read.
    std::vector<std::shared_ptr<OMPSDLayer>> layers;
    size_t index = 0;
    for (auto& layer : pending) {
        OMPSDLayerRecord& record = layer.record;
        auto owner =
            std::make_shared<const std::string>(fmt::format("layer {} '{}'", index, record.name));
        for (const auto& channel : layer.channels) {
            if (channel.length > end - position)
                return OMPSDMakeError(OMPSDErrorTruncated,
                                      fmt::format("channel data of layer {} reaches past the "
                                                  "layer info",
                                                  index));
            OMPSDRect rect = record.rect;
            if (channel.identifier == -2 && record.mask) rect = record.mask->rect;
            if (channel.identifier == -3 && record.mask) rect = record.mask->realRect;
            OMPSDChannelReference::Source source;
            source.byteArray = document_.bytes_;
            source.isPSB = wide;
            if (channel.length >= 2) {
                // Read alone: the samples between channels are not needed.
                OMPSD_TRY_ASSIGN(auto methodBytes, bytesAt(position, 2, end, 2));
                OMPSDBinaryReader method(methodBytes);
                source.compression = OMPSDCompression(method.u16());
                source.range = {position + 2, channel.length - 2};
            }
            position += channel.length;
            record.channels.push_back(std::make_shared<OMPSDChannelReference>(
                channel.identifier, rect, document_.depth_, std::move(source), owner,
                document_.weak_from_this()));
        }
        auto options = OMPSDBlendingOptionsForRecord(record);
        auto created = std::make_shared<OMPSDLayer>(
            std::move(record), std::make_shared<std::mutex>(), document_.weak_from_this());
        created->setBlendingOptions(std::move(options));
        layers.push_back(std::move(created));
        ++index;
    }
    buildTree(std::move(layers));
    return {};
}

void OMPSDLayerSectionParser::buildTree(std::vector<std::shared_ptr<OMPSDLayer>> records) {
    // Records run bottom to top. An end-of-group marker (section type 3)
    // opens the children of the group whose record closes them. Unbalanced
    // markers are tolerated: a group record without a marker gets no
    // children, and children of an unclosed marker go to the level above.
    std::vector<std::vector<std::shared_ptr<OMPSDLayer>>> stack(1);
    for (auto& layer : records) {
        int type = layer->record().sectionType;
        if (type == 3) {
            stack.emplace_back();
            continue;
        }
        document_.allLayers_.push_back(layer);
        if (layer->isGroup() && stack.size() > 1) {
            layer->setSublayers(std::move(stack.back()));
            stack.pop_back();
        }
        stack.back().push_back(std::move(layer));
    }
    while (stack.size() > 1) {
        auto orphans = std::move(stack.back());
        stack.pop_back();
        for (auto& layer : orphans)
            stack.back().push_back(std::move(layer));
    }
    document_.layers_ = std::move(stack.front());
}

void OMPSDLayerSectionParser::parseDocumentBlocks(uint64_t offset) {
    // Blocks are read as they are found: small ones into memory at once,
    // large ones when first used. A damaged block ends the reading (the
    // blocks after it read as absent).
    constexpr uint64_t kDeferredBlockBytes = uint64_t{64} << 10;
    const bool wide = document_.isPSB();
    const uint64_t end = sectionOffset_ + sectionLength_;
    auto damaged = [] { lf::log("A damaged tagged block of the layer section was skipped"); };
    while (end - offset >= 12) {
        auto header = bytesAt(offset, 16, end);
        if (!header) return damaged();
        OMPSDBinaryReader reader(*header);
        if (!isSignature(reader.u32())) return damaged();
        uint32_t key = reader.u32();
        uint64_t length = reader.length(wide && hasWideLength(key));
        if (reader.failed()) return damaged();
        uint64_t start = offset + reader.position();
        if (length > end - start) return damaged();
        BARange range{start, length};
        if (key == OMPSDFourCC("Lr16") || key == OMPSDFourCC("Lr32") || key == OMPSDFourCC("Layr"))
            layerInfoBlocks_.emplace_back(key, range);
        if (length > kDeferredBlockBytes) {
            document_.atoms_.emplace_back(key, document_.bytes_, range);
        } else {
            auto data = OMPSDReadBytes(*document_.bytes_, range);
            if (!data) return damaged();
            document_.atoms_.emplace_back(key, std::move(*data));
        }
        offset = start + length;
        // Writers pad blocks to 2 or 4 bytes, some inside the length and
        // some outside: skip zero bytes up to the next signature.
        for (int pad = 0; pad < 3 && end - offset >= 4; ++pad) {
            auto next = bytesAt(offset, 4, end);
            if (!next) return damaged();
            OMPSDBinaryReader peek(*next);
            if (isSignature(peek.u32()) || (*next)[0] != 0) break;
            ++offset;
        }
    }
}

lf::Status OMPSDLayerSectionParser::parse() {
    const bool wide = document_.isPSB();
    const uint64_t end = sectionOffset_ + sectionLength_;
    if (sectionLength_ == 0) return {};
    OMPSD_TRY_ASSIGN(auto field, bytesAt(sectionOffset_, wide ? 8 : 4, end));
    OMPSDBinaryReader reader(field);
    uint64_t infoLength = reader.length(wide);
    uint64_t infoOffset = sectionOffset_ + reader.position();
    if (reader.failed() || infoLength > end - infoOffset)
        return OMPSDMakeError(OMPSDErrorTruncated, "the layer info reaches past its section");
    if (infoLength > 0) LF_TRY(parseLayerInfo(infoOffset, infoLength));

    // Global layer mask info; a damaged one ends the section's reading (its
    // blocks then read as absent).
    uint64_t offset = infoOffset + infoLength;
    if (end - offset < 4) return {};
    OMPSD_TRY_ASSIGN(auto maskField, bytesAt(offset, 4, end));
    uint32_t maskLength = OMPSDBinaryReader(maskField).u32();
    offset += 4;
    if (maskLength > end - offset) {
        lf::log("The global layer mask info reaches past its section; ignored");
        return {};
    }
    if (maskLength > 0) {
        OMPSD_TRY_ASSIGN(auto maskBytes, bytesAt(offset, maskLength, end));
        OMPSDBinaryReader mask(maskBytes);
        OMPSDGlobalLayerMask global;
        global.overlayColorSpace = mask.u16();
        for (auto& component : global.colorComponents)
            component = mask.u16();
        global.opacity = mask.u16();
        global.kind = mask.u8();
        if (!mask.failed()) document_.globalLayerMask_ = global;
    }
    parseDocumentBlocks(offset + maskLength);

    if (infoLength == 0 || document_.layers_.empty()) {
        for (uint32_t key : {OMPSDFourCC("Lr16"), OMPSDFourCC("Lr32"), OMPSDFourCC("Layr")}) {
            auto block = std::find_if(layerInfoBlocks_.begin(), layerInfoBlocks_.end(),
                                      [&](const auto& entry) { return entry.first == key; });
            if (block == layerInfoBlocks_.end()) continue;
            LF_TRY(parseLayerInfo(block->second.location, block->second.length));
            break;
        }
    }
    return {};
}
