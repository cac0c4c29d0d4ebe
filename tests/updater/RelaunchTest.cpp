// The relaunch waiter: once the application has ended it removes the
// download folder and starts the installed executable.

#include "UpdaterTestSupport.h"
#include "platform/processes/ChildProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace fs = std::filesystem;

namespace {

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return condition();
}

TEST(Relaunch, StartsTheNewVersionOnceTheApplicationHasEnded) {
    lf::test::TemporaryDirectory folder;
    const fs::path download = folder / "download";
    fs::create_directories(download / "layerflow.app");
    // As a stopped tool could leave it: deeper than any path, with closed
    // folders; removed all the same with few descriptors.
    lf::test::makeDeepTree(download / "layerflow.app", 2000);
    const fs::path executable = folder / "layerflow";
    lf::test::writeFile(executable,
                        "#!/bin/sh\ntouch '" + (folder / "relaunched").string() + "'\n");
    fs::permissions(executable, fs::perms::owner_all);

    lf::ChildProcess::Options application;
    application.arguments = {"sleep", "600"};
    application.searchPath = true;
    auto running = lf::ChildProcess::spawn(application);
    ASSERT_TRUE(running);

    lf::ChildProcess::Options waiter;
    waiter.arguments = {
        "prlimit",           "--nofile=64",    "--", LF_RELAUNCH, std::to_string(running->pid()),
        executable.string(), download.string()};
    waiter.searchPath = true;
    auto started = lf::ChildProcess::spawn(waiter);
    ASSERT_TRUE(started);
    auto ended = started->waitUntil(std::chrono::steady_clock::now() + lf::test::kPatience);
    ASSERT_TRUE(ended && ended->exitCode() == 0) << "the waiter goes on by itself";

    EXPECT_FALSE(fs::exists(folder / "relaunched")) << "not while the application runs";
    EXPECT_TRUE(fs::exists(download));
    running->kill();
    EXPECT_TRUE(waitFor([&] { return fs::exists(folder / "relaunched"); }));
    EXPECT_TRUE(waitFor([&] { return !fs::exists(download); }));
}

}  // namespace
