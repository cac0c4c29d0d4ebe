#pragma once
// QFFlowStartController: what an idle flow window shows: the drop
// placeholder, with the "DropHere" image, a title asking for a document,
// and a button that opens the example files.
//
// Threads: main thread only.

#include "ui/window/QFViewController.h"

class QFPlaceholderView;

class QFFlowStartController : public QFViewController {
public:
    QFPlaceholderView* placeholderView();

protected:
    QWidget* loadView() override;
};
