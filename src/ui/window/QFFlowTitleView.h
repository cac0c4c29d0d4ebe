#pragma once
// QFFlowTitleView: the title of a running flow in the window's title bar: a
// label and, 16 points to its right, the flow's main button (5 points from
// the right end), centred together in the title area; each is centred
// vertically. It draws nothing of its own.
//
// Threads: main thread only.

#include <QPointer>
#include <QWidget>

class QHBoxLayout;

class QFFlowTitleView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kLabelToButton = 16;
    static constexpr int kButtonToEnd = 5;

    explicit QFFlowTitleView(QWidget* parent = nullptr);

    QWidget* label() const { return label_; }
    // The view becomes the title view's child; the one before is let go
    // (hidden, without parent).
    void setLabel(QWidget* label);
    QWidget* mainButton() const { return mainButton_; }
    void setMainButton(QWidget* button);

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A part's size changed: the parts are centred anew.
    bool event(QEvent* event) override;

private:
    void replace(QPointer<QWidget>& part, QWidget* view);
    void rebuild();
    void layoutWrapper();

    QWidget* wrapper_;
    QHBoxLayout* layout_;
    QPointer<QWidget> label_;
    QPointer<QWidget> mainButton_;
};
