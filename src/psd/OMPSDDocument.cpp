#include "psd/OMPSDDocument.h"

#include "bytearray/BABTreeByteArray.h"
#include "platform/core/Log.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDError.h"
#include "psd/OMPSDLayerSectionParser.h"
#include "psd/OMPSDReadWindow.h"
#include "psd/OMPSDSource.h"

#include <fmt/format.h>

#include <span>
#include <string>
#include <vector>

// File layout (Photoshop File Formats): header (26 bytes), colour mode data,
// image resources, layer and mask information, image data. Every section
// starts with its length (8 bytes for the layer section of PSB files).

namespace {

// An image resource block: signature, 16-bit identifier, Pascal name padded
// to an even length, 32-bit length, data padded to an even length.
struct ResourceHeader {
    uint16_t identifier = 0;
    std::string name;
    uint32_t length = 0;
    uint64_t size = 0;  // of the header, up to the data
};
constexpr uint64_t kSmallestResourceBytes = 4 + 2 + 2 + 4;
constexpr uint64_t kLargestResourceHeaderBytes = 4 + 2 + 256 + 4;

bool isResourceSignature(uint32_t signature) {
    // Photoshop writes "8BIM"; the others come from older applications.
    for (uint32_t known : {OMPSDFourCC("8BIM"), OMPSDFourCC("MeSa"), OMPSDFourCC("AgHg"),
                           OMPSDFourCC("PHUT"), OMPSDFourCC("DCSR")})
        if (signature == known) return true;
    return false;
}

// The header at the start of `bytes` (which end where the section does),
// `at` bytes into the section.
lf::Result<ResourceHeader> readResourceHeader(std::span<const uint8_t> bytes, uint64_t at) {
    OMPSDBinaryReader reader(bytes);
    uint32_t signature = reader.u32();
    if (!isResourceSignature(signature))
        return OMPSDMakeError(OMPSDErrorCorruptData,
                              fmt::format("image resources: signature {} at byte {} of the "
                                          "section, expected '8BIM'",
                                          OMPSDQuotedCode(signature), at));
    ResourceHeader header;
    header.identifier = reader.u16();
    header.name = reader.pascalString(2);
    header.length = reader.u32();
    if (reader.failed())
        return OMPSDMakeError(
            OMPSDErrorTruncated,
            fmt::format("image resource {}: its name reaches past the section", header.identifier));
    header.size = reader.position();
    return header;
}

}  // namespace

lf::Result<std::shared_ptr<OMPSDDocument>> OMPSDDocument::create(
    std::shared_ptr<const BAByteArray> bytes) {
    if (!bytes) return OMPSDMakeError(OMPSDErrorNotAPhotoshopDocument, "no data");
    std::shared_ptr<OMPSDDocument> document(new OMPSDDocument(std::move(bytes)));
    LF_TRY(document->parse());
    return document;
}

lf::Result<std::shared_ptr<OMPSDDocument>> OMPSDDocument::create(lf::Data data) {
    return create(std::make_shared<BABTreeByteArray>(std::move(data)));
}

lf::Result<std::shared_ptr<OMPSDDocument>> OMPSDDocument::createWithFile(const std::string& path) {
    auto bytes = BABTreeByteArray::createWithFile(path);
    if (!bytes)
        return OMPSDMakeError(OMPSDErrorReadFailed, "cannot open " + path,
                              std::make_shared<const lf::Error>(bytes.error()));
    return create(std::shared_ptr<const BAByteArray>(*bytes));
}

