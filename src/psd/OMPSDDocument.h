#pragma once
// OMPSDDocument: a Photoshop document (PSD, version 1, or PSB, version 2,
// with its 8-byte lengths), read from a byte array in memory or a file.
//
// Opening reads the header, the headers of the image resources, the layer
// and mask information (the layer records of 8-bit documents, or of the
// "Lr16"/"Lr32" blocks of 16- and 32-bit ones, the group tree, the global
// layer mask, the document's tagged blocks) and locates the colour-mode
// data and the merged image. Channel samples stay compressed until a
// channel is read; the bytes of an image resource or a large tagged block
// are read when first asked for, and patterns and smart-object snapshots
// are decoded on first use, once.
//
// Every input that is not a readable document is an error of
// OMPSDErrorDomain. Damage in optional parts (a document tagged block, the
// merged image, one layer's block) reads as absent instead; opening never
// reads outside the byte array and never allocates more than the array's
// size can justify.
//
// Threads: a document is immutable after opening except for layer
// visibility (see OMPSDLayer) and is safe to read from any thread. It owns
// its layers, resources and channels; they refer back to it weakly.
#include "bytearray/BAByteArray.h"
#include "bytearray/BARange.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "psd/OMPSDChannelReference.h"
#include "psd/OMPSDImageResource.h"
#include "psd/OMPSDLayer.h"
#include "psd/OMPSDPattern.h"
#include "psd/OMPSDSmartObject.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The document's global layer mask info (overlay colour and opacity of the
// quick mask display); absent in most documents.
struct OMPSDGlobalLayerMask {
    uint16_t overlayColorSpace = 0;
    uint16_t colorComponents[4] = {0, 0, 0, 0};
    uint16_t opacity = 100;  // 0..100
    uint8_t kind = 0;        // 0 colour selected, 1 colour protected, 128 per layer
};

// One layer comp of resource 1065.
struct OMPSDLayerComp {
    int32_t identifier = 0;
    std::string name;
    // Bit 0 visibility, bit 1 position, bit 2 appearance were captured.
    int32_t capturedInfo = 7;
};

// Resource 1057, the version info: whether the merged image is real, the
// writer's name ("Adobe Photoshop") and the name of its version ("Adobe
// Photoshop CS5", "Adobe Photoshop CC 2017"; the format calls it the
// reader's name).
struct OMPSDVersionInfo {
    bool hasRealMergedData = true;
    std::string writerName;
    std::string readerName;
    uint32_t fileVersion = 1;
};

class OMPSDDocument : public std::enable_shared_from_this<OMPSDDocument> {
public:
    enum ColorMode : uint16_t {
        bitmap = 0,
        grayscale = 1,
        indexed = 2,
        rgb = 3,
        cmyk = 4,
        multichannel = 7,
        duotone = 8,
        lab = 9,
    };

    // The document in `bytes` (the array is kept and read lazily).
    static lf::Result<std::shared_ptr<OMPSDDocument>> create(
        std::shared_ptr<const BAByteArray> bytes);
    static lf::Result<std::shared_ptr<OMPSDDocument>> create(lf::Data data);
    static lf::Result<std::shared_ptr<OMPSDDocument>> createWithFile(const std::string& path);

