#pragma once
// Keyed archives of the flows as JSON: each archived object is a JSON
// object of its keys, recorded under its class name ("$class"), so that
// decoding makes an object of the class that was archived. Values that JSON
// has no form for are written as:
//   - data (bookmarks): a base64 string;
//   - dates: seconds since 1970-01-01 UTC, a number with a fraction;
//   - URLs: the absolute path of the file or folder;
//   - errors: an archived object of class "QFError" with the keys
//     "domain", "code" and "description" (what a status line shows of it).
//
// QFKeyedDecoder reads one archived object. A key that is absent answers
// none; a key that is present with a value of the wrong kind also answers
// none and is noted as unreadable, so that the caller can keep the rest of
// the object with that value at its default (and a log line naming the
// key), or drop the object where a half-read one is no use. An archive that
// is not an object of the expected class is damaged as a whole.

#include "platform/core/Error.h"
#include "platform/core/Formatters.h"
#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* QFArchivedClassKey = "$class";

std::string QFArchivedData(const lf::Data& data);
// The data an archived value holds; none when it is no archived data.
std::optional<lf::Data> QFUnarchivedData(const nlohmann::json& value);
double QFArchivedDate(lf::SystemTime date);
nlohmann::json QFArchivedError(const lf::Error& error);

class QFKeyedDecoder {
public:
    // An archive of `className`: damaged when it is not an object recorded
    // under that class.
    QFKeyedDecoder(const nlohmann::json& archive, const std::string& className);

    bool containsValueForKey(const std::string& key) const;

    std::optional<std::string> decodeString(const std::string& key);
    std::optional<int64_t> decodeInteger(const std::string& key);
    std::optional<bool> decodeBool(const std::string& key);
    std::optional<lf::Data> decodeData(const std::string& key);
    std::optional<lf::SystemTime> decodeDate(const std::string& key);
    // Arrays: the elements of the wrong kind are left out, and the key is
    // noted as unreadable.
    std::optional<std::vector<std::string>> decodeStringArray(const std::string& key);
    // The domain, the code and the description, which is all that is kept.
    std::optional<lf::Error> decodeError(const std::string& key);
    // A nested archived object, any class; none when absent.
    const nlohmann::json* decodeObject(const std::string& key);
    // An array, for the caller to read element by element (and to note the
    // key as unreadable for the elements it cannot read); none when absent.
    const nlohmann::json* decodeArrayElements(const std::string& key);

    // Whether the archive is an object recorded under the expected class.
    bool isArchiveOfClass() const { return isArchiveOfClass_; }
    // The keys read so far whose values were of the wrong kind, in order.
    const std::vector<std::string>& unreadableKeys() const { return unreadableKeys_; }
    // Notes `key` as unreadable: for values the caller checks further.
    void noteUnreadableValueForKey(const std::string& key);
    // Not an archive of the class, or a value of the wrong kind read.
    bool isDamaged() const { return !isArchiveOfClass_ || !unreadableKeys_.empty(); }
    // What was wrong first, for the log line.
    std::string damage() const;

private:
    const nlohmann::json* valueForKey(const std::string& key) const;
    template <typename Element>
    std::optional<std::vector<Element>> decodeArray(
        const std::string& key,
        const std::function<std::optional<Element>(const nlohmann::json&)>& decodeElement);

    const nlohmann::json& archive_;
    const std::string className_;
    const bool isArchiveOfClass_;
    std::vector<std::string> unreadableKeys_;
};

// The class an archived object was recorded under; empty when none.
std::string QFArchivedClassName(const nlohmann::json& archive);
