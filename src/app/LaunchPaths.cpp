#include "app/LaunchPaths.h"

#include "platform/FileDescriptor.h"

bool checkReadablePath(const std::string& path, std::ostream& err) {
    auto file = lf::FileDescriptor::openForReading(path);
    if (!file) err << "layerflow: " << lf::describe(file.error()) << '\n';
    return file.ok();
}

std::vector<std::string> readablePaths(const std::vector<std::string>& paths, std::ostream& err) {
    std::vector<std::string> readable;
    for (const std::string& path : paths)
        if (checkReadablePath(path, err)) readable.push_back(path);
    return readable;
}
