#include "platform/core/Assert.h"

#include "platform/core/Log.h"

#include <cstdlib>

namespace lf {

void preconditionFailure(const char* condition, const char* message, const char* file, int line) {
    log("*** {} ({} failed at {}:{})", message, condition, file, line);
    std::abort();
}

}  // namespace lf
