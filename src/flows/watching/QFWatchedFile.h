#pragma once
// QFWatchedFile: what a QFFileWatcher remembers of one file: its path and
// the modification time it last saw (whole seconds). Archived with the keys
// "path" and "lastModified".

#include "platform/core/Formatters.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

class QFWatchedFile {
public:
    static constexpr const char* kClassName = "QFWatchedFile";

    // Null for an empty path.
    static std::shared_ptr<QFWatchedFile> create(std::string url);
    // Null unless the archive is sound and its path names a readable file.
    static std::shared_ptr<QFWatchedFile> decode(const nlohmann::json& archive);
    nlohmann::json encode() const;

    const std::string& URL() const { return url_; }
    lf::SystemTime lastModified() const { return lastModified_; }
    void setLastModified(lf::SystemTime date) { lastModified_ = date; }

    explicit QFWatchedFile(std::string url) : url_(std::move(url)) {}

private:
    const std::string url_;
    lf::SystemTime lastModified_{};
};
