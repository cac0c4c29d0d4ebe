#pragma once
// QFWindowButtonsTrackingView: lies under the window's close, miniaturise
// and zoom buttons, covering all three, and knows whether the pointer is
// anywhere over them (the buttons themselves or the gaps between them), so
// the three can show their full look together while the pointer is near.
//
// Threads: main thread only.

#include <QPointer>
#include <QWidget>

#include <vector>

class QFWindowButtonsTrackingView : public QWidget {
    Q_OBJECT

public:
    explicit QFWindowButtonsTrackingView(QWidget* parent = nullptr);

    // The buttons over this view; they are repainted when the pointer
    // comes or goes.
    void setTrackedButtons(std::vector<QWidget*> buttons);

    bool hasMouseInside() const { return hasMouseInside_; }
    void setHasMouseInside(bool inside);

    // Takes the pointer's place anew: inside when the pointer lies in the
    // bounds.
    void updateTrackingAreas();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::vector<QPointer<QWidget>> buttons_;
    bool hasMouseInside_ = false;
};
