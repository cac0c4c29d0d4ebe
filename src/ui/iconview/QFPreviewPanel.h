#pragma once
// QFPreviewPanel: a window that previews the files of the selected outputs:
// the first file's picture, scaled down to fit, under its name. It belongs
// to one icon view: the view fills it and hands it the keys it receives, so
// the arrow keys keep moving the selection, and the preview follows, while
// the panel has the focus. The view fills it anew when the outputs change,
// and closes it when the outputs it shows are gone. Space, Escape and Close
// Window (Ctrl+W) close it, and nothing else: the panel takes them before
// the shortcuts of the window it previews (whose Escape would cancel the
// whole flow, and whose Close Window would close it).
//
// The file is read no larger than the screen. One that cannot be read as
// a picture shows the item's own picture.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"

#include <QImage>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QFPreviewPanel : public QWidget {
    Q_OBJECT

public:
    struct Item {
        QUrl url;
        QString title;
        // Shown when the file gives no picture.
        std::shared_ptr<const OMImage> fallbackImage;
    };
    // Answers whether it took the key.
    using KeyHandler = std::function<bool(QKeyEvent* event)>;

    explicit QFPreviewPanel(QWidget* parent = nullptr);

    const std::vector<Item>& items() const { return items_; }
    // Reads the first item's file anew.
    void setItems(std::vector<Item> items);
    void setKeyHandler(KeyHandler handler) { keyHandler_ = std::move(handler); }

    // What shows: the first item's title and picture.
    QString currentTitle() const;
    const QImage& currentImage() const { return image_; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Item> items_;
    QImage image_;
    KeyHandler keyHandler_;
};
