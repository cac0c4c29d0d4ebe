#include "IconViewTestSupport.h"
#include "UiTestSupport.h"
#include "platform/writing/AtomicFile.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportDisplayItem.h"
#include "ui/layers/QFLabelLayer.h"
#include "ui/layers/QFPreviewLayer.h"

#include <QBuffer>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <gtest/gtest.h>

using lf::test::IconViewInScrollView;

namespace {

// Records the drags it would start.
class RecordingIconView final : public QFIconView {
public:
    std::vector<std::vector<DraggingItem>> drags;

protected:
    void beginDraggingSession(const std::vector<DraggingItem>& items, QPointF) override {
        drags.push_back(items);
    }
};

QPointF positionOf(const QFIconView& view, size_t index) {
    return view.outputItemLayers().at(index)->position();
}

void press(QFIconView& view, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&view, &event);
}

std::vector<size_t> indexes(std::initializer_list<size_t> list) {
    return list;
}

// Hands out one file for every item.
class OneFileDelegate final : public QFIconViewDelegate {
public:
    explicit OneFileDelegate(QUrl url) : url_(std::move(url)) {}
    std::optional<QUrl> pasteboardWriterForItem(QFIconView&, QFIconViewItem&) override {
        return url_;
    }
    std::optional<QUrl> fileURLForItem(QFIconView&, QFIconViewItem&) override { return url_; }

private:
    QUrl url_;
};

}  // namespace

// Twenty 160-point tiles in a view 500 wide: 3 columns and 7 rows from x
// 10; the view is 1120 high, or the scroll view's height when larger.
TEST(QFIconView, GridOfTwenty) {
    IconViewInScrollView s(QSize(500, 300));
    s.view->setItems(lf::test::solidItems(20));
    EXPECT_EQ(s.view->numberOfColumns(), 3u);
    EXPECT_EQ(s.view->numberOfRows(), 7u);
    EXPECT_EQ(s.view->width(), 500);
    EXPECT_EQ(s.view->height(), 1120);
    EXPECT_EQ(positionOf(*s.view, 0), QPointF(90, 80));
    EXPECT_EQ(positionOf(*s.view, 4), QPointF(250, 240));
    EXPECT_EQ(positionOf(*s.view, 19), QPointF(250, 1040));

    s.scrollView.resize(500, 1500);
    QApplication::processEvents();
    EXPECT_EQ(s.view->height(), 1500);
    // Centred vertically while the grid fits: (1500 - 1120) / 2 above it.
    EXPECT_EQ(positionOf(*s.view, 0), QPointF(90, 270));
}

// Narrower than a tile still makes one column; one item sits in the middle
// both ways, and at the top of a view shorter than a tile.
TEST(QFIconView, NarrowAndSingle) {
    IconViewInScrollView narrow(QSize(100, 300));
    narrow.view->setItems(lf::test::solidItems(3));
    EXPECT_EQ(narrow.view->numberOfColumns(), 1u);
    EXPECT_EQ(narrow.view->height(), 480);
    EXPECT_EQ(positionOf(*narrow.view, 2), QPointF(std::floor((100 - 160) / 2.0) + 80, 400));

    IconViewInScrollView single(QSize(500, 400));
    single.view->setItems(lf::test::solidItems(1));
    EXPECT_EQ(positionOf(*single.view, 0), QPointF(250, 200));
    single.scrollView.resize(500, 100);
    QApplication::processEvents();
    EXPECT_EQ(single.view->height(), 160);
    EXPECT_EQ(positionOf(*single.view, 0), QPointF(250, 80));
}

// The status text is drawn whole under the cloud: where it is wider than
// the cloud its label grows to it, about the cloud's middle.
TEST(QFIconView, StatusLabelTakesTheWidthOfItsText) {
    lf::test::ScopedResources resources;
    QImage cloud(80, 50, QImage::Format_ARGB32);
    cloud.fill(Qt::white);
    resources.image("ExtractingCloud", cloud).install();
    QFIconView view;
    const auto& status = *view.statusLayer();
    std::shared_ptr<QFLabelLayer> label;
    for (const auto& sublayer : status.sublayers()) {
        if (auto found = std::dynamic_pointer_cast<QFLabelLayer>(sublayer)) label = found;
    }
    ASSERT_TRUE(label);
    ASSERT_EQ(status.bounds().width(), 80);

    view.setStatusText("Extracting…");
    const double text = label->statusTextImageSize().width();
    ASSERT_GT(text, 80);  // wider than the cloud in the bold 14-point font
    EXPECT_GE(label->frame().width(), text);
    EXPECT_NEAR(label->frame().center().x(), 40, 0.5);

    view.setStatusText("Done");
    EXPECT_EQ(label->frame().x(), 0);
    EXPECT_EQ(label->frame().width(), 80);
}

