#pragma once
// Cursors: a process-wide lock that keeps the cursor as it is while an
// animation or a drag runs, and cursors made from an image with a shadow.
//
// Every cursor change of the application goes through OMSetCursor and
// OMUnsetCursor, which do nothing while the lock count is 1 or more.
// Unbalanced unlocks make the count negative, which still counts as
// unlocked.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"
#include "kit/gui/OMShadow.h"

#include <QCursor>
#include <QPointF>
#include <QWidget>

void OMLockCursor();
void OMUnlockCursor();
bool OMIsCursorLocked();

// Gives `view` the cursor `cursor` unless the cursor is locked.
void OMSetCursor(QWidget& view, const QCursor& cursor);
// Takes `view`'s own cursor away, so that the one of the view behind it
// shows, unless the cursor is locked.
void OMUnsetCursor(QWidget& view);

// Blur 1.8, offset (0, -1) (downwards), black at 65 %.
OMShadow OMStandardCursorShadow();

// A cursor of `image` with `shadow` drawn under it, in a picture large
// enough for the shadow; `hotSpot` is measured from the image's top left.
QCursor OMCursorWithImage(const OMImage& image, QPointF hotSpot, const OMShadow& shadow);

// The picture's size and where the image and the hot spot lie in it, in
// points from its top left.
struct OMCursorGeometry {
    QSizeF size;
    QPointF imageOrigin;
    QPoint hotSpot;
};
OMCursorGeometry OMCursorGeometryForImage(QSizeF imageSize, QPointF hotSpot,
                                          const OMShadow& shadow);
