#include "kit/gui/OMWindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

QRect OMRectInsideArea(QRect rect, const QRect& area) {
    if (area.isEmpty()) return rect;
    rect.setWidth(std::min(rect.width(), area.width()));
    rect.setHeight(std::min(rect.height(), area.height()));
    rect.moveLeft(std::clamp(rect.left(), area.left(), area.right() + 1 - rect.width()));
    rect.moveTop(std::clamp(rect.top(), area.top(), area.bottom() + 1 - rect.height()));
    return rect;
}

void OMPlaceWindowInsideAvailableArea(QWidget& window, QPoint centre) {
    const QScreen* screen = QGuiApplication::screenAt(centre);
    if (!screen) screen = window.screen();
    if (!screen) return;
    // Made now, the window learns what frame the window system gives it
    // where the system says so before the window shows (else the frame
    // shows up once the window is framed, on its first showing).
    window.winId();
    const QMargins margins =
        window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
    const QRect frame = window.geometry().marginsAdded(margins);
    // What the frame adds to the window's own area, on either side.
    const QSize frameExtra = frame.size() - window.size();
    QRect placed(QPoint(), frame.size());
    placed.moveCenter(centre);
    placed = OMRectInsideArea(placed, screen->availableGeometry());
    if (placed.size() != frame.size())
        window.resize((placed.size() - frameExtra).expandedTo(window.minimumSize()));
    // A window's position is its frame's.
    window.move(placed.topLeft());
}
