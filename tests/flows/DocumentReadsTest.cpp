// Documents read as the export needs their bytes: a run reads ranges of a
// document's file, never all of it, so a file far larger than memory costs
// what its layers hold; a read that fails, or memory that runs out, at any
// moment of a run and on any of its threads, ends the run with the
// document's read error, and nothing a document holds ends the process.

#include "FlowTestSupport.h"
#include "SavedVersionsSupport.h"
#include "bytearray/BAError.h"
#include "flows/inputs/QFDocumentBytes.h"
#include "flows/runs/QFExportFlowError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

using namespace lf;
using namespace saved_versions;

namespace {

constexpr uint64_t k64GiB = uint64_t{64} << 30;

// `head` at the start of a file of 64 GiB whose rest is a hole.
void writeSparseDocument(const fs::path& path, const lf::Data& head) {
    save(path, head);
    fs::resize_file(path, k64GiB);
}

// The bytes of a document's file, counted as they are read; the read
// numbered `faultAt` (from 0, on whichever thread) gives `fault` instead.
class FaultySource final : public BAByteSource {
public:
    using Fault = std::function<lf::Status()>;
    FaultySource(BASlice file, int faultAt, Fault fault)
        : file_(std::move(file)), faultAt_(faultAt), fault_(std::move(fault)) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        if (reads_++ == faultAt_) return fault_();
        bytesRead_ += length;
        return file_.source->read(destination, offset, length);
    }
    int reads() const { return reads_; }
    uint64_t bytesRead() const { return bytesRead_; }

private:
    const BASlice file_;
    const int faultAt_;
    const Fault fault_;
    mutable std::atomic<int> reads_{0};
    mutable std::atomic<uint64_t> bytesRead_{0};
};

// Bytes in memory that the test writes over; the first read waits, with
// what it read, until the test lets it go.
class HeldFirstReadSource final : public BAByteSource {
public:
    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        std::unique_lock lock(mutex_);
        std::memcpy(destination, bytes_.data() + offset, length);
        if (reads_++ > 0) return {};
        lock.unlock();
        held.signal();
        gate.wait();
        return {};
    }
    void write(std::string bytes) {
        std::lock_guard lock(mutex_);
        bytes_ = std::move(bytes);
    }
    mutable lf::DispatchSemaphore held{0}, gate{0};

private:
    mutable std::mutex mutex_;
    std::string bytes_ = "old bytes";
    mutable int reads_ = 0;
};

// Bytes in memory that the test writes over between reads.
class RewrittenSource final : public BAByteSource {
public:
    explicit RewrittenSource(std::string bytes) : bytes_(std::move(bytes)) {}
    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        std::lock_guard lock(mutex_);
        std::memcpy(destination, bytes_.data() + offset, length);
        return {};
    }
    void writeAt(uint64_t offset, char byte) {
        std::lock_guard lock(mutex_);
        bytes_[offset] = byte;
    }

private:
    mutable std::mutex mutex_;
    std::string bytes_;
};

struct FaultyRun {
    lf::Status status;
    QFFlowOutput output;
    std::shared_ptr<FaultySource> source;
};

// Exports the document at `path` through a FaultySource.
std::unique_ptr<FaultyRun> exportWithFault(const fs::path& path, int faultAt = -1,
                                           FaultySource::Fault fault = {}) {
    auto run = std::make_unique<FaultyRun>();
    auto file = QFOpenDocumentFile(path.string());
    EXPECT_TRUE(file);
    run->source = std::make_shared<FaultySource>(*file, faultAt, std::move(fault));
    const BASlice slice{run->source, 0, file->length};
    run->status = QFExportRunBody(
        {{path.string(), [slice] { return lf::Result<BASlice>(slice); }, {}}}, run->output);
    return run;
}

// An image and an icon, so that both kinds of recipe read.
lf::Data imageAndIcon() {
    return flows_test::documentData(
        64, 48,
        {flows_test::layer("a.png", 0, 0, 64, 48, {10, 200, 30, 255}),
         flows_test::layer("b.icns", 8, 8, 32, 32, {200, 10, 30, 255})});
}

}  // namespace

