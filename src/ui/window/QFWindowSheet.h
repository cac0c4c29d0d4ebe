#pragma once
// Sheets: window-modal dialogs of a window (OMSheet.h), which QFWindow
// attaches below its title bar and moves with itself.
//
// A sheet belongs to its window, so the window manager gives it no frame:
// placed at the window's title bar, a frame would stand above the sheet,
// over the title bar. Instead the sheet draws its own edge: a border, and
// along its top the shadow that the title bar casts on it.
//
// Threads: main thread only.

#include <QDialog>
#include <QWidget>

// Whether `object` is a sheet: a dialog modal to its window.
bool QFWindowIsSheet(const QObject* object);

// Whether a window shows a sheet. Chrome that reacts to the pointer holds
// still while one shows.
bool QFWindowHasAttachedSheet(const QWidget* window);

// Takes the window manager's frame from `sheet` and gives it its own edge;
// before it first shows, or as it shows (before the window system maps
// it). Once is enough; again does nothing.
void QFWindowMakeSheetFrameless(QDialog& sheet);
