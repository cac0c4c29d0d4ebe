#include "platform/AtomicFile.h"

#include "platform/TemporaryFile.h"

namespace lf {

Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    auto file = TemporaryFile::createBeside(path);
    if (!file) return file.error();
    LF_TRY(file->write(bytes));
    LF_TRY(file->replaceTarget());
    flushFolder(folderOfPath(path));
    return {};
}

}  // namespace lf
