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
    // The server writes its display number once it accepts clients.
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    while (poll(&wait, 1, 20'000) > 0) {
        char buffer[16];
        const ssize_t count = read(pipeFds[0], buffer, sizeof buffer);
        if (count <= 0) break;
        number.append(buffer, static_cast<size_t>(count));
        if (number.find('\n') != std::string::npos) break;
    }
    close(pipeFds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty()) {
        failure_ = "it did not start";
        return;
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

}  // namespace lf::test
