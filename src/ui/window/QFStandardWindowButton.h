#pragma once
// QFStandardWindowButton: the close, miniaturise and zoom buttons of the
// window chrome. Each is laid out for a standard title bar of 22 points
// (standardFrame) and moved by its window into the taller title bar.
//
// It has two looks: its full look (a disc tinted from the chrome colour
// with a glyph telling what it does), and a grey, etched look that sinks it
// into the title bar. A QFWindow decides which one to show
// (QFWindow::drawRectForButton); in any other window the button always
// shows its full look.
//
// Threads: main thread only.

#include <QAbstractButton>
#include <QPainter>

class QFStandardWindowButton : public QAbstractButton {
    Q_OBJECT

public:
    enum Kind { Close = 0, Miniaturize = 1, Zoom = 2 };
    static constexpr double kStandardTitlebarHeight = 22;

    QFStandardWindowButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }

    // Where a standard title bar has the button: 7 points from the left,
    // 20 points apart, 3 points from the top, 14 by 16 points.
    static QRectF standardFrame(Kind kind);

    // The grey etched look into `bounds` for an active or inactive window.
    static void drawEtchedLook(QPainter& painter, const QRectF& bounds, bool active);
    // The full look.
    static void drawFullLook(QPainter& painter, const QRectF& bounds, Kind kind, bool pressed,
                             bool enabled);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void perform();

    Kind kind_;
};
