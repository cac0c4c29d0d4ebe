#include "ui/window/QFTextMeasure.h"

#include <QFontMetricsF>

QSizeF QFTextBoundingSize(const QString& text, const QFont& font, int flags, double width) {
    if (text.isEmpty()) return QSizeF(0, 0);
    const QFontMetricsF metrics(font);
    return metrics.boundingRect(QRectF(0, 0, width, kQFUnlimitedTextLength), flags, text).size();
}
