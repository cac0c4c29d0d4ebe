#pragma once
// QFFlowUI: what shows a flow in a window (its run controller) hears from
// the flow: the flow's input changed while shown.

#include <memory>

class QFFlow;

class QFFlowUI {
public:
    virtual ~QFFlowUI() = default;
    virtual void flowInputDidChange(const std::shared_ptr<QFFlow>& flow) = 0;
};
