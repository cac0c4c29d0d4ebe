// The placement of a window's sheets: below its title bar, centred on the
// window, fitted to the screen's available area, and following the window
// as it moves or resizes (QFWindow.h).

#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowContentView.h"
#include "ui/window/QFWindowSheet.h"

#include <QChildEvent>
#include <QDialog>
#include <QLayout>
#include <QScopedValueRollback>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// The size a sheet had before it was shrunk to fit on the screen, which it
// takes again where there is room.
constexpr const char* kSheetUnfittedSize = "QFWindowSheetUnfittedSize";

}  // namespace

QRect QFWindow::willPositionSheet(const QRect& rect) const {
    return rect.translated(
        0, static_cast<int>(std::ceil(windowContentView_->partialTitlebarHeight())));
}

void QFWindow::positionSheets() {
    for (QObject* child : children()) {
        auto* sheet = qobject_cast<QDialog*>(child);
        if (!QFWindowIsSheet(sheet) || !sheet->isVisible()) continue;
        positionSheet(*sheet, false);
    }
}

void QFWindow::positionSheet(QWidget& sheet, bool mayRaiseWindow) {
    // The size it wants, as its constraints allow: the window system may
    // report one on the way that they do not (the size it had before it
    // was laid out, say), which it will not keep.
    const QVariant unfitted = sheet.property(kSheetUnfittedSize);
    const QSize wanted = QLayout::closestAcceptableSize(
        &sheet, unfitted.isValid() ? unfitted.toSize() : sheet.size());
    // Centred on the window, dropping from the top edge; then below our
    // title bar. By the sheet's own area, not its frame's: it has none,
    // and the frame extents that the window system reports can lag
    // behind a move, giving the frame another size and moving the sheet
    // by a corner that is not its own.
    const QRect proposed(QPoint(geometry().x() + (width() - wanted.width()) / 2, geometry().y()),
                         wanted);
    QRect placed = willPositionSheet(proposed);
    // Hanging below the screen's available area, the sheet would be pushed
    // up over the title bar by the window manager, or be cut off: it
    // shrinks to the room left, down to its minimum size, and the window
    // moves up as far as that minimum still needs.
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        const int room = available.bottom() + 1 - placed.top();
        if (placed.height() > room) {
            const int least =
                QLayout::closestAcceptableSize(&sheet, QSize(wanted.width(), 0)).height();
            const int rise =
                mayRaiseWindow
                    ? std::clamp(least - room, 0, std::max(0, geometry().top() - available.top()))
                    : 0;
            if (rise > 0) {
                setGeometry(geometry().translated(0, -rise));
                placed.translate(0, -rise);
            }
            placed.setHeight(std::max(room + rise, least));
        }
    }
    sheet.setProperty(kSheetUnfittedSize, placed.size() == wanted ? QVariant() : QVariant(wanted));
    const QScopedValueRollback fitting(isFittingSheet_, true);
    sheet.setGeometry(placed);
}

void QFWindow::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    // A dialog made with the window as its parent is still a plain widget
    // when it is added (its dialog part is not built yet); it is one by the
    // time it is polished, which comes before it first shows. Installing
    // twice keeps one filter.
    if ((event->added() || event->polished()) && qobject_cast<QDialog*>(event->child()))
        event->child()->installEventFilter(this);
}

bool QFWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::Show || event->type() == QEvent::Resize) &&
        QFWindowIsSheet(watched) && watched->parent() == this && !isFittingSheet_) {
        auto* sheet = static_cast<QDialog*>(watched);
        if (event->type() == QEvent::Show) QFWindowMakeSheetFrameless(*sheet);
        // A size the sheet takes itself is the one it wants from then on.
        if (event->type() == QEvent::Resize) sheet->setProperty(kSheetUnfittedSize, QVariant());
        if (event->type() == QEvent::Show || sheet->isVisible()) positionSheet(*sheet, true);
    }
    return QWidget::eventFilter(watched, event);
}
