#include "psd/OMPSDFill.h"

#include "platform/core/Log.h"
#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"

#include <algorithm>

namespace {

OMPSDGradientStyle styleForType(const std::string& type) {
    if (type == "Angl") return OMPSDGradientStyleAngle;
    if (type == "Dmnd") return OMPSDGradientStyleDiamond;
    if (type == "Lnr ") return OMPSDGradientStyleLinear;
    if (type == "Rdl ") return OMPSDGradientStyleRadial;
    if (type == "Rflc") return OMPSDGradientStyleReflected;
    if (type == "shapeburst") return OMPSDGradientStyleShapeBurst;
    lf::log("Unknown gradient type: {}", type);
    return OMPSDGradientStyleLinear;
}

// A point descriptor ("Ofst", "phase"): its "Hrzn" and "Vrtc" values.
void readPoint(const OMPSDDescriptorDecoder& d, const char* key, double* x, double* y) {
    if (auto point = d.descriptorForKey(key)) {
        point->decodeDouble(x, "Hrzn");
        point->decodeDouble(y, "Vrtc");
    }
}

template <typename Stop>
void sortStops(std::vector<Stop>& stops) {
    std::stable_sort(stops.begin(), stops.end(),
                     [](const Stop& a, const Stop& b) { return a.location() < b.location(); });
}

}  // namespace

std::shared_ptr<const OMPSDGradient> OMPSDGradient::fromDescriptor(
    const OMPSDDescriptorDecoder& d, std::string interpolationMethod) {
    auto gradient = std::make_shared<OMPSDGradient>();
    std::string name;
    d.decodeString(&name, "Nm  ");
    gradient->setName(name);
    gradient->setInterpolationMethod(std::move(interpolationMethod));
    double smoothness = 4096;
    if (!d.decodeDouble(&smoothness, "Smth")) d.decodeDouble(&smoothness, "Intr");
    gradient->setSmoothness(smoothness / 4096.0);
    gradient->setIsNoise(d.enumForKey("GrdF") == "ClNs");
    if (gradient->isNoise()) return gradient;

    std::vector<OMPSDGradientColorStop> colorStops;
    if (const auto* list = d.listForKey("Clrs")) {
        for (const auto& item : *list) {
            if (!item.object) continue;
            const auto& stop = *item.object;
            // Stops of the foreground and background colour ("FrgC",
            // "BckC") store no colour of their own: Photoshop's defaults,
            // black and white, stand for them.
            std::string type = stop.enumForKey("Type", "UsrS");
            OMPSDColor fallback = type == "BckC" ? OMPSDColor(1, 1, 1) : OMPSDColor();
            colorStops.emplace_back(stop.doubleForKey("Lctn", 0) / 4096.0,
                                    stop.doubleForKey("Mdpn", 50) * 0.01,
                                    OMPSDColor::forKey(stop, "Clr ", fallback));
        }
    }
    std::vector<OMPSDGradientOpacityStop> opacityStops;
    if (const auto* list = d.listForKey("Trns")) {
        for (const auto& item : *list) {
            if (!item.object) continue;
            const auto& stop = *item.object;
            opacityStops.emplace_back(stop.doubleForKey("Lctn", 0) / 4096.0,
                                      stop.doubleForKey("Mdpn", 50) * 0.01,
                                      stop.doubleForKey("Opct", 100) * 0.01);
        }
    }
    sortStops(colorStops);
    sortStops(opacityStops);
    gradient->setColorStops(std::move(colorStops));
    gradient->setOpacityStops(std::move(opacityStops));
    return gradient;
}

std::string OMPSDGradientInterpolationMethod(const OMPSDDescriptorDecoder& paint) {
    return paint.enumForKey("gradientsInterpolationMethod", paint.enumForKey("gs99", ""));
}

std::shared_ptr<const OMPSDFill> OMPSDFill::fromDescriptor(const OMPSDDescriptorDecoder& d) {
    if (d.hasKey("Grad")) return OMPSDGradientFill::fromDescriptor(d);
    if (d.hasKey("Ptrn")) return OMPSDPatternFill::fromDescriptor(d);
    return std::make_shared<OMPSDColorFill>(OMPSDColor::forKey(d, "Clr "));
}