lf::Status OMPSDDocument::parseHeader(lf::Data header) {
    OMPSDBinaryReader reader(header.span());
    uint32_t signature = reader.u32();
    if (signature != OMPSDFourCC("8BPS"))
        return OMPSDMakeError(
            OMPSDErrorNotAPhotoshopDocument,
            fmt::format("header: signature {}, expected '8BPS'", OMPSDQuotedCode(signature)));
    version_ = reader.u16();
    if (version_ != 1 && version_ != 2)
        return OMPSDMakeError(
            OMPSDErrorUnsupportedVersion,
            fmt::format("header: version {}, expected 1 (PSD) or 2 (PSB)", version_));
    reader.skip(6);
    channelCount_ = reader.u16();
    height_ = reader.u32();
    width_ = reader.u32();
    depth_ = reader.u16();
    colorMode_ = reader.u16();
    auto invalid = [](std::string what) {
        return OMPSDMakeError(OMPSDErrorInvalidHeader, "header: " + what);
    };
    uint32_t maximumSize = isPSB() ? 300000 : 30000;
    if (channelCount_ < 1 || channelCount_ > 56)
        return invalid(fmt::format("{} channels, expected 1 to 56", channelCount_));
    for (auto [name, size] : {std::pair{"width", width_}, std::pair{"height", height_}})
        if (size < 1 || size > maximumSize)
            return invalid(fmt::format("{} {}, expected 1 to {}", name, size, maximumSize));
    if (depth_ != 1 && depth_ != 8 && depth_ != 16 && depth_ != 32)
        return invalid(fmt::format("depth {}, expected 1, 8, 16 or 32", depth_));
    switch (colorMode_) {
        case bitmap:
        case grayscale:
        case indexed:
        case rgb:
        case cmyk:
        case multichannel:
        case duotone:
        case lab:
            break;
        default:
            return invalid(fmt::format("colour mode {} is unknown", colorMode_));
    }
    return {};
}

lf::Status OMPSDDocument::parse() {
    const BAByteArray& bytes = *bytes_;
    if (bytes.length() < 26)
        return OMPSDMakeError(
            OMPSDErrorNotAPhotoshopDocument,
            fmt::format("{} bytes, shorter than the 26-byte header", bytes.length()));
    OMPSD_TRY_ASSIGN(lf::Data header, OMPSDReadBytes(bytes, {0, 26}));
    LF_TRY(parseHeader(header));

    // A section: its length field, then that many bytes inside the array.
    uint64_t offset = 26;
    auto nextSection = [&](bool wideLength, const char* what) -> lf::Result<BARange> {
        uint64_t fieldSize = wideLength ? 8 : 4;
        auto field = OMPSDReadBytes(bytes, {offset, fieldSize});
        if (!field) return OMPSDErrorAt(what, field.error());
        OMPSDBinaryReader reader(field->span());
        BARange section{offset + fieldSize, reader.length(wideLength)};
        if (auto fits = OMPSDCheckRange(bytes, section); !fits)
            return OMPSDErrorAt(what, fits.error());
        offset = section.end();
        return section;
    };

    // The colour-mode data and the resources' bytes are read when asked
    // for: either section may take gigabytes that the export never uses.
    OMPSD_TRY_ASSIGN(colorModeDataRange_, nextSection(false, "colour mode data"));
    OMPSD_TRY_ASSIGN(BARange resources, nextSection(false, "image resources"));
    LF_TRY(parseImageResources(resources));
    // The layer and mask information is read piece by piece by its parser
    // (its channel data can make up most of the document).
    OMPSD_TRY_ASSIGN(BARange sectionRange, nextSection(isPSB(), "layer and mask information"));
    OMPSDLayerSectionParser parser(*this, sectionRange.location, sectionRange.length);
    OMPSD_TRY_ASSIGN(OMPSDLayerSection section, parser.parse());
    layers_ = std::move(section.layers);
    allLayers_ = std::move(section.allLayers);
    globalLayerMask_ = std::move(section.globalLayerMask);
    atoms_ = std::move(section.atoms);
    hasMergedTransparency_ = section.hasMergedTransparency;
    applyLayerComps();
    // Photoshop can always rebuild the merged image, so a damaged one does
    // not cost the document: it reads as absent.
    if (auto merged = parseMergedImage(offset); !merged)
        lf::log("Merged image: {}; the document is read without it",
                merged.error().localizedDescription());
    return {};
}

