#include "ui/popovers/QFPopoverButton.h"

#include <QFontMetrics>

QSize QFPopoverButton::sizeHint() const {
    QSize size = QPushButton::sizeHint();
    if (!text().isEmpty())
        size.setWidth(fontMetrics().horizontalAdvance(text()) + 2 * kTitleMargin);
    if (size.width() >= 0) size.rwidth() += kExtraWidth;
    return size;
}
