#include "platform/writing/AtomicFile.h"

#include "platform/writing/FolderLock.h"
#include "platform/writing/LeftoverTemporaries.h"
#include "platform/writing/TemporaryFile.h"

namespace lf {

Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    const std::string folder = folderOfPath(path);
    const LeftoverTemporaries leftovers(folder);
    leftovers.removeNewContentsOf(path);
    auto file = TemporaryFile::createBeside(path, leftovers.longestName());
    if (!file) return file.error();
    LF_TRY(file->write(bytes));
    const auto moving = takeFolderLocks({folder});
    file->close();
    LF_TRY(file->replaceTarget());
    if (moving) leftovers.removeReplacedFilesOf(path);
    flushFolder(folder);
    return {};
}

}  // namespace lf
