#include "debugger/QFVisualBooleanPath.h"

#include "debugger/QFBooleanCanvas.h"
#include "geometry/VKGeometryStrings.h"
#include "platform/dispatch/MainQueue.h"

#include <algorithm>

namespace {

// The piece under `key`, or the all-zero segment when none was reported.
VKPathSegment segmentForKey(const VKBooleanDebuggerUserInfo& userInfo, const char* key) {
    auto found = userInfo.find(key);
    return found == userInfo.end() ? VKPathSegment{} : VKPathSegmentFromString(found->second);
}

}  // namespace

QFVisualBooleanPath::QFVisualBooleanPath(VKBooleanOperation operation,
                                         std::shared_ptr<const VKBooleanCompoundPath> booleanPathA,
                                         std::shared_ptr<const VKBooleanCompoundPath> booleanPathB,
                                         VKRect bounds)
    : operation_(operation),
      booleanPathA_(std::move(booleanPathA)),
      booleanPathB_(std::move(booleanPathB)),
      pathBounds_(bounds) {}

std::shared_ptr<const VKBooleanCompoundPath> QFVisualBooleanPath::result() const {
    std::lock_guard guard(lock_);
    return state_.result;
}

bool QFVisualBooleanPath::isFinished() const {
    std::lock_guard guard(lock_);
    return state_.finished;
}

void QFVisualBooleanPath::setResult(std::shared_ptr<const VKBooleanCompoundPath> result) {
    {
        std::lock_guard guard(lock_);
        state_.finished = result != nullptr;
        state_.result = std::move(result);
    }
    updateCanvas();
}

void QFVisualBooleanPath::addPath(std::shared_ptr<const VKPath> path) {
    {
        std::lock_guard guard(lock_);
        state_.tracing = false;
        state_.segments.clear();
        state_.paths.push_back(std::move(path));
    }
    updateCanvas();
}

void QFVisualBooleanPath::beginTracing() {
    std::lock_guard guard(lock_);
    state_.tracing = true;
}

void QFVisualBooleanPath::addPathSegment(const VKPathSegment& segment) {
    {
        std::lock_guard guard(lock_);
        state_.segments.push_back({segment});
    }
    updateCanvas();
}

void QFVisualBooleanPath::addIntersectionPoint(VKPoint point, unsigned flags,
                                               const VKBooleanDebuggerUserInfo& userInfo) {
    QFVisualIntersection intersection(point);
    intersection.innerSegmentA =
        segmentForKey(userInfo, VKBooleanDebuggerIntersectionSegmentAInsideKey);
    intersection.outerSegmentA =
        segmentForKey(userInfo, VKBooleanDebuggerIntersectionSegmentAOutsideKey);
    intersection.innerSegmentB =
        segmentForKey(userInfo, VKBooleanDebuggerIntersectionSegmentBInsideKey);
    intersection.outerSegmentB =
        segmentForKey(userInfo, VKBooleanDebuggerIntersectionSegmentBOutsideKey);
    intersection.setFlags(flags);
    {
        std::lock_guard guard(lock_);
        state_.annotations.push_back(QFBooleanAnnotation::annotationWithStringValue(
            intersection.text(), state_.mapping.squareAround(point)));
        state_.intersections.push_back(std::move(intersection));
    }
    updateCanvas();
}

void QFVisualBooleanPath::willTraceFromIntersectionPoint(VKPoint point, unsigned flags) {
    {
        std::lock_guard guard(lock_);
        auto& intersections = state_.intersections;
        auto found = std::find_if(intersections.begin(), intersections.end(),
                                  [&](const auto& i) { return i.location() == point; });
        if (found == intersections.end()) return;
        found->setFlags(flags);
        found->setTraced(true);
    }
    updateCanvas();
}

void QFVisualBooleanPath::willBeginTracingPathsWithSortedIntersectionPoints(
    const std::vector<VKPoint>& points) {
    std::lock_guard guard(lock_);
    std::vector<QFVisualIntersection> sorted;
    for (VKPoint point : points) {
        for (const auto& intersection : state_.intersections) {
            if (intersection.location() == point) {
                sorted.push_back(intersection);
                break;
            }
        }
    }
    // The list stays open: intersections found later are appended to it.
    state_.intersections = std::move(sorted);
}

