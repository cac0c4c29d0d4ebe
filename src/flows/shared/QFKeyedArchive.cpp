#include "flows/shared/QFKeyedArchive.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {

constexpr const char* kErrorClassName = "QFError";

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encoded(const lf::Data& data) {
    std::string text;
    text.reserve((data.size() + 2) / 3 * 4);
    const uint8_t* bytes = data.bytes();
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t count = std::min<size_t>(3, data.size() - i);
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (count > 1) group |= uint32_t{bytes[i + 1]} << 8;
        if (count > 2) group |= bytes[i + 2];
        for (size_t k = 0; k < 4; ++k)
            text += k <= count ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return text;
}

// None for text that is not padded base64.
std::optional<lf::Data> base64Decoded(const std::string& text) {
    static const std::array<int8_t, 256> values = [] {
        std::array<int8_t, 256> table;
        table.fill(-1);
        for (int i = 0; i < 64; ++i)
            table[static_cast<uint8_t>(kBase64Alphabet[i])] = static_cast<int8_t>(i);
        return table;
    }();
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        size_t padding = 0;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                ++padding;
                group <<= 6;
                continue;
            }
            const int8_t value = values[static_cast<uint8_t>(c)];
            if (value < 0 || padding > 0) return std::nullopt;
            group = group << 6 | static_cast<uint32_t>(value);
        }
        bytes.push_back(static_cast<uint8_t>(group >> 16));
        if (padding < 2) bytes.push_back(static_cast<uint8_t>(group >> 8));
        if (padding < 1) bytes.push_back(static_cast<uint8_t>(group));
    }
    return lf::Data(std::move(bytes));
}

}  // namespace

std::string QFArchivedData(const lf::Data& data) {
    return base64Encoded(data);
}

std::optional<lf::Data> QFUnarchivedData(const nlohmann::json& value) {
    return value.is_string() ? base64Decoded(value.get<std::string>()) : std::nullopt;
}

double QFArchivedDate(lf::SystemTime date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

nlohmann::json QFArchivedError(const lf::Error& error) {
    return {{QFArchivedClassKey, kErrorClassName},
            {"domain", error.domain},
            {"code", error.code},
            {"description", error.localizedDescription()}};
}

std::string QFArchivedClassName(const nlohmann::json& archive) {
    if (!archive.is_object()) return {};
    auto name = archive.find(QFArchivedClassKey);
    return name != archive.end() && name->is_string() ? name->get<std::string>() : std::string();
}

QFKeyedDecoder::QFKeyedDecoder(const nlohmann::json& archive, const std::string& className)
    : archive_(archive),
      className_(className),
      isArchiveOfClass_(QFArchivedClassName(archive) == className) {}

std::string QFKeyedDecoder::damage() const {
    if (!isArchiveOfClass_) return "not an archive of " + className_;
    if (unreadableKeys_.empty()) return {};
    return "the value of \"" + unreadableKeys_.front() + "\" is of the wrong kind";
}

const nlohmann::json* QFKeyedDecoder::valueForKey(const std::string& key) const {
    if (!archive_.is_object()) return nullptr;
    auto value = archive_.find(key);
    return value == archive_.end() || value->is_null() ? nullptr : &*value;
}

void QFKeyedDecoder::noteUnreadableValueForKey(const std::string& key) {
    if (std::find(unreadableKeys_.begin(), unreadableKeys_.end(), key) == unreadableKeys_.end())
        unreadableKeys_.push_back(key);
}

bool QFKeyedDecoder::containsValueForKey(const std::string& key) const {
    return valueForKey(key) != nullptr;
}

std::optional<std::string> QFKeyedDecoder::decodeString(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    if (value->is_string()) return value->get<std::string>();
    noteUnreadableValueForKey(key);
    return std::nullopt;
}

std::optional<int64_t> QFKeyedDecoder::decodeInteger(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    if (value->is_number_integer()) return value->get<int64_t>();
    noteUnreadableValueForKey(key);
    return std::nullopt;
}

std::optional<bool> QFKeyedDecoder::decodeBool(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>();
    noteUnreadableValueForKey(key);
    return std::nullopt;
}

std::optional<lf::Data> QFKeyedDecoder::decodeData(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    if (value->is_string())
        if (auto data = base64Decoded(value->get<std::string>())) return data;
    noteUnreadableValueForKey(key);
    return std::nullopt;
}

std::optional<lf::SystemTime> QFKeyedDecoder::decodeDate(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    // Dates beyond a few hundred thousand years would overflow the clock.
    if (value->is_number() && std::abs(value->get<double>()) < 1e13) {
        const std::chrono::duration<double> seconds(value->get<double>());
        return lf::SystemTime(std::chrono::duration_cast<lf::SystemTime::duration>(seconds));
    }
    noteUnreadableValueForKey(key);
    return std::nullopt;
}

template <typename Element>
std::optional<std::vector<Element>> QFKeyedDecoder::decodeArray(
    const std::string& key,
    const std::function<std::optional<Element>(const nlohmann::json&)>& decodeElement) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    if (!value->is_array()) {
        noteUnreadableValueForKey(key);
        return std::nullopt;
    }
    std::vector<Element> array;
    for (const auto& element : *value) {
        if (auto decoded = decodeElement(element))
            array.push_back(std::move(*decoded));
        else
            noteUnreadableValueForKey(key);
    }
    return array;
}

std::optional<std::vector<std::string>> QFKeyedDecoder::decodeStringArray(const std::string& key) {
    return decodeArray<std::string>(key, [](const nlohmann::json& element) {
        return element.is_string() ? std::optional(element.get<std::string>()) : std::nullopt;
    });
}

const nlohmann::json* QFKeyedDecoder::decodeObject(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return nullptr;
    if (value->is_object()) return value;
    noteUnreadableValueForKey(key);
    return nullptr;
}

const nlohmann::json* QFKeyedDecoder::decodeArrayElements(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return nullptr;
    if (value->is_array()) return value;
    noteUnreadableValueForKey(key);
    return nullptr;
}

std::optional<lf::Error> QFKeyedDecoder::decodeError(const std::string& key) {
    const nlohmann::json* value = valueForKey(key);
    if (!value) return std::nullopt;
    QFKeyedDecoder error(*value, kErrorClassName);
    auto domain = error.decodeString("domain");
    auto code = error.decodeInteger("code");
    auto description = error.decodeString("description");
    if (error.isDamaged() || !domain || !code) {
        noteUnreadableValueForKey(key);
        return std::nullopt;
    }
    lf::ErrorUserInfo userInfo;
    if (description) userInfo[lf::kLocalizedDescriptionKey] = std::move(*description);
    return lf::Error(std::move(*domain), *code, std::move(userInfo));
}
