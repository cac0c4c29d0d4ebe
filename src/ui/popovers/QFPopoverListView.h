#pragma once
// QFPopoverListView: the list of the popovers, a small table of rows that
// a delegate describes (QFPopoverListViewDelegate.h).
//
// Rows lie at integer positions: each row's top is the sum of the heights
// (plus the row spacing) above it, truncated, so rows land on whole points
// while the heights add up unrounded; a row's view is as tall as the
// difference of two positions. Only the rows in sight have views; a view
// that leaves the sight goes into a reuse set of its identifier (its
// objectName), from which the delegate takes it back for another row
// (makeViewWithIdentifier). Views without an identifier are deleted.
//
// Between rows the list draws a faint separator where the delegate asks
// for one, never below the last row. Row frames move with the list's
// animator: 0.25 s for a view already shown when tiling animates, at once
// otherwise. The list is as tall as its rows (sizeHint); inside a smaller
// frame it scrolls and fades its edges (QFPopoverListScrollView.h).
//
// Threads: main thread only.

#include "kit/gui/OMAnimator.h"
#include "ui/popovers/QFPopoverListRowArray.h"
#include "ui/popovers/QFPopoverListViewDelegate.h"

#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QFPopoverListContentView;
class QFPopoverListScrollView;

class QFPopoverListView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kRowAnimationDuration = 0.25;

    // Rows from `first` to `first + length - 1`.
    struct RowRange {
        uint64_t location = 0, length = 0;
        bool operator==(const RowRange&) const = default;
    };

    explicit QFPopoverListView(QWidget* parent = nullptr);
    ~QFPopoverListView() override;

    QFPopoverListViewDelegate* delegate() const { return delegate_; }
    // Not owned; setting one reloads the list.
    void setDelegate(QFPopoverListViewDelegate* delegate);
    double rowSpacing() const { return rowSpacing_; }
    void setRowSpacing(double spacing) { rowSpacing_ = spacing; }
    // Whether the list bounces when scrolled past its ends: it never does
    // here, the value is kept for callers that ask.
    int verticalScrollElasticity() const { return verticalScrollElasticity_; }
    void setVerticalScrollElasticity(int elasticity) { verticalScrollElasticity_ = elasticity; }

    // Asks the delegate for everything anew.
    void reload();
    // Recomputes the positions of all rows, whatever `rows` holds.
    void noteHeightOfRowsWithIndexesChanged(const std::set<uint64_t>& rows);
    void tileWithAnimation(bool animated);
    void sizeToFitForAnimation(bool animated);

    uint64_t numberOfRows() const { return numberOfRows_; }
    // The top of each row in the content view, then the total height.
    const std::vector<int64_t>& rowPositions() const { return rowMinYIntegers_; }
    QWidget* rowViewAtRow(uint64_t row, bool makeIfNecessary);
    QWidget* makeViewWithIdentifier(const QString& identifier);
    // Puts a view aside for reuse (deletes one without identifier).
    void didRemoveRowView(QWidget* view, uint64_t row);

    RowRange visibleRowRange() const;
    // The last row whose top is at or above `point`.y: row 0 above the
    // first, the last row below the last, 0 for an empty list.
    uint64_t rowAtContentViewPoint(QPointF point) const;

    // Inserts rows that the delegate already counts, fading their views
    // in; the rows below slide down.
    void insertRowsAtIndexes(const std::set<uint64_t>& rows, int animation = 0);
    // Moves a row whose place the delegate already answers with the new
    // order; the views slide to their new places.
    void moveRowAtIndex(uint64_t from, uint64_t to);

    // Called by the content view for its drawing.
    void drawContentViewRect(QPainter& painter, const QRectF& rect);

    // No width of its own; the rows' height.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, 0}; }

    QFPopoverListContentView* contentView() const { return contentView_; }
    QFPopoverListScrollView* scrollView() const { return scrollView_; }
    // How many views the reuse set of `identifier` holds.
    size_t reusableViewCount(const QString& identifier) const;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect visibleContentRect() const;
    // Hides `view` from the content view.
    void removeFromContentView(QWidget* view);

    QFPopoverListViewDelegate* delegate_ = nullptr;
    double rowSpacing_ = 0;
    int verticalScrollElasticity_ = 0;
    uint64_t numberOfRows_ = 0;
    QFPopoverListRowArray rowViews_;
    std::vector<int64_t> rowMinYIntegers_{0};
    std::map<QString, std::vector<QPointer<QWidget>>> identifierToViewCacheMap_;
    bool isTiling_ = false;
    std::shared_ptr<OMAnimator> rowAnimator_;
    QFPopoverListContentView* contentView_;
    QFPopoverListScrollView* scrollView_;
    bool pressIsDoubleClick_ = false;
    QPointer<QWidget> lastWindow_;
};