    uint16_t version() const { return version_; }
    bool isPSB() const { return version_ == 2; }
    uint16_t colorMode() const { return colorMode_; }
    // The colour channels of a mode: 3 for RGB and Lab, 4 for CMYK, else 1
    // (multichannel included: its count is the document's own).
    static int colorChannelCountOfMode(uint32_t mode);
    uint16_t depth() const { return depth_; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    // Channels of the merged image.
    uint16_t channelCount() const { return channelCount_; }
    // The colour-mode data (an indexed document's colour table, a duotone
    // document's specification; empty in most modes): where it lies in the
    // byte array, and its bytes, read whole on each call. The section may
    // take up to 4 GiB, which a document costs only when it is read.
    BARange colorModeDataRange() const { return colorModeDataRange_; }
    lf::Result<lf::Data> colorModeData() const;

    // The image resources in file order, the first of each identifier (a
    // document names each once; a later one of the same identifier is left
    // out, as a look-up by identifier would never reach it).
    const std::vector<std::shared_ptr<const OMPSDImageResource>>& imageResources() const {
        return imageResources_;
    }
    std::shared_ptr<const OMPSDImageResource> imageResourceForIdentifier(uint16_t identifier) const;
    // Resource 1037 / 1049 as a big-endian 32-bit integer when exactly 4
    // bytes long (and readable), else 30.
    int32_t globalAngle() const;
    int32_t globalAltitude() const;
    // Resource 1057; none without it or when it is damaged.
    std::optional<OMPSDVersionInfo> versionInfo() const;

    // Top-level layers and groups, bottom-most first.
    const std::vector<std::shared_ptr<OMPSDLayer>>& layers() const { return layers_; }
    // Every layer and group in file order (group end markers left out).
    const std::vector<std::shared_ptr<OMPSDLayer>>& allLayers() const { return allLayers_; }

    const std::optional<OMPSDGlobalLayerMask>& globalLayerMask() const { return globalLayerMask_; }
    // A tagged block of the layer and mask section, or null.
    const OMPSDAttributesAtom* attributesAtomForKey(uint32_t key) const;
    const std::vector<OMPSDAttributesAtom>& attributesAtoms() const { return atoms_; }

    const std::vector<OMPSDLayerComp>& layerComps() const { return layerComps_; }
    // The comp whose state the layers show, if any.
    std::optional<int32_t> activeLayerCompIdentifier() const { return activeLayerComp_; }

    // "Patt" patterns, then "Pat2", then "Pat3"; decoded once.
    const std::vector<std::shared_ptr<const OMPSDPattern>>& patterns() const;
    // The filter-effects snapshots ("FXid", "FEid"); decoded once.
    const std::vector<std::shared_ptr<const OMPSDSmartObjectSnapshot>>& smartObjectSnapshots()
        const;

    // The planes of the merged image: 0, 1, 2... colour, -1 for the
    // merged transparency, further alpha channels numbered on. Empty when
    // the document stores no readable merged image.
    const std::vector<std::shared_ptr<const OMPSDChannelReference>>& mergedChannelReferences()
        const {
        return mergedChannels_;
    }
    // The layer count was negative: the first extra channel of the merged
    // image is its transparency.
    bool hasMergedTransparency() const { return hasMergedTransparency_; }

    const std::shared_ptr<const BAByteArray>& byteArray() const { return bytes_; }

private:
    explicit OMPSDDocument(std::shared_ptr<const BAByteArray> bytes) : bytes_(std::move(bytes)) {}
    lf::Status parse();
    lf::Status parseHeader(lf::Data header);
    // The resources' headers in `section`, the image resources' bytes.
    lf::Status parseImageResources(BARange section);
    // The merged image's planes, from the image data at `offset`; an error
    // says why there is none.
    lf::Status parseMergedImage(uint64_t offset);
    void applyLayerComps();
    int32_t resourceInteger(uint16_t identifier, int32_t fallback) const;
    // Colour planes of the colour mode (3 for RGB and Lab, 4 for CMYK, ...).
    int colorChannelCount() const;

    std::shared_ptr<const BAByteArray> bytes_;
    uint16_t version_ = 1, channelCount_ = 0, depth_ = 8, colorMode_ = 0;
    uint32_t width_ = 0, height_ = 0;
    BARange colorModeDataRange_;
    std::vector<std::shared_ptr<const OMPSDImageResource>> imageResources_;
    std::vector<std::shared_ptr<OMPSDLayer>> layers_, allLayers_;
    std::optional<OMPSDGlobalLayerMask> globalLayerMask_;
    std::vector<OMPSDAttributesAtom> atoms_;
    std::vector<OMPSDLayerComp> layerComps_;
    std::optional<int32_t> activeLayerComp_;
    std::vector<std::shared_ptr<const OMPSDChannelReference>> mergedChannels_;
    bool hasMergedTransparency_ = false;

    mutable std::once_flag patternsOnce_, snapshotsOnce_;
    mutable std::vector<std::shared_ptr<const OMPSDPattern>> patterns_;
    mutable std::vector<std::shared_ptr<const OMPSDSmartObjectSnapshot>> snapshots_;
};
