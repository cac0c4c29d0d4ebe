#pragma once
// QFWindowDraggingDestination: what a window's content controller or window
// controller adopts to receive the drags that reach the window. The window
// registers for the MIME types the destination accepts and forwards each
// step of a drag to it; a step the destination does not take part in
// answers nullopt, and the window then answers as it would alone.
//
// Threads: main thread only.

#include <QMimeData>
#include <QObject>
#include <QPointF>
#include <QStringList>

#include <optional>

// A drag as the destination sees it.
struct QFDraggingInfo {
    const QMimeData* mimeData = nullptr;
    // In the window's coordinates.
    QPointF position;
    Qt::DropActions possibleActions;
    Qt::DropAction proposedAction = Qt::IgnoreAction;
    Qt::KeyboardModifiers modifiers;
    // The widget the drag started from, when it is of this application.
    QObject* source = nullptr;
};

class QFWindowDraggingDestination {
public:
    virtual ~QFWindowDraggingDestination() = default;

    // The MIME types ("text/uri-list") the destination takes.
    virtual QStringList acceptedDraggedTypes() const = 0;

    // The operation a drop would do; Qt::IgnoreAction refuses the drag.
    virtual std::optional<Qt::DropAction> draggingEntered(const QFDraggingInfo&) {
        return std::nullopt;
    }
    virtual void draggingExited(const QFDraggingInfo&) {}
    // Whether the drop may go ahead.
    virtual std::optional<bool> prepareForDragOperation(const QFDraggingInfo&) {
        return std::nullopt;
    }
    // Whether the drop was taken.
    virtual std::optional<bool> performDragOperation(const QFDraggingInfo&) { return std::nullopt; }
    virtual void draggingEnded(const QFDraggingInfo&) {}
};
