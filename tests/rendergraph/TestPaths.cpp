#include "TestPaths.h"

#include <fmt/format.h>

namespace rendergraph_test {

PathPtr polygonPath(const std::vector<VKPoint>& points, bool closed) {
    std::vector<VKKnot> knots;
    for (VKPoint p : points)
        knots.push_back(VKKnot::corner(p));
    return std::make_shared<VKPath>(std::move(knots), closed);
}

CompoundPathPtr polygon(const std::vector<VKPoint>& points, int fillRule) {
    return compoundPathOf({polygonPath(points)}, fillRule);
}

CompoundPathPtr compoundPathOf(std::vector<PathPtr> paths, int fillRule) {
    return std::make_shared<VKCompoundPath>(std::move(paths), VKFillRule(fillRule));
}

PathPtr ellipsePath(VKRect rect) {
    constexpr double k = 0.5522847498307936;  // 4/3 (sqrt(2) - 1)
    double cx = VKRectGetMidX(rect), cy = VKRectGetMidY(rect);
    double rx = rect.size.width / 2, ry = rect.size.height / 2;
    std::vector<VKKnot> knots = {
        {{cx - rx * k, cy - ry}, {cx, cy - ry}, {cx + rx * k, cy - ry}, 1},
        {{cx + rx, cy - ry * k}, {cx + rx, cy}, {cx + rx, cy + ry * k}, 1},
        {{cx + rx * k, cy + ry}, {cx, cy + ry}, {cx - rx * k, cy + ry}, 1},
        {{cx - rx, cy + ry * k}, {cx - rx, cy}, {cx - rx, cy - ry * k}, 1},
    };
    return std::make_shared<VKPath>(std::move(knots), true);
}

VKStrokeStyle strokeStyleOf(double width, int position, int cap, int join, double miterLimit,
                            const std::vector<double>& dashes, double phase) {
    VKStrokeStyle style;
    style.setWidth(width);
    style.setPosition(VKStrokePosition(position));
    style.setCap(VKLineCap(cap));
    style.setJoin(VKLineJoin(join));
    style.setMiterLimit(miterLimit);
    style.setLineDash(dashes.data(), dashes.size(), phase);
    return style;
}

std::string pointsCode(const std::vector<VKPoint>& points) {
    std::string code = "{";
    for (size_t i = 0; i < points.size(); ++i)
        code += fmt::format("{}{{{}, {}}}", i ? ", " : "", points[i].x, points[i].y);
    return code + "}";
}

std::string pathCode(const VKPath& path) {
    bool straight = true;
    std::vector<VKPoint> anchors;
    for (const VKKnot& knot : path.knots()) {
        straight = straight && knot.incoming == knot.point && knot.outgoing == knot.point;
        anchors.push_back(knot.point);
    }
    bool closed = path.isClosed();
    if (straight)
        return fmt::format("polygonPath({}, {})", pointsCode(anchors), closed ? "true" : "false");
    std::string knots;
    for (const VKKnot& knot : path.knots())
        knots += fmt::format("{}VKKnot{{{{{}, {}}}, {{{}, {}}}, {{{}, {}}}, 0}}",
                             knots.empty() ? "" : ", ", knot.incoming.x, knot.incoming.y,
                             knot.point.x, knot.point.y, knot.outgoing.x, knot.outgoing.y);
    return fmt::format("std::make_shared<VKPath>(std::vector<VKKnot>{{{}}}, {})", knots,
                       closed ? "true" : "false");
}

std::string compoundPathCode(const VKCompoundPath& compoundPath) {
    std::string paths;
    for (const auto& path : compoundPath.paths())
        paths += (paths.empty() ? "" : ", ") + pathCode(*path);
    return fmt::format("compoundPathOf({{{}}}, {})", paths, compoundPath.fillRule());
}

std::string strokeStyleCode(const VKStrokeStyle& style) {
    std::string dashes;
    for (double length : style.dashPattern())
        dashes += fmt::format("{}{}", dashes.empty() ? "" : ", ", length);
    return fmt::format("strokeStyleOf({}, {}, {}, {}, {}, {{{}}}, {})", style.width(),
                       style.position(), style.cap(), style.join(), style.miterLimit(), dashes,
                       style.dashPhase());
}

}  // namespace rendergraph_test
