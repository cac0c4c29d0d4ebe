#include "flows/QFExportFlowPlugIn.h"

#include "flows/QFExportFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "platform/files/TypeIdentifier.h"

const std::shared_ptr<QFExportFlowPlugIn>& QFExportFlowPlugIn::sharedPlugIn() {
    static const auto* plugIn =
        new std::shared_ptr<QFExportFlowPlugIn>(std::make_shared<QFExportFlowPlugIn>());
    return *plugIn;
}

std::vector<std::string> QFExportFlowPlugIn::acceptedInputTypes() const {
    return {lf::kTypePhotoshopImage};
}

std::shared_ptr<QFFlow> QFExportFlowPlugIn::newFlow() const {
    return std::make_shared<QFExportFlow>();
}

std::shared_ptr<QFFlowRunController> QFExportFlowPlugIn::newFlowRunControllerWithFlow(
    const std::shared_ptr<QFFlow>& flow) const {
    auto exportFlow = std::dynamic_pointer_cast<QFExportFlow>(flow);
    if (!exportFlow) return nullptr;
    return QFFlowInterfaceHooks::current().makeExportFlowController(exportFlow);
}
