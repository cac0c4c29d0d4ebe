#include "platform/core/Error.h"

#include <fmt/format.h>

#include <cstring>

namespace lf {

Error Error::posix(int errnum, const std::string& what) {
    return Error(kPOSIXErrorDomain, errnum,
                 {{kLocalizedDescriptionKey, fmt::format("{}: {}", what, std::strerror(errnum))}});
}

std::string Error::stringForKey(const std::string& key) const {
    auto it = userInfo.find(key);
    if (it == userInfo.end()) return {};
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return {};
}

std::shared_ptr<const Error> Error::underlyingError() const {
    auto it = userInfo.find(kUnderlyingErrorKey);
    if (it == userInfo.end()) return nullptr;
    if (auto* e = std::get_if<std::shared_ptr<const Error>>(&it->second)) return *e;
    return nullptr;
}

std::string Error::localizedDescription() const {
    std::string text = stringForKey(kLocalizedDescriptionKey);
    if (!text.empty()) return text;
    return fmt::format("The operation couldn't be completed. ({} error {}.)", domain, code);
}

std::vector<std::string> Error::localizedRecoveryOptions() const {
    auto it = userInfo.find(kLocalizedRecoveryOptionsErrorKey);
    if (it == userInfo.end()) return {};
    if (auto* v = std::get_if<std::vector<std::string>>(&it->second)) return *v;
    return {};
}

std::shared_ptr<ErrorRecoveryAttempter> Error::recoveryAttempter() const {
    auto it = userInfo.find(kRecoveryAttempterErrorKey);
    if (it == userInfo.end()) return nullptr;
    if (auto* a = std::get_if<std::shared_ptr<ErrorRecoveryAttempter>>(&it->second)) return *a;
    return nullptr;
}

std::string describe(const Error& error) {
    return fmt::format("{} {}: {}", error.domain, error.code, error.localizedDescription());
}

}  // namespace lf
