#include "platform/core/Log.h"

#include <cstdio>
#include <mutex>

namespace lf {
namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

LogCapture* activeCapture = nullptr;  // guarded by logMutex()

}  // namespace

void writeLogLine(std::string_view line) {
    std::lock_guard lock(logMutex());
    if (activeCapture) {
        activeCapture->lines_.emplace_back(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

LogCapture::LogCapture() {
    std::lock_guard lock(logMutex());
    previous_ = activeCapture;
    activeCapture = this;
}

LogCapture::~LogCapture() {
    std::lock_guard lock(logMutex());
    activeCapture = previous_;
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(logMutex());
    return lines_;
}

bool LogCapture::contains(std::string_view fragment) const {
    std::lock_guard lock(logMutex());
    for (const auto& line : lines_)
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

}  // namespace lf
