#include "ui/window/QFWindowLabel.h"

#include "ui/window/QFResources.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowStyle.h"

#include <QPainter>

#include <cmath>

QFWindowLabel::QFWindowLabel(QWidget* parent) : QWidget(parent) {
    text_.font = QFWindowStyle::windowTitleAttributes();
    text_.flags = Qt::AlignLeft | Qt::AlignTop;
    if (const auto logotype = QFWindowStyle::windowTitleLogotype()) textSize_ = logotype->size();
}

bool QFWindowLabel::isProductName(const QString& text) {
    const QFResources& resources = *QFResources::shared();
    for (const auto& name :
         {resources.infoString("CFBundleName"), resources.infoString("CFBundleDisplayName"),
          std::optional<std::string>(resources.productName())}) {
        if (name && text.compare(QString::fromStdString(*name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void QFWindowLabel::setText(const std::optional<QString>& text) {
    const QString string = text.value_or(QString());
    if (string == text_.text) return;
    if (string.isEmpty() || isProductName(string)) {
        text_.text.clear();
        const auto logotype = QFWindowStyle::windowTitleLogotype();
        textSize_ = logotype ? logotype->size() : QSizeF(0, 0);
        textRepresentsLogotype_ = true;
    } else {
        text_.text = string;
        const QSizeF size = QFTextBoundingSize(string, text_.font, text_.flags);
        textSize_ = QSizeF(std::ceil(size.width()), std::ceil(size.height()));
        textRepresentsLogotype_ = false;
    }
    updateGeometry();
    update();
}

QSizeF QFWindowLabel::intrinsicContentSize() const {
    return {textSize_.width() + 2, QFWindowStyle::windowTitleHeight()};
}

QSize QFWindowLabel::sizeHint() const {
    const QSizeF size = intrinsicContentSize();
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

void QFWindowLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const unsigned mask = QFStyleMaskForWindow(this);
    const OMTemplateEffect effect = QFWindowStyle::windowTitleEffectWithMask(mask);
    const QRectF bounds = rect();
    if (textRepresentsLogotype_) {
        const auto logotype = QFWindowStyle::windowTitleLogotype();
        if (!logotype) return;
        const QSizeF size = logotype->size();
        const QRectF place(bounds.x() + (bounds.width() - size.width()) / 2,
                           bounds.y() + (bounds.height() - size.height()) / 2, size.width(),
                           size.height());
        effect.drawImage(painter, *logotype, place, true);
        return;
    }
    // Rounded as the bottom-up layout does: down from the left, up from
    // the bottom.
    const double x = bounds.x() + std::floor((bounds.width() - textSize_.width()) / 2);
    const double fromBottom = std::ceil((bounds.height() - textSize_.height()) / 2);
    const QRectF place(x, bounds.bottom() - fromBottom - textSize_.height(), textSize_.width(),
                       textSize_.height());
    // Drawn straight onto the title bar, whose own pixels the glyph edges
    // blend with: no assumed background colour.
    effect.drawAttributedString(painter, text_, place);
}
