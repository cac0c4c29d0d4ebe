#pragma once
// OMPSDDescriptorDecoder: a decoded action descriptor, the keyed tree of
// typed values that Photoshop writes for layer styles, fills, adjustments,
// vector strokes and much of its other layer data.
//
// Every item type of the format is decoded: descriptors ("Objc", "GlbO"),
// lists ("VlLs"), references ("obj "), doubles, unit doubles and unit-double
// arrays, text, enumerations, 32- and 64-bit integers, booleans, classes,
// aliases, raw data, file paths and object arrays. Keys are the format's
// identifiers as text: four-character codes keep their trailing spaces
// ("Clr ") and long identifiers are spelled out ("layerConceals").
//
// Decoding is bounded: nesting deeper than kMaximumDepth, or any item that
// reaches past its bytes, fails the whole descriptor. A decoded descriptor
// is immutable and safe to read from any thread.
#include "platform/core/Result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

class OMPSDBinaryReader;
class OMPSDDescriptorDecoder;

// One item of a descriptor or list. Which fields hold the value depends on
// `type`, the item's four-character type code.
struct OMPSDDescriptorValue {
    uint32_t type = 0;
    double number = 0;                       // "doub", "UntF"
    int64_t integer = 0;                     // "long", "comp"
    bool boolean = false;                    // "bool"
    uint32_t unit = 0;                       // "UntF", "UnFl": "#Pxl", "#Prc", "#Ang", "#Pnt", ...
    std::string text;                        // "TEXT"; the type of an "enum"; a class's name
    std::string identifier;                  // the value of an "enum"; a class's identifier
    std::vector<double> numbers;             // "UnFl"
    std::vector<uint8_t> data;               // "tdta", "alis", "Pth "
    std::vector<OMPSDDescriptorValue> list;  // "VlLs"; the parts of an "obj "
    std::shared_ptr<const OMPSDDescriptorDecoder> object;  // "Objc", "GlbO", "ObAr"

    // The value as a number when it is one ("doub", "UntF", "long", "comp").
    bool asDouble(double* out) const;
};

class OMPSDDescriptorDecoder {
public:
    static constexpr int kMaximumDepth = 32;

    // Decodes a descriptor that starts at the first byte (no version prefix).
    static lf::Result<std::shared_ptr<const OMPSDDescriptorDecoder>> decode(
        std::span<const uint8_t> bytes);
    // Decodes a descriptor preceded by its 32-bit version (16).
    static lf::Result<std::shared_ptr<const OMPSDDescriptorDecoder>> decodeVersioned(
        std::span<const uint8_t> bytes);
    // Decodes one descriptor at the reader's position, moving past it; null
    // when it is damaged (the reader then has failed, and `why`, when given,
    // says which item is damaged and how).
    static std::shared_ptr<const OMPSDDescriptorDecoder> read(OMPSDBinaryReader& reader,
                                                              int depth = 0,
                                                              std::string* why = nullptr);

    const std::string& name() const { return name_; }
    const std::string& classIdentifier() const { return classIdentifier_; }
    const std::vector<std::pair<std::string, OMPSDDescriptorValue>>& items() const {
        return items_;
    }

    // The first item of that key, or null.
    const OMPSDDescriptorValue* valueForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const { return valueForKey(key) != nullptr; }

    // Each fills `out` and returns true when the key is present with a value
    // of a fitting type; otherwise leaves `out` alone and returns false.
    // Numbers convert between integer and floating types (truncating).
    bool decodeInt(int32_t* out, const std::string& key) const;
    bool decodeDouble(double* out, const std::string& key) const;
    bool decodeBool(bool* out, const std::string& key) const;
    bool decodeString(std::string* out, const std::string& key) const;
    // The value of an enumeration ("Nrml" of a blend mode, "Lnr " of a type).
    bool decodeEnum(std::string* out, const std::string& key) const;
    // A unit double with its unit.
    bool decodeUnitDouble(double* out, uint32_t* unit, const std::string& key) const;

    // Shorthands that return `fallback` when the key is missing.
    double doubleForKey(const std::string& key, double fallback) const;
    bool boolForKey(const std::string& key, bool fallback) const;
    std::string enumForKey(const std::string& key, std::string fallback = {}) const;

    std::shared_ptr<const OMPSDDescriptorDecoder> descriptorForKey(const std::string& key) const;
    // The items of a list, or null.
    const std::vector<OMPSDDescriptorValue>* listForKey(const std::string& key) const;

private:
    std::string name_;
    std::string classIdentifier_;
    std::vector<std::pair<std::string, OMPSDDescriptorValue>> items_;
};
