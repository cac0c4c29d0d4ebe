#pragma once
// A virtual X server for the tests that look at real windows: Xvfb on a
// display number of its own choosing (-displayfd), with a black root
// window, stopped when the object goes.

#include <string>
#include <sys/types.h>

namespace lf::test {

class XvfbServer {
public:
    // Starts "Xvfb" from the PATH with one screen of `width` by `height`
    // at 24 bits; running() tells whether it came up.
    XvfbServer(int width, int height);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return pid_ > 0 && !display_.empty(); }
    // ":N".
    const std::string& display() const { return display_; }
    // Why it did not come up.
    const std::string& failure() const { return failure_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string failure_;
};

}  // namespace lf::test
