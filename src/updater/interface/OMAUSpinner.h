#pragma once
// OMAUSpinner: a small spinning indicator for work of unknown length
// (release notes being loaded).
//
// Threads: main thread only.

#include <QTimer>
#include <QWidget>

class OMAUSpinner : public QWidget {
public:
    explicit OMAUSpinner(QWidget* parent = nullptr);
    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int step_ = 0;
};
