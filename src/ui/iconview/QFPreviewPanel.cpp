#include "ui/iconview/QFPreviewPanel.h"

#include "ui/iconview/QFOutputImage.h"

#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

namespace {

constexpr int kMargin = 20;
constexpr int kTitleHeight = 24;

// The keys that close the panel: its own, and Close Window, which would
// otherwise close the flow window behind it.
bool closesPanel(const QKeyEvent& event) {
    return event.key() == Qt::Key_Space || event.key() == Qt::Key_Escape ||
           event.matches(QKeySequence::Close);
}

}  // namespace

QFPreviewPanel::QFPreviewPanel(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    resize(480, 480);
}

void QFPreviewPanel::setItems(std::vector<Item> items) {
    items_ = std::move(items);
    image_ = QImage();
    if (!items_.empty()) {
        const Item& item = items_.front();
        // No more pixels than the screen has: the panel never shows more.
        if (const QScreen* screen = this->screen(); screen && item.url.isLocalFile()) {
            QImageReader reader(item.url.toLocalFile());
            image_ = QFReadImageFitting(
                reader, (QSizeF(screen->size()) * screen->devicePixelRatio()).toSize());
        }
        if (image_.isNull() && item.fallbackImage) {
            const QSizeF size = item.fallbackImage->size();
            const double scale = devicePixelRatioF();
            image_ = QImage((size * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
            if (!image_.isNull()) {
                image_.fill(Qt::transparent);
                image_.setDevicePixelRatio(scale);
                QPainter painter(&image_);
                item.fallbackImage->draw(painter, QRectF(QPointF(0, 0), size));
            }
        }
    }
    setWindowTitle(currentTitle());
    update();
}

QString QFPreviewPanel::currentTitle() const {
    return items_.empty() ? QString() : items_.front().title;
}

bool QFPreviewPanel::event(QEvent* event) {
    // Offered as a shortcut override first, the keys that close the panel
    // are taken here, so they reach keyPressEvent instead of a shortcut.
    if (event->type() == QEvent::ShortcutOverride && closesPanel(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void QFPreviewPanel::keyPressEvent(QKeyEvent* event) {
    if (closesPanel(*event)) {
        hide();
        return;
    }
    if (keyHandler_ && keyHandler_(event)) return;
    QWidget::keyPressEvent(event);
}

void QFPreviewPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF area =
        QRectF(rect()).adjusted(kMargin, kMargin, -kMargin, -kMargin - kTitleHeight);
    if (!image_.isNull() && area.isValid()) {
        // Shrunk to fit, never enlarged.
        QSizeF size = image_.deviceIndependentSize();
        if (size.width() > area.width() || size.height() > area.height())
            size.scale(area.size(), Qt::KeepAspectRatio);
        const QRectF target(area.center() - QPointF(size.width() / 2, size.height() / 2), size);
        painter.drawImage(target, image_);
    }
    painter.drawText(
        QRectF(kMargin, height() - kMargin - kTitleHeight, width() - 2 * kMargin, kTitleHeight),
        Qt::AlignCenter, currentTitle());
}
