#pragma once
// QFPopoverListContentView: what a popover list scrolls: the row views
// are its children, and it is exactly as tall as the rows. Its drawing,
// the separators between the rows, is the list's.
//
// Threads: main thread only.

#include "ui/popovers/QFPopoverListView.h"

#include <QPointer>
#include <QWidget>

class QFPopoverListContentView : public QWidget {
    Q_OBJECT

public:
    explicit QFPopoverListContentView(QWidget* parent = nullptr);

    QFPopoverListView* ownerListView() const { return ownerListView_; }
    void setOwnerListView(QFPopoverListView* list) { ownerListView_ = list; }

    double intrinsicContentHeight() const { return intrinsicContentHeight_; }
    // Takes the height as its own, keeping its width.
    void setIntrinsicContentHeight(double height);

    // The rows' height; the width is the scroll view's.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QFPopoverListView> ownerListView_;
    double intrinsicContentHeight_ = 0;
};
