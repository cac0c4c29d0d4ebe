#pragma once
// QFPopoverButton: a push button of the popovers (the editor's Done), a
// little wider than the style makes it, so short titles do not crowd its
// rim.
//
// Threads: main thread only.

#include <QPushButton>

class QFPopoverButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr int kExtraWidth = 6;

    using QPushButton::QPushButton;

    QSize sizeHint() const override;
};
