#include "ui/popovers/QFPopoverListView.h"

#include "kit/gui/OMDrawing.h"
#include "ui/popovers/QFPopoverListContentView.h"
#include "ui/popovers/QFPopoverListScrollView.h"
#include "ui/popovers/QFPopoverStyle.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace {

// How long an overlay scroller stays away while the list grows, so it does
// not flash.
constexpr int kScrollerRestoreDelayMs = 100;

// A row's alpha is an opacity effect, present only while the row is not
// opaque or fading in.
QGraphicsOpacityEffect* rowOpacityEffect(QWidget& view, bool create) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view.graphicsEffect());
    if (!effect && create) {
        effect = new QGraphicsOpacityEffect(&view);  // owned by the view
        view.setGraphicsEffect(effect);
    }
    return effect;
}

void setRowAlpha(QWidget& view, double alpha) {
    if (alpha >= 1) {
        if (rowOpacityEffect(view, false)) view.setGraphicsEffect(nullptr);
        return;
    }
    rowOpacityEffect(view, true)->setOpacity(alpha);
}

}  // namespace

QFPopoverListView::QFPopoverListView(QWidget* parent)
    : QWidget(parent),
      rowAnimator_(OMAnimator::create()),
      contentView_(new QFPopoverListContentView),
      scrollView_(new QFPopoverListScrollView(this)) {
    contentView_->setOwnerListView(this);
    contentView_->resize(width(), 0);
    scrollView_->setGeometry(rect());
    scrollView_->setWidget(contentView_);  // owned by the scroll view
    contentView_->setAutoFillBackground(false);
    reload();
}

QFPopoverListView::~QFPopoverListView() {
    // The views go with the content view; their animations end first.
    for (QWidget* view : rowViews_) {
        if (view) rowAnimator_->removeAnimationsForTarget(view);
    }
}

void QFPopoverListView::setDelegate(QFPopoverListViewDelegate* delegate) {
    delegate_ = delegate;
    reload();
}

void QFPopoverListView::reload() {
    for (uint64_t row = 0; row < rowViews_.count(); ++row) {
        if (QWidget* view = rowViews_.objectAtIndex(row)) didRemoveRowView(view, row);
    }
    rowViews_.setCount(0);
    numberOfRows_ = delegate_ ? delegate_->numberOfRowsInListView(*this) : 0;
    rowViews_.setCount(numberOfRows_);
    noteHeightOfRowsWithIndexesChanged({});
    // The content takes the rows' height before the rows in sight are
    // tiled: the sight ends where the content does, and a list taller than
    // its former content (one whose popover was not shown to shrink with
    // it) would leave the rows beyond that without views, and no resize
    // would come to tile them later.
    sizeToFitForAnimation(false);
    tileWithAnimation(false);
}

void QFPopoverListView::noteHeightOfRowsWithIndexesChanged(const std::set<uint64_t>&) {
    rowMinYIntegers_.clear();
    rowMinYIntegers_.reserve(numberOfRows_ + 1);
    // Heights add up unrounded; only the stored tops are whole points.
    double y = 0;
    for (uint64_t row = 0; row < numberOfRows_; ++row) {
        rowMinYIntegers_.push_back(static_cast<int64_t>(y));
        y += (delegate_ ? delegate_->heightOfRow(*this, row) : 0) + rowSpacing_;
    }
    rowMinYIntegers_.push_back(static_cast<int64_t>(y));
}

QRect QFPopoverListView::visibleContentRect() const {
    const QRect sight(0, scrollView_->verticalScrollBar()->value(),
                      scrollView_->viewport()->width(), scrollView_->viewport()->height());
    return sight.intersected(QRect(QPoint(), contentView_->size()));
}

void QFPopoverListView::removeFromContentView(QWidget* view) {
    view->hide();
}

