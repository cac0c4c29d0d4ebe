// The export flow view driven by real runs: of a flow whose runs stand in
// for the export (tests/flows/FlowTestSupport.h), and of the export itself
// on a tagged document. Waits follow the main queue, never the clock.

#include "../flows/FlowTestSupport.h"
#include "UiTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlowManager.h"
#include "flows/runs/QFExportFlowError.h"
#include "platform/files/Data.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFExportDisplayItem.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/iconview/QFIconView.h"
#include "ui/iconview/QFPreviewPanel.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFWindow.h"
#include "ui/window/QFWindowLabel.h"

#include <QMimeData>
#include <gtest/gtest.h>

#include <chrono>

namespace fs = std::filesystem;

namespace {

class FakeApplication final : public QFExportFlowHost {
public:
    void showExampleFiles() override { ++examplesShown; }
    bool startFlowWithURLs(QFFlowRunController&, const std::vector<std::string>& urls) override {
        started.push_back(urls);
        return true;
    }
    int examplesShown = 0;
    std::vector<std::vector<std::string>> started;
};

// The window's side of closing: the controller leaves the window.
class WindowHost final : public QFFlowRunControllerHost {
public:
    explicit WindowHost(QFWindow& window) : window_(window) {}
    void closeFlowController(QFFlowRunController& controller, QFFlowCloseReason reason) override {
        reasons.push_back(reason);
        controller.willDisappearFromUI();
        window_.popContentViewControllerAnimated(false);
    }
    std::vector<QFFlowCloseReason> reasons;

private:
    QFWindow& window_;
};

class ExportFlowView : public ::testing::Test {
protected:
    void SetUp() override {
        QFFlowInterfaceHooks hooks;
        hooks.chooseOutputDirectory = [this](QFFlowRunController&,
                                             const std::optional<std::string>&,
                                             std::function<void(std::optional<std::string>)> done) {
            ++savePanels;
            done(std::nullopt);
        };
        QFFlowInterfaceHooks::install(hooks);
        window.resize(600, 500);
        window.pushContentViewController(std::make_shared<QFViewController>(), false);
        window.show();
    }
    void TearDown() override {
        if (flow) QFFlowManager::defaultManager()->removeFlow(flow);
        QFFlowInterfaceHooks::install({});
    }

    // Shows `flow` of the documents `names` in the window and runs it.
    void start(std::shared_ptr<QFFlow> newFlow, const std::vector<fs::path>& documents) {
        flow = std::move(newFlow);
        flow->setInitialInput(photoshopInput(documents));
        controller = std::make_shared<QFExportFlowController>(flow, application);
        controller->setHost(windowHost);
        controller->willAppearInUI();
        window.pushContentViewController(controller, false);
        controller->willRunFlowForInitialInput();
        controller->runFlowForInitialInput();
    }
    void writeDocument(const std::string& name, const std::string& bytes, time_t second) {
        lf::test::writeFile(folder / name, bytes);
        setModificationSecond(folder / name, second);
    }
    void rerun() {
        flow->input()->detectInput();
        controller->flowInputDidChange(flow);
    }
    bool waitFor(const std::function<bool()>& done) {
        return lf::MainQueue::shared()->runUntil(done, lf::test::kPatience);
    }
    bool showsOutputs() {
        return controller->iconView()->mode() == QFIconView::ModeOutput &&
               !controller->iconView()->isAnimating() &&
               window.titleView() == (QWidget*)controller->flowTitleView();
    }
    bool showsError() {
        return controller->isShowingError() &&
               controller->iconView()->mode() == QFIconView::ModeInput;
    }
    QString title() const { return controller->flowTitleLabel()->text(); }

    lf::test::TemporaryDirectory folder;
    QFWindow window;
    std::shared_ptr<FakeApplication> application = std::make_shared<FakeApplication>();
    std::shared_ptr<WindowHost> windowHost = std::make_shared<WindowHost>(window);
    std::shared_ptr<QFFlow> flow;
    std::shared_ptr<QFExportFlowController> controller;
    int savePanels = 0;
};

}  // namespace

