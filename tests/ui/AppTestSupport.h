#pragma once
// Fakes for the tests of the application shell and its flow windows: a
// document controller that records what it is asked and makes documents
// whose window controllers record the flows they are asked to start, a
// workspace that records what would have been opened or heard, and an
// image-editor bridge that answers after a delay.

#include "flows/QFExportFlowPlugIn.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "ui/shell/QFApplication.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/shell/QFDocumentController.h"
#include "ui/shell/QFFlowDocument.h"
#include "ui/shell/QFFlowWindowController.h"
#include "ui/shell/QFPhotoshopBridge.h"
#include "ui/shell/QFWorkspace.h"
#include "ui/window/QFWindow.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lf::test {

// A window controller that records the files it is asked to start a flow
// of, and answers canStartFlowWithURLs as told.
class RecordingWindowController : public QFFlowWindowController {
public:
    static std::shared_ptr<RecordingWindowController> create(bool acceptsURLs = true) {
        auto controller = std::shared_ptr<RecordingWindowController>(new RecordingWindowController);
        controller->acceptsURLs = acceptsURLs;
        return controller;
    }
    bool canStartFlowWithURLs(const std::vector<std::string>&) const override {
        return acceptsURLs;
    }
    bool startFlowWithURLs(const std::vector<std::string>& urls) override {
        startedURLs.push_back(urls);
        return true;
    }

    bool acceptsURLs = true;
    std::vector<std::vector<std::string>> startedURLs;
};

class RecordingDocument : public QFFlowDocument {
public:
    void makeWindowControllers() override {
        addWindowController(RecordingWindowController::create());
    }
    RecordingWindowController& controller() const {
        return static_cast<RecordingWindowController&>(*windowControllers().front());
    }
};

// Opens documents as the application does, as recording documents, and
// records the open and untitled requests and the errors presented.
class FakeDocumentController : public QFDocumentController {
public:
    std::shared_ptr<QFFlowDocument> openDocumentWithContentsOfURL(
        const std::string& path, bool display, std::optional<lf::Error>* error) override {
        opened.push_back(path);
        if (failOpeningWithoutError) return nullptr;
        return QFDocumentController::openDocumentWithContentsOfURL(path, display, error);
    }
    std::shared_ptr<QFFlowDocument> makeUntitledDocumentOfType(const std::string& type,
                                                               std::optional<lf::Error>*) override {
        untitledTypes.push_back(type);
        auto document = std::make_shared<RecordingDocument>();
        untitled.push_back(document);
        return document;
    }
    std::shared_ptr<QFFlowDocument> makeDocument() const override {
        return std::make_shared<RecordingDocument>();
    }
    void presentError(const lf::Error& error) override { presented.push_back(error); }
    std::vector<std::string> URLsFromRunningOpenPanel() override {
        return runsOpenPanel ? QFDocumentController::URLsFromRunningOpenPanel() : panelAnswer;
    }

    ~FakeDocumentController() override {
        for (const auto& document : std::vector(orderedDocuments()))
            document->close();
    }

    bool failOpeningWithoutError = false;
    // The panel itself runs, instead of answering with `panelAnswer`.
    bool runsOpenPanel = false;
    std::vector<std::string> panelAnswer;
    std::vector<std::string> opened;
    std::vector<std::string> untitledTypes;
    std::vector<std::shared_ptr<RecordingDocument>> untitled;
    std::vector<lf::Error> presented;
};

class RecordingWorkspace : public QFWorkspace {
public:
    void openURL(const QUrl& url) override { openedURLs.push_back(url); }
    void beep() override { ++beeps; }

    std::vector<QUrl> openedURLs;
    int beeps = 0;
    // Whether a file manager selects the items shown (else their folders
    // open), and the items it was asked to select, call by call.
    bool fileManagerSelects = false;
    std::vector<std::vector<QUrl>> selectedItems;

protected:
    bool selectItemsInFileManager(const std::vector<QUrl>& items) override {
        if (fileManagerSelects) selectedItems.push_back(items);
        return fileManagerSelects;
    }
};

// An editor that runs and shows `documentURL`, answering after `delay`.
class SlowBridge : public QFPhotoshopBridge {
public:
    SlowBridge(std::optional<std::string> documentURL, std::chrono::milliseconds delay)
        : documentURL_(std::move(documentURL)), delay_(delay) {}
    bool isPhotoshopRunning() const override { return true; }
    std::optional<std::string> activeDocumentURL() const override {
        ++queries;
        std::this_thread::sleep_for(delay_);
        return documentURL_;
    }

    mutable std::atomic<int> queries{0};

private:
    std::optional<std::string> documentURL_;
    std::chrono::milliseconds delay_;
};

// Installs the fakes and a delegate for one test, and takes them away
// again, closing every window it made.
class ScopedApplication {
public:
    ScopedApplication()
        : documents(std::make_shared<FakeDocumentController>()),
          workspace(std::make_shared<RecordingWorkspace>()) {
        QFDocumentController::setShared(documents);
        QFWorkspace::setShared(workspace);
        QFApplication::shared().setDelegate(&delegate);
        delegate.setBackgroundUpdateCheck([this] { ++backgroundUpdateChecks; });
    }
    ~ScopedApplication() {
        QFApplication::shared().setDelegate(nullptr);
        QFWorkspace::setShared(nullptr);
        QFDocumentController::setShared(nullptr);
        documents.reset();
        QFPhotoshopBridge::setShared(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::shared_ptr<FakeDocumentController> documents;
    std::shared_ptr<RecordingWorkspace> workspace;
    QFApplicationDelegate delegate;
    int backgroundUpdateChecks = 0;
};

}  // namespace lf::test
