#pragma once
// QFExportFlowHost: what the export flow view asks of the application
// around it: the example documents (offered when a document has no tagged
// layers), and a new flow in the view's own window for files dropped while
// an error shows. The application implements it; tests use a fake.
//
// Threads: main thread only.

#include <string>
#include <vector>

class QFFlowRunController;

class QFExportFlowHost {
public:
    virtual ~QFExportFlowHost() = default;
    // Opens the application's example documents.
    virtual void showExampleFiles() = 0;
    // Starts a flow of `urls` in the window that shows `controller`;
    // whether the files were taken.
    virtual bool startFlowWithURLs(QFFlowRunController& controller,
                                   const std::vector<std::string>& urls) = 0;
};
