#include "flows/shared/QFConfinedPath.h"

std::optional<std::vector<std::string>> QFConfinedPathComponents(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view component = path.substr(start, end - start);
        if (component == "..") {
            // Going up past the folder leaves it, even if a later
            // component would come back in.
            if (components.empty()) return std::nullopt;
            components.pop_back();
        } else if (!component.empty() && component != ".") {
            components.emplace_back(component);
        }
        start = end + 1;
    }
    if (components.empty()) return std::nullopt;
    return components;
}

std::string QFPathWithComponents(const std::vector<std::string>& components) {
    std::string path;
    for (const auto& component : components) {
        if (!path.empty()) path += '/';
        path += component;
    }
    return path;
}
