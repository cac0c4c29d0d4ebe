// render-psd: renders a document's visible layers (or one named layer)
// through the layer walk and the tiled renderer, to a PNG, and with
// --compare measures the render against the document's own merged image.
// A document without layers is drawn from its image data, which is all it
// holds of its picture.
//
//   render-psd DOCUMENT [-o OUT.png] [--layer NAME] [--scale S] [--tile POINTS]
//              [--max-pixels N] [--compare]
//
// The channels of the visible layers are decompressed on all processors
// first, then the image renders in tiles on all processors, each tile
// converted to straight colour on its worker straight into the one image.
// An image of more than N pixels (default 2^28) is refused before anything
// is allocated. RGB and grayscale documents of 8 or 16 bits are drawn (a
// grayscale one in grey); any other is refused with the export's error for
// its colour mode or depth.
//
// --compare prints, on premultiplied 8-bit RGBA, the share of pixels with a
// channel more than 8 levels off the merged image (over8), the mean
// difference (mae), the largest difference (max) and whether the render is
// close (over8 under 1 %). A merged image that Photoshop flattened over white
// (no merged transparency, no background layer) is compared with the render
// flattened the same way. A merged image that is no render of the layers
// (the document says so, or every pixel is white: a document saved without
// maximum compatibility) is not compared: it prints that there is nothing
// to compare against. Exit status: 0 done (and, with --compare, close), 1
// not close, 2 bad arguments or an unreadable or refused document, 3
// nothing to compare against.

#include "DocumentRender.h"
#include "compositing/QFRenderNodeForLayers.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: render-psd DOCUMENT [-o OUT.png] [--layer NAME] [--scale S] "
                 "[--tile POINTS] [--max-pixels N] [--compare]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string documentPath, outputPath, layerName;
    RenderOptions options;
    bool compare = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if ((argument == "-o" || argument == "--output") && hasValue) {
            outputPath = argv[++i];
        } else if (argument == "--layer" && hasValue) {
            layerName = argv[++i];
        } else if (argument == "--scale" && hasValue) {
            options.scale = std::atof(argv[++i]);
        } else if (argument == "--tile" && hasValue) {
            double tile = std::atof(argv[++i]);
            options.tileSize = {tile, tile};
        } else if (argument == "--max-pixels" && hasValue) {
            options.pixelBudget = std::strtoull(argv[++i], nullptr, 10);
        } else if (argument == "--compare") {
            compare = true;
        } else if (!argument.empty() && argument[0] != '-' && documentPath.empty()) {
            documentPath = argument;
        } else {
            return usage();
        }
    }
    if (documentPath.empty() || !(options.scale > 0) || !(options.tileSize.width >= 1))
        return usage();
    if (compare && options.scale != 1.0) {
        std::fprintf(stderr, "render-psd: --compare needs scale 1\n");
        return 2;
    }

    auto opened = OMPSDDocument::createWithFile(documentPath);
    if (!opened) {
        std::fprintf(stderr, "render-psd: %s: %s\n", documentPath.c_str(),
                     lf::describe(opened.error()).c_str());
        return 2;
    }
    std::shared_ptr<OMPSDDocument> document = opened.value();
    std::string error;
    if (!DocumentIsDrawable(*document, &error)) {
        std::fprintf(stderr, "render-psd: %s: %s\n", documentPath.c_str(), error.c_str());
        return 2;
    }
    QFLayerList layers = document->layers();
    BNRenderNodePtr node;
    if (!layerName.empty()) {
        auto layer = FindLayerNamed(*document, layerName);
        if (!layer) {
            std::fprintf(stderr, "render-psd: no layer named '%s'\n", layerName.c_str());
            return 2;
        }
        layer->setIsVisible(true);
        layers = {layer};
        node = QFRenderNodeForLayers(layers);
    } else if (!(node = RenderNodeForDocument(*document, &error))) {
        std::fprintf(stderr, "render-psd: %s: %s\n", documentPath.c_str(), error.c_str());
        return 2;
    }

    // PNG stores straight colour: the tiles divide by coverage themselves.
    options.straight = true;
    if (!RenderFitsBudget(DocumentRect(*document), options, &error)) {
        std::fprintf(stderr, "render-psd: %s: %s (--max-pixels)\n", documentPath.c_str(),
                     error.c_str());
        return 2;
    }
    DecompressVisibleChannels(layers);
    auto image = RenderNodeTiled(node, DocumentRect(*document), options, &error);
    if (!image) {
        std::fprintf(stderr, "render-psd: %s\n", error.c_str());
        return 2;
    }
    if (!outputPath.empty() && !WritePNG(outputPath, *image, &error)) {
        std::fprintf(stderr, "render-psd: %s\n", error.c_str());
        return 2;
    }
    if (!compare) return 0;

    auto merged = MergedImagePremultiplied(*document, &error);
    if (!merged) {
        std::fprintf(stderr, "render-psd: %s\n", error.c_str());
        return 2;
    }
    if (!MergedImageIsReal(*document, *merged)) {
        std::printf("nothing to compare against: the merged image is not a render of the layers\n");
        return 3;
    }
    auto stored = RenderAsStoredInMergedImage(*document, image);
    if (!stored) {
        std::fprintf(stderr, "render-psd: no memory to compare\n");
        return 2;
    }
    auto comparison = CompareImages(*merged, *stored);
    if (!comparison) {
        std::fprintf(stderr, "render-psd: the merged image has another size\n");
        return 2;
    }
    std::printf("over8=%.6g\nmae=%.6g\nmax=%d\nclose=%s\n", comparison->over8, comparison->mae,
                comparison->maxDifference, comparison->isClose() ? "yes" : "no");
    return comparison->isClose() ? 0 : 1;
}