// The same items again keep their tiles and selection; items dropped and
// given again get fresh, unselected tiles.
TEST(QFIconView, ReusesTilesByIdentity) {
    IconViewInScrollView s(QSize(500, 300));
    auto items = lf::test::solidItems(3);
    s.view->setItems(items);
    const auto tiles = s.view->outputItemLayers();
    s.view->setSelectedIndexes({1});
    s.view->setItems(items);
    EXPECT_EQ(s.view->outputItemLayers(), tiles);
    EXPECT_EQ(s.view->selectedIndexes(), indexes({1}));

    s.view->setItems({items[0]});
    EXPECT_EQ(tiles[1]->superlayer(), nullptr);
    s.view->setItems(items);
    EXPECT_NE(s.view->outputItemLayers()[1], tiles[1]);
    EXPECT_EQ(s.view->outputItemLayers()[0], tiles[0]);
    EXPECT_TRUE(s.view->selectedIndexes().empty());
}

// Clicks select one item; Shift or Ctrl adds (and never removes the
// clicked item); a rubber band selects what it covers, toggling it when
// extending.
TEST(QFIconView, MouseSelection) {
    IconViewInScrollView s(QSize(500, 400));
    s.view->setItems(lf::test::solidItems(6));
    s.view->setMode(QFIconView::ModeOutput);
    s.click(s.pictureCentre(0));
    EXPECT_EQ(s.view->selectedIndexes(), indexes({0}));
    s.click(s.pictureCentre(2), Qt::ShiftModifier);
    s.click(s.pictureCentre(4), Qt::ControlModifier);
    s.click(s.pictureCentre(2), Qt::ShiftModifier);
    EXPECT_EQ(s.view->selectedIndexes(), indexes({0, 2, 4}));
    s.click(s.pictureCentre(1));
    EXPECT_EQ(s.view->selectedIndexes(), indexes({1}));

    // A band from empty space over the pictures of items 0 and 1.
    const QPointF from(2, 2);
    const QPointF to(s.pictureCentre(1));
    s.mouse(QEvent::MouseButtonPress, from, Qt::ShiftModifier);
    EXPECT_FALSE(s.view->selectionLayer()->isHidden());
    s.mouse(QEvent::MouseMove, to, Qt::ShiftModifier);
    EXPECT_EQ(s.view->selectedIndexes(), indexes({0}));  // 0 joins, 1 leaves
    s.mouse(QEvent::MouseButtonRelease, to);
    EXPECT_TRUE(s.view->selectionLayer()->isHidden());
    s.mouse(QEvent::MouseButtonPress, from);
    s.mouse(QEvent::MouseMove, to);
    EXPECT_EQ(s.view->selectedIndexes(), indexes({0, 1}));
    s.mouse(QEvent::MouseButtonRelease, to);
}

// Outside mode 2, and while an animation runs or waits, a press belongs to
// the window (which moves) or to nobody.
TEST(QFIconView, MouseOnlyInOutputModeAtRest) {
    IconViewInScrollView s(QSize(500, 400));
    s.view->setItems(lf::test::solidItems(2));
    // What the view passes on reaches its parent, the scroll view's viewport.
    struct PassedOn : QObject {
        bool pressed = false;
        bool eventFilter(QObject*, QEvent* event) override {
            pressed = pressed || event->type() == QEvent::MouseButtonPress;
            return false;
        }
    } passedOn;
    s.scrollView.viewport()->installEventFilter(&passedOn);
    s.click(s.pictureCentre(0));
    EXPECT_TRUE(passedOn.pressed);
    EXPECT_TRUE(s.view->selectedIndexes().empty());

    s.view->setMode(QFIconView::ModeOutput);
    s.view->setMode(QFIconView::ModeInput, true, {});  // a fade starts
    ASSERT_TRUE(s.view->isAnimating());
    s.click(s.pictureCentre(0));
    EXPECT_TRUE(s.view->selectedIndexes().empty());
}

