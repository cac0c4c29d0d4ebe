#pragma once
// QFFlowPlugIn: a kind of flow the application can make: the document
// types its flows take, new flows, and the run controller that shows one of
// its flows in a window.

#include <memory>
#include <string>
#include <vector>

class QFFlow;
class QFFlowRunController;

class QFFlowPlugIn {
public:
    virtual ~QFFlowPlugIn() = default;
    // Not empty.
    virtual std::string identifier() const = 0;
    // Type identifiers of the documents the plug-in's flows take.
    virtual std::vector<std::string> acceptedInputTypes() const = 0;
    virtual std::shared_ptr<QFFlow> newFlow() const = 0;
    // Null for a flow of another kind.
    virtual std::shared_ptr<QFFlowRunController> newFlowRunControllerWithFlow(
        const std::shared_ptr<QFFlow>& flow) const = 0;
};
