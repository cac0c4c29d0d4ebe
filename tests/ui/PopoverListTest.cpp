// The popover list: integer row positions, visible rows with views reused
// by identifier, separators, double clicks, the edge fade, and the label.

#include "UiTestSupport.h"
#include "ui/popovers/QFPopoverLabel.h"
#include "ui/popovers/QFPopoverListContentView.h"
#include "ui/popovers/QFPopoverListScrollView.h"
#include "ui/popovers/QFPopoverListView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// Rows of given heights; every view it makes is named "row" for reuse.
struct Rows : QFPopoverListViewDelegate {
    std::vector<double> heights;
    std::set<uint64_t> separatorsBelow;
    int viewsMade = 0;
    std::vector<std::set<uint64_t>> doubleClicks;

    uint64_t numberOfRowsInListView(QFPopoverListView&) override { return heights.size(); }
    QWidget* rowViewForRow(QFPopoverListView& list, uint64_t row) override {
        QWidget* view = list.makeViewWithIdentifier("row");
        if (!view) {
            view = new QWidget;
            view->setObjectName("row");
            ++viewsMade;
        }
        view->setProperty("row", QVariant::fromValue<qulonglong>(row));
        return view;
    }
    double heightOfRow(QFPopoverListView&, uint64_t row) override { return heights.at(row); }
    bool shouldDrawSeparatorBelowRow(QFPopoverListView&, uint64_t row) override {
        return separatorsBelow.contains(row);
    }
    void didDoubleClickRowsAtIndexes(QFPopoverListView&, const std::set<uint64_t>& rows) override {
        doubleClicks.push_back(rows);
    }
};

int shownRowViews(const QFPopoverListView& list) {
    int shown = 0;
    for (QObject* child : list.contentView()->children()) {
        auto* view = qobject_cast<QWidget*>(child);
        if (view && view->objectName() == "row" && !view->isHidden()) ++shown;
    }
    return shown;
}

}  // namespace

// Heights add up unrounded; each stored top is truncated, and the total
// comes last. A row's frame spans two positions.
TEST(QFPopoverListView, RowPositionsAreTruncatedSumsOfMixedHeights) {
    Rows rows;
    rows.heights = {46, 46, 46};
    QFPopoverListView list;
    list.resize(240, 400);
    list.setDelegate(&rows);
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0, 46, 92, 138}));
    EXPECT_EQ(list.sizeHint().height(), 138);

    rows.heights = {20.5, 20.5, 20.5};
    list.show();
    list.reload();
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0, 20, 41, 61}));
    EXPECT_EQ(list.rowViewAtRow(1, false)->geometry(), QRect(0, 20, 240, 21));

    rows.heights = {46, 0, 100, 10.7, 46};
    list.reload();
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0, 46, 46, 146, 156, 202}));
    EXPECT_EQ(list.rowAtContentViewPoint(QPointF(0, -5)), 0u);
    EXPECT_EQ(list.rowAtContentViewPoint(QPointF(0, 45.9)), 0u);
    EXPECT_EQ(list.rowAtContentViewPoint(QPointF(0, 46)), 2u);  // the empty row is passed
    EXPECT_EQ(list.rowAtContentViewPoint(QPointF(0, 150)), 3u);
    EXPECT_EQ(list.rowAtContentViewPoint(QPointF(0, 500)), 4u);

    rows.heights = {};
    list.reload();
    EXPECT_EQ(list.rowPositions(), (std::vector<int64_t>{0}));
    EXPECT_EQ(list.sizeHint().height(), 0);
    EXPECT_EQ(list.visibleRowRange(), (QFPopoverListView::RowRange{0, 0}));
    EXPECT_EQ(list.rowAtContentViewPoint(QPointF(0, 10)), 0u);
}

// Only rows in sight have views; views scrolled out go to the reuse set of
// their identifier and come back for the rows scrolled in.
TEST(QFPopoverListView, KeepsViewsForVisibleRowsAndReusesThemByIdentifier) {
    Rows rows;
    rows.heights.assign(20, 46);
    QFPopoverListView list;
    list.resize(240, 100);
    list.setDelegate(&rows);
    list.show();
    // Rows 0 to 2 are in sight (the bottom edge at 100 lies in row 2).
    EXPECT_EQ(list.visibleRowRange(), (QFPopoverListView::RowRange{0, 3}));
    EXPECT_EQ(shownRowViews(list), 3);
    EXPECT_EQ(rows.viewsMade, 3);

    list.scrollView()->verticalScrollBar()->setValue(460);  // rows 10 to 12
    EXPECT_EQ(list.visibleRowRange(), (QFPopoverListView::RowRange{10, 3}));
    EXPECT_EQ(shownRowViews(list), 3);
    EXPECT_EQ(rows.viewsMade, 3);  // the three views came back
    EXPECT_EQ(list.rowViewAtRow(0, false), nullptr);
    QWidget* row11 = list.rowViewAtRow(11, false);
    ASSERT_NE(row11, nullptr);
    EXPECT_EQ(row11->property("row").toULongLong(), 11u);
    EXPECT_EQ(row11->geometry(), QRect(0, 506, list.contentView()->width(), 46));

    list.reload();
    EXPECT_EQ(list.reusableViewCount("row"), 0u);  // all taken back for the rows in sight
    EXPECT_EQ(rows.viewsMade, 3);
}

