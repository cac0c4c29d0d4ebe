#pragma once
// QFPopoverButton: a push button of the popovers (the editor's Done): as
// wide as its title with a small bezel, plus 6 so short titles do not
// crowd its rim. The style's wide minimum of dialog buttons does not
// apply: the button sits in a popover's title bar beside a heading.
//
// Threads: main thread only.

#include <QPushButton>

class QFPopoverButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr int kExtraWidth = 6;
    // Between the title and the bezel's edge, on each side.
    static constexpr int kTitleMargin = 8;

    using QPushButton::QPushButton;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
};
