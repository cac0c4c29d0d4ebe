#pragma once
// QFFlowPlugInManager: the registry of flow plug-ins. The application
// registers the export plug-in at launch.
//
// Main thread only, apart from making the shared manager.

#include "flows/inputs/QFFlowInputProtocol.h"
#include "flows/inputs/QFFlowPlugIn.h"

#include <memory>
#include <string>
#include <vector>

class QFFlowPlugInManager {
public:
    static const std::shared_ptr<QFFlowPlugInManager>& defaultManager();

    // False for no plug-in or one without an identifier; registering a
    // plug-in again changes nothing.
    bool registerPlugIn(const std::shared_ptr<QFFlowPlugIn>& plugIn);
    // Every plug-in's types, each once.
    std::vector<std::string> acceptedInputTypes() const;
    // The plug-ins for which `input` has documents of an accepted type.
    std::vector<std::shared_ptr<QFFlowPlugIn>> availablePlugInsForInput(
        const QFFlowInputProtocol& input) const;
    // The first run controller a plug-in makes for the flow, or null.
    std::shared_ptr<QFFlowRunController> newFlowRunControllerWithFlow(
        const std::shared_ptr<QFFlow>& flow) const;

private:
    std::vector<std::shared_ptr<QFFlowPlugIn>> plugins_;
};
