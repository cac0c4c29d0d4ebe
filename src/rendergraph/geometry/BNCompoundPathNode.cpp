#include "rendergraph/geometry/BNCompoundPathNode.h"

#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/geometry/BNCompoundPathHashing.h"

#include <algorithm>
#include <cfloat>

BNCoverageBitmap BNCoverageBitmapOfSurface(const BNSurface& surface) {
    return {surface.widthInPixels(), surface.heightInPixels(),
            surface.bytesPerRow() / sizeof(float), surface.data()};
}

std::shared_ptr<const BNCompoundPathNode> BNCompoundPathNode::create(
    BNCompoundPathList compoundPaths, std::vector<VKBooleanOperation> operations,
    bool initiallyFilled) {
    if (compoundPaths.empty() || compoundPaths.size() != operations.size()) return nullptr;
    return make<BNCompoundPathNode>(std::move(compoundPaths), std::move(operations),
                                    initiallyFilled);
}

BNCompoundPathNode::BNCompoundPathNode(CreationKey, BNCompoundPathList compoundPaths,
                                       std::vector<VKBooleanOperation> operations,
                                       bool initiallyFilled)
    : BNRenderNode({}),
      compoundPaths_(std::move(compoundPaths)),
      operations_(std::move(operations)),
      initiallyFilled_(initiallyFilled) {}

VKRect BNCompoundPathNode::calculateBounds() const {
    if (initiallyFilled_ || operations_[0] == VKBooleanOperationSubtract) return VKRectInfinite;
    double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
    for (const auto& compoundPath : compoundPaths_) {
        if (!compoundPath) continue;
        for (const auto& path : compoundPath->paths()) {
            if (!path) continue;
            for (const VKKnot& knot : path->knots()) {
                for (VKPoint p : {knot.incoming, knot.point, knot.outgoing}) {
                    minX = std::min(minX, p.x);
                    minY = std::min(minY, p.y);
                    maxX = std::max(maxX, p.x);
                    maxY = std::max(maxY, p.y);
                }
            }
        }
    }
    if (minX > maxX || minY > maxY) return VKRectNull;
    return VKRectIntegral(VKRectMake(minX, minY, maxX - minX, maxY - minY));
}

void BNCompoundPathNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(static_cast<uint64_t>(compoundPaths_.size()));
    for (size_t i = 0; i < compoundPaths_.size(); ++i) {
        context.updateValue(static_cast<uint64_t>(operations_[i]));
        context.updateFlag(compoundPaths_[i] != nullptr);
        if (compoundPaths_[i]) BNCompoundPathUpdateHashContext(*compoundPaths_[i], context);
    }
    context.updateFlag(initiallyFilled_);
}

void BNCompoundPathNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                 BNRenderingContext& context) const {
    VKSize samples = context.vectorAntialiasingAmount();
    if (!BNRasterizeCompoundPaths(compoundPaths_, operations_, initiallyFilled_,
                                  BNCoverageBitmapOfSurface(output), output.rect().origin.x,
                                  output.rect().origin.y, output.scaleFactor(), samples.width,
                                  samples.height))
        BNClearSurface(output);
}
