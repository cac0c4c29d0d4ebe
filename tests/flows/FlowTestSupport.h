#pragma once
// A flow whose runs stand in for the export: each Photoshop document of the
// run's input becomes one output file holding the document's bytes, a
// document holding "fail" fails the run, and a run can be held, once it
// has read its documents, until the test lets it go.

#include "flows/QFFlow.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/runs/QFFlowOutput.h"
#include "flows/runs/QFFlowRun.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/Data.h"
#include "platform/files/TypeIdentifier.h"
#include "platform/settings/UserDefaults.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

inline constexpr const char* kFakeRunErrorDomain = "FakeRunErrorDomain";

class FakeExportFlow : public QFFlow {
public:
    std::shared_ptr<QFFlowRun> newRunWithInput(std::shared_ptr<const QFFlowInputProtocol> input,
                                               std::shared_ptr<QFFlowOutput> output) override {
        return QFFlowRun::create([this, input, output](QFFlowRun& run) {
            // Read first, as the export reads: what changes later is not in
            // this run's output.
            std::vector<std::pair<std::string, lf::Data>> documents;
            const auto items =
                input->inputItemsForType(lf::kTypePhotoshopImage, QFFlowInputItemsAll);
            for (const auto& item : *items) {
                auto data = lf::Data::readFile(item->itemURL());
                if (!data) return run.didFailWithError(data.error());
                documents.emplace_back(item->name(), std::move(*data));
            }
            if (holdsRuns) {
                ++heldRuns;
                gate.wait();
            }
            output->removeAllItems();
            std::set<std::string> changed;
            const auto changedItems =
                input->inputItemsForType(lf::kTypePhotoshopImage, QFFlowInputItemsChanged);
            for (const auto& item : *changedItems)
                changed.insert(item->name());
            {
                std::lock_guard lock(mutex);
                changedNamesOfRuns.push_back(changed);
            }
            for (const auto& [name, data] : documents) {
                if (data.stringView() == "fail")
                    return run.didFailWithError(lf::Error(kFakeRunErrorDomain, 7));
                const std::string stem = std::filesystem::path(name).stem().string();
                auto file = std::make_shared<QFFlowOutputItem>(
                    std::vector<std::string>{"out", stem + ".png"});
                file->setData(data);
                output->addOutputItem(file, true);
            }
            run.didFinish();
        });
    }

    // Runs started, in order, with the names of the documents that counted
    // as changed.
    std::vector<std::set<std::string>> runs() {
        std::lock_guard lock(mutex);
        return changedNamesOfRuns;
    }

    std::atomic<bool> holdsRuns{false};
    // Runs that have read their documents and been held.
    std::atomic<int> heldRuns{0};
    lf::DispatchSemaphore gate{0};
    std::mutex mutex;
    std::vector<std::set<std::string>> changedNamesOfRuns;
};

// Sets a file's modification time to a whole second of its own, so tests
// never depend on the clock moving on.
inline void setModificationSecond(const std::filesystem::path& path, time_t second) {
    const timespec times[2] = {{second, 0}, {second, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// Whether the flow's documents are watched, and what changed before the
// watch began has been looked for.
inline bool isWatching(const QFFlow& flow) {
    return flow.input()->detectsChanges() && !flow.input()->hasPendingWatchStartSnapshot();
}

// An input of Photoshop documents at `paths`.
inline std::shared_ptr<QFFlowInput> photoshopInput(
    const std::vector<std::filesystem::path>& paths) {
    auto input = std::make_shared<QFFlowInput>(std::vector<std::string>{lf::kTypePhotoshopImage});
    std::vector<std::string> urls;
    for (const auto& path : paths)
        urls.push_back(path.string());
    input->addInputWithURLs(urls);
    return input;
}

// For the life of a test: the calling thread drains the main queue, the
// user defaults live in `folder`, and `hooks` stand in for the interface.
class FlowTestEnvironment {
public:
    FlowTestEnvironment(const std::filesystem::path& folder, QFFlowInterfaceHooks hooks) {
        lf::MainQueue::shared()->bindToCurrentThread();
        lf::UserDefaults::setStandard(
            std::make_shared<lf::UserDefaults>((folder / "defaults.json").string()));
        QFFlowInterfaceHooks::install(std::move(hooks));
    }
    ~FlowTestEnvironment() {
        QFFlowInterfaceHooks::install({});
        lf::UserDefaults::setStandard(nullptr);
    }
    FlowTestEnvironment(const FlowTestEnvironment&) = delete;
    FlowTestEnvironment& operator=(const FlowTestEnvironment&) = delete;
};
