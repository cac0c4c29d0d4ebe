#pragma once
// Helpers of the export tests: documents built from a tree of named layers,
// user defaults in a temporary folder, and output images decoded to
// premultiplied RGBA for comparison with references.

#include "flows/runs/QFExportRunBody.h"
#include "platform/files/Data.h"
#include "platform/settings/UserDefaults.h"
#include "psd/OMPSDDocument.h"
#include "support/TestSupport.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace flows_test {

// A layer of one colour over its rectangle, or a group.
struct TestNode {
    std::string name;
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::array<uint8_t, 4> colour{255, 0, 0, 255};  // straight RGBA
    bool visible = true;
    uint8_t clipping = 0;
    bool isGroup = false;
    std::vector<TestNode> children;  // bottom-most first
};
TestNode layer(std::string name, int32_t left, int32_t top, int32_t width, int32_t height,
               std::array<uint8_t, 4> colour = {255, 0, 0, 255});
TestNode group(std::string name, std::vector<TestNode> children);

// The bytes of a document of `layers` (bottom-most first), with an ICC
// profile (resource 1039) when one is given.
lf::Data documentData(uint32_t width, uint32_t height, const std::vector<TestNode>& layers,
                      uint16_t colorMode = 3, uint16_t depth = 8, const lf::Data& iccProfile = {});
std::shared_ptr<OMPSDDocument> buildDocument(uint32_t width, uint32_t height,
                                             const std::vector<TestNode>& layers,
                                             const lf::Data& iccProfile = {});

// An input of the export run named `path`, read from `data` in memory.
QFExportInputItem inputOf(std::string path, lf::Data data);

// Standard user defaults in a temporary folder, with `values` stored, for
// the object's life.
class ScopedUserDefaults {
public:
    explicit ScopedUserDefaults(const nlohmann::json& values = nlohmann::json::object());
    ~ScopedUserDefaults();

private:
    lf::test::TemporaryDirectory folder_;
};

// 8-bit RGBA, colour premultiplied; images without alpha are opaque.
struct TestImage {
    uint64_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
};
// A PNG (straight colour, premultiplied here), JPEG or TIFF (our TIFFs keep
// premultiplied colour) by its extension.
std::optional<TestImage> decodeImageFile(const std::filesystem::path& path);
std::optional<TestImage> decodeImageData(const lf::Data& data, const std::string& extension);

struct ImageDifference {
    int largest = 0;  // largest channel difference
    double mean = 0;  // mean absolute difference over R, G and B
};
// Null when the sizes differ.
std::optional<ImageDifference> compareImages(const TestImage& a, const TestImage& b);

// The paths of the files below `folder`, relative to it, "/"-separated.
std::vector<std::string> filesBelow(const std::filesystem::path& folder);

}  // namespace flows_test
