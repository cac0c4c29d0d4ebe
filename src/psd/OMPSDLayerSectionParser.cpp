#include "psd/OMPSDLayerSectionParser.h"

#include "platform/core/Log.h"
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

// A layer has at most 56 colour and alpha channels, plus its transparency,
// user mask and real mask.
constexpr uint16_t kMaximumChannels = 56 + 3;

// What a record's fields before its extra data take: rectangle, channel
// count, the channel entries (identifier and length), blend mode
// signature, key and flags, extra data length.
constexpr uint64_t recordFieldBytes(uint64_t channels, bool wide) {
    return 16 + 2 + channels * (wide ? 10 : 6) + 12 + 4;
}
constexpr uint64_t kRecordHeadBytes = recordFieldBytes(kMaximumChannels, true);

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

// Signature, key and length.
constexpr uint64_t blockHeaderBytes(bool wideLength) {
    return 8 + (wideLength ? 8 : 4);
}

// The damage that ends a run of tagged blocks, `at` the position of the
// block's signature.
lf::Error badBlockSignature(uint32_t signature, uint64_t at) {
    return OMPSDMakeError(OMPSDErrorCorruptData,
                          fmt::format("signature {} at byte {}, expected '8BIM' or '8B64'",
                                      OMPSDQuotedCode(signature), at));
}
// A block that takes `size` bytes (its header and data), `left` from its
// start on.
lf::Error blockPastTheEnd(uint32_t key, uint64_t at, uint64_t size, uint64_t left) {
    return OMPSDMakeError(OMPSDErrorTruncated,
                          fmt::format("tagged block {} at byte {} takes {} bytes, {} left",
                                      OMPSDQuotedCode(key), at, size, left));
}

// The next part of a record's extra data (its mask data or blending
// ranges): a 32-bit length and that many bytes.
lf::Result<std::span<const uint8_t>> extraDataPart(OMPSDBinaryReader& extra, const char* part) {
    uint64_t left = extra.remaining();
    uint32_t length = extra.u32();
    auto bytes = extra.bytes(length);
    if (!extra.failed()) return bytes;
    return OMPSDMakeError(
        OMPSDErrorCorruptData,
        left < 4
            ? fmt::format("{} length of 4 bytes, {} left in the extra data", part, left)
            : fmt::format("{} of {} bytes, {} left in the extra data", part, length, left - 4));
}

