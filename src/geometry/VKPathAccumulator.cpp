#include "geometry/VKPathAccumulator.h"

void VKPathAccumulator::moveToPoint(VKPoint point) {
    if (active_) finish(false);
    current_.assign(1, VKKnot::corner(point));
    active_ = true;
}

void VKPathAccumulator::lineToPoint(VKPoint point) {
    if (active_) current_.push_back(VKKnot::corner(point));
}

void VKPathAccumulator::curveToPoint(VKPoint point, VKPoint controlPoint1, VKPoint controlPoint2) {
    if (!active_) return;
    current_.back().outgoing = controlPoint1;
    current_.push_back({controlPoint2, point, point, 0});
}

void VKPathAccumulator::quadCurveToPoint(VKPoint point, VKPoint controlPoint) {
    if (!active_) return;
    VKPoint c1, c2;
    VKQuadraticToCubic(current_.back().point, controlPoint, point, &c1, &c2);
    curveToPoint(point, c1, c2);
}

void VKPathAccumulator::closeSubpath() {
    if (!active_) return;
    if (current_.size() > 1 && current_.back().point == current_.front().point &&
        current_.back().outgoing == current_.back().point) {
        current_.front().incoming = current_.back().incoming;
        current_.pop_back();
    }
    finish(true);
}

void VKPathAccumulator::endSubpath() {
    if (active_) finish(false);
}

void VKPathAccumulator::finish(bool closed) {
    paths_.push_back(std::make_shared<VKPath>(std::move(current_), closed));
    current_.clear();
    active_ = false;
}

std::vector<std::shared_ptr<const VKPath>> VKPathAccumulator::paths() const {
    auto result = paths_;
    if (active_) result.push_back(std::make_shared<VKPath>(current_, false));
    return result;
}
