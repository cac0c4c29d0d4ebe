#pragma once
// QFWindow: the window of every flow, a frameless top-level window whose
// chrome the application draws itself: a tall textured title bar (its
// height set by the logotype) with rounded top corners, the close,
// miniaturise and zoom buttons moved into it and drawn grey and etched
// unless the pointer is near them, a title area in the middle whose view is
// replaced with a push or pop animation, an accessory button at the right
// end, a stack of content controllers, and the forwarding of drags to a
// controller.
//
// The window builds its own tree of views:
// - QFWindowBackgroundView at the bottom, filling it: the background and
//   title bar, the drop indicator, the title bar's double click;
// - QFWindowContentView, holding the customizable content view below the
//   title bar;
// - the three QFStandardWindowButtons, with a QFWindowButtonsTrackingView
//   just under them;
// - QFWindowTitleView, the title area, on top;
// - the accessory button and the menu button, when they are set;
// - resize grips along the edges.
//
// Sheets (QFWindowSheet.h), the window-modal dialogs of the window, hang
// below the title bar, centred, without a frame of the window manager's,
// and follow the window as it moves or resizes. A sheet ends within the
// screen's available area: shrunk, down to its minimum size, and where
// even that does not fit as it shows, the window moves up. Their placement
// is defined in QFWindowSheetPlacement.cpp.
//
// The window is never smaller than what its title bar and its content
// need: the standard and menu buttons at the left, the title view at its
// size in the title area between them and its mirror image at the right,
// and the content view's minimum size below the title bar. The minimum
// follows the title view as it changes, growing the window when needed.
//
// The standard buttons are laid out for a standard title bar of 22 points
// and moved right by a third and down by half of the extra height
// (adjustedDeltaFromTopLeftForStandardButton), so they sit centred in the
// taller bar.
//
// Moving and resizing go through the window system (Qt's system move and
// resize). Where no compositor draws window transparency, the rounded top
// corners are cut with a mask.
//
// Threads: main thread only.

#include "kit/gui/OMAppKitWindow.h"
#include "ui/window/QFStandardWindowButton.h"
#include "ui/window/QFViewController.h"
#include "ui/window/QFWindowDraggingDestination.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QFWindowBackgroundView;
class QFWindowButtonsTrackingView;
class QFWindowContentView;
class QFWindowResizeGrip;
class QFWindowTitleView;

class QFWindow : public QWidget, public OMAppKitWindow {
    Q_OBJECT

public:
    explicit QFWindow(QWidget* parent = nullptr);
    ~QFWindow() override;

    // The product's name, whatever the window shows: a title label shows
    // the logotype for it.
    QString title() const;

    // The view of the title area; setting null shows the default title view.
    QWidget* titleView() const;
    void setTitleView(QWidget* view) { setTitleView(view, 0); }
    // `animation`: 0 none, 1 push, 2 pop (QFWindowTitleView::Animation).
    void setTitleView(QWidget* view, int animation);
    // Owned by the window.
    QWidget* defaultTitleView() const { return defaultTitleView_; }
    void setDefaultTitleView(QWidget* view);

    double titlebarHeight() const;
    void setTitlebarHeight(double height);

    // Placed at the right end of the title bar, mirroring the close
    // button's margin and centred on its centre line. Owned by the window:
    // setting another deletes the one before.
    QWidget* accessoryWindowButton() const { return accessoryWindowButton_; }
    void setAccessoryWindowButton(QWidget* button);
    // Placed kMenuButtonSpacing right of the zoom button, centred on it;
    // the title area keeps clear of it as of the standard buttons. Owned
    // by the window like the accessory button.
    static constexpr double kMenuButtonSpacing = 8;
    QWidget* menuWindowButton() const { return menuWindowButton_; }
    void setMenuWindowButton(QWidget* button);

    QWidget* customizableContentView() const override;
    void setCustomizableContentView(QWidget* view) override;

    // The controller whose view shows, and the stack it tops.
    const std::shared_ptr<QFViewController>& contentViewController() const {
        return contentViewController_;
    }
    void setContentViewController(std::shared_ptr<QFViewController> controller);
    void pushContentViewController(std::shared_ptr<QFViewController> controller, bool animated);
    // Pops the top controller unless it is the last; returns it, or null.
    std::shared_ptr<QFViewController> popContentViewControllerAnimated(
        bool animated, const std::function<void()>& completionHandler = {});
    const std::vector<std::shared_ptr<QFViewController>>& contentViewControllers() const {
        return contentViewControllerStack_;
    }

    // The window controller, which receives drags when the content
    // controller does not (not owned).
    QObject* windowController() const { return windowController_; }
    void setWindowController(QObject* controller) { windowController_ = controller; }
    QFWindowDraggingDestination* windowDraggingDestination() const {
        return windowDraggingDestination_;
    }

