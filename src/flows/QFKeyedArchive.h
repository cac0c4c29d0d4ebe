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
// none and marks the whole archive as damaged, so the caller can drop the
// object (with a log line naming the key) rather than carry a half-read one.

#include "platform/Data.h"
#include "platform/Error.h"
#include "platform/Formatters.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* QFArchivedClassKey = "$class";

std::string QFArchivedData(const lf::Data& data);
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
    std::optional<std::vector<std::string>> decodeStringArray(const std::string& key);
    std::optional<std::vector<lf::Data>> decodeDataArray(const std::string& key);
    // The domain, the code and the description, which is all that is kept.
    std::optional<lf::Error> decodeError(const std::string& key);
    // A nested archived object, any class; none when absent.
    const nlohmann::json* decodeObject(const std::string& key);

    bool isDamaged() const { return !damage_.empty(); }
    // What was wrong first, for the log line.
    const std::string& damage() const { return damage_; }

private:
    const nlohmann::json* valueForKey(const std::string& key) const;
    void noteDamage(const std::string& key);

    const nlohmann::json& archive_;
    std::string damage_;
};

// The class an archived object was recorded under; empty when none.
std::string QFArchivedClassName(const nlohmann::json& archive);