// Separators go where the delegate asks, never below the last row: drawn
// as a faint line at the next row's top.
TEST(QFPopoverListView, DrawsSeparatorsBetweenRowsOnly) {
    Rows rows;
    rows.heights = {30, 30, 30};
    rows.separatorsBelow = {0, 2};
    QFPopoverListView list;
    list.resize(200, 90);
    list.setDelegate(&rows);
    QImage image(200, 90, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        list.drawContentViewRect(painter, QRectF(0, 0, 200, 90));
    }
    EXPECT_GT(qAlpha(image.pixel(100, 30)), 0);                           // below row 0
    EXPECT_EQ(qAlpha(image.pixel(100, 60)), 0);                           // not asked below row 1
    EXPECT_EQ(qAlpha(image.pixel(100, 89)), 0);                           // never below the last
    EXPECT_GT(qAlpha(image.pixel(100, 30)), qAlpha(image.pixel(2, 30)));  // fades to the ends
}

// A double click tells the delegate the row under it, from the release.
TEST(QFPopoverListView, DoubleClickNamesTheRowUnderIt) {
    Rows rows;
    rows.heights = {46, 46};
    QFPopoverListView list;
    list.resize(240, 92);
    list.setDelegate(&rows);
    list.show();
    auto send = [&](QEvent::Type type, QPoint at) {
        QMouseEvent event(type, QPointF(at), list.mapToGlobal(QPointF(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&list, &event);
    };
    send(QEvent::MouseButtonRelease, QPoint(10, 60));  // a single click
    send(QEvent::MouseButtonDblClick, QPoint(10, 60));
    send(QEvent::MouseButtonRelease, QPoint(10, 60));
    ASSERT_EQ(rows.doubleClicks.size(), 1u);
    EXPECT_EQ(rows.doubleClicks[0], (std::set<uint64_t>{1}));
}

// The edges fade when content lies beyond them: 3 points scrolled gives a
// quarter of the feather, so the outer alpha of the top band is
// 1 - sqrt(0.25) = 0.5 and it reaches opaque 12 points in.
TEST(QFPopoverListScrollView, FadesTheEdgesWithContentBeyondThem) {
    Rows rows;
    rows.heights.assign(10, 46);
    QFPopoverListView list;
    list.resize(240, 200);
    list.setDelegate(&rows);
    list.show();
    QFPopoverListScrollView& scroll = *list.scrollView();
    EXPECT_EQ(scroll.maskTopOpacity(), 0.0);
    EXPECT_EQ(scroll.maskBottomOpacity(), 1.0);
    QImage mask = scroll.maskImage();
    EXPECT_EQ(qAlpha(mask.pixel(10, 0)), 255);  // nothing above
    EXPECT_LE(qAlpha(mask.pixel(10, mask.height() - 1)), 12);

    scroll.verticalScrollBar()->setValue(3);
    EXPECT_DOUBLE_EQ(scroll.maskTopOpacity(), 0.25);
    mask = scroll.maskImage();
    // The top pixel row samples the gradient half a point in.
    const double expected = (0.5 + 0.5 * 0.5 / 12) * 255;
    EXPECT_NEAR(qAlpha(mask.pixel(10, 0)), expected, 3);
    EXPECT_EQ(qAlpha(mask.pixel(10, 12)), 255);
    EXPECT_EQ(qAlpha(mask.pixel(10, 100)), 255);
}

// The label's natural size is its text's, rounded up, plus 2 and the
// padding; a label type change measures the text anew.
TEST(QFPopoverLabel, NaturalSizeIsTextPlusTwoAndPadding) {
    QFPopoverLabel label;
    label.setPadding({3, 0, 6, 0});
    label.setText("Recents");
    const QSizeF text = label.textSize();
    EXPECT_EQ(text.height(), std::ceil(text.height()));
    EXPECT_EQ(label.intrinsicContentSize(), QSizeF(text.width() + 2, text.height() + 2 + 9));
    const double titleHeight = text.height();
    label.setLabelType(QFPopoverLabelTypeHeading);
    EXPECT_GT(label.textSize().height(), titleHeight);  // 13 points against 11
    label.setText("");
    EXPECT_EQ(label.intrinsicContentSize(), QSizeF(2, 11));
    // Centred between the paddings on whole points.
    label.setText("Recents");
    const QRectF rect = label.textRectInBounds(QRectF(0, 0, 100, 40));
    EXPECT_EQ(rect.top(), 3 + std::ceil((40 - 9 - label.textSize().height()) / 2));
}
