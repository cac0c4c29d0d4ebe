#pragma once
// OMAUHost: what the updater knows of the application it updates: its
// property list (Info.json) with the name, versions and updater keys, the
// installed application folder that an update replaces (the "bundle": the
// folder of the running executable), the system's version, and the
// updater's string table "Updater", whose keys are the English texts.
//
// OMAUHost::main() describes the running application; tests describe one of
// their own. The plain functions below answer for main().
//
// Immutable once made; any thread may use it.

#include "kit/Bundle.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class OMAUHost {
public:
    struct Description {
        nlohmann::json info = nlohmann::json::object();
        std::filesystem::path bundlePath;
        std::filesystem::path executablePath;
        std::string systemVersion;
        // The bundle whose "Updater" table holds the texts; none shows keys.
        std::shared_ptr<const lf::Bundle> strings;
    };

    static const std::shared_ptr<const OMAUHost>& main();
    explicit OMAUHost(Description description) : description_(std::move(description)) {}

    std::optional<nlohmann::json> infoValueForKey(std::string_view key) const;
    std::optional<std::string> infoString(std::string_view key) const;
    // A boolean, or a number other than 0; none when absent or neither.
    std::optional<bool> infoBool(std::string_view key) const;

    // CFBundleName, else the bundle folder's name without its extension.
    std::string appName() const;
    // CFBundleDisplayName, else appName().
    std::string displayName() const;
    // CFBundleVersion: the build version that feeds compare against.
    std::string version() const;
    // CFBundleShortVersionString, else CFBundleVersion.
    std::string versionString() const;
    const std::string& systemVersion() const { return description_.systemVersion; }
    // The user agent of feed requests: "name/system.build (Linux) Updater/1.0".
    std::string userAgent() const;

    const std::filesystem::path& bundlePath() const { return description_.bundlePath; }
    const std::filesystem::path& executablePath() const { return description_.executablePath; }

    // The text of `key` in the "Updater" table, or the key itself.
    std::string localizedString(std::string_view key) const;
    // The text of `key` in the application's default table ("OK", "Cancel").
    std::string mainTableString(std::string_view key) const;

private:
    Description description_;
};

// The system's version: VERSION_ID of /etc/os-release ("12" on Debian 12),
// read once per process; empty when it cannot be read.
const std::string& OMAUSystemVersionString();

std::optional<nlohmann::json> OMAUInfoValueForKey(std::string_view key);
std::string OMAUHostAppName();
std::string OMAUHostAppDisplayName();
std::string OMAUHostAppVersion();
std::string OMAUHostAppVersionString();
std::string OMAULocalizedString(std::string_view key);

// Formats an updater text: "%@", "%i" and "%d" take the next value (given
// as text), "%%" is one "%"; anything else stays as written.
std::string OMAUFormat(std::string_view format, std::vector<std::string> values);
