#include "ui/QFPopoverButton.h"

QSize QFPopoverButton::sizeHint() const {
    QSize size = QPushButton::sizeHint();
    if (size.width() >= 0) size.rwidth() += kExtraWidth;
    return size;
}
