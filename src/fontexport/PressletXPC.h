#pragma once
// Conversions between the program's dictionaries (JSON values, with binary
// values for data) and the typed values of messages (XPCObject).
//
// To messages: booleans stay booleans; unsigned integers become unsigned
// 64-bit, floating-point numbers doubles, other integers signed 64-bit;
// strings, binary data and objects (dictionaries) convert; arrays and nulls
// have no message form and are left out of a dictionary.
// From messages: data, booleans, the three number kinds, strings and
// dictionaries convert; arrays and anything else are left out.
//
// Pure functions; safe from any thread.

#include "fontexport/XPCObject.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// The message form of a value; none for values without one.
std::optional<XPCObject> newXPCObject(const nlohmann::json& value);
// Sets every convertible entry of a JSON object in `dictionary`.
void applyValuesToXPCDictionary(const nlohmann::json& object, XPCDictionary& dictionary);

// A JSON object with every convertible entry of the dictionary.
nlohmann::json dictionaryWithContentsOfXPCDictionary(const XPCDictionary& dictionary);
std::optional<nlohmann::json> numberWithXPCObject(const XPCObject& object);
std::optional<std::string> stringWithXPCString(const XPCObject& object);
std::optional<lf::Data> dataWithContentsOfXPCData(const XPCObject& object);

// Data as a JSON binary value, and back (none for other values).
nlohmann::json PressletJSONFromData(const lf::Data& data);
std::optional<lf::Data> PressletDataFromJSON(const nlohmann::json& value);
