#pragma once
// QFBooleanCanvas: the view of the boolean-operation debugger. It keeps
// every record it was given, fits them all into its bounds, draws the
// newest one and, under the mouse, the annotations of each; the path
// coordinates of the mouse show in its lower left corner.
//
// Threads: main thread only. Records redraw it through
// visualBooleanPathUpdated, which they call on the main thread.

#include "debugger/QFVisualBooleanPath.h"
#include "geometry/VKGeometry.h"

#include <QWidget>

#include <memory>
#include <vector>

class QFBooleanCanvas : public QWidget {
public:
    explicit QFBooleanCanvas(QWidget* parent = nullptr);

    // Becomes the record's canvas, grows maxPathBounds by its bounds and
    // refits every record.
    void addVisualBooleanPath(std::shared_ptr<QFVisualBooleanPath> record);
    const std::vector<std::shared_ptr<QFVisualBooleanPath>>& visualBooleanPaths() const {
        return records_;
    }
    // The union of the records' bounds with the origin.
    VKRect maxPathBounds() const { return maxPathBounds_; }
    // The path coordinates of the last mouse position.
    VKPoint pathPoint() const { return pathPoint_; }

    void visualBooleanPathUpdated() { update(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void recalculateScales();

    std::vector<std::shared_ptr<QFVisualBooleanPath>> records_;
    VKRect maxPathBounds_ = VKRectZero;
    VKPoint pathPoint_;
};
