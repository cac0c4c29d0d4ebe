#pragma once
// The recents popover for the tests, with the real flow manager (its
// defaults in the tests' temporary folder): a popover under an anchor in a
// window of its own, recent flows of one document each, and hooks that
// record the flows started in a window and the files revealed.

#include "UiTestSupport.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/inputs/QFFlowInput.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/TypeIdentifier.h"
#include "ui/popovers/QFPopoverLabel.h"
#include "ui/popovers/QFPopoverListView.h"
#include "ui/recents/QFRecentRowView.h"
#include "ui/recents/QFRecentsController.h"
#include "ui/recents/QFRecentsPopover.h"

#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class RecentsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QImage glyph(40, 15, QImage::Format_ARGB32);
        glyph.fill(Qt::black);
        resources.image("RecentsHeaderTemplate", glyph).install();
        std::filesystem::create_directories(folder / "out");
        QFFlowInterfaceHooks hooks;
        hooks.startFlow = [this](const std::shared_ptr<QFFlow>& flow) { started.push_back(flow); };
        hooks.revealInFileViewer = [this](const std::string& path) { revealed.push_back(path); };
        QFFlowInterfaceHooks::install(std::move(hooks));
        removeAllFlows();
        host.setGeometry(100, 100, 400, 300);
        anchor = new QWidget(&host);
        anchor->setGeometry(180, 10, 40, 30);
        host.show();
    }
    void TearDown() override {
        QFRecentRowView::setMenuPresenter({});
        popover.reset();
        removeAllFlows();
        // Background runs end before the next test.
        lf::MainQueue::shared()->runUntil(
            [&] {
                for (const auto& flow : made) {
                    if (flow->status() == QFFlowStatusRunningWithoutUI) return false;
                }
                return true;
            },
            lf::test::kPatience);
        QFFlowInterfaceHooks::install({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void removeAllFlows() {
        auto manager = QFFlowManager::defaultManager();
        while (!manager->recentFlows().empty()) {
            // A copy: removing replaces the list the front is taken from.
            const std::shared_ptr<QFFlow> flow = manager->recentFlows().front();
            manager->removeFlow(flow);
        }
    }

    // A recent flow of one document; noted last, it comes first.
    std::shared_ptr<QFFlow> makeFlow(const std::string& name, QFFlowBehavior behavior,
                                     bool withOutput = true) {
        const std::filesystem::path document = folder / (name + ".psd");
        lf::test::writeFile(document, "not a document");
        auto input =
            std::make_shared<QFFlowInput>(std::vector<std::string>{lf::kTypePhotoshopImage});
        input->addInputWithURLs({document.string()});
        auto flow = std::make_shared<QFExportFlow>();
        flow->setInitialInput(input);
        if (withOutput) flow->setOutputDirectoryURL((folder / "out").string());
        QFFlowManager::defaultManager()->noteNewRecentFlow(flow);
        flow->setBehavior(behavior);
        made.push_back(flow);
        return flow;
    }

    QFRecentsController& showPopover() {
        popover = std::make_unique<QFRecentsPopover>(std::make_shared<QFRecentsController>());
        popover->setPopsToRootViewControllerWhenClosed(true);
        popover->showRelativeToRect(QRectF(anchor->rect()), anchor, Qt::BottomEdge);
        return *popover->recentsController();
    }

    QFRecentRowView* rowAt(uint64_t row) {
        return qobject_cast<QFRecentRowView*>(
            popover->recentsController()->listView()->rowViewAtRow(row, false));
    }

    lf::test::ScopedResources resources;
    lf::test::TemporaryDirectory folder;
    QWidget host;
    QWidget* anchor = nullptr;
    std::unique_ptr<QFRecentsPopover> popover;
    std::vector<std::shared_ptr<QFFlow>> made, started;
    std::vector<std::string> revealed;
};

// The status line of `row`.
inline QString statusOf(QFRecentRowView& row) {
    return row.statusLabel()->text();
}
