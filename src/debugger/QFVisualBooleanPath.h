#pragma once
// QFVisualBooleanPath: the record of one exact boolean operation as the
// debugger hears of it (operands, copied and traced paths, the segments of
// the contour being traced, the intersections with their neighbouring
// pieces, the result) with the points and segments the developer types, and
// its drawing in a QFBooleanCanvas.
//
// Threads: the operation's thread fills the record while the canvas draws
// it on the main thread, so one lock guards everything recorded and the
// drawing works on a copy taken under it. Every change asks the canvas to
// redraw: at once on the main thread, else through the main queue. The
// canvas itself (setCanvas, canvas, calculatePixelScaleAndCenteringOffset,
// the drawing) belongs to the main thread. Shared as std::shared_ptr.

#include "debugger/QFBooleanAnnotation.h"
#include "debugger/QFCanvasMapping.h"
#include "debugger/QFVisualPathSegment.h"
#include "debugger/QFVisualPoint.h"
#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKBooleanDebugger.h"

#include <QPainter>
#include <QPointF>
#include <QPointer>

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

class QFBooleanCanvas;

class QFVisualBooleanPath : public std::enable_shared_from_this<QFVisualBooleanPath> {
public:
    QFVisualBooleanPath(VKBooleanOperation operation,
                        std::shared_ptr<const VKBooleanCompoundPath> booleanPathA,
                        std::shared_ptr<const VKBooleanCompoundPath> booleanPathB, VKRect bounds);

    VKBooleanOperation operation() const { return operation_; }
    VKRect pathBounds() const { return pathBounds_; }
    std::shared_ptr<const VKBooleanCompoundPath> result() const;
    // Whether a result was set (the record then draws only that).
    bool isFinished() const;

    // Recording, from any thread.
    void setResult(std::shared_ptr<const VKBooleanCompoundPath> result);
    // A copied or traced path: the contour being traced is done.
    void addPath(std::shared_ptr<const VKPath> path);
    void beginTracing();
    void addPathSegment(const VKPathSegment& segment);
    // The pieces around the point come from the userInfo's segment texts
    // (VKBooleanDebugger.h); an annotation with the point's text marks it.
    void addIntersectionPoint(VKPoint point, unsigned flags,
                              const VKBooleanDebuggerUserInfo& userInfo);
    // The first intersection exactly at `point` takes the flags and counts
    // as traced; a point without one changes nothing.
    void willTraceFromIntersectionPoint(VKPoint point, unsigned flags);
    // Orders the intersections as the points are given; points without a
    // recorded intersection are passed over, and intersections at no given
    // point drop out.
    void willBeginTracingPathsWithSortedIntersectionPoints(const std::vector<VKPoint>& points);
    void addExtraneousPoint(VKPoint point);
    void beginAddingExtraneousPathSegments();
    void addExtraneousPathSegment(const VKPathSegment& segment);
    void endAddingExtraneousPathSegments();

    // Copies of what is recorded.
    std::vector<std::shared_ptr<const VKPath>> paths() const;
    std::vector<QFVisualPathSegment> segments() const;
    std::vector<QFVisualIntersection> intersectionPoints() const;
    std::vector<QFVisualPoint> extraneousPoints() const;
    std::vector<std::vector<QFVisualPathSegment>> extraneousPathSegments() const;
    std::vector<QFBooleanAnnotation> annotations() const;

    // The square six canvas points wide centred on the point, in path
    // coordinates at the present scale.
    VKRect frameForLocation(VKPoint location) const;
    VKPoint convertPointToPathCoordinates(QPointF canvasPoint) const;
    double pixelScale() const;
    VKPoint centeringOffset() const;

    // Main thread: refits the record to its canvas's size and maxPathBounds.
    void calculatePixelScaleAndCenteringOffset();

    // Main thread: draws the record in path coordinates onto `painter`
    // (set up for the canvas): the result once finished, else the
    // operands, paths, traced segments and intersections; then what the
    // developer typed. Nothing without bounds.
    void drawInContext(QPainter& painter) const;
    // The annotations whose frames hold `mouseLocation` (a canvas point).
    void drawAnnotationsInContext(QPainter& painter, QPointF mouseLocation) const;
    std::vector<QFBooleanAnnotation> annotationsInCanvasLocation(QPointF canvasPoint) const;
    bool hasAnnotationInCanvasLocation(QPointF canvasPoint) const;

    QFBooleanCanvas* canvas() const;
    void setCanvas(QFBooleanCanvas* canvas);

private:
    // Everything that changes once the record exists; drawn from a copy.
    struct State {
        std::vector<std::shared_ptr<const VKPath>> paths;
        std::vector<QFVisualPathSegment> segments;
        std::vector<QFVisualIntersection> intersections;
        std::unordered_set<QFVisualPoint, QFVisualPoint::Hash> extraPoints;
        std::vector<std::vector<QFVisualPathSegment>> extraSegments;
        std::optional<std::vector<QFVisualPathSegment>> currentExtraSegments;
        std::vector<QFBooleanAnnotation> annotations;
        std::shared_ptr<const VKBooleanCompoundPath> result;
        bool finished = false;
        bool tracing = false;
        QFCanvasMapping mapping;
    };

    State state() const;
    QFCanvasMapping mapping() const;
    void updateCanvas();
    void drawCurrentStateInContext(QPainter& painter, const State& state) const;
    void drawAnnotation(const QFBooleanAnnotation& annotation, QPainter& painter,
                        const QFCanvasMapping& mapping) const;

    const VKBooleanOperation operation_;
    const std::shared_ptr<const VKBooleanCompoundPath> booleanPathA_;
    const std::shared_ptr<const VKBooleanCompoundPath> booleanPathB_;
    const VKRect pathBounds_;

    mutable std::mutex lock_;
    State state_;

    // Weak: the canvas owns its records. Main thread only.
    QPointer<QFBooleanCanvas> canvas_;
};
