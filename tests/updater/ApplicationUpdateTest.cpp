// The application itself, started as a launcher may start it, updating
// itself in the background: a launcher may leave SIGCHLD ignored, which
// survives exec and would have the kernel reap every tool as it ends, so
// that no unpacking could tell how its tool ended. The application sets it
// back at launch.

#include "LocalHTTPServer.h"
#include "TestCertificate.h"
#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Our environment with the application's folders, display and settings
// made the test's own.
std::vector<std::string> launchEnvironment(const fs::path& scratch) {
    const std::vector<std::string> own = {"XDG_RUNTIME_DIR=" + (scratch / "run").string(),
                                          "XDG_CONFIG_HOME=" + (scratch / "config").string(),
                                          "XDG_DATA_HOME=" + (scratch / "data").string(),
                                          "TMPDIR=" + (scratch / "tmp").string(),
                                          "QT_QPA_PLATFORM=offscreen"};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('=') + 1);
        bool replaced = name == "DISPLAY=" || name == "WAYLAND_DISPLAY=";
        for (const std::string& mine : own)
            replaced = replaced || mine.starts_with(name);
        if (!replaced) environment.push_back(variable);
    }
    environment.insert(environment.end(), own.begin(), own.end());
    return environment;
}

// Starts layerflow with SIGCHLD ignored, its error output into `errors`.
pid_t launchIgnoringChildren(const fs::path& scratch, const fs::path& errors) {
    std::vector<std::string> environment = launchEnvironment(scratch);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = LF_LAYERFLOW_PATH;
    char* const argv[] = {program.data(), nullptr};
    const int output = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGCHLD, SIG_IGN);
        ::dup2(output, STDERR_FILENO);
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    ::close(output);
    return pid;
}

TEST(ApplicationUpdate, WithSIGCHLDIgnoredAnUpdateStillUnpacks) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("tar") && lf::test::hasProgram("prlimit"),
                         "tar and prlimit");
    // A newer build whose archive holds no application of the right name:
    // unpacked, it is refused as it is to be installed, which leaves the
    // running build alone and says so in a line of its own.
    const lf::test::TemporaryDirectory scratch;
    for (const char* folder : {"run", "config/layerflow", "data", "tmp", "source/other.app"})
        fs::create_directories(scratch / folder);
    fs::permissions(scratch / "run", fs::perms::owner_all);
    lf::test::writeFile(scratch / "source" / "other.app" / "file", "contents");
    ASSERT_TRUE(lf::test::runIn(scratch / "source", "tar -czf ../update.tgz other.app"));
    const std::string archive = lf::test::readText(scratch / "update.tgz");
    lf::test::LocalHTTPServer server(lf::test::LocalHTTPServer::Scheme::https);
    server.serve("/update.tgz", lf::test::LocalHTTPServer::Response::with(archive));
    server.serve("/appcast.xml",
                 lf::test::LocalHTTPServer::Response::with(fmt::format(
                     R"(<rss version="2.0" xmlns:appcast="a"><channel><title>layerflow</title>
                     <item><title>Version 2</title><pubDate>Wed, 09 Jan 2013 19:20:11 +0000</pubDate>
                     <enclosure url="{}" appcast:version="2" appcast:md5Sum="{}"/></item>
                     </channel></rss>)",
                     server.url("/update.tgz"), lf::test::md5Of(archive))));
    const nlohmann::json settings = {{"AUFeedURL", server.url("/appcast.xml")},
                                     {"AUCheckAtStartup", true},
                                     {"AUAutomaticallyUpdate", true}};
    lf::test::writeFile(scratch / "config" / "layerflow" / "defaults.json", settings.dump());

    const fs::path errors = scratch / "stderr";
    const pid_t application = launchIgnoringChildren(scratch.path(), errors);
    ASSERT_GT(application, 0);
    const auto ended = [&] {
        const std::string said = lf::test::readText(errors);
        return said.find("didn't contain an application") != std::string::npos ||
               said.find("Extracting ") != std::string::npos ||
               ::waitpid(application, nullptr, WNOHANG) != 0;
    };
    const auto giveUp = std::chrono::steady_clock::now() + lf::test::kPatience;
    while (!ended() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(10ms);
    ::kill(application, SIGKILL);
    ::waitpid(application, nullptr, 0);
    const std::string said = lf::test::readText(errors);
    EXPECT_NE(said.find("The update archive didn't contain an application with the proper name"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("Extracting "), std::string::npos) << said;
}

}  // namespace