// The keyboard table's edges: no move past a row's ends or the grid's
// edges; with nothing selected up and left take the last item, down and
// right the first; Shift-arrows do nothing; Escape clears; Select All.
TEST(QFIconView, KeyboardEdges) {
    IconViewInScrollView s(QSize(500, 400));
    s.view->setItems(lf::test::solidItems(8));  // rows 0 1 2 / 3 4 5 / 6 7
    QFIconView& view = *s.view;
    press(view, Qt::Key_Up);
    EXPECT_EQ(view.selectedIndexes(), indexes({7}));
    press(view, Qt::Key_Right);
    EXPECT_EQ(view.selectedIndexes(), indexes({7}));  // past the last item
    press(view, Qt::Key_Down);
    EXPECT_EQ(view.selectedIndexes(), indexes({7}));  // last row
    press(view, Qt::Key_Up);
    press(view, Qt::Key_Right);
    EXPECT_EQ(view.selectedIndexes(), indexes({5}));
    press(view, Qt::Key_Right);
    EXPECT_EQ(view.selectedIndexes(), indexes({5}));  // end of the row
    press(view, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedIndexes(), indexes({5}));
    press(view, Qt::Key_Escape);
    EXPECT_TRUE(view.selectedIndexes().empty());
    press(view, Qt::Key_Left);
    EXPECT_EQ(view.selectedIndexes(), indexes({7}));
    press(view, Qt::Key_Left);
    press(view, Qt::Key_Left);
    EXPECT_EQ(view.selectedIndexes(), indexes({6}));  // start of the row
    press(view, Qt::Key_Up);
    press(view, Qt::Key_Up);
    press(view, Qt::Key_Up);
    EXPECT_EQ(view.selectedIndexes(), indexes({0}));
    press(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view.selectedIndexes().size(), 8u);
    press(view, Qt::Key_Escape);
    press(view, Qt::Key_Right);
    EXPECT_EQ(view.selectedIndexes(), indexes({0}));
}

// Copy puts the selected items' files on the clipboard, skipping items
// without one, and is enabled only with a selection.
TEST(QFIconView, CopiesFileURLs) {
    IconViewInScrollView s(QSize(500, 400));
    lf::test::FileDelegate delegate;
    s.view->setDelegate(&delegate);
    auto items = lf::test::solidItems(2);
    items.push_back(std::make_shared<lf::test::SolidItem>("x-nothing.png"));
    s.view->setItems(items);
    EXPECT_FALSE(s.view->canCopy());
    s.view->selectAll();
    EXPECT_TRUE(s.view->canCopy());
    press(*s.view, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile("/items/icon-0.png"),
                                         QUrl::fromLocalFile("/items/icon-1.png")}));
    s.view->setDelegate(nullptr);
}

