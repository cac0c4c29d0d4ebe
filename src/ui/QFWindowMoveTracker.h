#pragma once
// Moving a frameless window by its background: a press on a part of the
// window that moves it, followed by a drag further than the platform's
// drag distance, hands the move to the window system. Moving only once the
// pointer has travelled keeps clicks and double clicks on the background
// for the view.
//
// Threads: main thread only.

#include <QMouseEvent>
#include <QPointF>
#include <QWidget>

#include <optional>

class QFWindowMoveTracker {
public:
    // A left-button press: remembers where.
    void mousePressed(const QMouseEvent& event);
    // Starts the system move of `view`'s window once the pointer has
    // travelled far enough with the left button held; true when it did.
    bool mouseMoved(QWidget& view, const QMouseEvent& event);
    void mouseReleased() { pressPosition_.reset(); }

private:
    std::optional<QPointF> pressPosition_;
};
