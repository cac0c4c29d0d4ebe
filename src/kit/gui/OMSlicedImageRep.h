#pragma once
// OMSlicedImageRep: an image cut into nine slices by edge insets, drawn into
// any rectangle with the corners at their own size and the edges and centre
// stretched or tiled, one rule per axis. Window chrome, buttons and popovers
// are drawn from such small images.
//
// The slices are cut once, when the representation is made, as bitmaps at
// every pixel density of the source, so 1x and 2x drawing needs no
// resampling; tiles snap to whole points so neighbours leave no seams.
//
// Geometry follows a y-up picture of the image (the bottom row is the
// "start" of the vertical axis, so the rule that places one tile at the
// start puts it at the bottom); it is turned into Qt's y-down coordinates
// where the slices are cut and drawn.
//
// Threads: immutable once made; drawn from any thread.

#include "kit/gui/OMImage.h"

#include <array>
#include <memory>

// How an edge slice or the centre fills its cell along one axis.
enum OMSlicedImageRule : int {
    // Stretched across the cell.
    OMSlicedImageRuleStretch = 0,
    // Tiles at natural size, an odd number of them, centred; the outer ones
    // cut by the cell's edges.
    OMSlicedImageRuleTileCentered = 1,
    // A whole number of tiles, each resized to fill the cell exactly.
    OMSlicedImageRuleTileFit = 2,
    // Any other value: one tile at natural size from the cell's start.
};

struct OMEdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

// The tiles of one axis of a cell: `count` tiles of `length`, the first at
// `start` (relative to the cell's start; 0 or less).
struct OMSliceTiling {
    double start = 0;
    int count = 0;
    double length = 0;
};
OMSliceTiling OMSliceTilingForRule(int rule, double cellLength, double naturalLength);

class OMSlicedImageRep final : public OMImageRep {
public:
    // Slice order: top left, top middle, top right, middle left, centre,
    // middle right, bottom left, bottom middle, bottom right.
    enum Slice {
        TopLeft,
        TopMiddle,
        TopRight,
        MiddleLeft,
        Center,
        MiddleRight,
        BottomLeft,
        BottomMiddle,
        BottomRight
    };

    OMSlicedImageRep(const OMImage& image, OMEdgeInsets insets, int horizontalRule,
                     int verticalRule);

    // Null for a slice narrower or lower than one point.
    const std::shared_ptr<const OMImage>& slice(Slice which) const { return slices_[which]; }

    // Draws the nine slices into `rect`; answers true.
    bool drawInRect(QPainter& painter, const QRectF& rect) const;
    // Always the whole image into `target`; `source` does not apply. Every
    // slice is drawn with `operation` and `fraction`, so that the image as
    // a whole is (the slices do not overlap): a sliced image can cut a
    // shape out with a destination-out operation like any other.
    void draw(QPainter& painter, const QRectF& target, const QRectF& source,
              QPainter::CompositionMode operation, double fraction) const override;

private:
    void drawSlices(QPainter& painter, const QRectF& rect, QPainter::CompositionMode operation,
                    double fraction) const;
    void drawSlice(QPainter& painter, const OMImage* slice, const QRectF& cell,
                   QPainter::CompositionMode operation, double fraction) const;

    std::array<std::shared_ptr<const OMImage>, 9> slices_;
    int horizontalRule_, verticalRule_;
};

// A new image of `image`'s size whose only representation is a sliced one.
std::shared_ptr<OMImage> OMSlicedImageWithInsets(const OMImage& image, OMEdgeInsets insets,
                                                 int horizontalRule, int verticalRule);
std::shared_ptr<OMImage> OMSlicedImageWithInsets(const OMImage& image, OMEdgeInsets insets,
                                                 int rule);
// Rule OMSlicedImageRuleTileCentered on both axes.
std::shared_ptr<OMImage> OMSlicedImageWithInsets(const OMImage& image, OMEdgeInsets insets);