// Outputs sorted with numbers by value, the counted title and Save; a
// re-run keeps the items of the paths it produces again.
TEST_F(ExportFlowView, ShowsSortedOutputsWithTitleAndSave) {
    for (const char* name : {"icon-10.psd", "icon-2.psd", "b.psd"})
        writeDocument(name, name, 1'000'000);
    start(std::make_shared<FakeExportFlow>(),
          {folder / "icon-10.psd", folder / "icon-2.psd", folder / "b.psd"});
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    std::vector<std::string> paths;
    for (const auto& item : controller->iconView()->items())
        paths.push_back(item->label().toStdString());
    EXPECT_EQ(paths, (std::vector<std::string>{"out/b.png", "out/icon-2.png", "out/icon-10.png"}));
    EXPECT_EQ(title(), "3 items ready");
    EXPECT_TRUE(controller->offersSave());
    controller->saveFlowOutput();
    EXPECT_EQ(savePanels, 1);

    const auto before = controller->iconView()->items();
    writeDocument("b.psd", "b, again", 1'000'001);
    rerun();
    ASSERT_TRUE(waitFor([&] { return !controller->isRunning(); }));
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(controller->iconView()->items(), before);
}

// A run that succeeds after a failed one shows the outputs (through mode
// 1 to 2), the title for one item and Save, with the error gone.
TEST_F(ExportFlowView, SuccessAfterFailureShowsTheOutputs) {
    writeDocument("a.psd", "fail", 2'000'000);
    start(std::make_shared<FakeExportFlow>(), {folder / "a.psd"});
    ASSERT_TRUE(waitFor([&] { return showsError(); }));
    EXPECT_FALSE(controller->offersSave());
    EXPECT_TRUE(controller->errorPresenter()->isVisible());

    writeDocument("a.psd", "fine", 2'000'001);
    rerun();
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    EXPECT_FALSE(controller->isShowingError());
    EXPECT_EQ(controller->iconView()->items().size(), 1u);
    EXPECT_EQ(title(), "1 item ready");
    EXPECT_TRUE(controller->offersSave());
    for (const auto& tile : controller->iconView()->outputItemLayers())
        EXPECT_EQ(tile->presentationValue("opacity"), 1);
}

// A run that makes no output counts its none in the title.
TEST_F(ExportFlowView, ARunWithoutOutputsSaysZeroItems) {
    start(std::make_shared<FakeExportFlow>(), {folder.path()});  // an empty folder
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    EXPECT_TRUE(controller->iconView()->items().empty());
    EXPECT_EQ(title(), "0 items ready");
}

// A changed-input run that fails after outputs were shown takes Save away
// at once: the run emptied the output.
TEST_F(ExportFlowView, FailedRerunWithdrawsSave) {
    writeDocument("a.psd", "fine", 3'000'000);
    start(std::make_shared<FakeExportFlow>(), {folder / "a.psd"});
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    writeDocument("a.psd", "fail", 3'000'001);
    rerun();
    ASSERT_TRUE(waitFor([&] { return !controller->isRunning(); }));
    EXPECT_FALSE(controller->offersSave());
    EXPECT_NE(window.titleView(), (QWidget*)controller->flowTitleView());
    controller->saveFlowOutput();
    EXPECT_EQ(savePanels, 0);
    ASSERT_TRUE(waitFor([&] { return showsError(); }));

    // The error's button closes the flow.
    controller->errorPresenter()->dispatchPrimaryButton();
    EXPECT_EQ(windowHost->reasons, std::vector<QFFlowCloseReason>{QFFlowCloseReasonCancelled});
}