void QFPopoverListView::tileWithAnimation(bool animated) {
    if (isTiling_) return;
    isTiling_ = true;
    const QRect visible = visibleContentRect();
    const RowRange range = visibleRowRange();
    auto inRange = [&](uint64_t row) {
        return row >= range.location && row < range.location + range.length;
    };
    if (!animated) {
        for (uint64_t row = 0; row < rowViews_.count(); ++row) {
            QWidget* view = rowViews_.objectAtIndex(row);
            if (!view || view->geometry().intersects(visible) || inRange(row)) continue;
            didRemoveRowView(view, row);
            rowViews_.replaceObjectAtIndex(row, nullptr);
        }
    }
    for (uint64_t row = range.location; row < range.location + range.length; ++row)
        rowViewAtRow(row, true);

    const int width = contentView_->width();
    for (uint64_t row = 0; row < rowViews_.count() && row < numberOfRows_; ++row) {
        QWidget* view = rowViews_.objectAtIndex(row);
        if (!view) continue;
        const QRect frame(0, static_cast<int>(rowMinYIntegers_[row]), width,
                          static_cast<int>(rowMinYIntegers_[row + 1] - rowMinYIntegers_[row]));
        const bool shown = view->parentWidget() == contentView_ && !view->isHidden();
        if (!shown) {
            if (view->parentWidget() != contentView_) view->setParent(contentView_);
            view->show();
        }
        rowAnimator_->setValue(frame, "geometry", view,
                               animated && shown ? kRowAnimationDuration : 0.0);
    }
    isTiling_ = false;
}

void QFPopoverListView::sizeToFitForAnimation(bool animated) {
    QScrollBar* scroller = scrollView_->verticalScrollBar();
    const bool overlayScroller =
        scrollView_->style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, scrollView_);
    if (animated && overlayScroller && scrollView_->height() >= contentView_->height() &&
        scroller->isHidden()) {
        scrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QTimer::singleShot(kScrollerRestoreDelayMs, scrollView_, [scrollView = scrollView_] {
            scrollView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        });
    }
    contentView_->setIntrinsicContentHeight(static_cast<double>(rowMinYIntegers_.back()));
    updateGeometry();
}

QSize QFPopoverListView::sizeHint() const {
    return {width(), static_cast<int>(rowMinYIntegers_.back())};
}

QWidget* QFPopoverListView::rowViewAtRow(uint64_t row, bool makeIfNecessary) {
    if (row >= rowViews_.count()) return nullptr;
    QWidget* view = rowViews_.objectAtIndex(row);
    if (!view && makeIfNecessary && delegate_) {
        view = delegate_->rowViewForRow(*this, row);
        if (view) {
            // The content view owns every row view, shown or not.
            if (view->parentWidget() != contentView_) {
                view->setParent(contentView_);
                view->hide();
            }
            setRowAlpha(*view, 1.0);
            rowViews_.replaceObjectAtIndex(row, view);
        }
    }
    return view;
}

QWidget* QFPopoverListView::makeViewWithIdentifier(const QString& identifier) {
    if (identifier.isEmpty()) return nullptr;
    const auto found = identifierToViewCacheMap_.find(identifier);
    if (found == identifierToViewCacheMap_.end()) return nullptr;
    auto& reusable = found->second;
    while (!reusable.empty()) {
        QPointer<QWidget> view = reusable.back();
        reusable.pop_back();
        if (view) return view;
    }
    return nullptr;
}

void QFPopoverListView::didRemoveRowView(QWidget* view, uint64_t) {
    removeFromContentView(view);
    const QString identifier = view->objectName();
    if (identifier.isEmpty()) {
        view->deleteLater();
        return;
    }
    rowAnimator_->removeAnimationsForTarget(view);
    if (QGraphicsOpacityEffect* effect = rowOpacityEffect(*view, false))
        rowAnimator_->removeAnimationsForTarget(effect);
    auto& reusable = identifierToViewCacheMap_[identifier];
    if (std::find(reusable.begin(), reusable.end(), view) == reusable.end())
        reusable.emplace_back(view);
}

size_t QFPopoverListView::reusableViewCount(const QString& identifier) const {
    const auto found = identifierToViewCacheMap_.find(identifier);
    return found == identifierToViewCacheMap_.end() ? 0 : found->second.size();
}

