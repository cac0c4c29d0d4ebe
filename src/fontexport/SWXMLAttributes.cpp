#include "fontexport/SWXMLAttributes.h"

#include "fontexport/SWXMLWriter.h"

void SWXMLAttributes::addAttribute(std::string name, std::string value) {
    pairs_.emplace_back(std::move(name), std::move(value));
}

void SWXMLAttributes::setAttributesAsDictionary(
    const std::map<std::string, std::string>& dictionary) {
    for (const auto& [name, value] : dictionary)
        addAttribute(name, value);
}

std::optional<std::string> SWXMLAttributes::objectForKey(std::string_view name) const {
    for (const auto& [key, value] : pairs_)
        if (key == name) return value;
    return std::nullopt;
}

std::vector<std::string> SWXMLAttributes::keys() const {
    std::vector<std::string> names;
    names.reserve(pairs_.size());
    for (const auto& pair : pairs_)
        names.push_back(pair.first);
    return names;
}

void SWXMLAttributes::writeAttributes(SWXMLWriter& writer) const {
    for (const auto& [name, value] : pairs_)
        writer.writeAttribute(name, value);
}
