#include "flows/inputs/QFFlowPlugInManager.h"

#include <algorithm>
#include <set>

const std::shared_ptr<QFFlowPlugInManager>& QFFlowPlugInManager::defaultManager() {
    static const auto* manager =
        new std::shared_ptr<QFFlowPlugInManager>(std::make_shared<QFFlowPlugInManager>());
    return *manager;
}

bool QFFlowPlugInManager::registerPlugIn(const std::shared_ptr<QFFlowPlugIn>& plugIn) {
    if (!plugIn || plugIn->identifier().empty()) return false;
    if (std::find(plugins_.begin(), plugins_.end(), plugIn) == plugins_.end())
        plugins_.push_back(plugIn);
    return true;
}

std::vector<std::string> QFFlowPlugInManager::acceptedInputTypes() const {
    std::set<std::string> types;
    for (const auto& plugIn : plugins_)
        for (auto& type : plugIn->acceptedInputTypes())
            types.insert(std::move(type));
    return {types.begin(), types.end()};
}

std::vector<std::shared_ptr<QFFlowPlugIn>> QFFlowPlugInManager::availablePlugInsForInput(
    const QFFlowInputProtocol& input) const {
    std::vector<std::shared_ptr<QFFlowPlugIn>> available;
    for (const auto& plugIn : plugins_) {
        const auto types = plugIn->acceptedInputTypes();
        if (std::any_of(types.begin(), types.end(),
                        [&](const std::string& type) { return input.hasInputItemsForType(type); }))
            available.push_back(plugIn);
    }
    return available;
}

std::shared_ptr<QFFlowRunController> QFFlowPlugInManager::newFlowRunControllerWithFlow(
    const std::shared_ptr<QFFlow>& flow) const {
    for (const auto& plugIn : plugins_)
        if (auto controller = plugIn->newFlowRunControllerWithFlow(flow)) return controller;
    return nullptr;
}