    // Geometry measured from the window's top-left corner, y downwards.
    QPointF deltaFromTopLeftForView(const QWidget& view) const;
    // `rect` (from the window's top-left corner) in `view`'s coordinates.
    QRectF convertRectFromTopLeft(const QRectF& rect, const QWidget& view) const;
    // Where the standard button (the close button for any other view)
    // goes in the window's title bar.
    QPointF adjustedDeltaFromTopLeftForStandardButton(const QWidget& button) const;
    // The origin `button` gets in its parent instead of `proposed`.
    QPointF adjustFrameOrigin(QPointF proposed, const QWidget& button) const;
    // Draws `button` in the etched look and answers true, or answers false
    // when it shows its full look: enabled, no modal window, and the
    // pointer near the buttons.
    bool drawRectForButton(QPainter& painter, const QFStandardWindowButton& button) const;
    QFStandardWindowButton* standardWindowButton(QFStandardWindowButton::Kind kind) const;

    // Lays out the standard buttons, the tracking view, the menu button,
    // the title area and the accessory button, and sets the minimum size.
    void tile();
    // The smallest size that holds the title bar's controls, the title view
    // and the content view's minimum size.
    QSize minimumSizeHint() const override;
    void updatePartialTitlebarHeight();

    bool hasActiveAppearance() const override;

    // Around a sheet's animation: holds the accessory button's loop.
    void suspendAnimationsBeforeSheetAnimation();
    void resumeAnimationsAfterSheetAnimation();

    // Miniaturises the window, keeping its look while it is away.
    void miniaturize();
    // Miniaturises every visible window of the application.
    static void miniaturizeAll();

    // The MIME types of drags the window takes. While a drop is being
    // performed, changes wait until the drag has ended.
    void registerForDraggedTypes(const QStringList& types);
    void unregisterDraggedTypes();
    const QStringList& registeredDraggedTypes() const { return registeredDraggedTypes_; }

    // Where a sheet proposed at `rect` (global) goes: below the title bar.
    QRect willPositionSheet(const QRect& rect) const;

    // Whether the rounded corners are cut with a mask.
    bool cutsCornersWithMask() const { return cutsCornersWithMask_; }

    QFWindowBackgroundView* backgroundView() const { return windowBackgroundView_; }
    QFWindowContentView* windowContentView() const { return windowContentView_; }
    QFWindowTitleView* windowTitleView() const { return windowTitleView_; }
    QFWindowButtonsTrackingView* buttonsTrackingView() const { return windowButtonsView_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void initializeWindow();
    void layoutStandardButtons();
    // From the close button to the zoom button.
    QRectF standardButtonsFrame() const;
    // Where the title area starts, from the left edge: 20 points beyond
    // the standard and menu buttons. The area ends as far from the right.
    double titleInset() const;
    void updateMinimumSize();
    void setOwnedTitlebarButton(QPointer<QWidget>& slot, QWidget* button);
    void updateCornerMask();
    void positionSheets();
    // Hangs `sheet` below the title bar, fitted to the screen's available
    // area. `mayRaiseWindow`: whether the window moves up where even the
    // sheet's minimum size does not fit, as the sheet shows or takes
    // another size; not as the window moves or resizes, which the window
    // system may be doing: a move of ours would fight it.
    void positionSheet(QWidget& sheet, bool mayRaiseWindow);
    bool acceptsDraggedData(const QMimeData* data) const;
    QFDraggingInfo draggingInfo(const QDropEvent& event) const;
    void draggingEnded(const QFDraggingInfo& info);
    // Performs `change` now, or after the drag when a drop is under way.
    void changeDraggedTypes(std::function<void()> change);

    QFWindowBackgroundView* windowBackgroundView_ = nullptr;
    QFWindowContentView* windowContentView_ = nullptr;
    QFWindowButtonsTrackingView* windowButtonsView_ = nullptr;
    QFWindowTitleView* windowTitleView_ = nullptr;
    QPointer<QWidget> defaultTitleView_;
    // Every default title view given: the window deletes those that are
    // not shown when it goes.
    std::vector<QPointer<QWidget>> ownedTitleViews_;
    bool shouldRepositionWindowButtons_ = false;
    bool showsStandardWindowButtonsWhenActive_ = false;
    std::array<QFStandardWindowButton*, 3> standardButtons_{};
    double standardTitlebarHeight_ = QFStandardWindowButton::kStandardTitlebarHeight;
    std::array<QPointF, 3> standardButtonDeltasFromTopLeft_;
    std::vector<std::shared_ptr<QFViewController>> contentViewControllerStack_;
    std::shared_ptr<QFViewController> contentViewController_;
    QPointer<QObject> windowController_;
    QFWindowDraggingDestination* windowDraggingDestination_ = nullptr;
    QPointer<QWidget> accessoryWindowButton_;
    QPointer<QWidget> menuWindowButton_;
    // Tells the window when the title view shown asks for another size.
    class TitleViewSizeWatcher;
    TitleViewSizeWatcher* titleViewSizeWatcher_ = nullptr;
    std::vector<QFWindowResizeGrip*> resizeGrips_;
    bool isMiniaturizedOrAnimatingToFromDeminiaturized_ = false;
    bool wasActiveBeforeMiniaturization_ = false;
    bool shouldDelayDraggedTypeChanges_ = false;
    std::vector<std::function<void()>> draggedTypeBlocks_;
    QStringList registeredDraggedTypes_;
    Qt::DropAction enteredOperation_ = Qt::IgnoreAction;
    bool cutsCornersWithMask_ = false;
    // While the window gives a sheet its place and size.
    bool isFittingSheet_ = false;
};
