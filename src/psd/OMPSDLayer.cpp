#include "psd/OMPSDLayer.h"

#include "platform/core/Log.h"
#include "psd/OMPSDBinaryReader.h"

OMPSDAttributesAtom::OMPSDAttributesAtom(uint32_t key, lf::Data data)
    : key_(key), bytes_(std::move(data)) {}

OMPSDAttributesAtom::OMPSDAttributesAtom(uint32_t key, std::shared_ptr<const BAByteArray> bytes,
                                         BARange range)
    : key_(key), bytes_(std::move(bytes), range) {}

const lf::Data& OMPSDAttributesAtom::data() const {
    return bytes_.data([&](const lf::Error& error) {
        lf::log("*** Tagged block '{}' cannot be read: {}", OMPSDFourCCString(key_),
                error.localizedDescription());
    });
}

OMPSDLayer::OMPSDLayer(OMPSDLayerRecord record, std::shared_ptr<std::mutex> lock,
                       std::weak_ptr<const OMPSDDocument> document)
    : record_(std::move(record)),
      lock_(std::move(lock)),
      document_(std::move(document)),
      isVisible_((record_.flags & 0x02) == 0),
      blendingOptions_(std::make_shared<OMPSDBlendingOptions>()) {}

template <typename T, typename Make>
T OMPSDLayer::cached(std::optional<T>& slot, Make make) const {
    std::lock_guard guard(*lock_);
    if (!slot) slot = make();
    return *slot;
}

const OMPSDAttributesAtom* OMPSDLayer::attributesAtomForKey(uint32_t key) const {
    for (const auto& atom : record_.atoms)
        if (atom.key() == key) return &atom;
    return nullptr;
}

std::span<const uint8_t> OMPSDLayer::blockData(uint32_t key) const {
    const auto* atom = attributesAtomForKey(key);
    return atom ? atom->data().span() : std::span<const uint8_t>();
}

uint32_t OMPSDLayer::identifier() const {
    OMPSDBinaryReader reader(blockData(OMPSDFourCC("lyid")));
    uint32_t id = reader.u32();
    return reader.failed() ? 0 : id;
}

uint32_t OMPSDLayer::layerNameSource() const {
    OMPSDBinaryReader reader(blockData(OMPSDFourCC("lnsr")));
    uint32_t source = reader.u32();
    return reader.failed() ? 0 : source;
}

OMPSDPoint OMPSDLayer::effectsReferencePoint() const {
    OMPSDBinaryReader reader(blockData(OMPSDFourCC("fxrp")));
    double x = reader.f64(), y = reader.f64();
    if (reader.failed()) return {};
    return {x, y};
}

std::shared_ptr<const OMPSDChannelReference> OMPSDLayer::channelReferenceForIdentifier(
    int16_t id) const {
    for (const auto& channel : record_.channels)
        if (channel->identifier() == id) return channel;
    return nullptr;
}

bool OMPSDLayer::maskIsEnabled() const {
    return record_.mask && !(record_.mask->flags & 0x02);
}
bool OMPSDLayer::maskIsInverted() const {
    return record_.mask && (record_.mask->flags & 0x04);
}
bool OMPSDLayer::maskIsRelativeToLayer() const {
    return record_.mask && (record_.mask->flags & 0x01);
}
bool OMPSDLayer::maskIsPrerenderedVectorMask() const {
    return record_.mask && (record_.mask->flags & 0x08);
}
bool OMPSDLayer::realMaskIsEnabled() const {
    return record_.mask && record_.mask->hasRealMask && !(record_.mask->realFlags & 0x02);
}
double OMPSDLayer::maskBackgroundColor() const {
    return record_.mask ? record_.mask->backgroundColor / 255.0 : 0.0;
}
double OMPSDLayer::realMaskBackgroundColor() const {
    return record_.mask && record_.mask->hasRealMask ? record_.mask->realBackgroundColor / 255.0
                                                     : 0.0;
}
double OMPSDLayer::maskDensity() const {
    return record_.mask ? record_.mask->density : 1.0;
}
double OMPSDLayer::maskFeatherAmount() const {
    return record_.mask ? record_.mask->feather : 0.0;
}
double OMPSDLayer::vectorMaskDensity() const {
    return record_.mask ? record_.mask->vectorDensity : 1.0;
}
double OMPSDLayer::vectorMaskFeatherAmount() const {
    return record_.mask ? record_.mask->vectorFeather : 0.0;
}

