#include "fontexport/PressletXPC.h"

std::optional<XPCObject> newXPCObject(const nlohmann::json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::boolean:
            return XPCObject(value.get<bool>());
        case nlohmann::json::value_t::number_unsigned:
            return XPCObject(value.get<uint64_t>());
        case nlohmann::json::value_t::number_float:
            return XPCObject(value.get<double>());
        case nlohmann::json::value_t::number_integer:
            return XPCObject(value.get<int64_t>());
        case nlohmann::json::value_t::string:
            return XPCObject(value.get<std::string>());
        case nlohmann::json::value_t::binary:
            return XPCObject(*PressletDataFromJSON(value));
        case nlohmann::json::value_t::object: {
            XPCDictionary dictionary;
            applyValuesToXPCDictionary(value, dictionary);
            return XPCObject(std::move(dictionary));
        }
        default:
            return std::nullopt;
    }
}

void applyValuesToXPCDictionary(const nlohmann::json& object, XPCDictionary& dictionary) {
    if (!object.is_object()) return;
    for (const auto& [key, value] : object.items()) {
        if (auto converted = newXPCObject(value)) dictionary[key] = std::move(*converted);
    }
}

nlohmann::json dictionaryWithContentsOfXPCDictionary(const XPCDictionary& dictionary) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [key, value] : dictionary) {
        if (auto number = numberWithXPCObject(value)) {
            object[key] = std::move(*number);
        } else if (auto string = stringWithXPCString(value)) {
            object[key] = std::move(*string);
        } else if (auto data = dataWithContentsOfXPCData(value)) {
            object[key] = PressletJSONFromData(*data);
        } else if (const auto* nested = value.get<XPCDictionary>()) {
            object[key] = dictionaryWithContentsOfXPCDictionary(*nested);
        }
    }
    return object;
}

std::optional<nlohmann::json> numberWithXPCObject(const XPCObject& object) {
    if (const auto* v = object.get<bool>()) return nlohmann::json(*v);
    if (const auto* v = object.get<double>()) return nlohmann::json(*v);
    if (const auto* v = object.get<uint64_t>()) return nlohmann::json(*v);
    if (const auto* v = object.get<int64_t>()) return nlohmann::json(*v);
    return std::nullopt;
}

std::optional<std::string> stringWithXPCString(const XPCObject& object) {
    if (const auto* v = object.get<std::string>()) return *v;
    return std::nullopt;
}

std::optional<lf::Data> dataWithContentsOfXPCData(const XPCObject& object) {
    if (const auto* v = object.get<lf::Data>()) return *v;
    return std::nullopt;
}

nlohmann::json PressletJSONFromData(const lf::Data& data) {
    return nlohmann::json::binary(std::vector<uint8_t>(data.bytes(), data.bytes() + data.size()));
}

std::optional<lf::Data> PressletDataFromJSON(const nlohmann::json& value) {
    if (!value.is_binary()) return std::nullopt;
    return lf::Data(std::vector<uint8_t>(value.get_binary().begin(), value.get_binary().end()));
}
