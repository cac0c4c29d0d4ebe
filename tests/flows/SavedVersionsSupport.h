#pragma once
// Real export flows over a small tagged document that the tests save again
// and again: versions of it that differ in every channel, what the export
// of each writes, a flow whose reads can be held part of the way, and a
// fixture that keeps every "a.png" the flow writes.

#include "FlowTestSupport.h"
#include "FlowsTestSupport.h"
#include "bytearray/BAByteSource.h"
#include "flows/QFExportFlow.h"
#include "flows/inputs/QFDocumentBytes.h"
#include "flows/runs/QFExportRunBody.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <unistd.h>

namespace saved_versions {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Version `n` of a 240 by 160 document whose one layer, tagged "a.png",
// fills it. Versions differ in every channel and all have one size, so one
// rewritten in place over another leaves no byte of it unless mixed.
inline lf::Data version(int n) {
    const auto shade = [n](int k) { return static_cast<uint8_t>(37 * n + 71 * k); };
    return flows_test::documentData(
        240, 160,
        {flows_test::layer("a.png", 0, 0, 240, 160, {shade(1), shade(2), shade(3), 255})});
}

// The "a.png" that exporting `document` writes.
inline lf::Data exportedA(const lf::Data& document) {
    QFFlowOutput output;
    EXPECT_TRUE(QFExportRunBody({flows_test::inputOf("d.psd", document)}, output));
    return output.items().empty() ? lf::Data() : output.items().front()->data();
}

// Saves `bytes` as an editor that truncates the file and writes it does.
inline void save(const fs::path& path, const lf::Data& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.bytes()), std::streamsize(bytes.size()));
}

// Writes `bytes` over the file from its start without truncating it: in
// `parts` writes, calling `between` after the first.
inline void rewriteInPlace(const fs::path& path, const lf::Data& bytes, int parts = 1,
                           const std::function<void()>& between = {}) {
    const int file = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(file, 0);
    const size_t part = bytes.size() / size_t(parts) + 1;
    for (size_t offset = 0; offset < bytes.size(); offset += part) {
        const size_t length = std::min(part, bytes.size() - offset);
        ASSERT_EQ(::pwrite(file, bytes.bytes() + offset, length, off_t(offset)), ssize_t(length));
        if (offset == 0 && between) between();
    }
    ::close(file);
}

// The bytes of a document read into memory up to `prefix`'s end
// beforehand, and from its file past that as a run asks for them.
class ReadAheadSource final : public BAByteSource {
public:
    ReadAheadSource(lf::Data prefix, BASlice file)
        : prefix_(std::move(prefix)), file_(std::move(file)) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        auto* out = static_cast<uint8_t*>(destination);
        if (offset < prefix_.size()) {
            const uint64_t head = std::min<uint64_t>(length, prefix_.size() - offset);
            std::memcpy(out, prefix_.bytes() + offset, head);
            out += head, offset += head, length -= head;
        }
        return length == 0 ? lf::Status() : file_.source->read(out, offset, length);
    }

private:
    const lf::Data prefix_;
    const BASlice file_;
};

// The reads of a document that its run makes off its own thread, as the
// export draws layers: each is counted, and the one numbered
// `holdAt` (from 0, over every document of the flow) waits at `gate`
// until the test lets it go; it is held once.
struct DrawReads {
    std::atomic<int> holdAt{-1};
    std::atomic<int> started{0}, finished{0}, held{0};
    lf::DispatchSemaphore gate{0};
};

// Forwards reads to `source`, counting those made off the thread that
// opened the document in `draws`.
class DrawCountingSource final : public BAByteSource {
public:
    DrawCountingSource(std::shared_ptr<const BAByteSource> source, DrawReads& draws)
        : source_(std::move(source)), draws_(draws), opener_(std::this_thread::get_id()) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        if (std::this_thread::get_id() == opener_)
            return source_->read(destination, offset, length);
        int number = draws_.started++;
        if (draws_.holdAt.compare_exchange_strong(number, -1)) {
            ++draws_.held;
            draws_.gate.wait();
        }
        lf::Status read = source_->read(destination, offset, length);
        ++draws_.finished;
        return read;
    }

private:
    const std::shared_ptr<const BAByteSource> source_;
    DrawReads& draws_;
    const std::thread::id opener_;
};

