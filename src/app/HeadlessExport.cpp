#include "HeadlessExport.h"

#include "app/LaunchPaths.h"
#include "flows/QFExportFlow.h"
#include "flows/QFExportFlowPlugIn.h"
#include "flows/QFFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowRunController.h"
#include "flows/QFGivenPath.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "flows/runs/QFFlowOutputItem.h"
#include "flows/shared/QFConfinedPath.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/TypeIdentifier.h"

#include <filesystem>
#include <optional>

namespace {

// Ends the road with what the run and the save report.
class HeadlessController : public QFFlowRunController {
public:
    HeadlessController(std::shared_ptr<QFFlow> flow, std::ostream& err)
        : QFFlowRunController(std::move(flow)), err_(err) {}

    void didRunFlowForInitialInputWithResult(bool success,
                                             const std::optional<lf::Error>& error) override {
        if (success) {
            tryToFinishBySavingOutput();
            return;
        }
        fail(error ? *error : lf::Error());
    }
    void didFailToSaveOutputWithError(const lf::Error& error) override { fail(error); }

    std::optional<HeadlessExportStatus> status;

private:
    void fail(const lf::Error& error) {
        err_ << "layerflow: " << lf::describe(error) << '\n';
        status = HeadlessExportFailed;
    }
    std::ostream& err_;
};

// The window: closing as saved ends the road.
class HeadlessWindow : public QFFlowRunControllerHost {
public:
    HeadlessWindow(const std::string& directory, std::ostream& out)
        : directory_(directory), out_(out) {}

    void closeFlowController(QFFlowRunController& controller, QFFlowCloseReason reason) override {
        controller.willDisappearFromUI();
        auto& headless = static_cast<HeadlessController&>(controller);
        if (reason != QFFlowCloseReasonSaved) {
            headless.status = HeadlessExportFailed;
            return;
        }
        for (const auto& item : controller.outputItems())
            out_ << (std::filesystem::path(directory_) /
                     QFPathWithComponents(item->pathComponents()))
                        .string()
                 << '\n';
        headless.status = HeadlessExportSucceeded;
    }

private:
    const std::string directory_;
    std::ostream& out_;
};

// The documents as the flow takes them (links followed: a link the user
// names stands for its document), or why they cannot be exported: the read
// error of one that cannot be read, as a run would report it, or a file
// that is no Photoshop document.
HeadlessExportStatus checkDocuments(std::vector<std::string>& documents, std::ostream& err) {
    for (auto& document : documents) {
        if (!checkReadablePath(document, err)) return HeadlessExportFailed;
        std::error_code error;
        std::string target = std::filesystem::canonical(document, error).string();
        if (error) target = document;
        const auto type = lf::typeIdentifierForPath(target);
        if (type != lf::kTypeFolder && type != lf::kTypePhotoshopImage) {
            err << "layerflow: " << QFNotADocumentDescription(document) << '\n';
            return HeadlessExportBadInput;
        }
        document = target;
    }
    return HeadlessExportSucceeded;
}

}  // namespace

HeadlessExportStatus runHeadlessExport(const std::vector<std::string>& documents,
                                       const std::string& directory, std::ostream& out,
                                       std::ostream& err) {
    std::vector<std::string> paths = documents;
    if (auto checked = checkDocuments(paths, err); checked != HeadlessExportSucceeded)
        return checked;
    auto mainQueue = lf::MainQueue::shared();
    mainQueue->bindToCurrentThread();

    QFFlowInterfaceHooks hooks;
    hooks.chooseOutputDirectory =
        [directory](QFFlowRunController&, const std::optional<std::string>&,
                    std::function<void(std::optional<std::string>)> done) { done(directory); };
    hooks.makeExportFlowController = [&err](const std::shared_ptr<QFExportFlow>& flow) {
        return std::make_shared<HeadlessController>(flow, err);
    };
    QFFlowInterfaceHooks::install(hooks);

    auto plugIns = QFFlowPlugInManager::defaultManager();
    plugIns->registerPlugIn(QFExportFlowPlugIn::sharedPlugIn());
    auto input = std::make_shared<QFFlowInput>(plugIns->acceptedInputTypes());
    input->addInputWithURLs(paths);
    auto plugIn = QFExportFlowPlugIn::sharedPlugIn();
    input->limitToSubsetOfAllowedTypes(plugIn->acceptedInputTypes());
    auto flow = plugIn->newFlow();
    flow->setInitialInput(input);

    auto controller =
        std::static_pointer_cast<HeadlessController>(plugIns->newFlowRunControllerWithFlow(flow));
    auto window = std::make_shared<HeadlessWindow>(directory, out);
    controller->setHost(window);
    controller->willAppearInUI();
    controller->willRunFlowForInitialInput();
    controller->runFlowForInitialInput();
    // A large document may take long to render: no time limit.
    while (!mainQueue->runUntil([&] { return controller->status.has_value(); },
                                std::chrono::hours(1))) {
    }
    return *controller->status;
}