lf::Status OMPSDDocument::parseImageResources(BARange section) {
    // Only the headers are read, through a window; a resource's bytes are
    // read when it is used. Keeping one resource per identifier also bounds
    // what a section of many small blocks can make the reader hold.
    OMPSDReadWindow window(*bytes_);
    std::vector<bool> kept(size_t{1} << 16);
    const uint64_t end = section.end();
    uint64_t offset = section.location;
    while (offset < end && end - offset >= kSmallestResourceBytes) {
        OMPSD_TRY_ASSIGN(auto head, window.bytesAt(offset, kLargestResourceHeaderBytes, end));
        OMPSD_TRY_ASSIGN(ResourceHeader header,
                         readResourceHeader(head, offset - section.location));
        const uint64_t start = offset + header.size;
        if (header.length > end - start)
            return OMPSDMakeError(OMPSDErrorTruncated,
                                  fmt::format("image resource {}: {} bytes, {} left in the section",
                                              header.identifier, header.length, end - start));
        if (!kept[header.identifier]) {
            kept[header.identifier] = true;
            imageResources_.push_back(std::make_shared<OMPSDImageResource>(
                header.identifier, std::move(header.name), bytes_, BARange{start, header.length}));
        }
        // The data is padded to an even length (headers take an even
        // number of bytes, so the section's offsets stay even).
        offset = start + header.length + (header.length & 1);
    }
    return {};
}

lf::Result<lf::Data> OMPSDDocument::colorModeData() const {
    return OMPSDReadBytes(*bytes_, colorModeDataRange_);
}

std::shared_ptr<const OMPSDImageResource> OMPSDDocument::imageResourceForIdentifier(
    uint16_t identifier) const {
    for (const auto& resource : imageResources_)
        if (resource->identifier() == identifier) return resource;
    return nullptr;
}

int32_t OMPSDDocument::resourceInteger(uint16_t identifier, int32_t fallback) const {
    auto resource = imageResourceForIdentifier(identifier);
    // The length first: a damaged resource is not read at all.
    if (!resource || resource->size() != 4) return fallback;
    OMPSDBinaryReader reader(resource->data().span());
    int32_t value = reader.i32();
    return reader.failed() ? fallback : value;  // bytes that can no longer be read
}

int OMPSDDocument::colorChannelCount() const {
    return colorMode_ == multichannel ? channelCount_ : colorChannelCountOfMode(colorMode_);
}

int OMPSDDocument::colorChannelCountOfMode(uint32_t mode) {
    switch (mode) {
        case rgb:
        case lab:
            return 3;
        case cmyk:
            return 4;
        default:
            return 1;
    }
}

int32_t OMPSDDocument::globalAngle() const {
    return resourceInteger(1037, 30);
}
int32_t OMPSDDocument::globalAltitude() const {
    return resourceInteger(1049, 30);
}

std::optional<OMPSDVersionInfo> OMPSDDocument::versionInfo() const {
    auto resource = imageResourceForIdentifier(1057);
    if (!resource) return std::nullopt;
    // Version, has real merged data, writer name, reader name, file version.
    OMPSDBinaryReader reader(resource->data().span());
    reader.u32();
    OMPSDVersionInfo info;
    info.hasRealMergedData = reader.u8() != 0;
    info.writerName = reader.unicodeString();
    info.readerName = reader.unicodeString();
    info.fileVersion = reader.u32();
    if (reader.failed()) return std::nullopt;
    return info;
}

const OMPSDAttributesAtom* OMPSDDocument::attributesAtomForKey(uint32_t key) const {
    for (const auto& atom : atoms_)
        if (atom.key() == key) return &atom;
    return nullptr;
}