std::shared_ptr<const OMPSDCompoundPath> OMPSDLayer::vectorMask() const {
    return cached(vectorMask_, [&]() -> std::shared_ptr<const OMPSDCompoundPath> {
        auto data = blockData(OMPSDFourCC("vmsk"));
        if (data.empty()) data = blockData(OMPSDFourCC("vsms"));
        if (data.empty()) return nullptr;
        uint32_t flags = 0;
        auto path = OMPSDCompoundPath::fromVectorMaskBlock(data, &flags);
        vectorMaskFlags_ = flags;
        return path;
    });
}

bool OMPSDLayer::vectorMaskIsEnabled() const {
    if (!vectorMask()) return false;
    std::lock_guard guard(*lock_);
    return !(vectorMaskFlags_.value_or(0) & 0x04);
}

bool OMPSDLayer::vectorMaskIsInverted() const {
    if (!vectorMask()) return false;
    std::lock_guard guard(*lock_);
    return vectorMaskFlags_.value_or(0) & 0x01;
}

bool OMPSDLayer::vectorMaskIsLinked() const {
    if (!vectorMask()) return false;
    std::lock_guard guard(*lock_);
    return !(vectorMaskFlags_.value_or(0) & 0x02);
}

bool OMPSDLayer::vectorMaskIsAlignedToPixels() const {
    // Photoshop records a shape's "align edges" in "sn2P"; the stroke's own
    // flag is false in the documents it writes, so it only adds.
    OMPSDBinaryReader reader(blockData(OMPSDFourCC("sn2P")));
    uint32_t aligned = reader.u32();
    if (!reader.failed() && aligned != 0) return true;
    auto stroke = vectorStroke();
    return stroke && stroke->isAlignedToPixels();
}

std::shared_ptr<const OMPSDVectorStroke> OMPSDLayer::vectorStroke() const {
    return cached(vectorStroke_, [&]() -> std::shared_ptr<const OMPSDVectorStroke> {
        auto data = blockData(OMPSDFourCC("vstk"));
        return data.empty() ? nullptr : OMPSDVectorStroke::fromBlock(data);
    });
}

namespace {

std::shared_ptr<const OMPSDDescriptorDecoder> versionedDescriptor(std::span<const uint8_t> data) {
    if (data.empty()) return nullptr;
    auto descriptor = OMPSDDescriptorDecoder::decodeVersioned(data);
    return descriptor ? *descriptor : nullptr;
}

}  // namespace

std::shared_ptr<const OMPSDFill> OMPSDLayer::vectorFill() const {
    return cached(vectorFill_, [&]() -> std::shared_ptr<const OMPSDFill> {
        // "vscg": the fill block's key, then its descriptor.
        auto data = blockData(OMPSDFourCC("vscg"));
        if (data.size() > 4) {
            if (auto descriptor = versionedDescriptor(data.subspan(4)))
                return OMPSDFill::fromDescriptor(*descriptor);
        }
        for (uint32_t key : {OMPSDFourCC("SoCo"), OMPSDFourCC("GdFl"), OMPSDFourCC("PtFl")}) {
            const auto* atom = attributesAtomForKey(key);
            if (!atom) continue;
            if (auto descriptor = versionedDescriptor(atom->data().span()))
                return OMPSDFill::fromDescriptor(*descriptor);
        }
        return nullptr;
    });
}

std::optional<OMPSDColor> OMPSDLayer::colorFill() const {
    return cached(colorFill_, [&]() -> std::optional<OMPSDColor> {
        auto descriptor = versionedDescriptor(blockData(OMPSDFourCC("SoCo")));
        OMPSDColor color;
        auto colorDescriptor = descriptor ? descriptor->descriptorForKey("Clr ") : nullptr;
        if (!colorDescriptor || !OMPSDColor::fromDescriptor(*colorDescriptor, &color))
            return std::nullopt;
        return color;
    });
}

std::shared_ptr<const OMPSDGradientFill> OMPSDLayer::gradientFill() const {
    return cached(gradientFill_, [&]() -> std::shared_ptr<const OMPSDGradientFill> {
        auto descriptor = versionedDescriptor(blockData(OMPSDFourCC("GdFl")));
        return descriptor ? OMPSDGradientFill::fromDescriptor(*descriptor) : nullptr;
    });
}

std::shared_ptr<const OMPSDPatternFill> OMPSDLayer::patternFill() const {
    return cached(patternFill_, [&]() -> std::shared_ptr<const OMPSDPatternFill> {
        auto descriptor = versionedDescriptor(blockData(OMPSDFourCC("PtFl")));
        return descriptor ? OMPSDPatternFill::fromDescriptor(*descriptor) : nullptr;
    });
}

