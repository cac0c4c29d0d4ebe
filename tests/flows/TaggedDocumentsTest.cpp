// Acceptance of the export road: every document of shared/psd-tagged,
// exported alone with default settings into an empty folder, writes exactly
// the files its expected/<document>.json lists, of those sizes, with pixels
// matching the reference PNGs within the tolerances the JSON states (see
// shared/psd-tagged/README.md): exact for plain layers, 1 level for TIFF
// and overlapping half-transparent layers, and for JPEG (premultiplied
// colour, alpha dropped) a mean of at most 1.5 and no channel more than 8
// levels off.

#include "FlowsTestSupport.h"
#include "flows/icns/QFICNSContainer.h"
#include "flows/runs/QFExportRunBody.h"
#include "flows/shared/QFConfinedPath.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <set>

namespace {

using namespace flows_test;
namespace fs = std::filesystem;

fs::path taggedFolder() {
    return lf::test::sharedFile("psd-tagged");
}

std::vector<std::string> expectedDocuments() {
    std::vector<std::string> stems;
    fs::path expected = taggedFolder() / "expected";
    if (!fs::is_directory(expected)) return stems;
    for (const auto& entry : fs::directory_iterator(expected))
        if (entry.path().extension() == ".json") stems.push_back(entry.path().stem().string());
    std::sort(stems.begin(), stems.end());
    return stems;
}

// Keeps an output that failed its comparison for a look, under the system's
// temporary folder.
void keepFailedOutput(const fs::path& written, const std::string& name) {
    fs::path kept = fs::temp_directory_path() / "layerflow-flows-failures" / name;
    fs::create_directories(kept.parent_path());
    fs::copy_file(written, kept, fs::copy_options::overwrite_existing);
    ADD_FAILURE() << "the output is kept as " << kept;
}

class TaggedDocument : public ::testing::TestWithParam<std::string> {};

TEST_P(TaggedDocument, ExportsExactlyTheExpectedFiles) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    std::ifstream file(taggedFolder() / "expected" / (GetParam() + ".json"));
    nlohmann::json expected = nlohmann::json::parse(file);
    ScopedUserDefaults defaults;
    lf::test::TemporaryDirectory root;
    fs::path folder = root / "out";
    fs::create_directory(folder);

    QFFlowOutput output;
    lf::Status status =
        QFExportRunBody({QFExportInputItem::forFile(
                            (taggedFolder() / expected["document"].get<std::string>()).string())},
                        output);
    if (expected["result"].is_object()) {
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().domain, expected["result"]["error"]["domain"].get<std::string>());
        EXPECT_EQ(status.error().code, expected["result"]["error"]["code"].get<int64_t>());
        EXPECT_TRUE(output.items().empty());
        return;
    }
    ASSERT_TRUE(status) << lf::describe(status.error());
    ASSERT_TRUE(output.writeOutputToDirectoryAtURL(folder.string()));

    std::vector<std::string> expectedPaths;
    for (const auto& out : expected["outputs"])
        expectedPaths.push_back(out["path"]);
    EXPECT_EQ(filesBelow(folder), expectedPaths);
    EXPECT_EQ(filesBelow(root.path()).size(), expectedPaths.size()) << "a file outside the folder";

    for (const auto& out : expected["outputs"]) {
        std::string path = out["path"];
        SCOPED_TRACE(path);
        fs::path written = folder / path;
        if (!fs::exists(written)) continue;
        if (out["format"] == "icns") {
            auto data = lf::Data::readFile(written.string());
            ASSERT_TRUE(data);
            auto container = QFICNSContainer::create(*data);
            ASSERT_TRUE(container);
            ASSERT_EQ(container->elements().size(), 1u);
            EXPECT_EQ(container->elements()[0]->size().width, out["width"].get<double>());
            continue;
        }
        auto image = decodeImageFile(written);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, out["width"].get<uint64_t>());
        EXPECT_EQ(image->height, out["height"].get<uint64_t>());
        if (out["pixels"].is_null()) continue;
        auto reference = decodeImageFile(taggedFolder() / "expected" /
                                         out["pixels"]["reference"].get<std::string>());
        ASSERT_TRUE(reference);
        auto difference = compareImages(*reference, *image);
        ASSERT_TRUE(difference);
        EXPECT_LE(difference->largest, out["pixels"]["max_diff"].get<int>());
        if (difference->largest > out["pixels"]["max_diff"].get<int>())
            keepFailedOutput(written, GetParam() + "/" + path);
        if (out["pixels"].contains("mean_diff")) {
            EXPECT_LE(difference->mean, out["pixels"]["mean_diff"].get<double>());
        }
    }
}

// Every document with tags in one run: their recipes run at once, and the
// run writes the union of what each writes alone (a switch of one
// document reaching no other).
TEST(TaggedDocuments, ConcurrentRecipesOfEveryDocumentInOneRun) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    ScopedUserDefaults defaults;
    std::vector<QFExportInputItem> inputs;
    std::set<std::string> expectedPaths;
    for (const auto& stem : expectedDocuments()) {
        std::ifstream file(taggedFolder() / "expected" / (stem + ".json"));
        nlohmann::json expected = nlohmann::json::parse(file);
        if (expected["result"].is_object()) continue;
        for (const auto& out : expected["outputs"])
            expectedPaths.insert(out["path"]);
        inputs.push_back(QFExportInputItem::forFile(
            (taggedFolder() / expected["document"].get<std::string>()).string()));
    }
    std::reverse(inputs.begin(), inputs.end());  // the run orders them itself
    QFFlowOutput output;
    lf::Status status = QFExportRunBody(inputs, output);
    ASSERT_TRUE(status) << lf::describe(status.error());
    std::set<std::string> paths;
    for (const auto& item : output.items())
        paths.insert(QFPathWithComponents(item->pathComponents()));
    EXPECT_EQ(paths, expectedPaths);
}

INSTANTIATE_TEST_SUITE_P(PSDTagged, TaggedDocument, ::testing::ValuesIn(expectedDocuments()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TaggedDocument);

}  // namespace
