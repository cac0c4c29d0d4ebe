#pragma once
// Sheets: a dialog (an alert too: QMessageBox is a QDialog) shown modal to
// one window, with a handler that receives how it ended.
//
// Threads: main thread only.

#include <QDialog>
#include <QWidget>

#include <functional>

// Shows `sheet` modal to `window` and returns at once; when the sheet
// finishes, `completionHandler` is called once with its result code (the
// dialog's result, or the button a message box ended with).
void OMBeginSheetModalForWindow(QDialog& sheet, QWidget* window,
                                std::function<void(int returnCode)> completionHandler);
