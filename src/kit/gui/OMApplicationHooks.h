#pragma once
// What the kit watches of the whole application, through one application-
// wide Qt event filter, installed once per QApplication:
// - the input event being handled (the last one that arrived), which
//   OMAnimationDurationForEvent reads when it is given none;
// - activation changes of top-level windows: the window's widgets that
//   answer needsDisplayForChangedWindowAppearance (OMAppKitView) are
//   repainted, so chrome drawn for the active or inactive look follows.
// Installing also lets the Qt event loop drain the main queue whenever work
// arrives on it.
//
// The hooks install themselves when the QApplication is made (or at once
// when one exists and this library is linked in); OMInstallApplicationHooks
// may be called any number of times.
//
// Threads: main thread only.

#include <QEvent>
#include <QInputEvent>
#include <QWidget>

#include <optional>

// The facts of an input event that outlive its delivery.
struct OMInputEventRecord {
    QEvent::Type type = QEvent::None;
    Qt::MouseButton button = Qt::NoButton;
    Qt::KeyboardModifiers modifiers;
};

OMInputEventRecord OMRecordOfInputEvent(const QInputEvent& event);

void OMInstallApplicationHooks();

// The input event being handled, or the last one handled; nullopt before
// the first.
std::optional<OMInputEventRecord> OMCurrentInputEvent();

// Repaints the widgets of `window` that ask for it after an activation
// change (see above); what the filter does for each such change.
void OMRedisplayForChangedWindowAppearance(QWidget* window);
