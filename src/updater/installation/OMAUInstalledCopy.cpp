#include "updater/installation/OMAUInstalledCopy.h"

#include "platform/files/FileDescriptor.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A property list is a few hundred bytes; the helper reads no more than this.
constexpr uint64_t kMaximumPropertyListLength = 1 << 20;

lf::Error refusal(int code, std::string description) {
    return lf::Error(lf::kPOSIXErrorDomain, code,
                     {{lf::kLocalizedDescriptionKey, std::move(description)}});
}

// Whether `path` is a folder itself, not a link to one.
lf::Status requireFolder(const fs::path& path) {
    const std::optional<struct stat> status = OMAUStatusOf(path);
    if (!status) return lf::Error::posix(errno, "examine " + path.string());
    if (S_ISLNK(status->st_mode)) return refusal(ELOOP, path.string() + " is a link, not a folder");
    if (!S_ISDIR(status->st_mode)) return refusal(ENOTDIR, path.string() + " is not a folder");
    return {};
}

lf::Result<std::string> readPropertyList(const fs::path& path) {
    // Not through a link, and never waiting on a pipe put in its place.
    lf::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen()) return lf::Error::posix(errno, "open " + path.string());
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        return lf::Error::posix(errno, "examine " + path.string());
    if (!S_ISREG(status.st_mode) ||
        static_cast<uint64_t>(status.st_size) > kMaximumPropertyListLength)
        return refusal(EINVAL, path.string() + " is no property list");
    std::vector<char> text(static_cast<size_t>(status.st_size));
    lf::Result<size_t> read = file.readUncached(text.data(), text.size(), 0);
    if (!read) return read.error();
    return std::string(text.data(), *read);
}

}  // namespace

lf::Result<std::string> OMAUBundleIdentifierOf(const fs::path& folder) {
    LF_TRY(requireFolder(folder));
    LF_TRY(requireFolder(folder / "resources"));
    const fs::path infoPath = folder / "resources" / "Info.json";
    lf::Result<std::string> text = readPropertyList(infoPath);
    if (!text) return text.error();
    const nlohmann::json info = nlohmann::json::parse(*text, nullptr, false);
    if (info.is_object()) {
        const auto identifier = info.find("CFBundleIdentifier");
        if (identifier != info.end() && identifier->is_string() &&
            !identifier->get_ref<const std::string&>().empty())
            return identifier->get<std::string>();
    }
    return refusal(EINVAL, infoPath.string() + " names no application (CFBundleIdentifier)");
}

lf::Status OMAUCheckSameApplication(const fs::path& source, const fs::path& destination) {
    lf::Result<std::string> installed = OMAUBundleIdentifierOf(destination);
    if (!installed) return installed.error();
    lf::Result<std::string> update = OMAUBundleIdentifierOf(source);
    if (!update) return update.error();
    if (*installed != *update)
        return refusal(EPERM, fmt::format("{} holds {}, another application than the update's {}",
                                          destination.string(), *installed, *update));
    return {};
}