// No tagged layers: the error offers the examples through this controller;
// one error at a time; drops from the view itself are refused, others add
// input, or start afresh while an error shows.
TEST_F(ExportFlowView, ErrorsAndDrops) {
    writeDocument("a.psd", "fine", 4'000'000);
    start(std::make_shared<FakeExportFlow>(), {folder / "a.psd"});
    const lf::Error plain = QFExportFlowError(QFExportFlowFailure::scanFailed);
    EXPECT_FALSE(controller->wrapErrorIfNecessary(plain).recoveryAttempter());
    const lf::Error wrapped =
        controller->wrapErrorIfNecessary(QFExportFlowError(QFExportFlowFailure::noTaggedLayers));
    ASSERT_TRUE(wrapped.recoveryAttempter());
    EXPECT_EQ(wrapped.localizedRecoveryOptions(),
              std::vector<std::string>{QFResources::shared()->localizedString(
                  "export-flow.error.no-tagged-layers.view-examples")});
    EXPECT_TRUE(wrapped.recoveryAttempter()->attemptRecovery(wrapped, 0));
    EXPECT_EQ(application->examplesShown, 1);
    EXPECT_FALSE(controller->attemptRecoveryFromError(plain, 0));

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile((folder / "b.psd").string().c_str())});
    QFDraggingInfo info;
    info.mimeData = &files;
    info.source = controller->iconView();
    EXPECT_EQ(controller->draggingEntered(info), Qt::IgnoreAction);
    info.source = nullptr;
    EXPECT_EQ(controller->draggingEntered(info), Qt::CopyAction);
    writeDocument("b.psd", "fine", 4'000'001);
    EXPECT_EQ(controller->performDragOperation(info), true);
    EXPECT_EQ(flow->input()->inputURLs().size(), 2u);

    EXPECT_TRUE(controller->presentError(wrapped));
    EXPECT_FALSE(controller->presentError(plain));
    EXPECT_EQ(controller->performDragOperation(info), true);
    EXPECT_EQ(windowHost->reasons, std::vector<QFFlowCloseReason>{QFFlowCloseReasonCancelled});
    EXPECT_EQ(application->started,
              std::vector<std::vector<std::string>>{{(folder / "b.psd").string()}});
}

// A tile dragged out of a real export is a file holding the output's bytes,
// kept for the next drag; its folder goes when the flow closes.
TEST_F(ExportFlowView, DraggedOutFilesGoWithTheFlow) {
    const fs::path document = lf::test::sharedFile("psd-tagged/01-plain.psd");
    if (document.empty() || !fs::exists(document)) GTEST_SKIP() << "no shared documents";
    start(std::make_shared<QFExportFlow>(), {document});
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    QFIconView& view = *controller->iconView();
    ASSERT_FALSE(view.items().empty());
    auto& item = dynamic_cast<QFExportDisplayItem&>(*view.items().front());
    ASSERT_TRUE(item.image(QSize(96, 96)));  // the output's own picture
    const auto url = controller->pasteboardWriterForItem(view, item);
    ASSERT_TRUE(url);
    const fs::path file = url->toLocalFile().toStdString();
    const auto written = lf::Data::readFile(file.string());
    ASSERT_TRUE(written);
    EXPECT_TRUE(*written == item.data());
    EXPECT_EQ(controller->fileURLForItem(view, item), url);
    const fs::path base = controller->temporaryBaseURL();
    EXPECT_EQ(file.string().rfind(base.string(), 0), 0u);

    controller->cancelFlow();
    EXPECT_EQ(windowHost->reasons, std::vector<QFFlowCloseReason>{QFFlowCloseReasonCancelled});
    EXPECT_FALSE(fs::exists(base));
}