std::shared_ptr<const OMPSDGradientFill> OMPSDGradientFill::fromDescriptor(
    const OMPSDDescriptorDecoder& d) {
    auto gradientDescriptor = d.descriptorForKey("Grad");
    if (!gradientDescriptor) return nullptr;
    auto fill = std::make_shared<OMPSDGradientFill>();
    fill->setGradient(
        OMPSDGradient::fromDescriptor(*gradientDescriptor, OMPSDGradientInterpolationMethod(d)));
    fill->setIsReversed(d.boolForKey("Rvrs", false));
    fill->setStyle(styleForType(d.enumForKey("Type", "Lnr ")));
    fill->setIsAlignedWithLayer(d.boolForKey("Algn", true));
    double x = 0, y = 0;
    readPoint(d, "Ofst", &x, &y);
    fill->setHorizontalOffset(x * 0.01);
    fill->setVerticalOffset(y * 0.01);
    fill->setAngle(d.doubleForKey("Angl", 0));
    fill->setScale(d.doubleForKey("Scl ", 100) * 0.01);
    fill->setIsDithered(d.boolForKey("Dthr", false));
    return fill;
}

std::shared_ptr<const OMPSDGradientFill> OMPSDGradientFill::fromGradientMap(
    std::span<const uint8_t> data) {
    // Gradient settings: version, reversed, dithered, (version 3: the
    // interpolation method), Unicode name, colour stops, opacity stops.
    OMPSDBinaryReader reader(data);
    uint16_t version = reader.u16();
    if (version != 1 && version != 3) return nullptr;
    auto fill = std::make_shared<OMPSDGradientFill>();
    fill->setIsReversed(reader.u8() != 0);
    fill->setIsDithered(reader.u8() != 0);
    if (version == 3) reader.skip(4);
    auto gradient = std::make_shared<OMPSDGradient>();
    gradient->setName(reader.unicodeString());
    uint16_t colorCount = reader.u16();
    std::vector<OMPSDGradientColorStop> colorStops;
    for (uint16_t i = 0; i < colorCount && !reader.failed(); ++i) {
        double location = reader.u32() / 4096.0;
        double midpoint = reader.u32() * 0.01;
        OMPSDColor color = OMPSDColor::read(reader);
        reader.skip(2);
        colorStops.emplace_back(location, midpoint, color);
    }
    uint16_t opacityCount = reader.u16();
    std::vector<OMPSDGradientOpacityStop> opacityStops;
    for (uint16_t i = 0; i < opacityCount && !reader.failed(); ++i) {
        double location = reader.u32() / 4096.0;
        double midpoint = reader.u32() * 0.01;
        opacityStops.emplace_back(location, midpoint, reader.u16() / 255.0);
    }
    reader.skip(2);  // expansion count
    uint16_t interpolation = reader.u16();
    reader.skip(2);  // length
    bool isNoise = reader.u16() != 0;
    if (reader.failed()) return nullptr;
    gradient->setSmoothness(interpolation / 4096.0);
    gradient->setIsNoise(isNoise);
    if (!isNoise) {
        sortStops(colorStops);
        sortStops(opacityStops);
        gradient->setColorStops(std::move(colorStops));
        gradient->setOpacityStops(std::move(opacityStops));
    }
    fill->setGradient(std::move(gradient));
    return fill;
}

std::shared_ptr<const OMPSDPatternReference> OMPSDPatternReference::fromDescriptor(
    const OMPSDDescriptorDecoder& d) {
    std::string identifier, name;
    if (!d.decodeString(&identifier, "Idnt")) return nullptr;
    d.decodeString(&name, "Nm  ");
    return std::make_shared<OMPSDPatternReference>(std::move(identifier), std::move(name));
}

std::shared_ptr<const OMPSDPatternFill> OMPSDPatternFill::fromDescriptor(
    const OMPSDDescriptorDecoder& d) {
    auto patternDescriptor = d.descriptorForKey("Ptrn");
    if (!patternDescriptor) return nullptr;
    auto reference = OMPSDPatternReference::fromDescriptor(*patternDescriptor);
    if (!reference) return nullptr;
    auto fill = std::make_shared<OMPSDPatternFill>();
    fill->setPatternReference(std::move(reference));
    double x = 0, y = 0;
    readPoint(d, "phase", &x, &y);
    readPoint(d, "phsP", &x, &y);
    fill->setHorizontalPhase(x);
    fill->setVerticalPhase(y);
    fill->setIsLinkedWithLayer(d.boolForKey("Algn", true));
    fill->setScale(d.doubleForKey("Scl ", 100) * 0.01);
    return fill;
}
