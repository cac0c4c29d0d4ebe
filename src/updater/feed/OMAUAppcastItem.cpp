#include "updater/feed/OMAUAppcastItem.h"

#include "updater/shared/OMAUStringExtras.h"

#include <fmt/format.h>

#include <cctype>

namespace {

std::optional<std::string> optionalString(const RSSItem& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::string pathExtensionRemoved(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The version in a file name such as "App%201.2.zip": the piece after the
// last "%20", without its extension, when there are two pieces or more.
std::optional<std::string> versionFromFileName(const std::string& url) {
    const auto last = url.rfind("%20");
    if (last == std::string::npos) return std::nullopt;
    return pathExtensionRemoved(url.substr(last + 3));
}

// A length of whole bytes, digits only; 0 says nothing of the archive.
std::optional<uint64_t> lengthFromText(const std::optional<std::string>& text) {
    std::optional<uint64_t> length = text ? OMAUParseDecimal(*text) : std::nullopt;
    if (length == uint64_t{0}) return std::nullopt;
    return length;
}

bool isAllowedInURL(unsigned char c) {
    static constexpr std::string_view kAllowed = "-._~:/?#[]@!$&'()*+,;=%";
    return std::isalnum(c) || kAllowed.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string OMAUAddingPercentEscapes(std::string_view url) {
    std::string escaped;
    for (char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && isAllowedInURL(byte))
            escaped += c;
        else
            escaped += fmt::format("%{:02X}", byte);
    }
    return escaped;
}

OMAUAppcastItem::OMAUAppcastItem(const RSSItem& item) {
    title_ = optionalString(item, "title").value_or("");
    date_ = optionalString(item, "pubDate").value_or("");
    description_ = optionalString(item, "description").value_or("");
    releaseNotesURL_ = optionalString(item, "appcast:releaseNotesLink");
    if (!releaseNotesURL_ && description_.starts_with("http://")) releaseNotesURL_ = description_;

    const RSSItem enclosure =
        item.is_object() && item.contains("enclosure") ? item["enclosure"] : RSSItem::object();
    DSASignature_ = optionalString(enclosure, "appcast:dsaSignature").value_or("");
    MD5Sum_ = optionalString(enclosure, "appcast:md5Sum").value_or("");
    const std::string url = optionalString(enclosure, "url").value_or("");
    fileURL_ = OMAUAddingPercentEscapes(url);
    fileLength_ = lengthFromText(optionalString(enclosure, "length"));
    fileVersion_ = optionalString(enclosure, "appcast:version");
    if (!fileVersion_) fileVersion_ = versionFromFileName(url);
    versionString_ = fileVersion_;
    if (auto shortVersion = optionalString(enclosure, "appcast:shortVersionString")) {
        versionString_ = *shortVersion == fileVersion_
                             ? *shortVersion
                             : fmt::format("{}/{}", *shortVersion, fileVersion_.value_or(""));
    }
    minimumSystemVersionString_ = optionalString(enclosure, "appcast:minimumSystemVersion");
}
