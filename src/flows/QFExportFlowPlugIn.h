#pragma once
// QFExportFlowPlugIn: the plug-in of export flows, which take Photoshop
// documents. One shared instance.

#include "flows/inputs/QFFlowPlugIn.h"

class QFExportFlowPlugIn : public QFFlowPlugIn {
public:
    static constexpr const char* kIdentifier = "layerflow.flows.export";

    // Made once; safe from any thread.
    static const std::shared_ptr<QFExportFlowPlugIn>& sharedPlugIn();

    std::string identifier() const override { return kIdentifier; }
    std::vector<std::string> acceptedInputTypes() const override;
    // A new QFExportFlow.
    std::shared_ptr<QFFlow> newFlow() const override;
    // The interface's export flow controller for a QFExportFlow
    // (QFFlowInterfaceHooks::makeExportFlowController); null for other flows.
    std::shared_ptr<QFFlowRunController> newFlowRunControllerWithFlow(
        const std::shared_ptr<QFFlow>& flow) const override;
};
