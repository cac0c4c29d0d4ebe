#pragma once
// Whether a folder holds an installed copy of an application: a folder, not
// a link, whose property list (resources/Info.json, a plain file) names the
// application by its bundle identifier ("CFBundleIdentifier"). The
// installer helper runs with administrator rights on paths it is given, so
// it replaces only a folder that holds the same application as the update.
//
// Uses nothing of a toolkit, as the helper does not.

#include "platform/core/Result.h"

#include <filesystem>
#include <string>

// The bundle identifier of the application in `folder`; an error naming
// what is missing or is no plain folder or file.
lf::Result<std::string> OMAUBundleIdentifierOf(const std::filesystem::path& folder);

// Whether `destination` holds an installed copy of the application that
// `source` holds; the error says why not.
lf::Status OMAUCheckSameApplication(const std::filesystem::path& source,
                                    const std::filesystem::path& destination);
