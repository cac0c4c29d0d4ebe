#include "psd/OMPSDAdjustments.h"

#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"

// Block layouts: Photoshop File Formats, "Adjustment layer (Photoshop 4.0)".

std::shared_ptr<const OMPSDLevelsList> OMPSDLevelsList::fromBlock(std::span<const uint8_t> data) {
    // Version 2, then 29 records of five 16-bit values: input floor and
    // ceiling, output floor and ceiling (0..255), gamma * 100.
    OMPSDBinaryReader reader(data);
    if (reader.u16() != 2) return nullptr;
    auto list = std::make_shared<OMPSDLevelsList>();
    for (auto& record : list->records_) {
        double values[5];
        for (double& value : values)
            value = reader.i16();
        if (reader.failed()) return nullptr;
        record = {values[0] / 255.0, values[1] / 255.0, values[2] / 255.0, values[3] / 255.0,
                  values[4] / 100.0};
    }
    return list;
}

OMPSDLevelsRecord OMPSDLevelsList::recordAtIndex(size_t index) const {
    return index < records_.size() ? records_[index] : OMPSDLevelsRecord{};
}

namespace {

// A curve of `count` (output, input) pairs of 0..255 levels.
std::shared_ptr<const OMPSDContour> readCurvePoints(OMPSDBinaryReader& reader, uint16_t count) {
    if (uint64_t(count) * 4 > reader.remaining()) {
        reader.fail();
        return nullptr;
    }
    std::vector<OMPSDContourPoint> points;
    for (uint16_t i = 0; i < count; ++i) {
        double output = reader.i16() / 255.0;
        double input = reader.i16() / 255.0;
        points.emplace_back(input, output);
    }
    if (points.empty()) return nullptr;
    return std::make_shared<OMPSDContour>(std::move(points));
}

}  // namespace

std::shared_ptr<const OMPSDCurvesList> OMPSDCurvesList::fromBlock(std::span<const uint8_t> data) {
    // A filler byte, version (1 or 4), a bit map of the channels that
    // follow (bit 0 the composite), each curve as a point count and
    // (output, input) pairs. Photoshop may append a "Crv " section that
    // lists the curves again by channel index; it wins when present.
    OMPSDBinaryReader reader(data);
    reader.skip(1);
    uint16_t version = reader.u16();
    if (reader.failed() || (version != 1 && version != 4)) return nullptr;
    uint32_t channels = reader.u32();
    std::shared_ptr<const OMPSDContour> curves[4];
    for (int channel = 0; channel < 32 && !reader.failed(); ++channel) {
        if (!(channels & (1u << channel))) continue;
        auto curve = readCurvePoints(reader, reader.u16());
        if (channel < 4) curves[channel] = std::move(curve);
    }
    if (reader.failed()) return nullptr;
    if (reader.remaining() >= 4 && reader.u32() == OMPSDFourCC("Crv ")) {
        reader.skip(2);
        uint32_t count = reader.u32();
        std::shared_ptr<const OMPSDContour> extra[4];
        for (uint32_t i = 0; i < count && !reader.failed(); ++i) {
            uint16_t channel = reader.u16();
            auto curve = readCurvePoints(reader, reader.u16());
            if (channel < 4) extra[channel] = std::move(curve);
        }
        if (!reader.failed())
            for (int i = 0; i < 4; ++i)
                curves[i] = extra[i];
    }
    auto list = std::make_shared<OMPSDCurvesList>();
    list->setMasterCurve(curves[0]);
    list->setRedCurve(curves[1]);
    list->setGreenCurve(curves[2]);
    list->setBlueCurve(curves[3]);
    return list;
}

std::shared_ptr<const OMPSDExposure> OMPSDExposure::fromBlock(std::span<const uint8_t> data) {
    // Version 1, then exposure, offset and gamma as 32-bit floats.
    OMPSDBinaryReader reader(data);
    if (reader.u16() != 1) return nullptr;
    auto exposure = std::make_shared<OMPSDExposure>();
    exposure->setExposure(reader.f32());
    exposure->setOffset(reader.f32());
    exposure->setGamma(reader.f32());
    if (reader.failed()) return nullptr;
    return exposure;
}

