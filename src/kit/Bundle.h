#pragma once
// Bundle: a folder of the application's resources, found by name: images,
// Info.json and the string tables under strings/.
//
// The main bundle's folder is, in this order: $LF_RESOURCES_DIR (tests point
// it at a folder of their own); the folder "resources" beside the
// executable, where an installed application keeps them; the source tree's
// resources/, for builds run in place.
//
// A string table is a JSON object of key to text in strings/<table>.json;
// the default table is "Localizable". Each table is read once, on its first
// lookup, and kept for the bundle's life. A missing table holds no text; a
// damaged one writes one "***" line and holds no text either, so its keys
// show as they are.
//
// Info.json is the application's property list: one JSON object, read on
// first use and kept; a missing file is an empty object, and so is a
// damaged one, after one "***" line.
//
// Threads: any thread may call any member; the folder never changes.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace lf {

class Bundle {
public:
    static constexpr const char* kResourceDirectoryVariable = "LF_RESOURCES_DIR";
    static constexpr const char* kDefaultTable = "Localizable";

    explicit Bundle(std::filesystem::path resourcePath);
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    // The application's own bundle, made on first use and never released.
    static const std::shared_ptr<const Bundle>& main();

    // The main bundle's folder as chosen above: `overrideDirectory` when it
    // is set and not empty, else the first of the other two that is a folder;
    // empty when none is.
    static std::filesystem::path mainResourcePath(const char* overrideDirectory,
                                                  const std::filesystem::path& executableDirectory,
                                                  const std::filesystem::path& sourceResources);

    const std::filesystem::path& resourcePath() const { return resourcePath_; }

    // The file `name` (with ".`extension`" when one is given), which may lie
    // in a subfolder ("strings/Updater", "json"); nullopt when there is none.
    std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                         std::string_view extension = {}) const;

    // The text of `key` in `table` (the default table when empty); when the
    // table has none, `value` unless it is empty, else the key itself.
    std::string localizedString(std::string_view key, std::string_view value = {},
                                std::string_view table = {}) const;
    // Reads `table` (the default table when empty) now, unless it was read
    // already.
    void loadStringTable(std::string_view table = {}) const;

    // Info.json's object.
    const nlohmann::json& infoDictionary() const;
    // The value of `key` in Info.json, or nullopt.
    std::optional<nlohmann::json> objectForInfoDictionaryKey(std::string_view key) const;

private:
    using StringTable = std::map<std::string, std::string, std::less<>>;
    const StringTable& stringTable(std::string_view name) const;
    static StringTable readStringTable(const std::filesystem::path& path);

    const std::filesystem::path resourcePath_;
    mutable std::mutex tablesMutex_;
    mutable std::map<std::string, std::unique_ptr<const StringTable>, std::less<>> tables_;
    mutable std::once_flag infoOnce_;
    mutable nlohmann::json info_;
};

}  // namespace lf
