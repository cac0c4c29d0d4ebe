#pragma once
// The pieces the updater's windows share: the application's icon, a
// heading, and placing a new window in the middle of the screen (none of
// them cascades).
//
// Threads: main thread only.

#include <QLabel>
#include <QPixmap>
#include <QWidget>

// The application's icon at `size` points: the application's window icon,
// else the style's information icon.
QPixmap OMAUApplicationIcon(int size = 64);

// A label showing the application's icon.
QLabel* OMAUMakeIconLabel(QWidget* parent);

// A bold label that wraps.
QLabel* OMAUMakeHeadingLabel(QWidget* parent);

// Moves `window` to the middle of its screen.
void OMAUCentreWindow(QWidget* window);