std::shared_ptr<const OMPSDColorBalance> OMPSDColorBalance::fromBlock(
    std::span<const uint8_t> data) {
    // Shadows, midtones, highlights: three signed 16-bit values each
    // (-100..100), then the preserve-luminosity byte.
    OMPSDBinaryReader reader(data);
    OMPSDColorBalanceValues ranges[3];
    for (auto& range : ranges) {
        range.cyanRed = reader.i16() / 100.0;
        range.magentaGreen = reader.i16() / 100.0;
        range.yellowBlue = reader.i16() / 100.0;
    }
    bool preserve = reader.u8() != 0;
    if (reader.failed()) return nullptr;
    auto balance = std::make_shared<OMPSDColorBalance>();
    balance->setShadows(ranges[0]);
    balance->setMidtones(ranges[1]);
    balance->setHighlights(ranges[2]);
    balance->setPreserveLuminosity(preserve);
    return balance;
}

std::shared_ptr<const OMPSDSelectiveColor> OMPSDSelectiveColor::fromBlock(
    std::span<const uint8_t> data) {
    // Version 1, the method (0 relative, 1 absolute), then ten records of
    // cyan, magenta, yellow and black, signed 16-bit (-100..100): the first
    // is unused, the others are the groups in their order.
    OMPSDBinaryReader reader(data);
    if (reader.u16() != 1) return nullptr;
    auto selective = std::make_shared<OMPSDSelectiveColor>();
    selective->setIsAbsolute(reader.u16() == 1);
    reader.skip(8);
    Groups groups;
    for (auto& group : groups) {
        group.cyan = reader.i16() / 100.0;
        group.magenta = reader.i16() / 100.0;
        group.yellow = reader.i16() / 100.0;
        group.black = reader.i16() / 100.0;
    }
    if (reader.failed()) return nullptr;
    selective->setGroups(groups);
    return selective;
}

std::shared_ptr<const OMPSDHueSaturationList> OMPSDHueSaturationList::fromBlock(
    std::span<const uint8_t> data) {
    // Version 2, colorize flag and a filler byte, colorization hue,
    // saturation and lightness, master hue, saturation and lightness, then
    // six ranges (reds, yellows, greens, cyans, blues, magentas) of four
    // bounds and three settings; all signed 16-bit.
    OMPSDBinaryReader reader(data);
    if (reader.u16() != 2) return nullptr;
    auto list = std::make_shared<OMPSDHueSaturationList>();
    list->setShouldColorize(reader.u8() != 0);
    reader.skip(1);
    list->setColorizationHue(reader.i16());
    list->setColorizationSaturation(reader.i16() / 100.0);
    list->setColorizationLightness(reader.i16() / 100.0);
    list->setMasterHue(reader.i16());
    list->setMasterSaturation(reader.i16() / 100.0);
    list->setMasterLightness(reader.i16() / 100.0);
    OMPSDHueSaturationRange ranges[6];
    for (auto& range : ranges) {
        range.range0 = reader.i16();
        range.range1 = reader.i16();
        range.range2 = reader.i16();
        range.range3 = reader.i16();
        range.hue = reader.i16();
        range.saturation = reader.i16() / 100.0;
        range.lightness = reader.i16() / 100.0;
    }
    if (reader.failed()) return nullptr;
    list->setReds(ranges[0]);
    list->setYellows(ranges[1]);
    list->setGreens(ranges[2]);
    list->setCyans(ranges[3]);
    list->setBlues(ranges[4]);
    list->setMagentas(ranges[5]);
    return list;
}

std::shared_ptr<const OMPSDVibrance> OMPSDVibrance::fromBlock(std::span<const uint8_t> data) {
    auto descriptor = OMPSDDescriptorDecoder::decodeVersioned(data);
    if (!descriptor) return nullptr;
    auto vibrance = std::make_shared<OMPSDVibrance>();
    int32_t value = 0;
    if ((*descriptor)->decodeInt(&value, "vibrance")) vibrance->setVibrance(value * 0.01);
    value = 0;
    if ((*descriptor)->decodeInt(&value, "Strt")) vibrance->setSaturation(value * 0.01);
    return vibrance;
}
