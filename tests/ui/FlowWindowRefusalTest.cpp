// What a flow window refuses, and how it says why: paths that cannot be
// taken and folders without documents, on sheets of the window in the
// words of the command line; drops on a running flow; a save that fails.

#include "FlowWindowTestSupport.h"
#include "ui/iconview/QFIconView.h"

#include <QMimeData>
#include <QUrl>

#include <set>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// A path opened or dropped that cannot be taken (a link to nothing or to
// no document, a FIFO) leaves the window as it was and says why on a sheet
// of the window, in the words of the command line, one refusal after
// another; a link to a document opens the document, under the link's path.
TEST_F(FlowWindows, ALinkOpensItsDocumentAndABrokenOneSaysWhy) {
    const fs::path dangling = scratch / "dangling.psd", notes = scratch / "notes.psd",
                   linked = scratch / "linked.psd", fifo = scratch / "fifo.psd";
    fs::create_symlink(scratch / "missing.psd", dangling);
    lf::test::writeFile(scratch / "notes.txt", "notes");
    fs::create_symlink(scratch / "notes.txt", notes);
    fs::create_symlink(document("01-plain.psd"), linked);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);

    app.delegate.openFiles({dangling.string()});
    QMessageBox* alert = waitForAlertSheet();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), "open " + dangling.string() + ": Is a link to nothing");
    EXPECT_TRUE(onlyWindow().canStartAnything());
    dismiss(alert);

    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(QString::fromStdString(notes.string())),
                  QUrl::fromLocalFile(QString::fromStdString(fifo.string()))});
    QFDraggingInfo info;
    info.mimeData = &drag;
    EXPECT_EQ(onlyWindow().performDragOperation(info), false);
    for (const std::string& said :
         {notes.string() + " is not a Photoshop document (.psd or .psb)",
          "open " + fifo.string() + ": Is a named pipe (FIFO), not a file or folder"}) {
        alert = waitForAlertSheet();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text().toStdString(), said);
        dismiss(alert);
    }
    EXPECT_TRUE(onlyWindow().canStartAnything());

    app.delegate.openFiles({linked.string()});
    EXPECT_EQ(readyFlowView().iconView()->items().size(), 1u);
    EXPECT_EQ(onlyWindow().runningFlow()->inputURLs(), std::set<std::string>{linked.string()});
}

// An empty folder, opened or dropped, starts nothing: the window stays idle
// and says on a sheet that the folder holds no Photoshop documents.
TEST_F(FlowWindows, AnEmptyFolderSaysItHoldsNoDocuments) {
    const fs::path empty = scratch / "empty";
    fs::create_directories(empty / "nothing here");
    const std::string said = "“empty” holds no Photoshop documents";

    app.delegate.openFiles({empty.string()});
    QMessageBox* alert = waitForAlertSheet();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), said);
    EXPECT_FALSE(alert->informativeText().isEmpty());
    EXPECT_TRUE(onlyWindow().canStartAnything());
    dismiss(alert);

    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(QString::fromStdString(empty.string()))});
    QFDraggingInfo info;
    info.mimeData = &drag;
    EXPECT_EQ(onlyWindow().performDragOperation(info), true);
    alert = waitForAlertSheet();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), said);
    dismiss(alert);
    EXPECT_TRUE(onlyWindow().canStartAnything());
    EXPECT_EQ(onlyWindow().runningFlow(), nullptr);
}

TEST_F(FlowWindows, ARunningWindowRefusesDropsAndCancellingAsksNothing) {
    app.delegate.openFiles({document("01-plain.psd")});
    readyFlowView();
    QFFlowWindowController& window = onlyWindow();
    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(QString::fromStdString(document("02-formats.psd")))});
    QFDraggingInfo info;
    info.mimeData = &drag;
    EXPECT_EQ(window.draggingEntered(info), Qt::IgnoreAction);
    EXPECT_FALSE(window.canStartFlowWithURLs({document("02-formats.psd")}));

    choose(QFAction::CancelFlow);
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil([&] { return window.canStartAnything(); },
                                                  lf::test::kPatience));
    lf::MainQueue::shared()->drain();
    EXPECT_EQ(window.repeatAutomaticallyAlert(), nullptr);
    EXPECT_EQ(window.draggingEntered(info), Qt::CopyAction);  // idle again
    EXPECT_FALSE(fs::exists(out));
    // Nobody saves or cancels in an idle window.
    QFApplicationMenu& menu = *window.menuButton()->menu();
    menu.validate();
    EXPECT_FALSE(menu.itemWithAction(QFAction::SaveFlowOutput)->isEnabled());
    EXPECT_FALSE(menu.itemWithAction(QFAction::CancelFlow)->isEnabled());
}

// A save that fails says why on a sheet of the window, which has no title
// bar: the alert's text is the error's description (here naming the output
// folder, which is a file), its informative text the failure reason.
TEST_F(FlowWindows, AFailedSaveShowsTheErrorOnItsSheet) {
    lf::test::writeFile(out, "a file where the folder should be");
    app.delegate.openFiles({document("01-plain.psd")});
    QFExportFlowController& view = readyFlowView();
    saveWhenReady();
    QMessageBox* alert = waitForAlertSheet();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(),
              "The output folder “" + out.string() + "” is a file, not a folder");
    EXPECT_FALSE(onlyWindow().canStartAnything());  // the flow stays, to be saved elsewhere
    dismiss(alert);

    view.didFailToSaveOutputWithError(
        lf::Error("test", 1,
                  {{lf::kLocalizedDescriptionKey, std::string("The output could not be saved.")},
                   {lf::kLocalizedFailureReasonErrorKey, std::string("The disk is full.")}}));
    alert = waitForAlertSheet();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), "The output could not be saved.");
    EXPECT_EQ(alert->informativeText().toStdString(), "The disk is full.");
}

}  // namespace
