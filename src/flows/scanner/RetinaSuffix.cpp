#include "flows/scanner/RetinaSuffix.h"

#include "flows/recipes/QFResourcePathComponents.h"

namespace RetinaSuffix {

bool hasRetinaSuffix(std::string_view path) {
    return QFResourcePathComponents(path).hasRetinaSuffix();
}

std::string deviceModifier(std::string_view path) {
    return QFResourcePathComponents(path).deviceModifier();
}

std::string stringByAppendingRetinaSuffix(std::string_view path) {
    QFResourcePathComponents components(path);
    components.setHasRetinaSuffix(true);
    return components.path();
}

std::string stringByRemovingRetinaSuffix(std::string_view path) {
    QFResourcePathComponents components(path);
    components.setHasRetinaSuffix(false);
    return components.path();
}

std::string stringByAppendingDeviceModifier(std::string_view path, std::string modifier) {
    QFResourcePathComponents components(path);
    components.setDeviceModifier(std::move(modifier));
    return components.path();
}

std::string stringByRemovingDeviceModifier(std::string_view path) {
    return stringByAppendingDeviceModifier(path, "");
}

}  // namespace RetinaSuffix
