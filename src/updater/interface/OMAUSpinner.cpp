#include "updater/interface/OMAUSpinner.h"

#include <QPainter>

namespace {

constexpr int kSpokes = 12;

}  // namespace

OMAUSpinner::OMAUSpinner(QWidget* parent) : QWidget(parent) {
    setFixedSize(32, 32);
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void OMAUSpinner::startAnimation() {
    timer_.start();
    show();
}

void OMAUSpinner::stopAnimation() {
    timer_.stop();
    hide();
}

void OMAUSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    QColor colour = palette().color(QPalette::WindowText);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        // The newest spoke darkest, fading behind it.
        colour.setAlphaF(1.0 - ((spoke - step_ + kSpokes) % kSpokes) / double(kSpokes));
        painter.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -7), QPointF(0, -13));
        painter.rotate(360.0 / kSpokes);
    }
}
