#pragma once
// OMPopover: a popup window anchored to a rectangle of a view, on the side
// asked for when it fits on the screen and on the opposite side when not.
// It closes when the user clicks elsewhere.
//
// Showing paints the content at once, before the window first reaches the
// screen, so content that the application draws itself appears in its
// final shape from the first frame. Subclasses (the interface's navigation
// popover) override showRelativeToRect and call this one.
//
// Threads: main thread only.

#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <functional>

class OMPopover : public QWidget {
public:
    explicit OMPopover(QWidget* parent = nullptr);

    // Fills the popover; owned by it. Setting another deletes this one.
    QWidget* contentWidget() const { return contentWidget_; }
    void setContentWidget(QWidget* content);

    QSize contentSize() const { return size(); }
    void setContentSize(const QSize& size) { resize(size); }

    // Whether showing and closing may animate; subclasses that animate read it.
    bool animates() const { return animates_; }
    void setAnimates(bool animates) { animates_ = animates; }

    bool isShown() const { return isVisible(); }

    // Shows the popover next to `rect` (in `view`'s coordinates) on
    // `preferredEdge` of it, centred along that edge and kept on the
    // screen.
    virtual void showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge preferredEdge);

    // Called after the popover has closed.
    void setDidCloseHandler(std::function<void()> handler) {
        didCloseHandler_ = std::move(handler);
    }

    // The edge across from `edge`.
    static Qt::Edge oppositeEdge(Qt::Edge edge);
    // Where a popover of `size` goes for `anchor` (global coordinates) on
    // `screen` (available geometry).
    static QPoint placement(const QRect& anchor, QSize size, Qt::Edge preferredEdge,
                            const QRect& screen);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> contentWidget_;
    bool animates_ = true;
    std::function<void()> didCloseHandler_;
};
