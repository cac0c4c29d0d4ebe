#include "ui/shell/QFDocumentController.h"

#include "ui/shell/QFFlowDocument.h"
#include "ui/shell/QFFlowWindowController.h"
#include "ui/shell/QFOpenPanel.h"
#include "ui/window/QFErrorAlert.h"
#include "ui/window/QFWindow.h"

#include <QApplication>

#include <algorithm>

namespace {

std::shared_ptr<QFDocumentController>& sharedController() {
    static auto controller = std::make_shared<QFDocumentController>();
    return controller;
}

bool isDocumentWindowOf(const QFFlowDocument& document, const QWidget* window) {
    return std::any_of(document.windowControllers().begin(), document.windowControllers().end(),
                       [&](const auto& controller) { return controller->window() == window; });
}

}  // namespace

QFDocumentController::~QFDocumentController() = default;

QFDocumentController& QFDocumentController::shared() {
    return *sharedController();
}

void QFDocumentController::setShared(std::shared_ptr<QFDocumentController> controller) {
    sharedController() =
        controller ? std::move(controller) : std::make_shared<QFDocumentController>();
}

std::vector<std::string> QFDocumentController::URLsFromRunningOpenPanel() {
    QFOpenPanel panel(QApplication::activeWindow());
    if (panel.exec() != QDialog::Accepted) return {};
    return panel.chosenPaths();
}

std::shared_ptr<QFFlowDocument> QFDocumentController::openDocumentWithContentsOfURL(
    const std::string& path, bool display, std::optional<lf::Error>* error) {
    if (auto open = documentForURL(path)) {
        if (display) open->showWindows();
        return open;
    }
    auto document = makeDocument();
    if (auto read = document->readFromURL(path); !read) {
        if (error) *error = read.error();
        return nullptr;
    }
    document->setFileURL(path);
    addDocument(document);
    document->makeWindowControllers();
    if (display) document->showWindows();
    return document;
}

std::shared_ptr<QFFlowDocument> QFDocumentController::makeUntitledDocumentOfType(
    const std::string& type, std::optional<lf::Error>* error) {
    if (type != QFFlowDocument::kTypeName) {
        if (error) *error = lf::Error("NSCocoaErrorDomain", 256, {{"type", type}});
        return nullptr;
    }
    return makeDocument();
}

std::shared_ptr<QFFlowDocument> QFDocumentController::makeDocument() const {
    return std::make_shared<QFFlowDocument>();
}

std::shared_ptr<QFFlowDocument> QFDocumentController::openUntitledDocumentAndDisplay(
    bool display, std::optional<lf::Error>* error) {
    auto document = makeUntitledDocumentOfType(QFFlowDocument::kTypeName, error);
    if (!document) return nullptr;
    addDocument(document);
    if (display) {
        document->makeWindowControllers();
        document->showWindows();
    }
    return document;
}

void QFDocumentController::addDocument(const std::shared_ptr<QFFlowDocument>& document) {
    if (!document || std::find(documents_.begin(), documents_.end(), document) != documents_.end())
        return;
    documents_.insert(documents_.begin(), document);
}

void QFDocumentController::removeDocument(const QFFlowDocument& document) {
    std::erase_if(documents_, [&](const auto& d) { return d.get() == &document; });
}

void QFDocumentController::presentError(const lf::Error& error) {
    QFAlertWithError(error, QApplication::activeWindow())->exec();
}

void QFDocumentController::noteDocumentCameForward(const QFFlowDocument& document) {
    auto found = std::find_if(documents_.begin(), documents_.end(),
                              [&](const auto& d) { return d.get() == &document; });
    if (found != documents_.end()) std::rotate(documents_.begin(), found, found + 1);
}

std::shared_ptr<QFFlowDocument> QFDocumentController::documentForWindow(
    const QWidget* window) const {
    for (const auto& document : documents_) {
        if (isDocumentWindowOf(*document, window)) return document;
    }
    return nullptr;
}

std::shared_ptr<QFFlowDocument> QFDocumentController::documentForURL(
    const std::string& path) const {
    for (const auto& document : documents_) {
        if (document->fileURL() == path) return document;
    }
    return nullptr;
}
