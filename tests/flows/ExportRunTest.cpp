// The export run: its errors, the order of inputs and outputs, switches
// that end with their document, names refused on the way to the output
// folder, icon files merged by path, the output's writing, and the flow run
// that carries the body.

#include "FlowsTestSupport.h"
#include "flows/icns/QFICNSContainer.h"
#include "flows/runs/QFExportFlowError.h"
#include "flows/runs/QFExportRunBody.h"
#include "flows/runs/QFFlowRun.h"
#include "flows/shared/QFConfinedPath.h"
#include "kit/OMLocalizer.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "psd/OMPSDError.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace flows_test;
namespace fs = std::filesystem;

std::vector<std::string> pathsOf(const QFFlowOutput& output) {
    std::vector<std::string> paths;
    for (const auto& item : output.items())
        paths.push_back(QFPathWithComponents(item->pathComponents()));
    return paths;
}

const lf::Data kTagged = documentData(20, 20, {layer("a.png", 2, 2, 5, 5)});

class ExportRun : public ::testing::Test {
protected:
    lf::Status run(std::vector<QFExportInputItem> inputs) {
        return QFExportRunBody(std::move(inputs), output_);
    }
    ScopedUserDefaults defaults_;
    QFFlowOutput output_;
};

TEST_F(ExportRun, EndsWithOneErrorForTheFirstDocumentItCannotExport) {
    // The second document is CMYK: nothing of the first is kept.
    lf::Status status =
        run({inputOf("a.psd", kTagged), inputOf("b.psd", documentData(20, 20, {}, 4))});
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().is(QFExportFlowErrorDomain, -11));
    // Named, since it is one of several.
    EXPECT_EQ(status.error().localizedDescription(), "“b.psd” Has an Unsupported Color Mode");
    EXPECT_EQ(status.error().stringForKey(lf::kFilePathErrorKey), "b.psd");
    EXPECT_EQ(status.error().stringForKey(lf::kPlaceholderImageErrorKey),
              "DocumentErrorPlaceholder");
    EXPECT_TRUE(output_.items().empty());

    const std::pair<lf::Data, const char*> unsupported[] = {
        {documentData(20, 20, {}, 1, 8), "unsupported-color-mode"},
        {documentData(20, 20, {}, 3, 32), "unsupported-color-depth"},
        {documentData(20, 20, {}, 3, 1), "unsupported-color-depth"},
        // Both refused: the colour mode is named.
        {documentData(20, 20, {}, 1, 32), "unsupported-color-mode"},
    };
    for (const auto& [data, texts] : unsupported) {
        status = run({inputOf("x.psd", data)});
        ASSERT_FALSE(status);
        EXPECT_TRUE(status.error().is(QFExportFlowErrorDomain, -11));
        EXPECT_EQ(status.error().localizedFailureReason(),
                  OMLocalizedString(std::string("export-flow.error.") + texts + ".failure-reason"));
        // Named, as every error about one document is.
        EXPECT_NE(status.error().localizedDescription().find("“x.psd”"), std::string::npos)
            << texts;
        EXPECT_EQ(status.error().stringForKey(lf::kFilePathErrorKey), "x.psd") << texts;
    }

    status = run({inputOf("untagged.psd", documentData(20, 20, {layer("photo.psd", 0, 0, 4, 4)}))});
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().is(QFExportFlowErrorDomain, -30));
    EXPECT_EQ(status.error().stringForKey(lf::kPlaceholderImageErrorKey), "TaggingPlaceholder");
    EXPECT_FALSE(status.error().underlyingError());

    status = run({inputOf("text.psd", lf::Data::fromString("not a document"))});
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().is(QFExportFlowErrorDomain, -10));
    ASSERT_TRUE(status.error().underlyingError());
    EXPECT_EQ(status.error().underlyingError()->domain, OMPSDErrorDomain);

    // A file that cannot be read: its read error as it is.
    lf::test::TemporaryDirectory folder;
    status = run({QFExportInputItem::forFile((folder / "gone.psd").string())});
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().domain, lf::kPOSIXErrorDomain);
    EXPECT_TRUE(output_.items().empty());
}

