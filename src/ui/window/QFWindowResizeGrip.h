#pragma once
// QFWindowResizeGrip: an invisible strip along an edge or corner of a
// frameless window that hands a press to the window system's resizing. The
// pointer over it shows the matching cursor, unless the cursor is locked
// (OMCursor.h): the grip takes the cursor when the pointer enters and gives
// it back when it leaves.
//
// Threads: main thread only.

#include <QWidget>

class QFWindowResizeGrip : public QWidget {
    Q_OBJECT

public:
    static constexpr int kThickness = 4;

    QFWindowResizeGrip(Qt::Edges edges, QWidget* window);

    Qt::Edges edges() const { return edges_; }
    // Where the grip lies in a window of `size`.
    static QRect gripRect(Qt::Edges edges, QSize size);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Qt::Edges edges_;
};