QFPopoverListView::RowRange QFPopoverListView::visibleRowRange() const {
    if (numberOfRows_ == 0) return {};
    const QRect visible = visibleContentRect();
    const uint64_t first = rowAtContentViewPoint(QPointF(visible.x(), visible.y()));
    uint64_t last = rowAtContentViewPoint(QPointF(visible.x(), visible.y() + visible.height()));
    if (last >= numberOfRows_) last = numberOfRows_ - 1;
    return {first, last < first ? 0 : last - first + 1};
}

uint64_t QFPopoverListView::rowAtContentViewPoint(QPointF point) const {
    uint64_t low = 0, count = numberOfRows_;
    while (count > 1) {
        const uint64_t half = count / 2;
        const uint64_t middle = low + half;
        if (static_cast<double>(rowMinYIntegers_[middle]) <= point.y()) {
            low = middle;
            count -= half;
        } else {
            count = half;
        }
    }
    return low;
}

void QFPopoverListView::insertRowsAtIndexes(const std::set<uint64_t>& rows, int) {
    const RowRange range = visibleRowRange();
    if (range.location > 0) {
        rowViewAtRow(range.location - 1, true);
        tileWithAnimation(true);
    }
    rowAnimator_->runAnimationGroup(
        [&](OMAnimatorContext& group) {
            std::vector<uint64_t> inserted;
            for (uint64_t row : rows) {
                if (row > rowViews_.count()) continue;
                rowViews_.insertObject(nullptr, row);
                ++numberOfRows_;
                inserted.push_back(row);
            }
            noteHeightOfRowsWithIndexesChanged({});
            for (uint64_t row : inserted) {
                QWidget* view = rowViewAtRow(row, true);
                if (!view) continue;
                setRowAlpha(*view, 0.0);
                group.setValue(1.0, "opacity", rowOpacityEffect(*view, true));
            }
        },
        [list = QPointer<QFPopoverListView>(this)] {
            if (list) list->sizeToFitForAnimation(false);
        });
    tileWithAnimation(true);
    sizeToFitForAnimation(true);
}

void QFPopoverListView::moveRowAtIndex(uint64_t from, uint64_t to) {
    if (from == to || from >= rowViews_.count() || to >= rowViews_.count()) return;
    QWidget* view = rowViews_.objectAtIndex(from);
    rowViews_.removeObjectAtIndex(from);
    rowViews_.insertObject(view, to);
    noteHeightOfRowsWithIndexesChanged({});
    tileWithAnimation(true);
}

void QFPopoverListView::drawContentViewRect(QPainter& painter, const QRectF&) {
    if (!delegate_) return;
    const RowRange range = visibleRowRange();
    const double width = contentView_->width();
    for (uint64_t row = range.location; row < range.location + range.length; ++row) {
        if (row + 1 >= numberOfRows_ || !delegate_->shouldDrawSeparatorBelowRow(*this, row))
            continue;
        QFPopoverStyle::drawListSeparatorInRect(
            painter, QRectF(0, static_cast<double>(rowMinYIntegers_[row + 1]), width, 1));
    }
}

void QFPopoverListView::mouseDoubleClickEvent(QMouseEvent* event) {
    pressIsDoubleClick_ = true;
    event->accept();
}

void QFPopoverListView::mouseReleaseEvent(QMouseEvent* event) {
    if (std::exchange(pressIsDoubleClick_, false) && delegate_) {
        std::set<uint64_t> rows;
        if (numberOfRows_ > 0)
            rows.insert(rowAtContentViewPoint(OMEventLocationInView(*event, *contentView_)));
        delegate_->didDoubleClickRowsAtIndexes(*this, rows);
    }
    QWidget::mouseReleaseEvent(event);
}

bool QFPopoverListView::event(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        scrollView_->setGeometry(rect());
    } else if ((event->type() == QEvent::ParentChange || event->type() == QEvent::Show) &&
               window() != lastWindow_) {
        lastWindow_ = window();
        if (delegate_) delegate_->listViewDidMoveToWindow(*this);
    }
    return QWidget::event(event);
}