// An export flow whose runs read a document in two parts: `holdAfterBytes`
// when they open it (none by default; the whole of the documents named in
// `readWhole`), then the rest as the export reads it. While it holds
// reads, a run stops between the two until the test lets it go; the reads
// made as layers are drawn can be held too (`draws`).
class HeldReadExportFlow : public QFExportFlow {
public:
    std::atomic<bool> holdsReads{false};
    std::atomic<size_t> holdAfterBytes{0};
    // File names; set while no run is under way.
    std::set<std::string> readWhole;
    // Reads that stopped, and the gate that lets one go on.
    mutable std::atomic<int> heldReads{0};
    mutable lf::DispatchSemaphore gate{0};
    mutable DrawReads draws;

protected:
    std::function<lf::Result<BASlice>()> documentReader(
        std::shared_ptr<const QFFlowInputItem> document) const override {
        // The flow outlives its runs in these tests.
        return [this, path = document->itemURL()]() -> lf::Result<BASlice> {
            auto file = QFOpenDocumentFile(path);
            if (!file) return file.error();
            const uint64_t ahead =
                readWhole.count(fs::path(path).filename()) ? file->length : holdAfterBytes.load();
            std::vector<uint8_t> first(std::min<uint64_t>(ahead, file->length));
            if (auto read = file->source->read(first.data(), 0, first.size()); !read)
                return read.error();
            if (holdsReads) {
                ++heldReads;
                gate.wait();
            }
            const uint64_t length = file->length;
            auto source =
                std::make_shared<ReadAheadSource>(lf::Data(std::move(first)), std::move(*file));
            // A document read whole draws nothing from its file.
            if (ahead >= length) return BASlice{std::move(source), 0, length};
            return BASlice{std::make_shared<DrawCountingSource>(std::move(source), draws), 0,
                           length};
        };
    }
};

// A flow of the document "d.psd", saved as version 0, writing into "out";
// every "a.png" it writes is kept, in order.
class SavedVersionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        environment.emplace(folder.path(), QFFlowInterfaceHooks{});
        save(document, version(0));
        flow->setInitialInput(photoshopInput({document}));
        flow->setOutputDirectoryURL(out.string());
        observation = flow->addObserver(
            "lastRunDate", [this](const std::string&) { written.push_back(readOutput()); });
    }
    void TearDown() override {
        flow->holdsReads = false;
        flow->draws.holdAt = -1;
        for (int i = 0; i < 4; ++i) {
            flow->gate.signal();
            flow->draws.gate.signal();
        }
        flow->setBehavior(QFFlowBehaviorNone);
        // No run of the flow may outlive the test's folder.
        lf::MainQueue::shared()->runUntil([&] { return flow->status() == QFFlowStatusIdle; },
                                          lf::test::kPatience);
    }

    // Repeating, its document watched.
    void repeatAutomatically() {
        flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
        flow->activateAutomaticBehaviorIfNeeded();
        ASSERT_TRUE(waitUntil([&] { return isWatching(*flow); }));
    }
    bool waitUntil(const std::function<bool()>& done) {
        return lf::MainQueue::shared()->runUntil(done, lf::test::kPatience);
    }
    lf::Data readOutput() const {
        auto data = lf::Data::readFile((out / "a.png").string());
        return data ? *data : lf::Data();
    }
    // The flow comes to rest with the export of `saved` in its folder and
    // no error.
    bool endsExporting(const lf::Data& saved) {
        const lf::Data expected = exportedA(saved);
        return waitUntil([&] {
            return flow->status() == QFFlowStatusIdle && !flow->lastRunError() &&
                   readOutput() == expected;
        });
    }
    // Every file the flow wrote is the export of one of `versions`.
    void expectOnlyExportsOf(const std::vector<lf::Data>& versions) {
        std::vector<lf::Data> exports;
        for (const auto& saved : versions)
            exports.push_back(exportedA(saved));
        for (size_t i = 0; i < written.size(); ++i)
            EXPECT_NE(std::find(exports.begin(), exports.end(), written[i]), exports.end())
                << "write " << i << " mixes versions";
    }

    lf::test::TemporaryDirectory folder;
    std::optional<FlowTestEnvironment> environment;
    const fs::path document = folder / "d.psd", out = folder / "out";
    std::shared_ptr<HeldReadExportFlow> flow = std::make_shared<HeldReadExportFlow>();
    std::vector<lf::Data> written;
    lf::Observation observation;
};

}  // namespace saved_versions
