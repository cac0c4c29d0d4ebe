#include "ui/widgets/QFPlaceholderButton.h"

#include "kit/gui/OMSlicedImageRep.h"
#include "kit/gui/OMTemplateEffect.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFStyleMask.h"
#include "ui/window/QFTextMeasure.h"
#include "ui/window/QFWindowStyle.h"

#include <QPainter>

#include <cmath>
#include <map>
#include <string>

namespace {

constexpr int kTitleFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine;
// The blur of the glows that make the focus ring, in points.
constexpr double kFocusRingBlur = 1.5;

// The sliced image of `name`, cut once per image.
std::shared_ptr<const OMImage> slicedImageNamed(const char* name) {
    static std::map<std::string,
                    std::pair<std::shared_ptr<const OMImage>, std::shared_ptr<const OMImage>>>
        sliced;
    std::shared_ptr<const OMImage> image = QFResources::shared()->imageNamed(name);
    auto& entry = sliced[name];
    if (entry.first != image) {
        entry.first = image;
        entry.second = image ? OMSlicedImageWithInsets(*image, {0, 9, 0, 9}) : nullptr;
    }
    return entry.second;
}

}  // namespace

QFPlaceholderButton::QFPlaceholderButton(QWidget* parent) : QAbstractButton(parent) {
    setFont(QFWindowStyle::boldSystemFontOfSize(13));
}

void QFPlaceholderButton::drawFocusRing(QPainter& painter) const {
    const auto mask = slicedImageNamed(QFImageName::PlaceholderButtonMask);
    if (!mask) return;
    // The mask gives the ring its shape: a glow in the focus colour on
    // both sides of its edge, and nothing over the rest of the body. The
    // frame leaves little room outside the body, so the ring reaches
    // inside it as far.
    const QColor colour = palette().color(QPalette::Highlight);
    const OMShadow glow{QPointF(0, 0), kFocusRingBlur, colour};
    OMTemplateEffect ring;
    ring.setShadows({glow, glow});
    ring.setInnerShadows({glow, glow});
    ring.drawImage(painter, *mask, QFAlignmentRectForFrame(*this, QRectF(rect())));
}

OMAttributedString QFPlaceholderButton::attributedTitle() const {
    return {text(), font(), kTitleFlags};
}

QSizeF QFPlaceholderButton::intrinsicContentSize() const {
    const double titleWidth = QFTextBoundingSize(text(), font(), kTitleFlags).width();
    return {std::max(22.0, std::ceil(titleWidth) + 24), kHeight};
}

QSize QFPlaceholderButton::sizeHint() const {
    const QRectF frame = QFFrameForAlignmentRect(*this, QRectF(QPointF(), intrinsicContentSize()));
    return frame.size().toSize();
}

QRectF QFPlaceholderButton::titleRectForFrame(const QRectF& frame, double titleHeight) const {
    // Laid out from the bottom edge up, as the body's images are drawn.
    const QRectF alignment = QFAlignmentRectForFrame(*this, frame);
    const double x = alignment.x() + 12, width = alignment.width() - 24;
    const double bottom = (frame.bottom() - alignment.bottom()) + 6 + 3;
    const double height = alignment.height() - 12 - 2;
    const double titleBottom = bottom - std::ceil((titleHeight - height) / 2);
    return QRectF(x, frame.bottom() - titleBottom - titleHeight, width, titleHeight);
}

void QFPlaceholderButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF frame = rect();
    const auto body = slicedImageNamed(isDown() ? QFImageName::PlaceholderButtonPressed
                                                : QFImageName::PlaceholderButtonNormal);
    if (body) body->draw(painter, frame);

    if (hasFocus()) drawFocusRing(painter);

    const OMAttributedString title = attributedTitle();
    if (title.text.isEmpty()) return;
    const double titleHeight =
        std::ceil(QFTextBoundingSize(title.text, title.font, kTitleFlags).height());
    const unsigned mask = QFStyleMaskForWindow(this) | (isDown() ? QFStyleMaskHighlighted : 0u);
    QFWindowStyle::placeholderTextEffectWithMask(mask).drawAttributedString(
        painter, title, titleRectForFrame(frame, titleHeight));
}