std::shared_ptr<const OMPSDGradientFill> OMPSDLayer::gradientMap() const {
    return cached(gradientMap_, [&]() -> std::shared_ptr<const OMPSDGradientFill> {
        auto data = blockData(OMPSDFourCC("grdm"));
        return data.empty() ? nullptr : OMPSDGradientFill::fromGradientMap(data);
    });
}

#define OMPSD_BLOCK_GETTER(Type, name, key)                           \
    std::shared_ptr<const Type> OMPSDLayer::name() const {            \
        return cached(name##_, [&]() -> std::shared_ptr<const Type> { \
            auto data = blockData(OMPSDFourCC(key));                  \
            return data.empty() ? nullptr : Type::fromBlock(data);    \
        });                                                           \
    }
OMPSD_BLOCK_GETTER(OMPSDLevelsList, levels, "levl")
OMPSD_BLOCK_GETTER(OMPSDCurvesList, curves, "curv")
OMPSD_BLOCK_GETTER(OMPSDExposure, exposure, "expA")
OMPSD_BLOCK_GETTER(OMPSDColorBalance, colorBalance, "blnc")
OMPSD_BLOCK_GETTER(OMPSDHueSaturationList, hueSaturation, "hue2")
OMPSD_BLOCK_GETTER(OMPSDSelectiveColor, selectiveColor, "selc")
OMPSD_BLOCK_GETTER(OMPSDVibrance, vibrance, "vibA")
#undef OMPSD_BLOCK_GETTER

uint16_t OMPSDLayer::posterizeLevels() const {
    OMPSDBinaryReader reader(blockData(OMPSDFourCC("post")));
    uint16_t levels = reader.u16();
    return reader.failed() ? 0 : levels;
}

double OMPSDLayer::threshold() const {
    OMPSDBinaryReader reader(blockData(OMPSDFourCC("thrs")));
    uint16_t level = reader.u16();
    return reader.failed() ? 0.0 : level / 255.0;
}

std::shared_ptr<const OMPSDDescriptorDecoder> OMPSDLayer::contentGeneratorExtraData() const {
    return cached(contentGeneratorData_,
                  [&] { return versionedDescriptor(blockData(OMPSDFourCC("CgEd"))); });
}

std::shared_ptr<const OMPSDEffectList> OMPSDLayer::effects() const {
    return cached(effects_, [&]() -> std::shared_ptr<const OMPSDEffectList> {
        for (uint32_t key : {OMPSDFourCC("lmfx"), OMPSDFourCC("lfxs"), OMPSDFourCC("lfx2")}) {
            const auto* atom = attributesAtomForKey(key);
            if (atom) return OMPSDEffectList::fromDescriptorBlock(atom->data().span());
        }
        auto legacy = blockData(OMPSDFourCC("lrFX"));
        return legacy.empty() ? nullptr : OMPSDEffectList::fromLegacyBlock(legacy);
    });
}

std::shared_ptr<const OMPSDSmartObjectInstance> OMPSDLayer::smartObjectInstance() const {
    return cached(smartObjectInstance_, [&]() -> std::shared_ptr<const OMPSDSmartObjectInstance> {
        for (uint32_t key : {OMPSDFourCC("SoLd"), OMPSDFourCC("PlLd")}) {
            if (const auto* atom = attributesAtomForKey(key))
                if (auto instance =
                        OMPSDSmartObjectInstance::fromPlacedLayerBlock(key, atom->data().span()))
                    return instance;
        }
        return nullptr;
    });
}

std::shared_ptr<const OMPSDTypeRecord> OMPSDLayer::typeRecord() const {
    return cached(typeRecord_, [&]() -> std::shared_ptr<const OMPSDTypeRecord> {
        auto data = blockData(OMPSDFourCC("TySh"));
        return data.empty() ? nullptr : OMPSDTypeRecord::fromBlock(data);
    });
}

std::shared_ptr<const void> OMPSDLayer::associatedObject(const std::string& key) const {
    std::lock_guard lock(associatedObjectsMutex_);
    for (const auto& [name, value] : associatedObjects_)
        if (name == key) return value;
    return nullptr;
}

void OMPSDLayer::setAssociatedObject(const std::string& key,
                                     std::shared_ptr<const void> value) const {
    std::lock_guard lock(associatedObjectsMutex_);
    for (auto& [name, stored] : associatedObjects_) {
        if (name == key) {
            stored = std::move(value);
            return;
        }
    }
    associatedObjects_.emplace_back(key, std::move(value));
}
