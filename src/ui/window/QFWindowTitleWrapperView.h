#pragma once
// QFWindowTitleWrapperView: holds one title view in the title bar and moves
// it as a whole while titles are pushed and popped: the title rises from
// below as it is pushed in, and shrinks about its centre while drifting
// upwards as it is pushed out.
//
// The movement and the fading are applied to a picture of the wrapper and
// its title view (a graphics effect stands in for a layer's transform and
// opacity), so the title view is not repainted while it moves; at rest
// (both progresses at their ends, fully opaque) the effect is off.
//
// The wrapper does not own its title view beyond showing it: release()
// hands the view back (hidden, without parent) when the wrapper leaves the
// title bar; a view still wrapped goes with the wrapper when the window
// is destroyed.
//
// Threads: main thread only.

#include <QPointer>
#include <QTransform>
#include <QWidget>

class QFWindowTitleWrapperEffect;

class QFWindowTitleWrapperView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double animationPushedInProgress READ animationPushedInProgress WRITE
                   setAnimationPushedInProgress)
    Q_PROPERTY(double animationPushedOutProgress READ animationPushedOutProgress WRITE
                   setAnimationPushedOutProgress)
    Q_PROPERTY(double alphaValue READ alphaValue WRITE setAlphaValue)

public:
    // Takes `wrappedView`'s geometry as its own and shows the view filling
    // itself.
    explicit QFWindowTitleWrapperView(QWidget* wrappedView, QWidget* parent = nullptr);

    QWidget* wrappedView() const { return wrappedView_; }
    // Hands the wrapped view back: hidden and without parent.
    void release();

    double animationPushedInProgress() const { return pushedInProgress_; }
    void setAnimationPushedInProgress(double progress);
    double animationPushedOutProgress() const { return pushedOutProgress_; }
    void setAnimationPushedOutProgress(double progress);
    double alphaValue() const { return alphaValue_; }
    void setAlphaValue(double alpha);

    // The movement of the two progresses, y growing downwards: pushed in
    // below 0.999, a drop by (1 - p) x height; pushed out above 0.001, a
    // scale by s = max(0.025, 1 - p) about the centre lifted by
    // (1 - s) x 0.2 x height.
    static QTransform pushedInTransform(double progress, QSizeF size);
    static QTransform pushedOutTransform(double progress, QSizeF size);
    QTransform sublayerTransform() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updatePresentation();

    QPointer<QWidget> wrappedView_;
    double pushedInProgress_ = 1.0;
    double pushedOutProgress_ = 0.0;
    double alphaValue_ = 1.0;
    QFWindowTitleWrapperEffect* effect_;  // owned by the widget
};
