#include "flows/recipes/QFResourcePathComponents.h"

#include "kit/OMFoundation.h"

namespace {

constexpr std::string_view kRetinaSuffix = "@2x";

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

}  // namespace

std::string_view QFLastPathComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

std::string_view QFPathExtension(std::string_view path) {
    std::string_view last = QFLastPathComponent(path);
    size_t dot = last.rfind('.');
    // A name that only starts with a dot (".png") has no extension, as the
    // image encoder reads it.
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : last.substr(dot + 1);
}

std::string QFLowercasePathExtension(std::string_view path) {
    std::string extension(QFPathExtension(path));
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

QFResourcePathComponents::QFResourcePathComponents(std::string_view path) {
    std::string_view trimmed = withoutTrailingSlashes(path);
    std::string_view last = QFLastPathComponent(trimmed);
    if (last.size() < trimmed.size()) {
        std::string_view folder = trimmed.substr(0, trimmed.size() - last.size());
        basePath_ = folder.size() > 1 ? withoutTrailingSlashes(folder.substr(0, folder.size() - 1))
                                      : folder;
    }
    pathExtension_ = QFPathExtension(last);
    baseFileName_ = last.substr(
        0, pathExtension_.empty() ? last.size() : last.size() - pathExtension_.size() - 1);

    // A device modifier needs a name before the "~" and a word after it.
    size_t tilde = baseFileName_.rfind('~');
    if (tilde != std::string::npos && tilde > 0 && tilde + 1 < baseFileName_.size()) {
        std::string modifier = baseFileName_.substr(tilde + 1);
        if (OMFoundation::removeSuffix(modifier, kRetinaSuffix)) hasRetinaSuffix_ = true;
        deviceModifier_ = std::move(modifier);
        baseFileName_.erase(tilde);
    }
    if (OMFoundation::removeSuffix(baseFileName_, kRetinaSuffix)) hasRetinaSuffix_ = true;
}

std::string QFResourcePathComponents::path() const {
    std::string name = baseFileName_;
    if (hasRetinaSuffix_) name += kRetinaSuffix;
    if (!deviceModifier_.empty()) name += "~" + deviceModifier_;
    if (!pathExtension_.empty()) name += "." + pathExtension_;
    if (basePath_.empty()) return name;
    return basePath_.ends_with('/') ? basePath_ + name : basePath_ + "/" + name;
}
