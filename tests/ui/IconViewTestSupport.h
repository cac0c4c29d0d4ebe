#pragma once
// Icon views for the tests: items of a solid colour, a delegate that hands
// out file URLs of its own choosing, and a view in its scroll view at a
// given size, without scroll bars so the widths are exact.

#include "ui/iconview/QFIconView.h"
#include "ui/iconview/QFIconViewScrollView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>

#include <memory>
#include <string>
#include <vector>

namespace lf::test {

class SolidItem final : public QFIconViewItem {
public:
    explicit SolidItem(QString label, QColor color = Qt::darkCyan)
        : label_(std::move(label)), color_(color) {}
    QString label() const override { return label_; }
    std::shared_ptr<const OMImage> image(QSize) const override {
        QImage bitmap(64, 48, QImage::Format_ARGB32_Premultiplied);
        bitmap.fill(color_);
        return std::make_shared<const OMImage>(OMImage::fromBitmap(bitmap));
    }

private:
    QString label_;
    QColor color_;
};

inline std::vector<std::shared_ptr<QFIconViewItem>> solidItems(int count) {
    std::vector<std::shared_ptr<QFIconViewItem>> items;
    for (int i = 0; i < count; ++i)
        items.push_back(std::make_shared<SolidItem>(QString("icon-%1.png").arg(i)));
    return items;
}

// Files under /items named after the labels; none for labels starting "x".
class FileDelegate final : public QFIconViewDelegate {
public:
    std::optional<QUrl> pasteboardWriterForItem(QFIconView&, QFIconViewItem& item) override {
        return urlFor(item);
    }
    std::optional<QUrl> fileURLForItem(QFIconView&, QFIconViewItem& item) override {
        return urlFor(item);
    }
    static std::optional<QUrl> urlFor(const QFIconViewItem& item) {
        if (item.label().startsWith('x')) return std::nullopt;
        return QUrl::fromLocalFile("/items/" + item.label());
    }
};

struct IconViewInScrollView {
    QFIconViewScrollView scrollView;
    QFIconView* view = new QFIconView;  // owned by the scroll view

    explicit IconViewInScrollView(QSize size) {
        scrollView.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scrollView.setDocumentView(view);
        scrollView.resize(size);
        scrollView.show();
        QApplication::processEvents();
    }

    // The centre of item `index`'s picture, in the view.
    QPointF pictureCentre(size_t index) const {
        const auto& tile = view->outputItemLayers().at(index);
        return view->hostLayer()->convertRect(tile->contentLayer()->frame(), tile.get()).center();
    }
    void mouse(QEvent::Type type, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, at, view->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          modifiers);
        QApplication::sendEvent(view, &event);
    }
    void click(QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, at, modifiers);
        mouse(QEvent::MouseButtonRelease, at, modifiers);
    }
};

}  // namespace lf::test
