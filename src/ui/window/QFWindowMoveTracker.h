#pragma once
// Moving a frameless window by its background: a press on a view that moves
// the window, followed by a drag further than the platform's drag distance,
// hands the move to the window system. Moving only once the pointer has
// travelled keeps clicks and double clicks for the view.
//
// The tracker watches its view's mouse events (an event filter). It takes
// them itself for a view that does nothing else with the mouse, or lets
// them go on to a view with clicks of its own.
//
// Threads: main thread only.

#include <QObject>
#include <QPointF>
#include <QWidget>

#include <optional>

class QFWindowMoveTracker : public QObject {
public:
    enum class Events { Take, PassOn };

    // Owned by `view`.
    QFWindowMoveTracker(QWidget* view, Events events);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* view_;
    Events events_;
    std::optional<QPointF> pressPosition_;
};
