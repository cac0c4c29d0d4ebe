#include "updater/installation/OMAUInstallation.h"

#include "platform/processes/ChildProcess.h"
#include "updater/shared/OMAUHost.h"
#include "updater/shared/OMAULog.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <QFile>
#include <QString>
#include <fmt/format.h>

#include <cerrno>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

lf::Status runPrivileged(const OMAUPrivilegedMove& privileged, std::vector<std::string> arguments) {
    lf::ChildProcess::Options options;
    options.arguments = {privileged.elevationProgram, privileged.installerPath.string()};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.searchPath = true;
    lf::Result<lf::ChildProcess> child = lf::ChildProcess::spawn(options);
    if (!child) return child.error();
    auto ended = child->waitUntil(std::chrono::steady_clock::time_point::max());
    if (ended && ended->exited() && ended->exitCode() == 0) return {};
    return lf::Error(lf::kPOSIXErrorDomain, EPERM,
                     {{lf::kLocalizedDescriptionKey,
                       fmt::format("the privileged installer {}",
                                   ended ? ended->description() : "did not end")}});
}

}  // namespace

OMAUPrivilegedMove OMAUDefaultPrivilegedMove() {
    OMAUPrivilegedMove move;
    move.installerPath =
        OMAUHost::main()->executablePath().parent_path() / "layerflow-update-installer";
    return move;
}

lf::Status OMAUMovePathWithAuthentication(const fs::path& source, const fs::path& destination,
                                          const OMAUPrivilegedMove& privileged) {
    if (::access(destination.c_str(), W_OK) != 0 ||
        ::access(destination.parent_path().c_str(), W_OK) != 0)
        return OMAUMovePathWithForcedAuthentication(source, destination, privileged);
    return OMAUMovePathAsUser(source, destination);
}

lf::Status OMAUMovePathAsUser(const fs::path& source, const fs::path& destination) {
    lf::Result<fs::path> backup = OMAUReserveFolderBeside(destination, "old");
    if (!backup) return backup.error();
    // Only the unique name is wanted; the old folder is renamed to it.
    ::rmdir(backup->c_str());
    LF_TRY(OMAUReplaceBundle(source, destination, *backup));
    if (!QFile::moveToTrash(QString::fromStdString(backup->string()))) {
        OMAULog("Could not move the old copy {} to the trash; removing it", backup->string());
        OMAURemoveQuietly(*backup);
    }
    return {};
}

lf::Status OMAUMovePathWithForcedAuthentication(const fs::path& source, const fs::path& destination,
                                                const OMAUPrivilegedMove& privileged) {
    const fs::path backup = destination.parent_path() / (destination.stem().string() + ".old" +
                                                         destination.extension().string());
    if (!OMAUStatusOf(source)) return lf::Error::posix(errno, "examine " + source.string());
    if (OMAUStatusOf(backup))
        return lf::Error::posix(EEXIST, "keep the old copy at " + backup.string());
    if (!OMAUStatusOf(destination))
        return lf::Error::posix(errno, "examine " + destination.string());
    return runPrivileged(privileged, {source.string(), destination.string(), backup.string()});
}

bool OMAUCurrentUserOwnsPath(const fs::path& path) {
    const auto status = OMAUStatusOf(path);
    if (!status || status->st_uid != ::getuid()) return false;
    if (!S_ISDIR(status->st_mode)) return true;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error))
        if (!OMAUCurrentUserOwnsPath(entry.path())) return false;
    return !error;
}

size_t OMAUCopiesRunning(const std::string& name) {
    // The kernel keeps the first 15 bytes of a program's name.
    const std::string comm = name.substr(0, 15);
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto status = OMAUStatusOf(entry.path());
        if (!status || status->st_uid != ::getuid()) continue;
        FILE* file = std::fopen((entry.path() / "comm").c_str(), "r");
        if (!file) continue;
        char line[64] = {};
        const bool read = std::fgets(line, sizeof line, file) != nullptr;
        std::fclose(file);
        std::string running(line);
        if (!running.empty() && running.back() == '\n') running.pop_back();
        if (read && running == comm) ++count;
    }
    return count;
}
