#pragma once
// VKPathAccumulator: a path consumer that collects every subpath it is sent
// as a VKPath, in order. A closed subpath whose last point repeats its first
// (a producer's explicit line or curve back to the start) keeps one knot
// there, so that a path sent through an accumulator comes back unchanged.
// Lines and curves sent before any move are ignored. One thread at a time.

#include "geometry/VKPath.h"
#include "geometry/VKPathConsumer.h"

#include <memory>
#include <vector>

class VKPathAccumulator : public VKPathConsumer {
public:
    VKPathAccumulator() = default;

    void moveToPoint(VKPoint point) override;
    void lineToPoint(VKPoint point) override;
    void curveToPoint(VKPoint point, VKPoint controlPoint1, VKPoint controlPoint2) override;
    void quadCurveToPoint(VKPoint point, VKPoint controlPoint) override;
    void closeSubpath() override;
    void endSubpath() override;

    // The finished subpaths, plus the one in progress as an open path.
    std::vector<std::shared_ptr<const VKPath>> paths() const;

private:
    void finish(bool closed);

    std::vector<std::shared_ptr<const VKPath>> paths_;
    std::vector<VKKnot> current_;
    bool active_ = false;
};
