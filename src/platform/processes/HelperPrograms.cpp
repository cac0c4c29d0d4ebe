#include "platform/processes/HelperPrograms.h"

#include <cstdlib>
#include <filesystem>

namespace lf {

std::string helperProgramPath(const HelperProgram& helper) {
    if (const char* named = std::getenv(helper.variable); named && *named) return named;
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (executable.parent_path() / helper.name).string();
}

}  // namespace lf
