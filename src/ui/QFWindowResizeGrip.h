#pragma once
// QFWindowResizeGrip: an invisible strip along an edge or corner of a
// frameless window that hands a press to the window system's resizing, with
// the matching cursor.
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

private:
    Qt::Edges edges_;
};
