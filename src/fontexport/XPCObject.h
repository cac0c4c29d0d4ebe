#pragma once
// XPCObject: a value of the messages exchanged with a helper process:
// boolean, signed and unsigned 64-bit integers, double, string, data, array
// or dictionary (string keys). A plain value; copies share data bytes.
//
// These are the typed values of the wire format (XPCMessageCodec.h); the
// program's own dictionaries (JSON values) convert to and from them through
// PressletXPC.h.

#include "platform/files/Data.h"

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

struct XPCObject;
using XPCArray = std::vector<XPCObject>;
using XPCDictionary = std::map<std::string, XPCObject>;

struct XPCObject {
    using Value = std::variant<bool, int64_t, uint64_t, double, std::string, lf::Data, XPCArray,
                               XPCDictionary>;

    Value value;

    XPCObject() = default;
    template <typename T>
    requires std::is_constructible_v<Value, T&&> XPCObject(T&& v) : value(std::forward<T>(v)) {}

    template <typename T>
    const T* get() const {
        return std::get_if<T>(&value);
    }

    friend bool operator==(const XPCObject& a, const XPCObject& b) { return a.value == b.value; }
};