lf::Status OMPSDDocument::parseMergedImage(uint64_t offset) {
    // Image data: a compression method, then every channel's plane in
    // order; RLE keeps the row byte counts of all planes first.
    const BAByteArray& bytes = *bytes_;
    OMPSD_TRY_ASSIGN(lf::Data field, OMPSDReadBytes(bytes, {offset, 2}));
    OMPSDBinaryReader reader(field.span());
    uint16_t method = reader.u16();
    offset += 2;
    uint64_t length = bytes.length() - offset;
    OMPSDRect rect{0, 0, int32_t(height_), int32_t(width_)};
    uint64_t rowBytes = (uint64_t(width_) * depth_ + 7) / 8;
    uint64_t planeBytes = rowBytes * height_;
    uint64_t countSize = isPSB() ? 4 : 2;
    auto pastTheEnd = [&](std::string_view what, uint64_t needed, uint64_t left) {
        return OMPSDMakeError(
            OMPSDErrorTruncated,
            fmt::format("{} of {} bytes, {} left in the document", what, needed, left));
    };
    std::vector<OMPSDChannelReference::Source> sources;
    if (method == uint16_t(OMPSDCompression::raw)) {
        if (planeBytes * channelCount_ > length)
            return pastTheEnd(fmt::format("{} raw planes", channelCount_),
                              planeBytes * channelCount_, length);
        for (uint16_t c = 0; c < channelCount_; ++c) {
            OMPSDChannelReference::Source source;
            source.byteArray = bytes_;
            source.range = {offset + c * planeBytes, planeBytes};
            sources.push_back(std::move(source));
        }
    } else if (method == uint16_t(OMPSDCompression::rle)) {
        uint64_t countsLength = countSize * height_ * channelCount_;
        if (countsLength > length) return pastTheEnd("row byte counts", countsLength, length);
        OMPSD_TRY_ASSIGN(lf::Data countBytes, OMPSDReadBytes(bytes, {offset, countsLength}));
        OMPSDBinaryReader counts(countBytes.span());
        uint64_t dataOffset = offset + countsLength;
        for (uint16_t c = 0; c < channelCount_; ++c) {
            uint64_t planeLength = 0;
            for (uint32_t row = 0; row < height_; ++row)
                planeLength += isPSB() ? counts.u32() : counts.u16();
            if (!BARange{dataOffset, planeLength}.fitsWithin(bytes.length()))
                return pastTheEnd(fmt::format("RLE plane {}", c), planeLength,
                                  bytes.length() - std::min(dataOffset, bytes.length()));
            OMPSDChannelReference::Source source;
            source.byteArray = bytes_;
            source.range = {dataOffset, planeLength};
            source.compression = OMPSDCompression::rle;
            source.rowCounts = {offset + c * countSize * height_, countSize * height_};
            source.hasSeparateRowCounts = true;
            source.isPSB = isPSB();
            sources.push_back(source);
            dataOffset += planeLength;
        }
    } else {
        // Zip streams cover all planes at once; Photoshop does not write them
        // for the merged image, so none is offered.
        return OMPSDMakeError(OMPSDErrorUnsupportedCompression,
                              fmt::format("compression {}, expected 0 (raw) or 1 (RLE)", method));
    }
    int colorChannels = colorChannelCount();
    auto owner = std::make_shared<const std::string>("merged image");
    for (uint16_t c = 0; c < channelCount_; ++c) {
        int16_t identifier = int16_t(c);
        if (c == colorChannels && hasMergedTransparency_)
            identifier = -1;
        else if (c > colorChannels && hasMergedTransparency_)
            identifier = int16_t(c - 1);
        mergedChannels_.push_back(std::make_shared<OMPSDChannelReference>(
            identifier, rect, depth_, sources[c], owner, weak_from_this()));
    }
    return {};
}

const std::vector<std::shared_ptr<const OMPSDPattern>>& OMPSDDocument::patterns() const {
    std::call_once(patternsOnce_, [&] {
        for (uint32_t key : {OMPSDFourCC("Patt"), OMPSDFourCC("Pat2"), OMPSDFourCC("Pat3")}) {
            for (const auto& atom : atoms_) {
                if (atom.key() != key) continue;
                auto found = OMPSDReadPatterns(atom.data(), weak_from_this());
                patterns_.insert(patterns_.end(), found.begin(), found.end());
            }
        }
    });
    return patterns_;
}

const std::vector<std::shared_ptr<const OMPSDSmartObjectSnapshot>>&
OMPSDDocument::smartObjectSnapshots() const {
    std::call_once(snapshotsOnce_, [&] {
        int colorChannels = colorChannelCount();
        for (const auto& atom : atoms_) {
            if (atom.key() != OMPSDFourCC("FXid") && atom.key() != OMPSDFourCC("FEid")) continue;
            auto found =
                OMPSDReadSmartObjectSnapshots(atom.data(), colorChannels, weak_from_this());
            snapshots_.insert(snapshots_.end(), found.begin(), found.end());
        }
    });
    return snapshots_;
}