// A document's file written, replaced or removed after the run read it:
// what was read may mix two versions, so the run adds nothing and ends with
// the input-changed error, which names the document, even where what it
// read could not be exported.
TEST_F(ExportRun, ADocumentChangedAfterItWasReadGivesNoOutput) {
    lf::test::TemporaryDirectory folder;
    const fs::path path = folder / "d.psd";
    const auto write = [&](const lf::Data& bytes) {
        lf::test::writeFile(path, std::string(bytes.stringView()));
    };
    const lf::Data larger = documentData(30, 30, {layer("a.png", 2, 2, 5, 5)});
    // The file as read, then changed by `change` before the run goes on.
    const auto readThen = [&](std::function<void()> change) {
        return QFExportInputItem{path.string(),
                                 [&path, change] {
                                     auto data = lf::Data::readFile(path.string());
                                     change();
                                     return inputOf(path.string(), *data).openBytes();
                                 },
                                 {}};
    };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"written", [&] { write(larger); }},
        {"replaced",
         [&] {
             lf::test::writeFile(folder / "new.psd", std::string(larger.stringView()));
             fs::rename(folder / "new.psd", path);
         }},
        {"removed", [&] { fs::remove(path); }},
    };
    for (const auto& [what, change] : changes) {
        for (const lf::Data& before : {kTagged, lf::Data::fromString("not yet a document")}) {
            write(before);
            lf::Status status = run({inputOf("a.psd", kTagged), readThen(change)});
            ASSERT_FALSE(status) << what;
            EXPECT_TRUE(status.error().is(QFFlowRunErrorDomain, QFFlowRunErrorInputChanged))
                << what;
            EXPECT_EQ(status.error().stringForKey(lf::kFilePathErrorKey), path.string()) << what;
            EXPECT_NE(status.error().localizedDescription().find("d.psd"), std::string::npos);
            EXPECT_TRUE(output_.items().empty()) << what;
        }
    }
    // Unchanged, it is exported.
    write(kTagged);
    ASSERT_TRUE(run({readThen([] {})}));
    EXPECT_EQ(pathsOf(output_), std::vector<std::string>{"a.png"});
}

TEST_F(ExportRun, ReadsInputsInTheOrderOfTheirPaths) {
    lf::Data small = documentData(20, 20, {layer("same.png", 0, 0, 4, 4)});
    lf::Data large = documentData(20, 20, {layer("same.png", 0, 0, 8, 8)});
    ASSERT_TRUE(run({inputOf("b.psd", large), inputOf("a.psd", small)}));
    lf::Data first = output_.items().at(0)->data();
    ASSERT_TRUE(run({inputOf("a.psd", small), inputOf("b.psd", large)}));
    EXPECT_EQ(output_.items().at(0)->data(), first);
    EXPECT_EQ(decodeImageData(first, "png")->width, 8u);  // b.psd, read last, wins
}

TEST_F(ExportRun, ASwitchOfOneDocumentDoesNotReachTheNext) {
    lf::Data switched =
        documentData(20, 20, {layer("qf-auto-2x = on", 0, 0, 1, 1), layer("a.png", 2, 2, 5, 5)});
    lf::Data plain = documentData(20, 20, {layer("b.png", 2, 2, 5, 5)});
    ASSERT_TRUE(run({inputOf("1.psd", switched), inputOf("2.psd", plain)}));
    EXPECT_EQ(pathsOf(output_), (std::vector<std::string>{"a.png", "a@2x.png", "b.png"}));
}

TEST_F(ExportRun, RefusesNamesOutsideTheFolderAndGoesOn) {
    lf::LogCapture log;
    lf::Data hostile =
        documentData(20, 20,
                     {layer("ok.png", 0, 0, 4, 4), layer(std::string("nul\0.png", 8), 0, 0, 4, 4),
                      layer(", x.png", 0, 0, 4, 4), layer("./..//up.png", 0, 0, 4, 4),
                      layer("../up.icns", 0, 0, 16, 16), group("../", {layer("g.png", 0, 0, 4, 4)}),
                      layer("/root.png", 0, 0, 4, 4)});
    ASSERT_TRUE(run({inputOf("h.psd", hostile)}));
    EXPECT_EQ(pathsOf(output_), (std::vector<std::string>{"ok.png", "root.png", "x.png"}));
    EXPECT_TRUE(log.contains("\"nul\\0.png\" refused"));
    EXPECT_TRUE(log.contains("\"./..//up.png\" refused"));
    EXPECT_TRUE(log.contains("\"../up.icns\" refused"));
    EXPECT_TRUE(log.contains("\"../g.png\" refused"));
}

TEST_F(ExportRun, MergesTheIconElementsOfOnePathIntoOneFile) {
    lf::Data icons = documentData(
        64, 64,
        {layer("base", 0, 0, 64, 64, {0, 0, 255, 255}),
         group("@slices", {layer("app.icns", 0, 0, 16, 16), layer("app.icns", 0, 0, 32, 32),
                           layer("empty.icns", 0, 0, 0, 0)})});
    ASSERT_TRUE(run({inputOf("icons.psd", icons)}));
    // No file for an icon without pixels.
    ASSERT_EQ(pathsOf(output_), (std::vector<std::string>{"app.icns"}));
    auto container = QFICNSContainer::create(output_.items()[0]->data());
    ASSERT_TRUE(container);
    EXPECT_EQ(container->elements().size(), 2u);
}

