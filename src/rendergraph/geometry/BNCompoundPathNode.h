#pragma once
// BNCompoundPathNode: the coverage (an opacity plane) of compound paths
// combined one after another by boolean operations, rasterised with the
// rendering context's anti-aliasing grid (BNPathRasterizer.h).
//
// The node keeps its own copies of the path and operation lists; the paths
// themselves are shared and must not change. Its identity takes the paths
// by contents, so nodes of equal paths share a render.

#include "rendergraph/core/BNPathRasterizer.h"
#include "rendergraph/core/BNRenderNode.h"

class BNCompoundPathNode final : public BNRenderNode {
public:
    // Null when there are no paths or the counts of paths and operations
    // differ.
    static std::shared_ptr<const BNCompoundPathNode> create(
        BNCompoundPathList compoundPaths, std::vector<VKBooleanOperation> operations,
        bool initiallyFilled);
    BNCompoundPathNode(CreationKey, BNCompoundPathList compoundPaths,
                       std::vector<VKBooleanOperation> operations, bool initiallyFilled);

    const BNCompoundPathList& compoundPaths() const { return compoundPaths_; }
    const std::vector<VKBooleanOperation>& operations() const { return operations_; }
    bool initiallyFilled() const { return initiallyFilled_; }

    const char* className() const override { return "BNCompoundPathNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    // Infinite when the coverage starts full (initially filled, or a first
    // operation of subtract); else the integral box of every knot's anchor
    // and control points; null without knots.
    VKRect calculateBounds() const override;
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    BNCompoundPathList compoundPaths_;
    std::vector<VKBooleanOperation> operations_;
    bool initiallyFilled_;
};

// The plane of a one-channel surface as the rasteriser takes it.
BNCoverageBitmap BNCoverageBitmapOfSurface(const BNSurface& surface);