void QFVisualBooleanPath::addExtraneousPoint(VKPoint point) {
    {
        std::lock_guard guard(lock_);
        QFVisualPoint visualPoint(point);
        state_.annotations.push_back(QFBooleanAnnotation::annotationWithStringValue(
            visualPoint.text(), state_.mapping.squareAround(point)));
        state_.extraPoints.insert(std::move(visualPoint));
    }
    updateCanvas();
}

void QFVisualBooleanPath::beginAddingExtraneousPathSegments() {
    std::lock_guard guard(lock_);
    state_.currentExtraSegments.emplace();
}

void QFVisualBooleanPath::addExtraneousPathSegment(const VKPathSegment& segment) {
    {
        std::lock_guard guard(lock_);
        // A segment outside a group starts one.
        if (!state_.currentExtraSegments) state_.currentExtraSegments.emplace();
        state_.currentExtraSegments->push_back({segment});
    }
    updateCanvas();
}

void QFVisualBooleanPath::endAddingExtraneousPathSegments() {
    {
        std::lock_guard guard(lock_);
        if (!state_.currentExtraSegments) return;
        state_.extraSegments.push_back(std::move(*state_.currentExtraSegments));
        state_.currentExtraSegments.reset();
    }
    updateCanvas();
}

std::vector<std::shared_ptr<const VKPath>> QFVisualBooleanPath::paths() const {
    return state().paths;
}

std::vector<QFVisualPathSegment> QFVisualBooleanPath::segments() const {
    return state().segments;
}

std::vector<QFVisualIntersection> QFVisualBooleanPath::intersectionPoints() const {
    return state().intersections;
}

std::vector<QFVisualPoint> QFVisualBooleanPath::extraneousPoints() const {
    const State copy = state();
    return {copy.extraPoints.begin(), copy.extraPoints.end()};
}

std::vector<std::vector<QFVisualPathSegment>> QFVisualBooleanPath::extraneousPathSegments() const {
    return state().extraSegments;
}

std::vector<QFBooleanAnnotation> QFVisualBooleanPath::annotations() const {
    return state().annotations;
}

VKRect QFVisualBooleanPath::frameForLocation(VKPoint location) const {
    return mapping().squareAround(location);
}

VKPoint QFVisualBooleanPath::convertPointToPathCoordinates(QPointF canvasPoint) const {
    return mapping().pathPoint(canvasPoint);
}

double QFVisualBooleanPath::pixelScale() const {
    return mapping().pixelScale;
}

VKPoint QFVisualBooleanPath::centeringOffset() const {
    return mapping().centeringOffset;
}

void QFVisualBooleanPath::calculatePixelScaleAndCenteringOffset() {
    if (!canvas_) return;
    const QFCanvasMapping mapping =
        QFCanvasMapping::forCanvas(canvas_->size().toSizeF(), canvas_->maxPathBounds());
    std::lock_guard guard(lock_);
    state_.mapping = mapping;
}

std::vector<QFBooleanAnnotation> QFVisualBooleanPath::annotationsInCanvasLocation(
    QPointF canvasPoint) const {
    std::lock_guard guard(lock_);
    const VKPoint location = state_.mapping.pathPoint(canvasPoint);
    std::vector<QFBooleanAnnotation> found;
    for (const auto& annotation : state_.annotations)
        if (VKRectContainsPoint(annotation.frame, location)) found.push_back(annotation);
    return found;
}

bool QFVisualBooleanPath::hasAnnotationInCanvasLocation(QPointF canvasPoint) const {
    return !annotationsInCanvasLocation(canvasPoint).empty();
}

QFVisualBooleanPath::State QFVisualBooleanPath::state() const {
    std::lock_guard guard(lock_);
    return state_;
}

QFCanvasMapping QFVisualBooleanPath::mapping() const {
    std::lock_guard guard(lock_);
    return state_.mapping;
}

QFBooleanCanvas* QFVisualBooleanPath::canvas() const {
    return canvas_;
}

void QFVisualBooleanPath::setCanvas(QFBooleanCanvas* canvas) {
    canvas_ = canvas;
}

void QFVisualBooleanPath::updateCanvas() {
    auto mainQueue = lf::MainQueue::shared();
    if (mainQueue->isMainThread()) {
        if (canvas_) canvas_->visualBooleanPathUpdated();
        return;
    }
    // The canvas is the main thread's: it is looked at there, and only if
    // the record still exists.
    mainQueue->async([record = weak_from_this()] {
        if (auto self = record.lock()) self->updateCanvas();
    });
}