TEST(FlowOutput, KeepsOneItemPerPathByTheReplaceRule) {
    QFFlowOutput output;
    auto item = [](std::vector<std::string> components, const char* text) {
        auto made = std::make_shared<QFFlowOutputItem>(std::move(components));
        made->setData(lf::Data::fromString(text));
        return made;
    };
    output.addOutputItem(item({"a", "x.icns"}, "image"), true);
    output.addOutputItem(item({"a", "x.icns"}, "icon"), true);
    output.addOutputItem(item({"a", "x.icns"}, "copy"), false);
    output.addOutputItem(item({"b.png"}, "b"), false);
    ASSERT_EQ(output.items().size(), 2u);
    EXPECT_EQ(output.items()[0]->data().stringView(), "icon");
    output.removeAllItems();
    EXPECT_TRUE(output.items().empty());
}

TEST(FlowOutput, WritesEveryItemOrNoneAndSaysWhy) {
    lf::test::TemporaryDirectory folder;
    QFFlowOutput output;
    auto add = [&](std::vector<std::string> components, const char* text) {
        auto made = std::make_shared<QFFlowOutputItem>(std::move(components));
        made->setData(lf::Data::fromString(text));
        output.addOutputItem(made, true);
    };
    auto addInside = [&] {
        add({"deep", "er", "a.png"}, "a");
        add({"blocked", "b.png"}, "b");
        add({"old.png"}, "new");
    };
    addInside();
    add({"..", "outside.png"}, "c");
    lf::test::writeFile(folder / "blocked", "a file where a folder should be");
    lf::test::writeFile(folder / "old.png", "old");
    lf::LogCapture log;
    // A path outside the folder refuses the whole write, before the output
    // folder is made.
    EXPECT_FALSE(output.writeOutputToDirectoryAtURL((folder / "out").string()));
    EXPECT_TRUE(log.contains("Refusing to write \"../outside.png\""));
    EXPECT_FALSE(fs::exists(folder / "out"));
    EXPECT_FALSE(fs::exists(folder.path().parent_path() / "outside.png"));
    // One item that cannot be written fails them all.
    output.removeAllItems();
    addInside();
    EXPECT_FALSE(output.writeOutputToDirectoryAtURL(folder.path().string()));
    EXPECT_TRUE(log.contains("Couldn't write to"));
    EXPECT_EQ(filesBelow(folder.path()), (std::vector<std::string>{"blocked", "old.png"}));
    EXPECT_FALSE(fs::exists(folder / "deep"));
    // With the way clear, every item is written: folders are made on the
    // way, and a file there is replaced.
    fs::remove(folder / "blocked");
    EXPECT_TRUE(output.writeOutputToDirectoryAtURL(folder.path().string()));
    EXPECT_EQ(filesBelow(folder.path()),
              (std::vector<std::string>{"blocked/b.png", "deep/er/a.png", "old.png"}));
    auto old = lf::Data::readFile((folder / "old.png").string());
    EXPECT_EQ(old->stringView(), "new");
}

TEST(FlowRun, RunsItsBlockOnceAndReportsItsEnd) {
    std::thread::id ran;
    auto run = QFFlowRun::create([&](QFFlowRun& self) {
        ran = std::this_thread::get_id();
        self.didFinish();
    });
    run->start();
    EXPECT_EQ(ran, std::this_thread::get_id());
    EXPECT_TRUE(run->didStart());

    lf::DispatchSemaphore done(0);
    std::optional<lf::Error> reported;
    bool succeeded = true;
    std::thread::id handled;
    auto failing = QFFlowRun::create([](QFFlowRun& self) {
        self.didFailWithError(lf::Error("test", 7));
        self.didFinish();  // a second end is ignored
    });
    failing->startWithCompletionHandler([&](bool success, std::optional<lf::Error> error) {
        succeeded = success;
        reported = std::move(error);
        handled = std::this_thread::get_id();
        done.signal();
    });
    done.wait();
    EXPECT_FALSE(succeeded);
    ASSERT_TRUE(reported);
    EXPECT_TRUE(reported->is("test", 7));
    EXPECT_NE(handled, std::this_thread::get_id());
}

// Once its block returned, a run holds nothing of what its block and its
// handler held (the documents and outputs of an export), and is no longer
// under way.
TEST(ConcurrentFlowRun, LetsGoOfWhatItHeldOnceItsBlockReturned) {
    auto held = std::make_shared<int>(0);
    lf::DispatchSemaphore ended(0);
    auto run = QFFlowRun::create([held](QFFlowRun& self) { self.didFinish(); });
    run->startWithCompletionHandler(
        [held, ended](bool, std::optional<lf::Error>) mutable { ended.signal(); });
    ended.wait();
    const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
    while ((held.use_count() > 1 || QFFlowRun::runsUnderWay() > 0) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(QFFlowRun::runsUnderWay(), 0);
}

TEST(FlowRunDeathTest, StartsAtMostOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the dispatch workers run
    auto run = QFFlowRun::create([](QFFlowRun& self) { self.didFinish(); });
    run->start();
    EXPECT_DEATH(run->start(), "_didStart == NO");
}

}  // namespace
