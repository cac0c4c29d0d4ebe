#pragma once
// QFDocumentController: the application's documents, all flow documents
// (QFFlowDocument): it opens them from files, makes untitled ones, keeps
// them in the order their windows were last brought forward, and shows the
// open panel and the alert of an error. Closing a document takes it out.
//
// Virtual where tests put a fake in its place (the panel, the alerts, the
// opening and making of documents).
//
// Threads: main thread only.

#include "platform/core/Error.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFFlowDocument;
class QWidget;

class QFDocumentController {
public:
    virtual ~QFDocumentController();

    // The one in use, made on first use; tests replace it (null goes back
    // to a new plain one).
    static QFDocumentController& shared();
    static void setShared(std::shared_ptr<QFDocumentController> controller);

    // Runs the open panel for documents and flow documents (QFOpenPanel);
    // the paths chosen, none when cancelled.
    virtual std::vector<std::string> URLsFromRunningOpenPanel();

    // The open document of that file brought forward, or a new one read
    // from it (with its windows, shown when `display`); null with the
    // error when it cannot be read.
    virtual std::shared_ptr<QFFlowDocument> openDocumentWithContentsOfURL(
        const std::string& path, bool display, std::optional<lf::Error>* error);
    // A new untitled document of `type`, not yet added.
    virtual std::shared_ptr<QFFlowDocument> makeUntitledDocumentOfType(
        const std::string& type, std::optional<lf::Error>* error);
    // A new untitled document, added; with its windows shown when
    // `display`.
    virtual std::shared_ptr<QFFlowDocument> openUntitledDocumentAndDisplay(
        bool display, std::optional<lf::Error>* error);

    virtual void addDocument(const std::shared_ptr<QFFlowDocument>& document);
    virtual void removeDocument(const QFFlowDocument& document);

    // Shows the error in an alert.
    virtual void presentError(const lf::Error& error);

    // Front to back: the document whose window came forward last first.
    const std::vector<std::shared_ptr<QFFlowDocument>>& orderedDocuments() const {
        return documents_;
    }
    // Moves the document to the front of the order.
    void noteDocumentCameForward(const QFFlowDocument& document);
    // The document that `window` belongs to, or null.
    std::shared_ptr<QFFlowDocument> documentForWindow(const QWidget* window) const;
    // The open document read from `path`, or null.
    std::shared_ptr<QFFlowDocument> documentForURL(const std::string& path) const;

protected:
    // A new, empty document, before it reads anything.
    virtual std::shared_ptr<QFFlowDocument> makeDocument() const;

private:
    std::vector<std::shared_ptr<QFFlowDocument>> documents_;
};