// The open preview follows its output as the document is replaced: by one
// whose output of the same name shows another picture (the preview shows
// it), then by one without that output (the preview closes). A preview
// open when a run fails, which empties the output, closes too.
TEST_F(ExportFlowView, ThePreviewFollowsItsOutput) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    time_t second = 5'000'000;
    auto documentLike = [](const std::string& name) {
        const auto bytes = lf::Data::readFile(lf::test::sharedFile("psd-tagged/" + name));
        return bytes ? std::string(bytes->stringView()) : std::string();
    };
    auto replaceDocument = [&](const std::string& bytes) {
        writeDocument("d.psd", bytes, ++second);
        rerun();
        ASSERT_TRUE(waitFor([&] { return !controller->isRunning(); }));
        lf::MainQueue::shared()->drain();
    };
    // Previews the output `name`, which the view must show.
    auto preview = [&](const QString& name) -> QFPreviewPanel* {
        QFIconView& view = *controller->iconView();
        for (size_t i = 0; i < view.items().size(); ++i)
            if (view.items()[i]->label() == name) view.setSelectedIndexes({i});
        EXPECT_EQ(view.selectedIndexes().size(), 1u) << name.toStdString();
        view.quickLookPreviewItems();
        return view.previewPanel();
    };
    // The picture of the output `name` of the last run.
    auto outputPicture = [&](const QString& name) {
        for (const auto& item : controller->iconView()->items())
            if (item->label() == name)
                return QImage::fromData(dynamic_cast<QFExportDisplayItem&>(*item).data().span())
                    .convertToFormat(QImage::Format_ARGB32);
        return QImage();
    };
    auto shown = [](const QFPreviewPanel& panel) {
        return panel.currentImage().convertToFormat(QImage::Format_ARGB32);
    };

    writeDocument("d.psd", documentLike("09-slices.psd"), second);
    start(std::make_shared<QFExportFlow>(), {folder / "d.psd"});
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    QFPreviewPanel* panel = preview("bg.png");
    ASSERT_TRUE(panel && panel->isVisible());
    const QImage first = shown(*panel);
    EXPECT_EQ(first.size(), QSize(100, 200));

    replaceDocument(documentLike("14-empty-layer.psd"));
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->currentTitle(), "bg.png");
    EXPECT_EQ(shown(*panel).size(), QSize(100, 150));
    EXPECT_TRUE(shown(*panel) == outputPicture("bg.png")) << "the preview shows another picture";

    replaceDocument(documentLike("01-plain.psd"));
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    EXPECT_FALSE(panel->isVisible()) << "the preview stays open on an output that is gone";

    panel = preview("pixel.png");
    ASSERT_TRUE(panel && panel->isVisible());
    replaceDocument("not a document");
    ASSERT_TRUE(waitFor([&] { return showsError(); }));
    EXPECT_FALSE(panel->isVisible());
}

// A window reads a document as the export does, where its layers are: a
// tagged document followed by a hole to 64 GiB shows its output; a valid
// header and nothing else shows what it holds, no tagged layer.
TEST_F(ExportFlowView, ADocumentOf64GiBIsReadOnlyWhereItsLayersAre) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    constexpr uintmax_t k64GiB = uintmax_t{64} << 30;
    const fs::path big = folder / "big.psd";
    fs::copy_file(lf::test::sharedFile("psd-tagged/01-plain.psd"), big);
    fs::resize_file(big, k64GiB);
    start(std::make_shared<QFExportFlow>(), {big});
    ASSERT_TRUE(waitFor([&] { return showsOutputs(); }));
    ASSERT_EQ(controller->iconView()->items().size(), 1u);
    EXPECT_EQ(controller->iconView()->items()[0]->label(), "pixel.png");

    fs::resize_file(big, 26);
    fs::resize_file(big, k64GiB);
    setModificationSecond(big, 6'000'000);
    rerun();
    ASSERT_TRUE(waitFor([&] { return showsError(); }));
    EXPECT_EQ(controller->errorPresenter()->title(),
              QString::fromStdString(
                  QFExportFlowError(QFExportFlowFailure::noTaggedLayers).localizedDescription()));
}
