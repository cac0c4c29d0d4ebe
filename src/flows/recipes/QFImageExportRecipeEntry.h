#pragma once
// One output file an image recipe is asked for.

#include "geometry/VKGeometry.h"
#include "geometry/VKGeometryStrings.h"

#include <fmt/format.h>

#include <string>

struct QFImageExportRecipeEntry {
    VKRect rect;         // document coordinates, integral
    double scaleFactor;  // pixels per document unit of the pixels before down-sampling
    std::string path;    // relative to the output folder
    bool shouldDownSample;
    // The entry displaces an earlier entry of its path, and its file an
    // earlier file of that path in the run's output.
    bool shouldReplaceExistingItems;

    std::string description() const {
        return fmt::format("<{} {} downSample={:d}>", path, NSStringFromVKRect(rect),
                           shouldDownSample);
    }
};
