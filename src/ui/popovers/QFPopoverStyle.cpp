#include "ui/popovers/QFPopoverStyle.h"

#include <QGuiApplication>

#include <array>
#include <cmath>

namespace {

int styleIndex(int32_t type) {
    return (type == QFPopoverLabelTypeDetail || type == QFPopoverLabelTypeHeading) ? type : 0;
}

QColor grey(double white, double alpha = 1.0) {
    return QColor::fromRgbF(white, white, white, alpha);
}

}  // namespace

QFont QFPopoverStyle::platformSystemFontOfSize(int size) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(size);
    return font;
}

QColor QFPopoverStyle::subpixelBackgroundColorWithMask(unsigned) {
    return grey(0.9, 0.5);
}

const OMAttributedString& QFPopoverStyle::textAttributesForLabelType(int32_t type) {
    static const std::array<OMAttributedString, 3> attributes = [] {
        const int line = Qt::AlignTop | Qt::TextSingleLine;
        return std::array<OMAttributedString, 3>{
            OMAttributedString{{}, platformSystemFontOfSize(11), Qt::AlignLeft | line},
            OMAttributedString{{}, platformSystemFontOfSize(10), Qt::AlignLeft | line},
            OMAttributedString{{}, platformSystemFontOfSize(13), Qt::AlignHCenter | line},
        };
    }();
    return attributes[styleIndex(type)];
}

const OMTemplateEffect& QFPopoverStyle::textEffectForLabelType(int32_t type, unsigned) {
    static const std::array<OMTemplateEffect, 3> effects = [] {
        std::array<OMTemplateEffect, 3> made;
        made[0].setFillColor(grey(0));
        made[1].setFillColor(grey(0.6));
        made[2].setFillColor(grey(0.42));
        made[2].setShadows({OMShadow{QPointF(0, -1), 0.5, grey(1, 0.99)}});
        return made;
    }();
    return effects[styleIndex(type)];
}

QRectF QFPopoverStyle::textRectInBounds(const QRectF& bounds, const OMEdgeInsets& padding,
                                        double textHeight) {
    const double free = bounds.height() - padding.top - padding.bottom - textHeight;
    return QRectF(bounds.x() + padding.left, bounds.y() + padding.top + std::ceil(free / 2),
                  bounds.width() - padding.left - padding.right, textHeight);
}

void QFPopoverStyle::drawListSeparatorInRect(QPainter& painter, QRectF rect) {
    if (rect.height() > 1)
        rect = QRectF(rect.x(), std::floor(rect.y() + rect.height() / 2), rect.width(), 1);
    static const OMGradient line(
        QGradientStops{{0.0, grey(0, 0.006)}, {0.5, grey(0, 0.06)}, {1.0, grey(0, 0.006)}});
    line.drawInRect(painter, rect, 0);
}
