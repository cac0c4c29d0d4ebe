// The panel of File > Open…: a flow document, which is a folder, is chosen
// as a file (Open on it, Return on its typed path, a double click) and
// opens in a flow window; other folders are still gone into.

#include "AppTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/shell/QFOpenPanel.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class OpenPanel : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(scratch / "my.tsflow");
        lf::test::writeFile(scratch / "my.tsflow" / "Workflow", "");
        fs::create_directories(scratch / "sub");
        lf::test::writeFile(scratch / "a.psd", "");
        panel.setDirectory(QString::fromStdString(scratch.path().string()));
        panel.show();
    }
    // Types `text` into the panel's name field, which has the focus as
    // when a user types, and presses Return.
    static void type(QFOpenPanel& into, const std::string& text) {
        auto* field = into.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(field);
        into.activateWindow();
        field->setFocus();
        ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
            [&] {
                QCoreApplication::processEvents();
                return field->hasFocus();
            },
            lf::test::kPatience));
        field->clear();
        QTest::keyClicks(field, QString::fromStdString(text));
        QTest::keyClick(field, Qt::Key_Return);
    }
    std::string flow() const { return (scratch / "my.tsflow").string(); }

    lf::test::TemporaryDirectory scratch;
    QFOpenPanel panel;
};

TEST_F(OpenPanel, OpenOnAFlowDocumentChoosesIt) {
    panel.selectFile(QString::fromStdString(flow()));
    QTest::mouseClick(panel.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open),
                      Qt::LeftButton);
    EXPECT_EQ(panel.result(), QDialog::Accepted);
    EXPECT_EQ(panel.chosenPaths(), std::vector<std::string>{flow()});
}

TEST_F(OpenPanel, ReturnOnATypedPathChoosesFlowsAndFilesAndGoesIntoOtherFolders) {
    type(panel, "sub");
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(fs::path(panel.directory().absolutePath().toStdString()), scratch / "sub");

    type(panel, "\"" + flow() + "\" \"" + (scratch / "a.psd").string() + "\"");
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.chosenPaths(),
              (std::vector<std::string>{flow(), (scratch / "a.psd").string()}));
}

TEST_F(OpenPanel, ADoubleClickChoosesAFlowDocument) {
    auto* view = panel.findChild<QTreeView*>("treeView");
    ASSERT_TRUE(view);
    QModelIndex item;  // once the folder is listed
    ASSERT_TRUE(lf::MainQueue::shared()->runUntil(
        [&] {
            QCoreApplication::processEvents();
            const QModelIndex first = view->model()->index(0, 0, view->rootIndex());
            item = view->model()->match(first, Qt::DisplayRole, "my.tsflow").value(0);
            return item.isValid();
        },
        lf::test::kPatience));
    // A double click comes after the first click's press and release.
    const QPoint centre = view->visualRect(item).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
    EXPECT_EQ(panel.result(), QDialog::Accepted);
    EXPECT_EQ(panel.chosenPaths(), std::vector<std::string>{flow()});
    // The next panel opens beside it.
    EXPECT_EQ(panel.directory().absolutePath().toStdString(), scratch.path().string());
}

// File > Open… with the panel itself: the flow document chosen opens in
// its own window, as `layerflow my.tsflow` opens it.
TEST_F(OpenPanel, AFlowDocumentChosenOpensInAFlowWindow) {
    panel.hide();
    lf::test::ScopedApplication app;
    app.documents->runsOpenPanel = true;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* modal = qobject_cast<QFOpenPanel*>(QApplication::activeModalWidget())) {
            answer.stop();
            type(*modal, flow());
            if (modal->isVisible()) modal->reject();  // gone into the folder
        }
    });
    answer.start(10);
    app.delegate.openFilesForFlow();

    EXPECT_EQ(app.documents->opened, std::vector<std::string>{flow()});
    ASSERT_FALSE(app.documents->orderedDocuments().empty());
    const auto& opened = app.documents->orderedDocuments().front();
    EXPECT_EQ(opened->fileURL(), flow());
    EXPECT_TRUE(opened->windowControllers().front()->window()->isVisible());
    EXPECT_TRUE(app.documents->untitled.empty());
}

}  // namespace
