#include "psd/OMPSDPath.h"

#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDDescriptorDecoder.h"

namespace {

// A point of a knot record: vertical, then horizontal, each 8.24 fixed.
OMPSDPoint readPoint(OMPSDBinaryReader& reader) {
    double y = reader.i32() / 16777216.0;
    double x = reader.i32() / 16777216.0;
    return {x, y};
}

}  // namespace

std::shared_ptr<const OMPSDCompoundPath> OMPSDCompoundPath::fromVectorMaskBlock(
    std::span<const uint8_t> data, uint32_t* flags) {
    // Path resource format (Photoshop File Formats, "Path resource format"):
    // selectors 0/3 start a closed/open subpath and give its knot count
    // (newer writers add the boolean operation and the fill rule), 1/2 and
    // 4/5 are linked/unlinked knots, 6 the path fill rule, 7 the
    // clipboard, 8 the initial fill rule.
    OMPSDBinaryReader reader(data);
    reader.skip(4);  // version (3)
    uint32_t blockFlags = reader.u32();
    if (reader.failed()) return nullptr;
    if (flags) *flags = blockFlags;
    auto compound = std::make_shared<OMPSDCompoundPath>();
    std::vector<OMPSDPath> subpaths;
    std::vector<OMPSDPathKnot> knots;
    size_t knotsLeft = 0;
    auto finishSubpath = [&] {
        if (subpaths.empty()) return;
        subpaths.back().setSegments(std::move(knots));
        knots.clear();
    };
    while (reader.remaining() >= 26) {
        OMPSDBinaryReader record = reader.subreader(26);
        uint16_t selector = record.u16();
        switch (selector) {
            case 0:
            case 3: {
                finishSubpath();
                knotsLeft = record.u16();
                OMPSDPath path;
                path.setIsClosed(selector == 0);
                path.setOperation(record.u16());
                // 1 even-odd, 2 non-zero (winding); writers that leave the
                // field out fill even-odd.
                path.setFillRule(record.u16() == 2 ? 2 : 1);
                subpaths.push_back(std::move(path));
                break;
            }
            case 1:
            case 2:
            case 4:
            case 5: {
                // Knots outside a subpath, or more than its count announced,
                // are damage; they are skipped rather than invented into a path.
                if (subpaths.empty() || knotsLeft == 0) break;
                --knotsLeft;
                OMPSDPoint in = readPoint(record);
                OMPSDPoint anchor = readPoint(record);
                OMPSDPoint out = readPoint(record);
                knots.emplace_back(in, anchor, out, selector == 1 || selector == 4);
                break;
            }
            case 8:
                compound->setIsInitiallyFilled(record.u16() != 0);
                break;
            default:
                break;
        }
    }
    finishSubpath();
    compound->setSubpaths(std::move(subpaths));
    return compound;
}

std::shared_ptr<const OMPSDVectorStroke> OMPSDVectorStroke::fromBlock(
    std::span<const uint8_t> data) {
    auto decoded = OMPSDDescriptorDecoder::decodeVersioned(data);
    if (!decoded) return nullptr;
    const auto& d = **decoded;
    auto stroke = std::make_shared<OMPSDVectorStroke>();
    stroke->setFillEnabled(d.boolForKey("fillEnabled", true));
    stroke->setStrokeEnabled(d.boolForKey("strokeEnabled", true));
    if (auto content = d.descriptorForKey("strokeStyleContent"))
        stroke->setContent(OMPSDFill::fromDescriptor(*content));
    else
        stroke->setContent(std::make_shared<OMPSDColorFill>(OMPSDColor()));

    // Widths in points convert to pixels at the stroke's resolution.
    double pointsToPixels = d.doubleForKey("strokeStyleResolution", 72) / 72.0;
    auto pixels = [&](const char* key, double fallback) {
        double value = fallback;
        uint32_t unit = 0;
        if (d.decodeUnitDouble(&value, &unit, key) && unit == OMPSDFourCC("#Pnt"))
            value *= pointsToPixels;
        return value;
    };
    stroke->setLineWidth(pixels("strokeStyleLineWidth", 3));
    stroke->setDashOffset(pixels("strokeStyleLineDashOffset", 0));
    stroke->setMiterLimit(d.doubleForKey("strokeStyleMiterLimit", 100));
    stroke->setIsAlignedToPixels(d.boolForKey("strokeStyleStrokeAdjust", false));
    std::string cap = d.enumForKey("strokeStyleLineCapType");
    stroke->setCap(cap == "strokeStyleRoundCap" ? 1 : cap == "strokeStyleSquareCap" ? 2 : 0);
    std::string join = d.enumForKey("strokeStyleLineJoinType");
    stroke->setJoin(join == "strokeStyleRoundJoin" ? 1 : join == "strokeStyleBevelJoin" ? 2 : 0);
    std::string alignment = d.enumForKey("strokeStyleLineAlignment");
    stroke->setPosition(alignment == "strokeStyleAlignInside"    ? 1
                        : alignment == "strokeStyleAlignOutside" ? 2
                                                                 : 0);
    std::vector<double> dashes;
    if (const auto* list = d.listForKey("strokeStyleLineDashSet")) {
        for (const auto& item : *list) {
            double length = 0;
            if (item.asDouble(&length)) dashes.push_back(length);
        }
    }
    stroke->setDashSet(std::move(dashes));
    return stroke;
}
