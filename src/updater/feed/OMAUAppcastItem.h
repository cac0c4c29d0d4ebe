#pragma once
// OMAUAppcastItem: one release of the feed, read from a feed item: its
// texts, its release notes, and its archive (the enclosure) with the
// archive's version, checksum and signature.

#include "updater/feed/RSS.h"

#include <cstdint>
#include <optional>
#include <string>

class OMAUAppcastItem {
public:
    OMAUAppcastItem() = default;
    explicit OMAUAppcastItem(const RSSItem& item);

    const std::string& title() const { return title_; }
    void setTitle(std::string value) { title_ = std::move(value); }
    // "pubDate" as written.
    const std::string& date() const { return date_; }
    void setDate(std::string value) { date_ = std::move(value); }
    // HTML or plain text.
    const std::string& description() const { return description_; }
    void setDescription(std::string value) { description_ = std::move(value); }
    // "appcast:releaseNotesLink", else a description that is itself an
    // http URL.
    const std::optional<std::string>& releaseNotesURL() const { return releaseNotesURL_; }
    void setReleaseNotesURL(std::optional<std::string> value) {
        releaseNotesURL_ = std::move(value);
    }
    const std::string& DSASignature() const { return DSASignature_; }
    void setDSASignature(std::string value) { DSASignature_ = std::move(value); }
    // 32 hexadecimal digits, or empty.
    const std::string& MD5Sum() const { return MD5Sum_; }
    void setMD5Sum(std::string value) { MD5Sum_ = std::move(value); }
    // The archive's URL, with the characters a URL may not hold escaped.
    const std::string& fileURL() const { return fileURL_; }
    void setFileURL(std::string value) { fileURL_ = std::move(value); }
    // The archive's length in bytes (the enclosure's "length"); none when
    // the feed gives none, or 0, or something that is not a number.
    const std::optional<uint64_t>& fileLength() const { return fileLength_; }
    void setFileLength(std::optional<uint64_t> value) { fileLength_ = value; }
    // The archive's build version ("appcast:version", else the piece of the
    // URL after its last "%20" without extension); none when neither.
    const std::optional<std::string>& fileVersion() const { return fileVersion_; }
    void setFileVersion(std::optional<std::string> value) { fileVersion_ = std::move(value); }
    // For people: "short/build" when the feed gives a different short
    // version, else the build version.
    const std::optional<std::string>& versionString() const { return versionString_; }
    void setVersionString(std::optional<std::string> value) { versionString_ = std::move(value); }
    const std::optional<std::string>& minimumSystemVersionString() const {
        return minimumSystemVersionString_;
    }

private:
    std::string title_;
    std::string date_;
    std::string description_;
    std::optional<std::string> releaseNotesURL_;
    std::string DSASignature_;
    std::string MD5Sum_;
    std::string fileURL_;
    std::optional<uint64_t> fileLength_;
    std::optional<std::string> fileVersion_;
    std::optional<std::string> versionString_;
    std::optional<std::string> minimumSystemVersionString_;
};

// `url` with every byte that a URL may not hold written as "%XX" (UTF-8);
// "%" itself and the reserved characters stay.
std::string OMAUAddingPercentEscapes(std::string_view url);
