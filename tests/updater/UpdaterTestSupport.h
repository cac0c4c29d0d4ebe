#pragma once
// What the updater's tests share: a host application described in the
// test, applications and archives made on the spot, and running a command.

#include "updater/shared/OMAUHost.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>

namespace lf::test {

inline const std::string kTestSystemVersion = "12";

// The host "layerflow" (build 100, version 1.0) on system 12, with the
// members of `info` added to its property list, installed at `bundlePath`,
// with the shipped "Updater" table.
std::shared_ptr<const OMAUHost> makeHost(const nlohmann::json& info,
                                         const std::filesystem::path& bundlePath = {});

// Whether `program` is on the PATH.
bool hasProgram(const std::string& program);

// Runs `command` with the shell in `folder`; whether it exited with 0.
bool runIn(const std::filesystem::path& folder, const std::string& command);

inline const std::string kTestBundleIdentifier = "org.layerflow.layerflow";

// A folder `name` in `parent` that looks like an installed application:
// an executable "layerflow" printing `version` and a resources folder with
// the property list naming the application `identifier`.
std::filesystem::path makeApplication(const std::filesystem::path& parent, const std::string& name,
                                      const std::string& version,
                                      const std::string& identifier = kTestBundleIdentifier);

// The text of a file, or empty.
std::string readText(const std::filesystem::path& path);

// The MD5 sum of `bytes` in lowercase hexadecimal, as a feed gives it.
std::string md5Of(const std::string& bytes);

// Whether `text` holds nothing that acts on a terminal or turns text
// around: no control character, no right-to-left override.
bool showsSafely(const std::string& text);

// Makes `folder` hold a chain of `depth` folders named "deep", a file
// "bottom" in the last, as a stopped tool could leave it: far longer than
// the longest path, and every hundredth folder closed (mode 0000) once
// the next is made in it. Made one folder at a time from the one above.
void makeDeepTree(const std::filesystem::path& folder, size_t depth);

// The base64 DSA signature of the SHA-256 digest of `bytes` with the test
// key (data/test-dsa-private.pem), as the feed carries it.
std::string signWithTestKey(const std::string& bytes);

}  // namespace lf::test
