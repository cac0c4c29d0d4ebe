#pragma once
// QFIconView: the heart of a flow window. It shows one flow run in three
// modes: 0 waiting for input; 1 extracting, the input item pulsing above a
// status badge (the picture "ExtractingCloud" over the status text); 2
// output, a grid of one tile per output file, centred, pinned to the top
// once it is taller than the view.
//
// Modes change only through setMode(mode, animated, completion), each
// change played by an animation (QFIconViewAnimation.h): any mode to 0, 0
// to 1 and 1 to 2; a request for any other change is dropped and its
// completion never runs. One animation runs at a time and one more may
// wait; a newer request replaces the waiting one, whose completion then
// never runs. The pulse of mode 1 repeats until the next change asks it
// to stop. While the outputs hop out (1 to 2), the layer tree moves into
// an overlay over the whole window, title bar included, so the hops can
// arc above the view; it comes back exactly in place.
//
// In mode 2 the view keeps a selection: a click selects an item (with
// Shift or Ctrl it adds to the selection), a drag from empty space draws a
// rubber band (with Shift or Ctrl toggling what it covers), the keys move
// and extend it (see interpretKeyEvent), and a drag of selected items
// further than 4 points carries their files out of the window. Copy puts
// their files on the clipboard; Space shows them in the preview panel,
// which follows their outputs: it shows their new pictures when the items
// are set anew, and closes once none of them is left or the view leaves
// mode 2. In modes 0 and 1 a press goes on to the window, which moves;
// while an animation runs or waits, the mouse does nothing.
//
// Tiles are reused by item identity: setting items keeps the tiles (and
// selection) of the items given again.
//
// The view is the document view of a QFIconViewScrollView, which gives it
// its width; it takes its height from its rows, or the scroll view's
// height while animating or when that is larger.
//
// Threads: main thread only.

#include "kit/gui/OMAppKitView.h"
#include "ui/iconview/QFIconViewAnimation.h"
#include "ui/iconview/QFIconViewAnimationContext.h"
#include "ui/iconview/QFIconViewDelegate.h"
#include "ui/iconview/QFPreviewPanel.h"
#include "ui/layers/QFIconLayer.h"
#include "ui/layers/QFIconViewItem.h"
#include "ui/layers/QFLabelLayer.h"
#include "ui/layers/QFLayerView.h"
#include "ui/window/QFDraggingSource.h"

#include <QPointer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAbstractScrollArea;

class QFIconView : public QFLayerView, public OMAppKitView, public QFDraggingSource {
    Q_OBJECT

public:
    enum Mode : int32_t { ModeInput = 0, ModeExtracting = 1, ModeOutput = 2 };
    static constexpr double kIconSize = 96;
    // How far a press must move before it drags its items out.
    static constexpr double kDragDistance = 4;

    // One item being dragged out: its file, and its tile's picture and name
    // where they show, in the view's coordinates.
    struct DraggingItem {
        QUrl url;
        QRectF frame;
        std::vector<QFIconLayer::DraggingImageComponent> components;
    };

    explicit QFIconView(QWidget* parent = nullptr);
    ~QFIconView() override;

    // Not owned; the owner clears it before it goes.
    QFIconViewDelegate* delegate() const { return delegate_; }
    void setDelegate(QFIconViewDelegate* delegate) { delegate_ = delegate; }

    const std::vector<std::shared_ptr<QFIconViewItem>>& items() const { return items_; }
    // An open preview panel follows: it shows the new pictures of the
    // selected items given again, and closes when none of them is.
    void setItems(std::vector<std::shared_ptr<QFIconViewItem>> items);
    // Shows the item's picture anew.
    void reloadItem(const QFIconViewItem& item);

    int32_t mode() const { return mode_; }
    // Stores the mode, nothing more.
    void setMode(int32_t mode) { mode_ = mode; }
    // `animated` is not consulted: every change animates.
    void setMode(int32_t mode, bool animated, std::function<void()> completionHandler);
    // Whether an animation runs or waits.
    bool isAnimating() const { return currentAnimation_ || pendingAnimation_; }
    const std::shared_ptr<QFIconViewAnimation>& currentAnimation() const {
        return currentAnimation_;
    }
    const std::shared_ptr<QFIconViewAnimation>& pendingAnimation() const {
        return pendingAnimation_;
    }

    QString statusText() const { return statusLabelLayer_->string(); }
    // The label takes the text's width where the text is wider than the
    // cloud, centred on it, so that the whole text is drawn.
    void setStatusText(const QString& text);

    // Ascending.
    std::vector<size_t> selectedIndexes() const;
    void setSelectedIndexes(const std::vector<size_t>& indexes);

    size_t numberOfColumns() const { return numberOfColumns_; }
    size_t numberOfRows() const { return numberOfRows_; }
    // The first tile whose picture or name is at `point` (view coordinates).
    std::optional<size_t> indexOfItemAtPoint(QPointF point) const;
    std::optional<DraggingItem> draggingItemForLayer(QFIconLayer& layer);

