#pragma once
// QFPopoverSeparator: the list separator of the popover style as a view of
// its own, to part sections of a popover's content.
//
// Threads: main thread only.

#include <QWidget>

class QFPopoverSeparator : public QWidget {
    Q_OBJECT

public:
    explicit QFPopoverSeparator(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {0, 1}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};
