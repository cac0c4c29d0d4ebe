#include "geometry/VKCompoundPath.h"

#include "geometry/VKBooleanOperation.h"

VKRect VKCompoundPath::bounds() const {
    VKRect result = VKRectNull;
    for (const auto& path : paths_)
        if (path) result = VKRectUnion(result, path->bounds());
    return result;
}

std::shared_ptr<VKCompoundPath> VKCompoundPath::compoundPathByPerformingOperation(
    VKBooleanOperation operation, const VKCompoundPath& other, VKBooleanDebugger* debugger) const {
    return VKPerformBooleanOperation(*this, operation, other, debugger);
}

std::shared_ptr<VKCompoundPath> VKCompoundPath::compoundPathByPerformingOperation(
    VKBooleanOperation operation, const VKCompoundPath& other,
    std::shared_ptr<VKBooleanDebugger> debugger) const {
    return VKPerformBooleanOperation(*this, operation, other, debugger.get());
}

void VKCompoundPath::applyToPathConsumer(VKPathConsumer& consumer) const {
    for (const auto& path : paths_)
        if (path) path->applyToPathConsumer(consumer);
}