    // Sets the width and takes the height from the rows (see above).
    void setFrameSize(QSizeF size);
    void sizeToFitItems() { setFrameSize(QSizeF(size())); }

    // The layers the animations move.
    const std::shared_ptr<QFIconLayer>& inputItemLayer() const { return inputItemLayer_; }
    const std::vector<std::shared_ptr<QFIconLayer>>& outputItemLayers() const {
        return outputItemLayers_;
    }
    const std::shared_ptr<QFLayer>& statusLayer() const { return statusLayer_; }
    const std::shared_ptr<QFLayer>& hostLayer() const { return hostLayer_; }
    const std::shared_ptr<QFLayer>& selectionLayer() const { return selectionLayer_; }
    // The overlay that holds the layers during a hop, or null.
    QFLayerView* animationOverlay() const { return animationOverlay_; }
    bool isUsingAnimationOverlay() const { return isUsingAnimationOverlay_; }

    void updateLayersForWindowAppearanceChange();
    bool needsDisplayForChangedWindowAppearance() override;

    // Keys: the arrows move the selection to the neighbouring tile, not
    // past a row's ends or the grid's edges (with nothing selected, up and
    // left select the last item, down and right the first); with Shift
    // they do nothing; Escape clears the selection (while there is one,
    // the view takes it before the window's shortcuts); Select All and
    // Copy. Answers whether the key is one of these.
    bool interpretKeyEvent(QKeyEvent* event);
    enum class Direction { Up, Down, Left, Right };
    void moveSelection(Direction direction);
    void moveUp() { moveSelection(Direction::Up); }
    void moveDown() { moveSelection(Direction::Down); }
    void moveLeft() { moveSelection(Direction::Left); }
    void moveRight() { moveSelection(Direction::Right); }
    void selectAll();
    void cancelOperation();
    void copy();
    // Whether Copy is enabled: while something is selected.
    bool canCopy() const;
    // Shows the preview panel of the selection, over the view's window
    // and inside the screen's available area, or closes it; with nothing
    // selected, nothing opens.
    void quickLookPreviewItems();
    QFPreviewPanel* previewPanel() const { return previewPanel_; }

    // No drops inside the application, copies outside it.
    Qt::DropActions sourceOperationMaskForDraggingContext(bool insideApplication) const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    // Carries the items out of the window in a drag of the window system.
    virtual void beginDraggingSession(const std::vector<DraggingItem>& items, QPointF pressPoint);

private:
    class Context;

    void buildFixedLayers();
    void layoutLayers();
    void updateOutputItemLayout();
    // The width of a tile, and the columns of tiles in `width` (at least
    // one, at most one per item); for a view with items.
    double tilePitch() const;
    size_t columnsForWidth(double width) const;
    void selectionDidChange();
    void applyBackingScale();
    QAbstractScrollArea* enclosingScrollView() const;
    double scrollViewHeight() const;
    void startPendingAnimation();
    void animationDidRun(const std::shared_ptr<QFIconViewAnimation>& animation, int32_t mode);
    void runAnimation(const std::shared_ptr<QFIconViewAnimation>& animation);
    void moveHostLayerToOverlay();
    void moveHostLayerBack();
    void updateOverlayFrame();
    void reloadPreviewPanel();
    // After the items were set anew: see setItems.
    void previewPanelFollowsItems();
    // The files of the selected items, from the delegate.
    std::vector<QUrl> pasteboardURLsOfSelection();

    QFIconViewDelegate* delegate_ = nullptr;
    std::shared_ptr<Context> context_;
    std::shared_ptr<QFLayer> hostLayer_;
    std::shared_ptr<QFLayer> arrowsLayer_;
    std::shared_ptr<QFLayer> selectionLayer_;
    std::shared_ptr<QFIconLayer> inputItemLayer_;
    std::shared_ptr<QFLabelLayer> statusLabelLayer_;
    std::shared_ptr<QFLayer> statusLayer_;
    std::vector<std::shared_ptr<QFIconLayer>> outputItemLayers_;
    std::map<const QFIconViewItem*, std::shared_ptr<QFIconLayer>> keyedOutputItemLayers_;
    std::vector<std::shared_ptr<QFIconViewItem>> items_;
    size_t numberOfColumns_ = 0, numberOfRows_ = 0;

    bool isMouseDown_ = false;
    bool isSelecting_ = false;
    bool isExtendingSelection_ = false;
    bool didStartDrag_ = false;
    QPointF initialSelectionPoint_;
    std::vector<std::shared_ptr<QFIconLayer>> previousSelection_;

    QPointer<QFLayerView> animationOverlay_;
    bool isUsingAnimationOverlay_ = false;
    std::shared_ptr<QFIconViewAnimation> currentAnimation_, pendingAnimation_;
    int32_t mode_ = ModeInput;

    QPointer<QFPreviewPanel> previewPanel_;
};
