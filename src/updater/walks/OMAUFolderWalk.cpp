#include "updater/walks/OMAUFolderWalk.h"

#include "platform/files/FileDescriptor.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUFolderCursor.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// A folder gone, or replaced by something else than a folder, since its
// parent was read: there is nothing of the tree to walk there.
bool passedOver(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

class Walk {
public:
    Walk(int root, std::string rootPath, const OMAUFolderVisitor& visitor)
        : cursor_(root, std::move(rootPath)), visitor_(visitor) {}

    lf::Status run() {
        waiting_.emplace_back();
        LF_TRY(read());
        while (!waiting_.empty()) {
            if (!waiting_.back().empty()) {
                const std::string name = std::move(waiting_.back().back());
                waiting_.back().pop_back();
                LF_TRY(down(name));
            } else if (cursor_.depth() > 0) {
                LF_TRY(up());
            } else {
                waiting_.pop_back();
            }
        }
        return {};
    }

private:
    OMAUWalkEntry entry(int folder, const char* name, const struct stat& status,
                        size_t depth) const {
        return {folder, name, status, depth, cursor_};
    }

    // Visits the entries of the folder the cursor is at, keeping those of
    // its folders the visitor goes into.
    lf::Status read() {
        const int folder = cursor_.descriptor();
        // A descriptor of the reading's own, read from the start whatever
        // was read through the folder's.
        lf::FileDescriptor reading(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
        const std::unique_ptr<DIR, int (*)(DIR*)> entries(
            reading.isOpen() ? ::fdopendir(reading.get()) : nullptr, ::closedir);
        if (!entries) return lf::Error::posix(errno, "read " + cursor_.pathOf({}));
        reading.release();
        ::rewinddir(entries.get());
        for (;;) {
            errno = 0;
            const dirent* found = ::readdir(entries.get());
            if (!found) break;
            const std::string_view name = found->d_name;
            if (name == "." || name == "..") continue;
            if (visitor_.stop.stop_requested())
                return lf::Error::posix(ECANCELED, "walk " + cursor_.pathOf({}));
            struct stat status {};
            if (!OMAUExamineEntry(folder, found->d_name, status)) {
                if (errno == ENOENT) continue;
                return lf::Error::posix(errno, "examine " + cursor_.pathOf(name));
            }
            lf::Result<bool> goesIn =
                visitor_.visit(entry(folder, found->d_name, status, cursor_.depth() + 1));
            if (!goesIn) return goesIn.error();
            if (*goesIn && S_ISDIR(status.st_mode)) waiting_.back().emplace_back(name);
        }
        if (errno != 0) return lf::Error::posix(errno, "read " + cursor_.pathOf({}));
        return {};
    }

    lf::Status down(const std::string& name) {
        if (lf::Status entered = cursor_.down(name); !entered)
            return passedOver(static_cast<int>(entered.error().code)) ? lf::Status() : entered;
        waiting_.emplace_back();
        if (visitor_.enter)
            LF_TRY(visitor_.enter(entry(-1, name.c_str(), cursor_.status(), cursor_.depth()),
                                  cursor_.descriptor()));
        return read();
    }

    lf::Status up() {
        waiting_.pop_back();
        const std::string name = cursor_.name();
        const struct stat status = cursor_.status();
        const size_t depth = cursor_.depth();
        LF_TRY(cursor_.up());
        if (!visitor_.leave) return {};
        return visitor_.leave(entry(cursor_.descriptor(), name.c_str(), status, depth));
    }

    OMAUFolderCursor cursor_;
    const OMAUFolderVisitor& visitor_;
    // For the folder the cursor is at and each above it, the folders in it
    // still to walk.
    std::vector<std::vector<std::string>> waiting_;
};

}  // namespace

std::string OMAUWalkEntry::path() const {
    return cursor.pathOf(name, depth - 1);
}

lf::Status OMAUWalkFolder(int folder, const OMAUFolderVisitor& visitor, std::string folderPath) {
    return Walk(folder, std::move(folderPath), visitor).run();
}