// The rectangle a layer's plane covers: the masks' their own, every other
// plane the layer's.
OMPSDRect rectOfPlane(const OMPSDLayerRecord& record, int16_t identifier) {
    if (identifier == -2 && record.mask) return record.mask->rect;
    if (identifier == -3 && record.mask) return record.mask->realRect;
    return record.rect;
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
                                                       lf::Status* damage) {
    std::vector<OMPSDAttributesAtom> atoms;
    auto damaged = [&](lf::Error error) {
        if (damage) *damage = std::move(error);
        return atoms;
    };
    while (reader.remaining() >= 12) {
        size_t at = reader.position();
        uint32_t signature = reader.u32();
        if (!isSignature(signature)) return damaged(badBlockSignature(signature, at));
        uint32_t key = reader.u32();
        bool wide = isPSB && hasWideLength(key);
        uint64_t length = reader.length(wide);
        size_t start = reader.position();
        if (reader.failed() || length > reader.remaining())
            return damaged(
                blockPastTheEnd(key, at, blockHeaderBytes(wide) + length, reader.size() - at));
        reader.skip(length);
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

void OMPSDLayerSectionParser::parseMaskData(std::span<const uint8_t> bytes,
                                            OMPSDLayerRecord& record) {
    // Rectangle, default colour and flags; with a size of 20 two bytes of
    // padding; otherwise the real (user and vector combined) mask's flags,
    // default colour and rectangle; then, when flag bit 4 is set, the mask
    // parameters.
    const size_t size = bytes.size();
    if (size == 0) return;
    OMPSDBinaryReader mask(bytes);
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
    record.mask = data;
}

lf::Status OMPSDLayerSectionParser::parseRecord(OMPSDBinaryReader& reader, const lf::Data& backing,
                                                size_t readerOffset, size_t index,
                                                PendingLayer& layer) {
    const bool wide = document_.isPSB();
    OMPSDLayerRecord& record = layer.record;
    record.rect = reader.rect();
    uint16_t channelCount = reader.u16();
    if (channelCount > kMaximumChannels)
        return OMPSDMakeError(OMPSDErrorCorruptData, fmt::format("{} channels, at most {}",
                                                                 channelCount, kMaximumChannels));
    for (uint16_t i = 0; i < channelCount; ++i) {
        int16_t identifier = reader.i16();
        layer.channels.push_back({identifier, reader.length(wide)});
    }
    uint32_t signature = reader.u32();
    if (signature != OMPSDFourCC("8BIM") && !reader.failed())
        return OMPSDMakeError(
            OMPSDErrorCorruptData,
            fmt::format("blend mode signature {}, expected '8BIM'", OMPSDQuotedCode(signature)));
    record.blendKey = reader.u32();
    record.opacity = reader.u8();
    record.clipping = reader.u8();
    record.flags = reader.u8();
    reader.skip(1);
    uint32_t extraLength = reader.u32();
    if (reader.failed())
        return OMPSDMakeError(
            OMPSDErrorTruncated,
            fmt::format("the record's fields take {} bytes, {} left in the layer info",
                        recordFieldBytes(channelCount, wide), reader.size()));
    if (extraLength > reader.remaining())
        return OMPSDMakeError(OMPSDErrorTruncated,
                              fmt::format("extra data of {} bytes, {} left in the layer info",
                                          extraLength, reader.remaining()));
    size_t extraStart = reader.position();
    OMPSDBinaryReader extra = reader.subreader(extraLength);
    OMPSD_TRY_ASSIGN(auto mask, extraDataPart(extra, "mask data"));
    parseMaskData(mask, record);
    OMPSD_TRY_ASSIGN(auto ranges, extraDataPart(extra, "blending ranges"));
    record.blendingRanges.assign(ranges.begin(), ranges.end());
    uint64_t left = extra.remaining();
    uint64_t nameBytes = (OMPSDBinaryReader(extra).u8() + 1 + 3) / 4 * 4;  // padded to 4
    record.pascalName = extra.pascalString(4);
    if (extra.failed())
        return OMPSDMakeError(
            OMPSDErrorCorruptData,
            fmt::format("name of {} bytes, {} left in the extra data", nameBytes, left));
    lf::Status damage;
    record.atoms = OMPSDReadTaggedBlocks(extra, backing, readerOffset + extraStart, wide, &damage);
    if (!damage)
        lf::log("Layer {} '{}', extra data: {}; it and the blocks after it are skipped", index,
                record.pascalName, damage.error().localizedDescription());

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

lf::Status OMPSDLayerSectionParser::parseLayerInfo(uint64_t offset, uint64_t length,
                                                   const std::string& where) {
    if (auto fits = OMPSDCheckRange(*document_.byteArray(), {offset, length}); !fits)
        return OMPSDErrorAt(where, fits.error());
    const uint64_t end = offset + length;
    OMPSD_TRY_ASSIGN(size_t count, parseLayerCount(offset, length, where));
    uint64_t position = offset + 2;
    OMPSD_TRY_ASSIGN(auto pending, parseRecords(count, position, end));
    // The channels' data follows all the records, layer by layer.
    std::vector<std::shared_ptr<OMPSDLayer>> layers;
    for (size_t index = 0; index < pending.size(); ++index) {
        LF_TRY(parseChannelData(pending[index], index, position, end, where));
        layers.push_back(makeLayer(std::move(pending[index].record)));
    }
    buildTree(std::move(layers));
    return {};
}

lf::Result<size_t> OMPSDLayerSectionParser::parseLayerCount(uint64_t offset, uint64_t length,
                                                            const std::string& where) {
    OMPSD_TRY_ASSIGN(auto countBytes, window_.bytesAt(offset, 2, offset + length));
    if (countBytes.size() < 2) return size_t{0};  // no count: no layers
    // A negative count says that the merged image's first extra channel is
    // its transparency.
    int16_t count = OMPSDBinaryReader(countBytes).i16();
    if (count < 0) section_.hasMergedTransparency = true;
    size_t layerCount = size_t(count < 0 ? -int(count) : count);
    // A record takes at least 34 bytes: refuse counts the bytes cannot hold.
    if (layerCount * 34 > length - 2)
        return OMPSDMakeError(OMPSDErrorCorruptData,
                              fmt::format("{}: {} layers take at least {} bytes, it holds {}",
                                          where, layerCount, layerCount * 34, length - 2));
    return layerCount;
}

lf::Result<std::vector<OMPSDLayerSectionParser::PendingLayer>>
OMPSDLayerSectionParser::parseRecords(size_t count, uint64_t& position, uint64_t end) {
    // Each record is read from the window once it holds the whole record.
    const bool wide = document_.isPSB();
    std::vector<PendingLayer> pending(count);
    for (size_t index = 0; index < count; ++index) {
        OMPSD_TRY_ASSIGN(auto head, window_.bytesFrom(position, kRecordHeadBytes, end));
        OMPSD_TRY_ASSIGN(auto bytes, window_.bytesFrom(position, recordLength(head, wide), end));
        OMPSDBinaryReader reader(bytes);
        auto parsed =
            parseRecord(reader, window_.data(), position - window_.offset(), index, pending[index]);
        if (!parsed) return OMPSDErrorAt(fmt::format("layer {}", index), parsed.error());
        position += reader.position();
    }
    return pending;
}

lf::Status OMPSDLayerSectionParser::parseChannelData(PendingLayer& layer, size_t index,
                                                     uint64_t& position, uint64_t end,
                                                     const std::string& where) {
    // Channel by channel, in the record's order: a compression method and
    // the compressed samples, which stay in the byte array until the
    // channel is read.
    OMPSDLayerRecord& record = layer.record;
    auto owner =
        std::make_shared<const std::string>(fmt::format("layer {} '{}'", index, record.name));
    for (const auto& channel : layer.channels) {
        if (channel.length > end - position)
            return OMPSDMakeError(
                OMPSDErrorTruncated,
                fmt::format("{} channel {}: {} bytes of data, {} left in the {}", *owner,
                            channel.identifier, channel.length, end - position, where));
        OMPSD_TRY_ASSIGN(auto source, channelSource(channel, position, end));
        position += channel.length;
        record.channels.push_back(std::make_shared<OMPSDChannelReference>(
            channel.identifier, rectOfPlane(record, channel.identifier), document_.depth(),
            std::move(source), owner, document_.weak_from_this()));
    }
    return {};
}

lf::Result<OMPSDChannelReference::Source> OMPSDLayerSectionParser::channelSource(
    const ChannelInfo& channel, uint64_t position, uint64_t end) {
    OMPSDChannelReference::Source source;
    source.byteArray = document_.byteArray();
    source.isPSB = document_.isPSB();
    if (channel.length < 2) return source;  // not even a method: an empty channel
    // The method is read alone: the samples between channels are not
    // needed yet.
    OMPSD_TRY_ASSIGN(auto methodBytes, window_.bytesAt(position, 2, end, 2));
    source.compression = OMPSDCompression(OMPSDBinaryReader(methodBytes).u16());
    source.range = {position + 2, channel.length - 2};
    return source;
}

std::shared_ptr<OMPSDLayer> OMPSDLayerSectionParser::makeLayer(OMPSDLayerRecord record) {
    auto options = OMPSDBlendingOptionsForRecord(record);
    auto layer = std::make_shared<OMPSDLayer>(std::move(record), std::make_shared<std::mutex>(),
                                              document_.weak_from_this());
    layer->setBlendingOptions(std::move(options));
    return layer;
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
        section_.allLayers.push_back(layer);
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
    section_.layers = std::move(stack.front());
}

lf::Status OMPSDLayerSectionParser::parseDocumentBlocks(uint64_t offset) {
    // Blocks are read as they are found: small ones into memory at once,
    // large ones when first used. A damaged block ends the reading (the
    // blocks after it read as absent).
    constexpr uint64_t kDeferredBlockBytes = uint64_t{64} << 10;
    const bool wide = document_.isPSB();
    const uint64_t end = sectionOffset_ + sectionLength_;
    while (end - offset >= 12) {
        OMPSD_TRY_ASSIGN(auto header, window_.bytesAt(offset, 16, end));
        OMPSDBinaryReader reader(header);
        uint32_t signature = reader.u32();
        if (!isSignature(signature)) return badBlockSignature(signature, offset);
        uint32_t key = reader.u32();
        bool wideLength = wide && hasWideLength(key);
        uint64_t length = reader.length(wideLength);
        uint64_t start = offset + reader.position();
        if (reader.failed() || length > end - start)
            return blockPastTheEnd(key, offset, blockHeaderBytes(wideLength) + length,
                                   end - offset);
        BARange range{start, length};
        if (key == OMPSDFourCC("Lr16") || key == OMPSDFourCC("Lr32") || key == OMPSDFourCC("Layr"))
            layerInfoBlocks_.emplace_back(key, range);
        if (length > kDeferredBlockBytes) {
            section_.atoms.emplace_back(key, document_.byteArray(), range);
        } else {
            OMPSD_TRY_ASSIGN(auto data, OMPSDReadBytes(*document_.byteArray(), range));
            section_.atoms.emplace_back(key, std::move(data));
        }
        offset = start + length;
        // Writers pad blocks to 2 or 4 bytes, some inside the length and
        // some outside: skip zero bytes up to the next signature.
        for (int pad = 0; pad < 3 && end - offset >= 4; ++pad) {
            OMPSD_TRY_ASSIGN(auto next, window_.bytesAt(offset, 4, end));
            OMPSDBinaryReader peek(next);
            if (isSignature(peek.u32()) || next[0] != 0) break;
            ++offset;
        }
    }
    return {};
}

lf::Result<OMPSDLayerSection> OMPSDLayerSectionParser::parse() {
    LF_TRY(parseSection());
    return std::move(section_);
}

lf::Status OMPSDLayerSectionParser::parseSection() {
    const bool wide = document_.isPSB();
    const uint64_t end = sectionOffset_ + sectionLength_;
    if (sectionLength_ == 0) return {};
    OMPSD_TRY_ASSIGN(auto field, window_.bytesAt(sectionOffset_, wide ? 8 : 4, end));
    OMPSDBinaryReader reader(field);
    uint64_t infoLength = reader.length(wide);
    uint64_t infoOffset = sectionOffset_ + reader.position();
    if (reader.failed() || infoLength > end - infoOffset)
        return OMPSDMakeError(
            OMPSDErrorTruncated,
            fmt::format("layer info of {} bytes, {} left in the layer and mask information",
                        infoLength, end - std::min(infoOffset, end)));
    if (infoLength > 0) LF_TRY(parseLayerInfo(infoOffset, infoLength, "layer info"));

    // Global layer mask info; a damaged one ends the section's reading (its
    // blocks then read as absent).
    uint64_t offset = infoOffset + infoLength;
    if (end - offset < 4) return {};
    OMPSD_TRY_ASSIGN(auto maskField, window_.bytesAt(offset, 4, end));
    uint32_t maskLength = OMPSDBinaryReader(maskField).u32();
    offset += 4;
    if (maskLength > end - offset) {
        lf::log(
            "Global layer mask info of {} bytes, {} left in the layer and mask information; it "
            "and the section's tagged blocks are skipped",
            maskLength, end - offset);
        return {};
    }
    if (maskLength > 0) {
        OMPSD_TRY_ASSIGN(auto maskBytes, window_.bytesAt(offset, maskLength, end));
        OMPSDBinaryReader mask(maskBytes);
        OMPSDGlobalLayerMask global;
        global.overlayColorSpace = mask.u16();
        for (auto& component : global.colorComponents)
            component = mask.u16();
        global.opacity = mask.u16();
        global.kind = mask.u8();
        if (!mask.failed()) section_.globalLayerMask = global;
    }
    if (auto blocks = parseDocumentBlocks(offset + maskLength); !blocks)
        lf::log("Layer and mask information: {}; it and the blocks after it are skipped",
                blocks.error().localizedDescription());

    if (infoLength == 0 || section_.layers.empty()) {
        for (uint32_t key : {OMPSDFourCC("Lr16"), OMPSDFourCC("Lr32"), OMPSDFourCC("Layr")}) {
            auto block = std::find_if(layerInfoBlocks_.begin(), layerInfoBlocks_.end(),
                                      [&](const auto& entry) { return entry.first == key; });
            if (block == layerInfoBlocks_.end()) continue;
            LF_TRY(parseLayerInfo(block->second.location, block->second.length,
                                  fmt::format("layer info of block {}", OMPSDQuotedCode(key))));
            break;
        }
    }
    return {};
}
