#pragma once
// A failure as a value: a domain string, an integer code and a user-info map.
// Domains and codes are those of the subsystem that reports them; the keys
// below are the ones the application's error views and recovery code read.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace lf {

struct Error;

// An object that can try to recover from an error for the user, for example
// by opening an example document; it is kept in the user info under
// kRecoveryAttempterErrorKey.
class ErrorRecoveryAttempter {
public:
    virtual ~ErrorRecoveryAttempter() = default;
    virtual bool attemptRecovery(const Error& error, int optionIndex) = 0;
};

using ErrorValue =
    std::variant<std::string, int64_t, double, bool, std::vector<std::string>,
                 std::shared_ptr<const Error>, std::shared_ptr<ErrorRecoveryAttempter>>;
using ErrorUserInfo = std::map<std::string, ErrorValue>;

inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* kLocalizedRecoveryOptionsErrorKey = "NSLocalizedRecoveryOptions";
inline constexpr const char* kRecoveryAttempterErrorKey = "NSRecoveryAttempter";
inline constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* kURLErrorKey = "NSURL";
inline constexpr const char* kFilePathErrorKey = "NSFilePath";
// The resource name of the image that an empty-state view shows for the error.
inline constexpr const char* kPlaceholderImageErrorKey = "QFErrorPlaceholderImage";

// Domain of errors reported by the operating system; the code is errno.
inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";

struct Error {
    std::string domain;
    int64_t code = 0;
    ErrorUserInfo userInfo;

    Error() = default;
    Error(std::string domain, int64_t code, ErrorUserInfo userInfo = {})
        : domain(std::move(domain)), code(code), userInfo(std::move(userInfo)) {}

    // An error of the POSIX domain for errno value `errnum`, with a
    // description naming what failed ("open /a/b.psd: No such file").
    static Error posix(int errnum, const std::string& what);

    // The string under `key`, or empty when absent or not a string.
    std::string stringForKey(const std::string& key) const;
    std::shared_ptr<const Error> underlyingError() const;

    // The description under kLocalizedDescriptionKey, else a sentence made
    // from the domain and code, so that every error can be shown as text.
    std::string localizedDescription() const;
    std::string localizedFailureReason() const {
        return stringForKey(kLocalizedFailureReasonErrorKey);
    }
    std::vector<std::string> localizedRecoveryOptions() const;
    std::shared_ptr<ErrorRecoveryAttempter> recoveryAttempter() const;

    bool is(const std::string& errorDomain, int64_t errorCode) const {
        return domain == errorDomain && code == errorCode;
    }
};

// "domain code: description", for logs and the command line.
std::string describe(const Error& error);

}  // namespace lf
