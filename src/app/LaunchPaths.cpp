#include "app/LaunchPaths.h"

#include "platform/files/FileDescriptor.h"
#include "platform/files/PathRefusal.h"

bool checkReadablePath(const std::string& path, std::ostream& err) {
    // The refusal names what stands at the path (a link to nothing, a
    // loop); the open that follows catches what changed since.
    std::optional<lf::Error> refused;
    if (auto refusal = lf::PathRefusal::of(path))
        refused = refusal->error(path);
    else if (auto file = lf::FileDescriptor::openForReading(path); !file)
        refused = file.error();
    if (refused) err << "layerflow: " << lf::describe(*refused) << '\n';
    return !refused;
}

std::vector<std::string> readablePaths(const std::vector<std::string>& paths, std::ostream& err) {
    std::vector<std::string> readable;
    for (const std::string& path : paths)
        if (checkReadablePath(path, err)) readable.push_back(path);
    return readable;
}
