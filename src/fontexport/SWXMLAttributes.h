#pragma once
// SWXMLAttributes: the attributes of the next start tag of an XML writer,
// as an ordered list of name and value pairs. A name added twice is written
// twice; lookups find its first value. A plain value: copies are
// independent.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class SWXMLWriter;

class SWXMLAttributes {
public:
    void addAttribute(std::string name, std::string value);
    // Appends every pair of the dictionary (in key order), without clearing.
    void setAttributesAsDictionary(const std::map<std::string, std::string>& dictionary);

    size_t count() const { return pairs_.size(); }
    // The value of the first pair with the name.
    std::optional<std::string> objectForKey(std::string_view name) const;
    // The names in order.
    std::vector<std::string> keys() const;

    // writeAttribute(name, value) for each pair in order.
    void writeAttributes(SWXMLWriter& writer) const;
    // Removes every pair.
    void close() { pairs_.clear(); }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};
