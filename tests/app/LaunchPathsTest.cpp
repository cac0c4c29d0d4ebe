// The check of a launch's paths: what cannot be opened is named with the
// application's error line and left out; links are followed.

#include "app/LaunchPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

TEST(LaunchPaths, PathsThatCannotBeOpenedAreNamedAndLeftOut) {
    lf::test::TemporaryDirectory scratch;
    const std::string document = scratch / "a.psd", folder = scratch / "folder",
                      linked = scratch / "linked.psd", missing = scratch / "missing.psd",
                      dangling = scratch / "dangling.psd";
    lf::test::writeFile(document, "a document");
    fs::create_directory(folder);
    fs::create_symlink(document, linked);
    fs::create_symlink(scratch / "nowhere.psd", dangling);

    std::ostringstream err;
    EXPECT_EQ(readablePaths({missing, document, dangling, folder, linked}, err),
              (std::vector<std::string>{document, folder, linked}));
    EXPECT_EQ(err.str(), "layerflow: NSPOSIXErrorDomain 2: open " + missing +
                             ": No such file or directory\n"
                             "layerflow: NSPOSIXErrorDomain 2: open " +
                             dangling + ": Is a link to nothing\n");
}

}  // namespace
