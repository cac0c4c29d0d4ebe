#include "flows/QFFlowInterfaceHooks.h"

#include "flows/QFExportFlow.h"
#include "flows/QFFlowRunController.h"
#include "platform/dispatch/MainQueue.h"

namespace {

QFFlowInterfaceHooks withDefaults(QFFlowInterfaceHooks hooks) {
    if (!hooks.chooseOutputDirectory)
        hooks.chooseOutputDirectory =
            [](QFFlowRunController&, const std::optional<std::string>&,
               std::function<void(std::optional<std::string>)> completion) {
                completion(std::nullopt);
            };
    if (!hooks.revealInFileViewer) hooks.revealInFileViewer = [](const std::string&) {};
    if (!hooks.requestUserAttention) hooks.requestUserAttention = [] {};
    if (!hooks.isApplicationActive) hooks.isApplicationActive = [] { return false; };
    if (!hooks.startFlow) hooks.startFlow = [](const std::shared_ptr<QFFlow>&) {};
    if (!hooks.makeExportFlowController)
        hooks.makeExportFlowController = [](const std::shared_ptr<QFExportFlow>& flow) {
            return std::make_shared<QFFlowRunController>(flow);
        };
    return hooks;
}

QFFlowInterfaceHooks& installed() {
    static auto* hooks = new QFFlowInterfaceHooks(withDefaults({}));  // lives until exit
    return *hooks;
}

}  // namespace

const QFFlowInterfaceHooks& QFFlowInterfaceHooks::current() {
    lf::assertMainThread("QFFlowInterfaceHooks::current");
    return installed();
}

void QFFlowInterfaceHooks::install(QFFlowInterfaceHooks hooks) {
    lf::assertMainThread("QFFlowInterfaceHooks::install");
    installed() = withDefaults(std::move(hooks));
}
