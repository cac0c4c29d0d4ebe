#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"

#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/geometry/BNCompoundPathHashing.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/geometry/BNStrokeStyleHashing.h"

std::shared_ptr<const BNCompoundPathStrokeNode> BNCompoundPathStrokeNode::create(
    std::shared_ptr<const VKCompoundPath> compoundPath, const VKStrokeStyle& style, bool shouldFill,
    bool shouldOverprint) {
    if (!compoundPath) return nullptr;
    return make<BNCompoundPathStrokeNode>(std::move(compoundPath), style, shouldFill,
                                          shouldOverprint);
}

BNCompoundPathStrokeNode::BNCompoundPathStrokeNode(
    CreationKey, std::shared_ptr<const VKCompoundPath> compoundPath, const VKStrokeStyle& style,
    bool shouldFill, bool shouldOverprint)
    : BNRenderNode({}),
      compoundPath_(std::move(compoundPath)),
      style_(style),
      shouldFill_(shouldFill),
      shouldOverprint_(shouldOverprint) {}

void BNCompoundPathStrokeNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    BNCompoundPathUpdateHashContext(*compoundPath_, context);
    context.updateFlag(shouldFill_);
    BNStrokeStyleUpdateHashContext(style_, context);
    // Overprinting changes what an inside stroke covers, so it belongs to
    // the identity as well.
    context.updateFlag(shouldOverprint_);
}

const BNStrokeOutline& BNCompoundPathStrokeNode::strokeOutline() const {
    std::call_once(outlineOnce_, [this] {
        outline_ =
            BNStrokeOutlineOfCompoundPath(*compoundPath_, style_, shouldFill_, shouldOverprint_);
    });
    return outline_;
}

void BNCompoundPathStrokeNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                       BNRenderingContext& context) const {
    VKSize samples = context.vectorAntialiasingAmount();
    if (!BNRasterizeStrokeOutline(strokeOutline(), BNCoverageBitmapOfSurface(output),
                                  output.rect().origin.x, output.rect().origin.y,
                                  output.scaleFactor(), samples.width, samples.height))
        BNClearSurface(output);
}
