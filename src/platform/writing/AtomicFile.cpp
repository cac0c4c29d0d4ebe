#include "platform/writing/AtomicFile.h"

#include "platform/writing/FolderLock.h"
#include "platform/writing/LeftoverTemporaries.h"
#include "platform/writing/TemporaryFile.h"

namespace lf {

Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    LF_TRY(writeFileAtomicallyIf(path, bytes, nullptr));
    return {};
}

Result<bool> writeFileAtomicallyIf(const std::string& path, std::span<const uint8_t> bytes,
                                   const std::function<bool()>& stillWanted) {
    const std::string folder = folderOfPath(path);
    const LeftoverTemporaries leftovers(folder);
    leftovers.removeNewContentsOf(path);
    auto file = TemporaryFile::createBeside(path, leftovers.longestName());
    if (!file) return file.error();
    LF_TRY(file->write(bytes));
    const auto moving = takeFolderLocks({folder});
    file->close();
    // Last, so that what it looks at has only the rename's moment to change
    // in. The temporary file goes with `file` when it is not wanted.
    if (stillWanted && !stillWanted()) return false;
    LF_TRY(file->replaceTarget());
    if (moving) leftovers.removeReplacedFilesOf(path);
    flushFolder(folder);
    return true;
}

}  // namespace lf
