#include "ui/window/QFStyleMask.h"

#include "kit/gui/OMAppKitWindow.h"

unsigned QFStyleMaskForWindow(const QWidget* view) {
    if (!view) return 0;
    return OMWindowHasActiveAppearance(view->window()) ? unsigned(QFStyleMaskActive) : 0u;
}
