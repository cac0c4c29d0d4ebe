#pragma once
// Fixtures of the flow tests: the main queue is drained here, the user
// defaults live in a temporary folder, and the interface hooks record what
// they are asked.

#include "FlowTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFFlowInterfaceHooks hooks;
        hooks.startFlow = [this](const std::shared_ptr<QFFlow>& flow) { started.push_back(flow); };
        hooks.requestUserAttention = [this] { ++attentionRequests; };
        environment.emplace(folder.path(), hooks);
    }

    std::shared_ptr<FakeExportFlow> flowWithDocuments(const std::vector<std::string>& names) {
        std::vector<std::filesystem::path> paths;
        for (const auto& name : names) {
            paths.push_back(folder / name);
            if (!std::filesystem::exists(paths.back())) lf::test::writeFile(paths.back(), name);
        }
        auto flow = std::make_shared<FakeExportFlow>();
        flow->setInitialInput(photoshopInput(paths));
        return flow;
    }

    bool waitUntil(const std::function<bool()>& done) {
        return lf::MainQueue::shared()->runUntil(done, lf::test::kPatience);
    }

    lf::test::TemporaryDirectory folder;
    std::optional<FlowTestEnvironment> environment;
    std::vector<std::shared_ptr<QFFlow>> started;
    int attentionRequests = 0;
};

// Flows that run in the background, watched while their behaviour is on.
class ConcurrentFlowBackgroundRun : public FlowTest {
protected:
    std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // A flow of the one document `name` that saves into "out", its
    // behaviour active and its document watched.
    std::shared_ptr<FakeExportFlow> watchingFlow(const std::string& name, QFFlowBehavior behavior) {
        auto flow = flowWithDocuments({name});
        flow->setOutputDirectoryURL((folder / "out").string());
        flow->setBehavior(behavior);
        flow->activateAutomaticBehaviorIfNeeded();
        EXPECT_TRUE(waitUntil([&] { return isWatching(*flow); }));
        return flow;
    }
};
