#pragma once
// QFWindowContentView: fills the window and holds the replaceable content
// view below the title bar. The strip at the top that the title bar takes
// (partialTitlebarHeight) is left free: the content view is laid out below
// it, and the strip lets the pointer through to the title bar's views
// (through the widget's mask).
//
// The content view is not owned: a view that is replaced is hidden and
// handed back without parent; with no view given an empty one of its own
// shows.
//
// Pressing on it and dragging moves the window, for presses that the
// content leaves unhandled.
//
// Threads: main thread only.

#include <QPointer>
#include <QWidget>

class QFWindowContentView : public QWidget {
    Q_OBJECT

public:
    explicit QFWindowContentView(QWidget* parent = nullptr);

    QWidget* contentView() const { return contentView_; }
    void setContentView(QWidget* view);

    double partialTitlebarHeight() const { return partialTitlebarHeight_; }
    void setPartialTitlebarHeight(double height);

    // The rectangle the content view takes: the bounds less the strip.
    QRect contentRect() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void resizeSubviews();

    QPointer<QWidget> contentView_;
    QWidget* emptyView_ = nullptr;  // owned as a child
    double partialTitlebarHeight_ = 0;
};
