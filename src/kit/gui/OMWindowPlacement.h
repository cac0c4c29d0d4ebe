#pragma once
// Where windows open: inside the available area of their screen (the
// screen less the panels and docks that the desktop keeps there), so that
// no part of a window, its title bar or its bottom row of buttons, opens
// out of sight or under a panel.
//
// Threads: main thread only.

#include <QPoint>
#include <QRect>

class QWidget;

// `rect` moved, and first shrunk to the size of `area` where it is larger,
// so that it lies inside `area`; unchanged when `area` is empty.
QRect OMRectInsideArea(QRect rect, const QRect& area);

// Centres the frame of `window` (a top-level widget) on `centre`, then
// moves it inside the available area of the screen at `centre` (else of
// the window's own screen), shrinking it to that area where it is larger,
// down to its minimum size. The frame is the one the window system says
// it gives the window; one that says so only once the window shows (X11,
// on the first showing) leaves that placement to the window's own area.
void OMPlaceWindowInsideAvailableArea(QWidget& window, QPoint centre);
