#pragma once
// The style mask: the one argument of every `...WithMask` method of the
// window style, telling the recipes how the control stands.
//
// Threads: main thread only.

#include <QWidget>

enum QFStyleMaskBits : unsigned {
    // The control's window has the active appearance.
    QFStyleMaskActive = 1,
    // Set whenever a title-bar button draws.
    QFStyleMaskButton = 2,
    // The mouse is inside the control.
    QFStyleMaskMouseInside = 4,
    // The control is highlighted (pressed).
    QFStyleMaskHighlighted = 8,
};

// QFStyleMaskActive when the window of `view` has the active appearance
// (OMWindowHasActiveAppearance), else 0; 0 for no view.
unsigned QFStyleMaskForWindow(const QWidget* view);
