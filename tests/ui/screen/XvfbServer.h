#pragma once
// A virtual X server for the tests that look at real windows: Xvfb on a
// display number of its own choosing (-displayfd), with a black root
// window, stopped when the object goes.
//
// A starting server is waited for as long as it runs, up to
// kStartPatience: on a heavily loaded machine it can be held back for tens
// of seconds before it gives its display. One that ends first is given up
// at once.

#include <chrono>
#include <string>
#include <sys/types.h>

namespace lf::test {

class XvfbServer {
public:
    static constexpr std::chrono::seconds kStartPatience{180};

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
    // The line with the display number that the server writes to `fd`
    // once it accepts clients; empty when it ends first (`ended` says so)
    // or kStartPatience runs out.
    static std::string readDisplayNumber(int fd, bool& ended);
    // Why the server gave no display: how it ended, or that it is still
    // starting.
    std::string noDisplayReason(bool ended);

    pid_t pid_ = -1;
    std::string display_;
    std::string failure_;
};

}  // namespace lf::test
