#pragma once
// BNCompoundPathStrokeNode: the coverage (an opacity plane) of the stroke of
// a compound path, optionally with its fill, rasterised with the rendering
// context's anti-aliasing grid (what BNRasterizeStrokedCompoundPath draws).
//
// The compound path is shared and enters the identity by contents; the
// node keeps its own copy of the style, which enters the identity by value. The
// stroke is outlined once, on first render, and every render (each tile,
// each scale) rasterises that outline.

#include "geometry/VKCompoundPath.h"
#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNPathRasterizer.h"
#include "rendergraph/core/BNRenderNode.h"

#include <mutex>

class BNCompoundPathStrokeNode final : public BNRenderNode {
public:
    // Null when the compound path is missing.
    static std::shared_ptr<const BNCompoundPathStrokeNode> create(
        std::shared_ptr<const VKCompoundPath> compoundPath, const VKStrokeStyle& style,
        bool shouldFill, bool shouldOverprint);
    BNCompoundPathStrokeNode(CreationKey, std::shared_ptr<const VKCompoundPath> compoundPath,
                             const VKStrokeStyle& style, bool shouldFill, bool shouldOverprint);

    const VKCompoundPath& compoundPath() const { return *compoundPath_; }
    const VKStrokeStyle& style() const { return style_; }

    const char* className() const override { return "BNCompoundPathStrokeNode"; }
    BNChannelMask channels() const override { return BNChannelMaskOpacity; }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    // Outlined once, from any thread.
    const BNStrokeOutline& strokeOutline() const;

    std::shared_ptr<const VKCompoundPath> compoundPath_;
    VKStrokeStyle style_;
    bool shouldFill_;
    bool shouldOverprint_;
    mutable std::once_flag outlineOnce_;
    mutable BNStrokeOutline outline_;
};
