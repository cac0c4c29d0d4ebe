#pragma once
// QFIconViewScrollView: the scroll view around an icon view. It draws no
// background of its own, scrolls vertically only, and gives its icon view
// the visible width whenever that changes; the icon view then takes its
// height from its rows. When the icon view's height changes, the visible
// area's top-left stays put (within the range that remains).
//
// Threads: main thread only.

#include <QScrollArea>

class QFIconView;

class QFIconViewScrollView : public QScrollArea {
    Q_OBJECT

public:
    explicit QFIconViewScrollView(QWidget* parent = nullptr);

    QFIconView* documentView() const;
    // The scroll view keeps `view` as its child.
    void setDocumentView(QFIconView* view);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void fitDocumentViewWidth();
};
