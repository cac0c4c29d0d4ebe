#include "ui/recents/QFRecentIndicatorButton.h"

#include "kit/gui/OMDeviceLayer.h"
#include "kit/gui/OMDeviceSpace.h"
#include "ui/recents/QFRecentsStyle.h"
#include "ui/window/QFResources.h"

#include <numbers>

namespace {

constexpr int kDashCount = 7;

// The named image cut out of a disc, within `rect` less 3 at the left and
// 2 at the right and 3 at the top and 2 at the bottom.
void drawCutOutDisc(QPainter& painter, const OMImage& image, const QRectF& rect) {
    const QRectF disc(rect.x() + 3, rect.y() + 3, rect.width() - 5, rect.height() - 5);
    const QTransform toDevice = OMUserToDeviceTransform(painter);
    OMDeviceLayer layer(toDevice.mapRect(rect).toAlignedRect());
    layer.paint(toDevice, [&](QPainter& canvas) {
        canvas.setBrush(Qt::black);
        canvas.setPen(Qt::NoPen);
        canvas.drawEllipse(disc);
        image.draw(canvas, disc, QRectF(), QPainter::CompositionMode_DestinationOut, 1.0);
    });
    layer.drawOnto(painter);
}

}  // namespace

QFRecentIndicatorButton::QFRecentIndicatorButton(QWidget* parent) : QFWindowButton(parent) {
    setPadding({});
    setBordered(false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setIndicatorType(QFRecentIndicatorTypeRepeat);
}

double QFRecentIndicatorButton::dashLengthForWidth(double width) {
    return (width * std::numbers::pi / kDashCount) * 0.5;
}

void QFRecentIndicatorButton::setIndicatorType(int32_t type) {
    if (type == indicatorType_) return;
    indicatorType_ = type;
    setPadding({});
    switch (type) {
        case QFRecentIndicatorTypeRepeat:
        case QFRecentIndicatorTypeInfo: {
            auto image = QFResources::shared()->imageNamed(
                type == QFRecentIndicatorTypeRepeat ? QFImageName::IndicatorRepeatTemplate
                                                    : QFImageName::IndicatorInfoTemplate);
            // Without its image the indicator shows nothing, not the picture
            // of the type before.
            if (!image) {
                setImage(nullptr);
                return;
            }
            setImageWithSize(QSizeF(20, 20),
                             [image](QPainter& painter, double, const QRectF& rect) {
                                 drawCutOutDisc(painter, *image, rect);
                             });
            break;
        }
        case QFRecentIndicatorTypeRecentRepeat:
            setImageWithSize(QSizeF(20, 20),
                             [](QPainter& painter, double progress, const QRectF& rect) {
                                 QFRecentsStyle::drawingBlockForRecentRepeatTemplate()(
                                     painter, rect.adjusted(1, 1, 0, 0), progress);
                             });
            break;
        case QFRecentIndicatorTypeDashedCircle:
            setImageWithSize(QSizeF(19, 19), [](QPainter& painter, double, const QRectF& rect) {
                const QRectF circle = rect.adjusted(4, 4, -4, -4);
                const double lineWidth = 1.5;
                const double dash = dashLengthForWidth(circle.width()) / lineWidth;
                QPen pen(Qt::black, lineWidth, Qt::CustomDashLine, Qt::RoundCap);
                pen.setDashPattern({dash, dash});
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(pen);
                painter.setBrush(Qt::NoBrush);
                painter.drawEllipse(circle);
            });
            break;
        case QFRecentIndicatorTypeHasChanges:
            setImageWithSize(QSizeF(11, 11), [](QPainter& painter, double, const QRectF& rect) {
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(Qt::NoPen);
                painter.setBrush(Qt::black);
                painter.drawEllipse(rect.adjusted(1, 1, -1, -1));
            });
            break;
        default:
            break;
    }
}

OMTemplateEffect QFRecentIndicatorButton::contentEffectWithStyleMask(unsigned mask) const {
    switch (indicatorType_) {
        case QFRecentIndicatorTypeRecentRepeat:
        case QFRecentIndicatorTypeDashedCircle:
            return QFRecentsStyle::smartIndicatorEffectWithMask(mask);
        case QFRecentIndicatorTypeHasChanges:
            return QFRecentsStyle::changesIndicatorEffectWithMask(mask);
        default:
            return QFRecentsStyle::indicatorEffectWithMask(mask);
    }
}
