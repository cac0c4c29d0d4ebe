#include "platform/settings/SettingsFileReplacement.h"

#include "platform/writing/FolderLock.h"
#include "platform/writing/LeftoverTemporaries.h"
#include "platform/writing/TemporaryFile.h"

namespace lf {

Result<bool> replaceSettingsFileIfAsRead(const std::string& path, const Data& contents,
                                         const std::function<bool()>& isAsRead) {
    const std::string folder = folderOfPath(path);
    const LeftoverTemporaries leftovers(folder);
    leftovers.removeNewContentsOf(path);
    auto file = TemporaryFile::createBeside(path, leftovers.longestName());
    if (!file) return file.error();
    LF_TRY(file->write(contents.span()));
    const auto moving = takeFolderLocks({folder});
    file->close();
    // Last, so that an edit has only the rename's moment to be lost in. The
    // temporary file goes with `file` when the settings changed.
    if (!isAsRead()) return false;
    LF_TRY(file->replaceTarget());
    if (moving) leftovers.removeReplacedFilesOf(path);
    flushFolder(folder);
    return true;
}

}  // namespace lf
