#pragma once
// Whether a window shows a sheet: a window-modal dialog (OMSheet.h) of its
// own that is visible. Chrome that reacts to the pointer holds still while
// one shows.
//
// Threads: main thread only.

#include <QWidget>

bool QFWindowHasAttachedSheet(const QWidget* window);
