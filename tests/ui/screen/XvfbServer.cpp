#include "XvfbServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lf::test {

XvfbServer::XvfbServer(int width, int height) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        failure_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(pipeFds[1]);
    pid_ = fork();
    if (pid_ == 0) {
        close(pipeFds[0]);
        // The server goes with the tests, even when they crash, and keeps
        // none of their output open (the test runner waits for it to close).
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-br",
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid_ < 0) {
        failure_ = std::string("fork: ") + std::strerror(errno);
        close(pipeFds[0]);
        return;
    }
    bool ended = false;
    std::string number = readDisplayNumber(pipeFds[0], ended);
    close(pipeFds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty()) {
        failure_ = noDisplayReason(ended);
        return;
    }
    display_ = ":" + number;
}

std::string XvfbServer::readDisplayNumber(int fd, bool& ended) {
    const auto deadline = std::chrono::steady_clock::now() + kStartPatience;
    std::string number;
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd wait{fd, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[16];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        // The end of the pipe: the server ended.
        ended = count == 0;
        if (count <= 0) break;
        number.append(buffer, static_cast<size_t>(count));
    }
    // Only a whole line is a display number.
    return number.find('\n') == std::string::npos ? std::string() : number;
}

std::string XvfbServer::noDisplayReason(bool ended) {
    if (!ended) return "it gave no display within " + std::to_string(kStartPatience.count()) + " s";
    // Its end closed the pipe; it is gone, or about to be.
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFSIGNALED(status)) return "it ended on signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) == 127) return "it was not found on the PATH";
    return "it exited with status " + std::to_string(WEXITSTATUS(status)) +
           " before giving its display";
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

}  // namespace lf::test