// A tagged document followed by a hole to 64 GiB exports what the small one
// exports, reading a few kilobytes; one that is a valid header and nothing
// else fails on what it holds, no tagged layer.
TEST(DocumentReads, AFileOf64GiBIsReadOnlyWhereItsLayersAre) {
    test::TemporaryDirectory folder;
    flows_test::ScopedUserDefaults defaults;
    const fs::path document = folder / "big.psd";
    writeSparseDocument(document, version(1));
    auto run = exportWithFault(document);
    ASSERT_TRUE(run->status) << describe(run->status.error());
    ASSERT_EQ(run->output.items().size(), 1u);
    EXPECT_EQ(run->output.items()[0]->data(), exportedA(version(1)));
    EXPECT_LT(run->source->bytesRead(), 2 * version(1).size());

    writeSparseDocument(document, version(1).subdata(0, 26));
    run = exportWithFault(document);
    ASSERT_FALSE(run->status);
    EXPECT_TRUE(run->status.error().is(QFExportFlowErrorDomain, QFExportFlowErrorNoTaggedLayers));
    EXPECT_LT(run->source->bytesRead(), 4096u);
}

// Every read of the run made to fail, or to throw, in turn: while opening
// and scanning on the run's thread, building a graph on the build queue,
// rendering on a tile worker.
TEST(ConcurrentDocumentReads, AReadOrAllocationThatFailsAnywhereIsTheDocumentsReadError) {
    test::TemporaryDirectory folder;
    flows_test::ScopedUserDefaults defaults;
    const fs::path document = folder / "d.psd";
    save(document, imageAndIcon());
    const int reads = exportWithFault(document)->source->reads();
    ASSERT_GT(reads, 5);

    const auto expectReadError = [&](const FaultyRun& run, int code, const std::string& reason) {
        ASSERT_FALSE(run.status);
        EXPECT_TRUE(run.status.error().is(kPOSIXErrorDomain, code));
        EXPECT_EQ(run.status.error().localizedDescription(),
                  "read " + document.string() + ": " + reason);
        EXPECT_TRUE(run.output.items().empty());
    };
    const FaultySource::Fault failedRead = [] {
        // As a file's failed read says it (BAFileReference).
        return BAMakeError(BAByteArrayErrorReadFailed, "reading failed",
                           std::make_shared<Error>(Error::posix(EIO, "pread")));
    };
    const FaultySource::Fault outOfMemory = []() -> lf::Status { throw std::bad_alloc(); };
    for (int read = 0; read < reads; ++read) {
        SCOPED_TRACE("read " + std::to_string(read));
        expectReadError(*exportWithFault(document, read, failedRead), EIO, "Input/output error");
        expectReadError(*exportWithFault(document, read, outOfMemory), ENOMEM,
                        "Cannot allocate memory");
    }
    // A size past what can be allocated; what is no failure of memory says
    // what it is.
    const FaultySource::Fault tooLarge = []() -> lf::Status { throw std::length_error("vector"); };
    expectReadError(*exportWithFault(document, reads - 1, tooLarge), ENOMEM,
                    "Cannot allocate memory");
    auto run = exportWithFault(document, reads / 2,
                               []() -> lf::Status { throw std::runtime_error("odd bytes"); });
    ASSERT_FALSE(run->status);
    EXPECT_EQ(run->status.error().localizedDescription(),
              "read " + document.string() + ": odd bytes");
}

// Two first reads of one range on two threads: the one that began first
// read the bytes before they were written over and ends last. Read again,
// the range gives what the later read gave, yet what was read mixes both.
TEST(ConcurrentDocumentReads, TwoFirstReadsOfARangeThatGaveTwoContentsAreAChange) {
    auto source = std::make_shared<HeldFirstReadSource>();
    QFDocumentBytes bytes({source, 0, 9}, "d.psd");
    char first[9], second[9];
    std::thread firstRead([&] { EXPECT_TRUE(bytes.byteArray()->copyBytes(first, {0, 9})); });
    source->held.wait();
    source->write("new bytes");
    ASSERT_TRUE(bytes.byteArray()->copyBytes(second, {0, 9}));
    source->gate.signal();
    firstRead.join();
    const auto same = bytes.readsAgainAsRead();
    ASSERT_TRUE(same);
    EXPECT_FALSE(*same);
}

