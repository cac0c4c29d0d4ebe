#pragma once
// The alert that tells the user of an error: a warning whose text is the
// error's description and whose informative text is its failure reason,
// with OK. Nothing of the error goes into the window title: shown as a
// sheet, the alert has no title bar. The title is the product's name, for
// an alert shown in a window of its own.
//
// Threads: main thread only.

#include "platform/core/Error.h"

#include <QMessageBox>

#include <memory>

std::unique_ptr<QMessageBox> QFAlertWithError(const lf::Error& error, QWidget* parent);
