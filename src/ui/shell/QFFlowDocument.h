#pragma once
// QFFlowDocument: the document behind every flow window. It stores nothing:
// it exists so that the document controller (QFDocumentController) can make
// untitled windows, open flow documents and close a window's document with
// it. What a window shows is its window controller's business
// (QFFlowWindowController).
//
// On disk a flow document is a folder with the extension "tsflow" holding
// one empty regular file, "Workflow". Reading ignores what the folder
// holds, so any flow document that can be reached opens; writing always
// leaves exactly that one empty file, replacing the folder as a whole.
//
// Threads: main thread only.

#include "platform/core/Result.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFFlowWindowController;

class QFFlowDocument : public std::enable_shared_from_this<QFFlowDocument> {
public:
    // The document type the desktop knows flow documents by.
    static constexpr const char* kTypeName = "application/x-layerflow-flow";
    static constexpr const char* kPathExtension = "tsflow";
    static constexpr const char* kWorkflowFileName = "Workflow";

    QFFlowDocument() = default;
    virtual ~QFFlowDocument();
    QFFlowDocument(const QFFlowDocument&) = delete;
    QFFlowDocument& operator=(const QFFlowDocument&) = delete;

    // Whether `path` names a flow document: its extension, in any case.
    static bool isFlowDocumentPath(const std::string& path);

    // The file the document was read from or saved to; none while untitled.
    const std::optional<std::string>& fileURL() const { return fileURL_; }
    void setFileURL(std::optional<std::string> path) { fileURL_ = std::move(path); }

    // Writes the package at `path`: a new folder with one empty "Workflow"
    // file takes the place of whatever was there, in one step.
    lf::Status writeToURL(const std::string& path) const;
    // Succeeds for anything that exists at `path`; the error of reaching it
    // otherwise.
    lf::Status readFromURL(const std::string& path);
    // An edited document is saved where it is, without asking.
    static bool autosavesInPlace() { return true; }

    // Makes the document's one window controller; virtual for documents of
    // tests that bring controllers of their own.
    virtual void makeWindowControllers();
    void addWindowController(const std::shared_ptr<QFFlowWindowController>& controller);
    void removeWindowController(const QFFlowWindowController& controller);
    const std::vector<std::shared_ptr<QFFlowWindowController>>& windowControllers() const {
        return windowControllers_;
    }
    // Shows every window of the document and brings it forward.
    void showWindows();
    // Of the window controllers, the last whose window is active, else the
    // first; null when there is none.
    QFFlowWindowController* mainWindowController() const;

    // Closes the windows and takes the document from the document
    // controller.
    void close();

private:
    std::optional<std::string> fileURL_;
    std::vector<std::shared_ptr<QFFlowWindowController>> windowControllers_;
};
