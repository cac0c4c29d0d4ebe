#pragma once
// Declares a read-write property of a document value class: a getter
// `name()`, a setter and the stored field with its default. The document
// reader fills values through the setters while decoding; everyone else only
// reads them. Leaves the class in the private section.
#include <utility>

#define OMPSD_PROPERTY(Type, name, setter, ...) \
public:                                         \
    const Type& name() const {                  \
        return name##_;                         \
    }                                           \
    void setter(Type value) {                   \
        name##_ = std::move(value);             \
    }                                           \
                                                \
private:                                        \
    Type name##_ {                              \
        __VA_ARGS__                             \
    }

// Four-character codes as 32-bit integers, first character in the most
// significant byte: OMPSDFourCC("8BIM").
#include <cstdint>
#include <string>

constexpr uint32_t OMPSDFourCC(const char (&code)[5]) {
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
           (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

inline std::string OMPSDFourCCString(uint32_t code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[i] = char((code >> (24 - 8 * i)) & 0xff);
    return text;
}
