#include "geometry/VKGeometry.h"

#include <algorithm>
#include <cmath>

VKRect VKRectStandardize(VKRect rect) {
    if (rect.size.width < 0) {
        rect.origin.x += rect.size.width;
        rect.size.width = -rect.size.width;
    }
    if (rect.size.height < 0) {
        rect.origin.y += rect.size.height;
        rect.size.height = -rect.size.height;
    }
    return rect;
}

bool VKRectIsNull(VKRect rect) {
    return std::isinf(rect.origin.x) || std::isinf(rect.origin.y);
}

bool VKRectIsEmpty(VKRect rect) {
    // Written so that a NaN width or height also counts as empty.
    auto nonZero = [](double v) { return v > 0 || v < 0; };
    return VKRectIsNull(rect) || !nonZero(rect.size.width) || !nonZero(rect.size.height);
}

bool VKRectIsInfinite(VKRect rect) {
    return rect == VKRectInfinite;
}

bool VKRectIsFinite(VKRect rect) {
    return !VKRectIsNull(rect) && !VKRectIsInfinite(rect);
}

bool VKRectEqualToRect(VKRect a, VKRect b) {
    if (VKRectIsNull(a) || VKRectIsNull(b)) return VKRectIsNull(a) && VKRectIsNull(b);
    return a == b;
}

VKRect VKRectUnion(VKRect a, VKRect b) {
    if (VKRectIsNull(a)) return VKRectIsNull(b) ? VKRectNull : VKRectStandardize(b);
    if (VKRectIsNull(b)) return VKRectStandardize(a);
    if (VKRectIsInfinite(a) || VKRectIsInfinite(b)) return VKRectInfinite;
    a = VKRectStandardize(a);
    b = VKRectStandardize(b);
    double minX = std::min(a.origin.x, b.origin.x);
    double minY = std::min(a.origin.y, b.origin.y);
    double maxX = std::max(a.origin.x + a.size.width, b.origin.x + b.size.width);
    double maxY = std::max(a.origin.y + a.size.height, b.origin.y + b.size.height);
    return VKRectMake(minX, minY, maxX - minX, maxY - minY);
}

VKRect VKRectIntersection(VKRect a, VKRect b) {
    if (VKRectIsNull(a) || VKRectIsNull(b)) return VKRectNull;
    if (VKRectIsInfinite(a)) return VKRectStandardize(b);
    if (VKRectIsInfinite(b)) return VKRectStandardize(a);
    a = VKRectStandardize(a);
    b = VKRectStandardize(b);
    double minX = std::max(a.origin.x, b.origin.x);
    double minY = std::max(a.origin.y, b.origin.y);
    double maxX = std::min(a.origin.x + a.size.width, b.origin.x + b.size.width);
    double maxY = std::min(a.origin.y + a.size.height, b.origin.y + b.size.height);
    // Negated so that NaN edges also give null.
    if (!(maxX >= minX) || !(maxY >= minY)) return VKRectNull;
    return VKRectMake(minX, minY, maxX - minX, maxY - minY);
}

bool VKRectIntersectsRect(VKRect a, VKRect b) {
    return !VKRectIsNull(VKRectIntersection(a, b));
}

bool VKRectContainsRect(VKRect a, VKRect b) {
    return VKRectEqualToRect(VKRectUnion(a, b), VKRectStandardize(a));
}

bool VKRectContainsPoint(VKRect rect, VKPoint point) {
    if (VKRectIsNull(rect)) return false;
    rect = VKRectStandardize(rect);
    return point.x >= rect.origin.x && point.x < rect.origin.x + rect.size.width &&
           point.y >= rect.origin.y && point.y < rect.origin.y + rect.size.height;
}

VKRect VKRectIntegral(VKRect rect) {
    if (VKRectIsNull(rect)) return VKRectNull;
    if (VKRectIsInfinite(rect)) return rect;
    rect = VKRectStandardize(rect);
    double minX = std::floor(rect.origin.x);
    double minY = std::floor(rect.origin.y);
    double maxX = std::ceil(rect.origin.x + rect.size.width);
    double maxY = std::ceil(rect.origin.y + rect.size.height);
    return VKRectMake(minX, minY, maxX - minX, maxY - minY);
}

VKRect VKRectInset(VKRect rect, double dx, double dy) {
    if (VKRectIsNull(rect)) return VKRectNull;
    rect = VKRectStandardize(rect);
    return VKRectMake(rect.origin.x + dx, rect.origin.y + dy, rect.size.width - 2 * dx,
                      rect.size.height - 2 * dy);
}

double VKRectGetMinX(VKRect rect) {
    return VKRectStandardize(rect).origin.x;
}
double VKRectGetMinY(VKRect rect) {
    return VKRectStandardize(rect).origin.y;
}

double VKRectGetMaxX(VKRect rect) {
    rect = VKRectStandardize(rect);
    return rect.origin.x + rect.size.width;
}

double VKRectGetMaxY(VKRect rect) {
    rect = VKRectStandardize(rect);
    return rect.origin.y + rect.size.height;
}

double VKRectGetMidX(VKRect rect) {
    rect = VKRectStandardize(rect);
    return rect.origin.x + rect.size.width / 2;
}

double VKRectGetMidY(VKRect rect) {
    rect = VKRectStandardize(rect);
    return rect.origin.y + rect.size.height / 2;
}

double VKRectGetWidth(VKRect rect) {
    return std::fabs(rect.size.width);
}
double VKRectGetHeight(VKRect rect) {
    return std::fabs(rect.size.height);
}
