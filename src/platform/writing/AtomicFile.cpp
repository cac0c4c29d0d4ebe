#include "platform/writing/AtomicFile.h"

#include "platform/writing/LeftoverTemporaries.h"
#include "platform/writing/TemporaryFile.h"

namespace lf {

Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    const LeftoverTemporaries folder(folderOfPath(path));
    folder.removeThoseOf(path);
    auto file = TemporaryFile::createBeside(path, folder.longestName());
    if (!file) return file.error();
    LF_TRY(file->write(bytes));
    const FolderMoveLock moving(folderOfPath(path));
    file->close();
    LF_TRY(file->replaceTarget());
    flushFolder(folderOfPath(path));
    return {};
}

}  // namespace lf
