#include "kit/Bundle.h"

#include "platform/core/Log.h"
#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace lf {
namespace {

std::filesystem::path executableDirectory() {
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : executable.parent_path();
}

bool isDirectory(const std::filesystem::path& path) {
    std::error_code ignored;
    return !path.empty() && std::filesystem::is_directory(path, ignored);
}

}  // namespace

Bundle::Bundle(std::filesystem::path resourcePath) : resourcePath_(std::move(resourcePath)) {}

const std::shared_ptr<const Bundle>& Bundle::main() {
    static const std::shared_ptr<const Bundle> bundle = [] {
        std::filesystem::path path =
            mainResourcePath(std::getenv(kResourceDirectoryVariable), executableDirectory(),
                             LF_SOURCE_RESOURCES_DIR);
        if (path.empty())
            log("*** no resources folder: set {} or install resources beside the executable",
                kResourceDirectoryVariable);
        return std::make_shared<const Bundle>(std::move(path));
    }();
    return bundle;
}

std::filesystem::path Bundle::mainResourcePath(const char* overrideDirectory,
                                               const std::filesystem::path& executableDirectory,
                                               const std::filesystem::path& sourceResources) {
    if (overrideDirectory && *overrideDirectory) return overrideDirectory;
    if (std::filesystem::path installed = executableDirectory / "resources"; isDirectory(installed))
        return installed;
    if (isDirectory(sourceResources)) return sourceResources;
    return {};
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view extension) const {
    if (resourcePath_.empty() || name.empty()) return std::nullopt;
    std::string file(name);
    if (!extension.empty()) file.append(".").append(extension);
    std::filesystem::path path = resourcePath_ / file;
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) return std::nullopt;
    return path;
}

std::string Bundle::localizedString(std::string_view key, std::string_view value,
                                    std::string_view table) const {
    const StringTable& strings = stringTable(table.empty() ? kDefaultTable : table);
    if (auto it = strings.find(key); it != strings.end()) return it->second;
    return std::string(value.empty() ? key : value);
}

void Bundle::loadStringTable(std::string_view table) const {
    stringTable(table.empty() ? kDefaultTable : table);
}

const Bundle::StringTable& Bundle::stringTable(std::string_view name) const {
    std::lock_guard lock(tablesMutex_);
    if (auto it = tables_.find(name); it != tables_.end()) return *it->second;
    auto table = std::make_unique<StringTable>();
    if (!resourcePath_.empty())
        *table = readStringTable(resourcePath_ / "strings" / (std::string(name) + ".json"));
    return *tables_.emplace(std::string(name), std::move(table)).first->second;
}

const nlohmann::json& Bundle::infoDictionary() const {
    std::call_once(infoOnce_, [this] {
        info_ = nlohmann::json::object();
        if (resourcePath_.empty()) return;
        const std::filesystem::path path = resourcePath_ / "Info.json";
        Result<Data> bytes = Data::readFile(path.string());
        if (!bytes) {
            if (!bytes.error().is(kPOSIXErrorDomain, ENOENT))
                log("*** {}", describe(bytes.error()));
            return;
        }
        auto json = nlohmann::json::parse(bytes->stringView(), nullptr, false);
        if (json.is_object())
            info_ = std::move(json);
        else
            log("*** {} is not a JSON object", path.string());
    });
    return info_;
}

std::optional<nlohmann::json> Bundle::objectForInfoDictionaryKey(std::string_view key) const {
    const nlohmann::json& info = infoDictionary();
    if (auto it = info.find(key); it != info.end()) return *it;
    return std::nullopt;
}

Bundle::StringTable Bundle::readStringTable(const std::filesystem::path& path) {
    StringTable table;
    Result<Data> bytes = Data::readFile(path.string());
    if (!bytes) {
        // A table that is not there simply has no texts; any other failure
        // is worth a line, as every key of the table will show raw.
        if (!bytes.error().is(kPOSIXErrorDomain, ENOENT)) log("*** {}", describe(bytes.error()));
        return table;
    }
    const auto json = nlohmann::json::parse(bytes->stringView(), nullptr, false);
    if (!json.is_object()) {
        log("*** string table {} is not a JSON object of key to text", path.string());
        return table;
    }
    for (const auto& [key, text] : json.items()) {
        if (text.is_string())
            table.emplace(key, text.get<std::string>());
        else
            log("*** string table {}: the value of \"{}\" is not text", path.string(), key);
    }
    return table;
}

}  // namespace lf