// Three ranges read, with unread bytes between them, in the file's order
// and in the reverse: one byte written over in any one range alone is a
// change, in the last range read or the last of the file as well as the
// first, and a byte no read reached is none.
TEST(DocumentReads, AChangeToAnyOneRangeReadAloneIsAChange) {
    struct Range {
        uint64_t offset, length;
    };
    const std::vector<Range> inFileOrder = {{0, 4}, {6, 3}, {12, 5}};
    const uint64_t unread[] = {4, 10, 17};
    const auto readThenWrite = [](const std::vector<Range>& reads, uint64_t writtenAt) {
        auto source = std::make_shared<RewrittenSource>("0123456789abcdefghij");
        QFDocumentBytes bytes({source, 0, 20}, "d.psd");
        char read[8];
        for (const Range& range : reads)
            EXPECT_TRUE(bytes.byteArray()->copyBytes(read, {range.offset, range.length}));
        source->writeAt(writtenAt, '#');
        return bytes.readsAgainAsRead();
    };
    const std::vector<Range> reversed(inFileOrder.rbegin(), inFileOrder.rend());
    const std::pair<const char*, std::vector<Range>> orders[] = {
        {"read in the file's order", inFileOrder}, {"read in reverse", reversed}};
    for (const auto& [order, reads] : orders) {
        SCOPED_TRACE(order);
        for (const Range& range : reads)
            for (uint64_t at : {range.offset, range.offset + range.length - 1}) {
                SCOPED_TRACE("written at " + std::to_string(at));
                const auto same = readThenWrite(reads, at);
                ASSERT_TRUE(same);
                EXPECT_FALSE(*same);
            }
        for (uint64_t at : unread) {
            SCOPED_TRACE("written at " + std::to_string(at) + ", never read");
            const auto same = readThenWrite(reads, at);
            ASSERT_TRUE(same);
            EXPECT_TRUE(*same);
        }
    }
}

TEST(DocumentReads, AFolderIsRefusedAsADocument) {
    test::TemporaryDirectory folder;
    auto opened = QFOpenDocumentFile(folder.path().string());
    ASSERT_FALSE(opened);
    EXPECT_TRUE(opened.error().is(kPOSIXErrorDomain, EISDIR));
    EXPECT_EQ(opened.error().localizedDescription(),
              "read " + folder.path().string() + ": Is a directory");
}

// A repeating flow's document becomes a file of 64 GiB: its run fails with
// what the document holds, the application lives on, and the next valid
// save is exported.
TEST(ConcurrentDocumentReads, ARepeatingFlowLivesThroughADocumentOf64GiB) {
    test::TemporaryDirectory folder;
    FlowTestEnvironment environment(folder.path(), {});
    const fs::path document = folder / "d.psd", out = folder / "out";
    save(document, version(0));
    auto flow = std::make_shared<QFExportFlow>();
    flow->setInitialInput(photoshopInput({document}));
    flow->setOutputDirectoryURL(out.string());
    flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
    flow->activateAutomaticBehaviorIfNeeded();
    const auto waitUntil = [](const std::function<bool()>& done) {
        return MainQueue::shared()->runUntil(done, std::chrono::seconds(60));
    };
    ASSERT_TRUE(waitUntil([&] { return flow->input()->detectsChanges(); }));

    writeSparseDocument(document, version(1).subdata(0, 26));
    ASSERT_TRUE(waitUntil(
        [&] { return flow->status() == QFFlowStatusIdle && flow->lastRunError().has_value(); }));
    EXPECT_TRUE(flow->lastRunError()->is(QFExportFlowErrorDomain, QFExportFlowErrorNoTaggedLayers));

    save(document, version(2));
    const lf::Data expected = exportedA(version(2));
    EXPECT_TRUE(waitUntil([&] {
        return flow->status() == QFFlowStatusIdle && !flow->lastRunError() &&
               lf::Data::readFile((out / "a.png").string()).valueOr(lf::Data()) == expected;
    }));
    flow->setBehavior(QFFlowBehaviorNone);
    waitUntil([&] { return flow->status() == QFFlowStatusIdle; });
}
