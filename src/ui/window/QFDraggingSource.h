#pragma once
// QFDraggingSource: what a widget that starts drags says of where they may
// go: the operations allowed inside this application and outside it. A
// window refuses a drag whose source allows nothing inside the application
// (QFWindow.h).
//
// Threads: main thread only.

#include <Qt>

class QFDraggingSource {
public:
    virtual ~QFDraggingSource() = default;
    virtual Qt::DropActions sourceOperationMaskForDraggingContext(bool insideApplication) const = 0;
};
