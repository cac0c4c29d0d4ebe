#pragma once
// QFTestView: a plain container that draws nothing and asks for no size of
// its own; the flow title view lays its parts out in one.
//
// Threads: main thread only.

#include <QWidget>

class QFTestView : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {}; }
};
