#pragma once
// QFTemporaryItemFolder: where one export flow view writes the files that
// are dragged out of it or previewed: a folder of its own inside the
// process's temporary folder. The folder is made by whoever writes into it
// and removed, with everything in it, when the object goes or remove() is
// called; the process's folder goes at exit, so copies of outputs never
// pile up on the user's disk.
//
// Threads: main thread only.

#include <filesystem>
#include <optional>

class QFTemporaryItemFolder {
public:
    QFTemporaryItemFolder() = default;
    ~QFTemporaryItemFolder() { remove(); }
    QFTemporaryItemFolder(const QFTemporaryItemFolder&) = delete;
    QFTemporaryItemFolder& operator=(const QFTemporaryItemFolder&) = delete;

    // The folder's path, chosen on first use (not created); empty when the
    // process has no temporary folder.
    const std::filesystem::path& path();
    // Removes the folder and forgets it; the next use chooses a new one.
    void remove();

    // The process's folder for these: made on first use, removed at exit.
    static const std::filesystem::path& processFolder();

private:
    std::optional<std::filesystem::path> path_;
};
