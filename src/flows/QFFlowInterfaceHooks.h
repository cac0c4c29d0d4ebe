#pragma once
// QFFlowInterfaceHooks: the few places where the flows reach into the user
// interface. The interface installs its hooks at launch; without it (the
// headless road, tests) every hook has a plain default, named below.
//
// Main thread only: hooks are installed, read and called there.

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFExportFlow;
class QFFlow;
class QFFlowRunController;

struct QFFlowInterfaceHooks {
    // Asks for the folder to save a run controller's output into (a panel
    // choosing one folder, as a sheet on the controller's window, starting
    // at `initialDirectory`); calls `completion` with the folder, or with
    // none when the user cancelled. Default: cancelled.
    std::function<void(QFFlowRunController& controller,
                       const std::optional<std::string>& initialDirectory,
                       std::function<void(std::optional<std::string> directory)> completion)>
        chooseOutputDirectory;
    // Shows the path in the file manager: a folder is opened, a file shown
    // in its folder, never opened. Default: nothing.
    std::function<void(const std::string& path)> revealInFileViewer;
    // Asks for the user's attention once (the application is in the
    // background). Default: nothing.
    std::function<void()> requestUserAttention;
    // Whether the application is the active one. Default: no.
    std::function<bool()> isApplicationActive;
    // Shows the flow in a flow window that can take it, or in a new one.
    // Default: nothing.
    std::function<void(const std::shared_ptr<QFFlow>& flow)> startFlow;
    // The run controller that shows an export flow, with its view.
    // Default: a plain QFFlowRunController.
    std::function<std::shared_ptr<QFFlowRunController>(const std::shared_ptr<QFExportFlow>& flow)>
        makeExportFlowController;

    // The hooks in use: the installed ones, defaults where none was given.
    static const QFFlowInterfaceHooks& current();
    static void install(QFFlowInterfaceHooks hooks);
};