// A drag starts once the pointer has moved 4 points, with the selected
// items that have a file; none without such items.
TEST(QFIconView, DragsOutAfterFourPoints) {
    QFIconViewScrollView scrollView;
    auto* view = new RecordingIconView;
    scrollView.setDocumentView(view);
    scrollView.resize(500, 400);
    lf::test::FileDelegate delegate;
    view->setDelegate(&delegate);
    auto items = lf::test::solidItems(2);
    items.push_back(std::make_shared<lf::test::SolidItem>("x-nothing.png"));
    view->setItems(items);
    view->setMode(QFIconView::ModeOutput);
    view->selectAll();

    const auto& tile = view->outputItemLayers()[0];
    const QPointF at =
        view->hostLayer()->convertRect(tile->contentLayer()->frame(), tile.get()).center();
    auto send = [&](QEvent::Type type, QPointF point) {
        QMouseEvent event(
            type, point, point, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, at);
    send(QEvent::MouseMove, at + QPointF(3, 0));
    EXPECT_TRUE(view->drags.empty());
    EXPECT_EQ(view->selectedIndexes().size(), 3u);  // pressing a selected item keeps them
    send(QEvent::MouseMove, at + QPointF(3, 3));
    ASSERT_EQ(view->drags.size(), 1u);
    ASSERT_EQ(view->drags[0].size(), 2u);
    EXPECT_EQ(view->drags[0][1].url, QUrl::fromLocalFile("/items/icon-1.png"));
    EXPECT_EQ(view->drags[0][0].components.size(), 2u);
    send(QEvent::MouseButtonRelease, at);

    view->setSelectedIndexes({2});
    send(QEvent::MouseButtonPress,
         view->hostLayer()
             ->convertRect(view->outputItemLayers()[2]->contentLayer()->frame(),
                           view->outputItemLayers()[2].get())
             .center());
    send(QEvent::MouseMove, QPointF(0, 0));
    EXPECT_EQ(view->drags.size(), 1u);
    view->setDelegate(nullptr);
}

// Space opens the preview of the selection, and nothing without one;
// arrow keys reaching the panel move the selection, and the preview
// follows.
TEST(QFIconView, PreviewFollowsTheSelection) {
    IconViewInScrollView s(QSize(500, 400));
    lf::test::FileDelegate delegate;
    s.view->setDelegate(&delegate);
    s.view->setItems(lf::test::solidItems(3));
    press(*s.view, Qt::Key_Space);
    EXPECT_TRUE(!s.view->previewPanel() || !s.view->previewPanel()->isVisible())
        << "a panel of nothing opened";
    s.view->setSelectedIndexes({0});
    press(*s.view, Qt::Key_Space);
    QFPreviewPanel* panel = s.view->previewPanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(panel->isVisible());
    ASSERT_EQ(panel->items().size(), 1u);
    EXPECT_EQ(panel->items()[0].url, QUrl::fromLocalFile("/items/icon-0.png"));
    // No such file: the item's own picture shows.
    EXPECT_FALSE(panel->currentImage().isNull());
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(panel, &right);
    EXPECT_EQ(s.view->selectedIndexes(), indexes({1}));
    EXPECT_EQ(panel->currentTitle(), "icon-1.png");
    press(*s.view, Qt::Key_Space);
    EXPECT_FALSE(panel->isVisible());
    s.view->setDelegate(nullptr);
}

// An output larger than Qt lets one image be (128 MB: some 33.5 million
// pixels) still shows in its tile and in the preview, each read no larger
// than it shows: the tile at its size, the preview at the screen's.
TEST(QFIconView, ALargeOutputShowsInItsTileAndThePreview) {
    constexpr int kWidth = 8000, kHeight = 5200;  // 41.6 million pixels
    QByteArray png;
    {
        QImage flat(kWidth, kHeight, QImage::Format_RGB32);
        flat.fill(QColor(30, 140, 220));
        QBuffer buffer(&png);
        ASSERT_TRUE(flat.save(&buffer, "PNG"));
    }
    lf::test::TemporaryDirectory folder;
    const std::string file = (folder / "bg@2x.png").string();
    const lf::Data data(std::vector<uint8_t>(png.begin(), png.end()));
    ASSERT_TRUE(lf::writeFileAtomically(file, data));
    auto output = std::make_shared<QFFlowOutputItem>(std::vector<std::string>{"bg@2x.png"});
    output->setData(data);
    auto item = std::make_shared<QFExportDisplayItem>("bg@2x.png");
    item->setOutputItem(output);

    IconViewInScrollView s(QSize(500, 400));
    OneFileDelegate delegate(QUrl::fromLocalFile(QString::fromStdString(file)));
    s.view->setDelegate(&delegate);
    s.view->setItems({item});
    const auto* tile =
        dynamic_cast<QFPreviewLayer*>(s.view->outputItemLayers().at(0)->contentLayer().get());
    ASSERT_TRUE(tile && tile->image());
    const double side = QFIconView::kIconSize * s.view->devicePixelRatioF();
    EXPECT_LE(tile->image()->size().width(), side);
    EXPECT_NEAR(tile->image()->size().height(), side * kHeight / kWidth, 1);

    s.view->setSelectedIndexes({0});
    press(*s.view, Qt::Key_Space);
    QFPreviewPanel* panel = s.view->previewPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    const QImage& preview = panel->currentImage();
    ASSERT_FALSE(preview.isNull());
    // The file's own picture (not the tile's), as large as the screen.
    const QScreen& screen = *panel->screen();
    const QSize screenPixels = (QSizeF(screen.size()) * screen.devicePixelRatio()).toSize();
    EXPECT_EQ(preview.size(), QSize(kWidth, kHeight).scaled(screenPixels, Qt::KeepAspectRatio));
    EXPECT_EQ(preview.pixelColor(preview.width() / 2, preview.height() / 2), QColor(30, 140, 220));
    s.view->setDelegate(nullptr);
}
