#include "psd/OMPSDDescriptorDecoder.h"

#include "psd/OMPSDBinaryReader.h"
#include "psd/OMPSDError.h"
#include "psd/OMPSDProperty.h"

#include <fmt/format.h>

// Action descriptor layout (Photoshop File Formats, "Descriptor structure"):
// Unicode name, class ID, item count, then per item a key ID, a type code
// and the value. An ID is a 32-bit length followed by that many bytes, or a
// zero length followed by a four-character code.

namespace {

std::string readIdentifier(OMPSDBinaryReader& reader) {
    uint32_t length = reader.u32();
    if (length == 0) length = 4;
    auto bytes = reader.bytes(length);
    return std::string(bytes.begin(), bytes.end());
}

// A key as messages show it: printable, and cut when long.
std::string quotedKey(const std::string& key) {
    constexpr size_t kShown = 40;
    std::string out = "'";
    for (char c : key.substr(0, kShown))
        out += c >= ' ' && c <= '~' ? c : '?';
    return out + (key.size() > kShown ? "'..." : "'");
}

// Fails the reader and keeps `reason` as what is damaged (in `why`, when
// given), unless a deeper item already gave one.
bool fail(OMPSDBinaryReader& reader, std::string* why, std::string reason) {
    if (why && why->empty()) *why = std::move(reason);
    reader.fail();
    return false;
}

bool failTooDeep(OMPSDBinaryReader& reader, std::string* why) {
    return fail(reader, why,
                fmt::format("nesting deeper than {}", OMPSDDescriptorDecoder::kMaximumDepth));
}

bool readValue(OMPSDBinaryReader& reader, uint32_t type, int depth, OMPSDDescriptorValue& value,
               std::string* why);

// The value of the item with `key`, or of list item `index` when `key` is
// null. A failure names the item in front of its reason, or says that the
// value reaches past the end.
bool readItemValue(OMPSDBinaryReader& reader, const std::string* key, uint32_t index, uint32_t type,
                   int depth, OMPSDDescriptorValue& value, std::string* why) {
    size_t at = reader.position();
    if (!reader.failed() && readValue(reader, type, depth, value, why)) return true;
    if (why) {
        if (why->empty())
            *why = fmt::format("value of type {} at byte {} reaches past the end ({} bytes)",
                               OMPSDQuotedCode(type), at, reader.size());
        *why = (key ? "item " + quotedKey(*key) : fmt::format("list item {}", index)) + ": " + *why;
    }
    reader.fail();
    return false;
}

bool readDescriptorBody(OMPSDBinaryReader& reader, int depth, std::string& name,
                        std::string& classIdentifier,
                        std::vector<std::pair<std::string, OMPSDDescriptorValue>>& items,
                        std::string* why) {
    if (depth > OMPSDDescriptorDecoder::kMaximumDepth) return failTooDeep(reader, why);
    name = reader.unicodeString();
    classIdentifier = readIdentifier(reader);
    uint32_t count = reader.u32();
    if (reader.failed())
        return fail(
            reader, why,
            fmt::format("name, class and item count reach past the end ({} bytes)", reader.size()));
    // Every item takes at least 8 bytes (key and type), so a count beyond
    // that can only be damage; stop before looping over it.
    if (uint64_t(count) * 8 > reader.remaining())
        return fail(reader, why,
                    fmt::format("{} items take at least {} bytes, {} left", count,
                                uint64_t(count) * 8, reader.remaining()));
    for (uint32_t i = 0; i < count; ++i) {
        std::string key = readIdentifier(reader);
        uint32_t type = reader.u32();
        OMPSDDescriptorValue value;
        if (!readItemValue(reader, &key, i, type, depth + 1, value, why)) return false;
        items.emplace_back(std::move(key), std::move(value));
    }
    return !reader.failed();
}

bool readReference(OMPSDBinaryReader& reader, OMPSDDescriptorValue& value, std::string* why) {
    uint32_t count = reader.u32();
    if (uint64_t(count) * 4 > reader.remaining())
        return fail(reader, why,
                    fmt::format("reference of {} parts, {} bytes left", count, reader.remaining()));
    for (uint32_t i = 0; i < count && !reader.failed(); ++i) {
        OMPSDDescriptorValue part;
        part.type = reader.u32();
        switch (part.type) {
            case OMPSDFourCC("prop"):
                part.text = reader.unicodeString();
                (void)readIdentifier(reader);
                part.identifier = readIdentifier(reader);
                break;
            case OMPSDFourCC("Clss"):
                part.text = reader.unicodeString();
                part.identifier = readIdentifier(reader);
                break;
            case OMPSDFourCC("Enmr"):
                part.text = reader.unicodeString();
                (void)readIdentifier(reader);
                (void)readIdentifier(reader);
                part.identifier = readIdentifier(reader);
                break;
            case OMPSDFourCC("rele"):
                part.text = reader.unicodeString();
                part.identifier = readIdentifier(reader);
                part.integer = reader.i32();
                break;
            case OMPSDFourCC("Idnt"):
            case OMPSDFourCC("indx"):
                part.integer = reader.i32();
                break;
            case OMPSDFourCC("name"):
                part.text = reader.unicodeString();
                part.identifier = readIdentifier(reader);
                part.text = reader.unicodeString();
                break;
            default:
                return fail(reader, why,
                            fmt::format("reference part {} of unknown type {}", i,
                                        OMPSDQuotedCode(part.type)));
        }
        value.list.push_back(std::move(part));
    }
    return !reader.failed();
}

std::vector<uint8_t> readLengthPrefixedData(OMPSDBinaryReader& reader) {
    auto bytes = reader.bytes(reader.u32());
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool readValue(OMPSDBinaryReader& reader, uint32_t type, int depth, OMPSDDescriptorValue& value,
               std::string* why) {
    if (depth > OMPSDDescriptorDecoder::kMaximumDepth) return failTooDeep(reader, why);
    value.type = type;
    switch (type) {
        case OMPSDFourCC("obj "):
            return readReference(reader, value, why);
        case OMPSDFourCC("Objc"):
        case OMPSDFourCC("GlbO"):
            value.object = OMPSDDescriptorDecoder::read(reader, depth, why);
            return value.object != nullptr;
        case OMPSDFourCC("VlLs"): {
            uint32_t count = reader.u32();
            if (uint64_t(count) * 4 > reader.remaining())
                return fail(
                    reader, why,
                    fmt::format("list of {} items, {} bytes left", count, reader.remaining()));
            for (uint32_t i = 0; i < count; ++i) {
                OMPSDDescriptorValue item;
                uint32_t itemType = reader.u32();
                if (!readItemValue(reader, nullptr, i, itemType, depth + 1, item, why))
                    return false;
                value.list.push_back(std::move(item));
            }
            return true;
        }
        case OMPSDFourCC("doub"):
            value.number = reader.f64();
            break;
        case OMPSDFourCC("UntF"):
            value.unit = reader.u32();
            value.number = reader.f64();
            break;
        case OMPSDFourCC("UnFl"): {
            value.unit = reader.u32();
            uint32_t count = reader.u32();
            if (uint64_t(count) * 8 > reader.remaining())
                return fail(reader, why,
                            fmt::format("{} numbers, {} bytes left", count, reader.remaining()));
            for (uint32_t i = 0; i < count; ++i)
                value.numbers.push_back(reader.f64());
            break;
        }
        case OMPSDFourCC("TEXT"):
            value.text = reader.unicodeString();
            break;
        case OMPSDFourCC("enum"):
            value.text = readIdentifier(reader);
            value.identifier = readIdentifier(reader);
            break;
        case OMPSDFourCC("long"):
            value.integer = reader.i32();
            break;
        case OMPSDFourCC("comp"):
            value.integer = reader.i64();
            break;
        case OMPSDFourCC("bool"):
            value.boolean = reader.u8() != 0;
            break;
        case OMPSDFourCC("type"):
        case OMPSDFourCC("GlbC"):
            value.text = reader.unicodeString();
            value.identifier = readIdentifier(reader);
            break;
        case OMPSDFourCC("alis"):
        case OMPSDFourCC("tdta"):
        case OMPSDFourCC("Pth "):
            value.data = readLengthPrefixedData(reader);
            break;
        case OMPSDFourCC("ObAr"): {
            // An object array: its item count, then one descriptor body whose
            // items are unit-double arrays with one entry per object.
            (void)reader.u32();
            value.object = OMPSDDescriptorDecoder::read(reader, depth, why);
            return value.object != nullptr;
        }
        default:
            return fail(reader, why, fmt::format("unknown type {}", OMPSDQuotedCode(type)));
    }
    return !reader.failed();
}

}  // namespace

bool OMPSDDescriptorValue::asDouble(double* out) const {
    switch (type) {
        case OMPSDFourCC("doub"):
        case OMPSDFourCC("UntF"):
            *out = number;
            return true;
        case OMPSDFourCC("long"):
        case OMPSDFourCC("comp"):
            *out = double(integer);
            return true;
        default:
            return false;
    }
}

std::shared_ptr<const OMPSDDescriptorDecoder> OMPSDDescriptorDecoder::read(
    OMPSDBinaryReader& reader, int depth, std::string* why) {
    auto descriptor = std::make_shared<OMPSDDescriptorDecoder>();
    if (!readDescriptorBody(reader, depth, descriptor->name_, descriptor->classIdentifier_,
                            descriptor->items_, why))
        return nullptr;
    return descriptor;
}

lf::Result<std::shared_ptr<const OMPSDDescriptorDecoder>> OMPSDDescriptorDecoder::decode(
    std::span<const uint8_t> bytes) {
    OMPSDBinaryReader reader(bytes);
    std::string why;
    auto descriptor = read(reader, 0, &why);
    if (!descriptor) return OMPSDMakeError(OMPSDErrorCorruptData, "action descriptor: " + why);
    return descriptor;
}

lf::Result<std::shared_ptr<const OMPSDDescriptorDecoder>> OMPSDDescriptorDecoder::decodeVersioned(
    std::span<const uint8_t> bytes) {
    if (bytes.size() < 4)
        return OMPSDMakeError(
            OMPSDErrorTruncated,
            fmt::format("action descriptor of {} bytes has no room for its version", bytes.size()));
    return decode(bytes.subspan(4));
}

const OMPSDDescriptorValue* OMPSDDescriptorDecoder::valueForKey(const std::string& key) const {
    for (const auto& [itemKey, value] : items_)
        if (itemKey == key) return &value;
    return nullptr;
}

bool OMPSDDescriptorDecoder::decodeInt(int32_t* out, const std::string& key) const {
    const auto* value = valueForKey(key);
    double number = 0;
    if (!value || !value->asDouble(&number)) return false;
    if (value->type == OMPSDFourCC("long") || value->type == OMPSDFourCC("comp")) {
        *out = int32_t(value->integer);
    } else {
        if (!(number > -2147483648.0 && number < 2147483648.0)) return false;
        *out = int32_t(number);
    }
    return true;
}

bool OMPSDDescriptorDecoder::decodeDouble(double* out, const std::string& key) const {
    const auto* value = valueForKey(key);
    return value && value->asDouble(out);
}

bool OMPSDDescriptorDecoder::decodeBool(bool* out, const std::string& key) const {
    const auto* value = valueForKey(key);
    if (!value || value->type != OMPSDFourCC("bool")) return false;
    *out = value->boolean;
    return true;
}

bool OMPSDDescriptorDecoder::decodeString(std::string* out, const std::string& key) const {
    const auto* value = valueForKey(key);
    if (!value || value->type != OMPSDFourCC("TEXT")) return false;
    *out = value->text;
    return true;
}

bool OMPSDDescriptorDecoder::decodeEnum(std::string* out, const std::string& key) const {
    const auto* value = valueForKey(key);
    if (!value || value->type != OMPSDFourCC("enum")) return false;
    *out = value->identifier;
    return true;
}

bool OMPSDDescriptorDecoder::decodeUnitDouble(double* out, uint32_t* unit,
                                              const std::string& key) const {
    const auto* value = valueForKey(key);
    if (!value || !value->asDouble(out)) return false;
    *unit = value->unit;
    return true;
}

double OMPSDDescriptorDecoder::doubleForKey(const std::string& key, double fallback) const {
    decodeDouble(&fallback, key);
    return fallback;
}

bool OMPSDDescriptorDecoder::boolForKey(const std::string& key, bool fallback) const {
    decodeBool(&fallback, key);
    return fallback;
}

std::string OMPSDDescriptorDecoder::enumForKey(const std::string& key, std::string fallback) const {
    decodeEnum(&fallback, key);
    return fallback;
}

std::shared_ptr<const OMPSDDescriptorDecoder> OMPSDDescriptorDecoder::descriptorForKey(
    const std::string& key) const {
    const auto* value = valueForKey(key);
    return value ? value->object : nullptr;
}

const std::vector<OMPSDDescriptorValue>* OMPSDDescriptorDecoder::listForKey(
    const std::string& key) const {
    const auto* value = valueForKey(key);
    if (!value || value->type != OMPSDFourCC("VlLs")) return nullptr;
    return &value->list;
}
