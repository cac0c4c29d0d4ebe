#include "updater/shared/OMAUHost.h"

#include "kit/OMStringFormat.h"
#include "platform/files/Data.h"

#include <fmt/format.h>

#include <system_error>

namespace {

std::filesystem::path runningExecutable() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string readSystemVersion() {
    lf::Result<lf::Data> release = lf::Data::readFile("/etc/os-release");
    if (!release) return {};
    std::string_view text = release->stringView();
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.starts_with("VERSION_ID=")) return unquoted(line.substr(11));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return {};
}

}  // namespace

const std::shared_ptr<const OMAUHost>& OMAUHost::main() {
    static const std::shared_ptr<const OMAUHost> host = [] {
        const auto& bundle = lf::Bundle::main();
        Description description;
        description.info = bundle->infoDictionary();
        description.executablePath = runningExecutable();
        description.bundlePath = description.executablePath.parent_path();
        description.systemVersion = OMAUSystemVersionString();
        description.strings = bundle;
        return std::make_shared<const OMAUHost>(std::move(description));
    }();
    return host;
}

std::optional<nlohmann::json> OMAUHost::infoValueForKey(std::string_view key) const {
    const nlohmann::json& info = description_.info;
    if (!info.is_object()) return std::nullopt;
    if (auto it = info.find(key); it != info.end()) return *it;
    return std::nullopt;
}

std::optional<std::string> OMAUHost::infoString(std::string_view key) const {
    auto value = infoValueForKey(key);
    if (!value) return std::nullopt;
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number()) return value->dump();
    return std::nullopt;
}

std::optional<bool> OMAUHost::infoBool(std::string_view key) const {
    auto value = infoValueForKey(key);
    if (!value) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0;
    if (value->is_string()) return *value == "YES" || *value == "true" || *value == "1";
    return std::nullopt;
}

std::string OMAUHost::appName() const {
    if (auto name = infoString("CFBundleName")) return *name;
    return description_.bundlePath.stem().string();
}

std::string OMAUHost::displayName() const {
    return infoString("CFBundleDisplayName").value_or(appName());
}

std::string OMAUHost::version() const {
    return infoString("CFBundleVersion").value_or("");
}

std::string OMAUHost::versionString() const {
    if (auto shortVersion = infoString("CFBundleShortVersionString")) return *shortVersion;
    return version();
}

std::string OMAUHost::userAgent() const {
    return fmt::format("{}/{}.{} (Linux) Updater/1.0", appName(), systemVersion(), version());
}

std::string OMAUHost::localizedString(std::string_view key) const {
    if (!description_.strings) return std::string(key);
    return description_.strings->localizedString(key, {}, "Updater");
}

std::string OMAUHost::mainTableString(std::string_view key) const {
    if (!description_.strings) return std::string(key);
    return description_.strings->localizedString(key);
}

const std::string& OMAUSystemVersionString() {
    // Static initialisation is thread-safe: the feed thread and the main
    // thread may both ask first.
    static const std::string version = readSystemVersion();
    return version;
}

std::optional<nlohmann::json> OMAUInfoValueForKey(std::string_view key) {
    return OMAUHost::main()->infoValueForKey(key);
}
std::string OMAUHostAppName() {
    return OMAUHost::main()->appName();
}
std::string OMAUHostAppDisplayName() {
    return OMAUHost::main()->displayName();
}
std::string OMAUHostAppVersion() {
    return OMAUHost::main()->version();
}
std::string OMAUHostAppVersionString() {
    return OMAUHost::main()->versionString();
}
std::string OMAULocalizedString(std::string_view key) {
    return OMAUHost::main()->localizedString(key);
}

std::string OMAUFormat(std::string_view format, std::vector<std::string> values) {
    std::string objectFormat;
    objectFormat.reserve(format.size());
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            objectFormat += '%';
            objectFormat += next == 'i' || next == 'd' ? '@' : next;
            ++i;
        } else {
            objectFormat += format[i];
        }
    }
    return OMFormatString(objectFormat, values);
}
