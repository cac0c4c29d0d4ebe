#include "fontexport/QFGlyph.h"

#include "fontexport/QFFontUnits.h"
#include "geometry/VKBezier.h"

#include <fmt/format.h>

#include <algorithm>
#include <cfloat>

namespace {

constexpr double kFlatteningTolerance = 0.01;

}  // namespace

void QFGlyph::setOutline(std::shared_ptr<const VKCompoundPath> outline) {
    outline_ = std::move(outline);
    boundingBox_.reset();
}

VKRect QFGlyph::boundingBox() const {
    if (boundingBox_) return *boundingBox_;
    double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
    bool sawPiece = false;
    if (outline_) {
        for (const auto& path : outline_->paths()) {
            for (size_t i = 0; i < path->numberOfSegments(); ++i) {
                VKBezierFlatten(path->segmentAtIndex(i), kFlatteningTolerance,
                                [&](double x0, double y0, double x1, double y1) {
                                    minX = std::min({minX, x0, x1});
                                    maxX = std::max({maxX, x0, x1});
                                    minY = std::min({minY, y0, y1});
                                    maxY = std::max({maxY, y0, y1});
                                    sawPiece = true;
                                });
            }
        }
    }
    // Without a single segment there is no box to speak of: the glyph sits
    // at the origin with no size, like a glyph without an outline.
    boundingBox_ = sawPiece ? VKRectMake(minX, minY, maxX - minX, maxY - minY) : VKRectZero;
    return *boundingBox_;
}

lf::Result<std::string> QFGlyph::postScriptType2Representation() const {
    auto width = QFFontUnitsFromOutlineUnits(width_, kQFSignedField, "glyph width");
    if (!width) return width.error();
    std::string text = fmt::format("{}\n", *width);
    if (!outline_) return text + "endchar";

    VKRect box = boundingBox();
    double minY = VKRectGetMinY(box);
    double maxY = VKRectGetMaxY(box);
    auto flipped = [&](double y) { return maxY - (y - minY); };
    // Each operand is the difference of two unrounded positions, rounded on
    // its own; the current point keeps the unrounded position.
    double cx = VKRectGetMinX(box);
    double cy = minY;
    auto append = [&text](std::initializer_list<double> deltas, std::string_view op) -> lf::Status {
        for (double delta : deltas) {
            auto operand = QFFontUnitsFromOutlineUnits(delta, kQFSignedField, "charstring operand");
            if (!operand) return operand.error();
            fmt::format_to(std::back_inserter(text), "{} ", *operand);
        }
        text.append(op).push_back('\n');
        return {};
    };

    for (const auto& path : outline_->paths()) {
        size_t segments = path->numberOfSegments();
        if (segments == 0) continue;
        VKPoint start = path->segmentAtIndex(0).start;
        double fy = flipped(start.y);
        LF_TRY(append({start.x - cx, fy - cy}, "rmoveto"));
        cx = start.x;
        cy = fy;
        for (size_t i = 0; i < segments; ++i) {
            VKPathSegment segment = path->segmentAtIndex(i);
            const VKPoint& c1 = segment.controlPoint1;
            const VKPoint& c2 = segment.controlPoint2;
            const VKPoint& end = segment.end;
            double f1 = flipped(c1.y), f2 = flipped(c2.y), f3 = flipped(end.y);
            LF_TRY(append({c1.x - cx, f1 - cy, c2.x - c1.x, f2 - f1, end.x - c2.x, f3 - f2},
                          "rrcurveto"));
            cx = end.x;
            cy = f3;
        }
    }
    return text + "endchar";
}
