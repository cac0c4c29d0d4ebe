#include "geometry/VKBooleanOperation.h"

#include "geometry/VKExactBooleanOperation.h"

VKExactBooleanOperation::VKExactBooleanOperation(const VKCompoundPath& a,
                                                 VKBooleanOperation operation,
                                                 const VKCompoundPath& b,
                                                 VKBooleanDebugger* debugger)
    : operation_(operation), debugger_(debugger) {
    operands_[kOperandA] = std::make_shared<const VKBooleanCompoundPath>(a);
    operands_[kOperandB] = std::make_shared<const VKBooleanCompoundPath>(b);
}

std::shared_ptr<VKCompoundPath> VKExactBooleanOperation::run() {
    if (debugger_)
        debugger_->willPerformOperation(
            operation_, operands_[kOperandA], operands_[kOperandB],
            VKRectUnion(operands_[kOperandA]->bounds(), operands_[kOperandB]->bounds()));
    if (operation_ >= VKBooleanOperationAdd && operation_ <= VKBooleanOperationExclude) {
        chooseTolerances();
        buildPieces();
        findMeetings();
        buildVertices();
        buildEdges();
        groupEdges();
        buildChains();
        classifyChains();
        if (debugger_) reportIntersections();
        copyVerbatimPaths();
        traceRemainingEdges();
    }
    auto result =
        std::make_shared<const VKBooleanCompoundPath>(std::move(result_), VKFillRuleNonZero);
    if (debugger_) debugger_->didPerformOperationWithResult(result);
    return result->compoundPath();
}

std::shared_ptr<VKCompoundPath> VKPerformBooleanOperation(const VKCompoundPath& a,
                                                          VKBooleanOperation operation,
                                                          const VKCompoundPath& b,
                                                          VKBooleanDebugger* debugger) {
    return VKExactBooleanOperation(a, operation, b, debugger).run();
}
