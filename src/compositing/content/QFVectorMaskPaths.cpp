#include "compositing/content/QFVectorMaskPaths.h"

#include "compositing/content/QFVectorStroke.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/images/BNConstantColorNode.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kSimplifiedPathKey = "QFSimplifiedCompoundPath";

// Document operation number to render operation.
VKBooleanOperation renderOperation(int documentOperation) {
    static constexpr VKBooleanOperation kTable[] = {
        VKBooleanOperationExclude, VKBooleanOperationAdd, VKBooleanOperationSubtract,
        VKBooleanOperationIntersect};
    if (documentOperation < 0 || documentOperation > 3) return VKBooleanOperationAdd;
    return kTable[documentOperation];
}

VKPoint scaled(const OMPSDPoint& point, double width, double height) {
    return VKPointMake(point.x * width, point.y * height);
}

}  // namespace

VKSize QFDocumentSizeForLayer(const OMPSDLayer& layer) {
    auto document = layer.document();
    if (!document) return VKSizeMake(0, 0);
    return VKSizeMake(document->width(), document->height());
}

std::shared_ptr<VKMutablePath> QFPathForVectorMaskSubpath(const OMPSDPath& subpath, double width,
                                                          double height) {
    auto path = std::make_shared<VKMutablePath>(subpath.segments().size());
    for (const OMPSDPathKnot& knot : subpath.segments())
        path->addKnot(
            {scaled(knot.controlPoint1(), width, height), scaled(knot.anchorPoint(), width, height),
             scaled(knot.controlPoint2(), width, height), static_cast<uint8_t>(knot.isLinked())});
    path->setIsClosed(subpath.isClosed());
    return path;
}

QFVectorMaskPaths QFGroupVectorMaskSubpaths(const OMPSDCompoundPath& mask, double width,
                                            double height) {
    QFVectorMaskPaths result;
    VKCompoundPath::PathList group;
    int operation = OMPSDPathOperationAdd, fillRule = 1;
    auto closeGroup = [&] {
        if (group.empty()) return;
        result.paths.push_back(std::make_shared<VKCompoundPath>(
            std::move(group), fillRule == 1 ? VKFillRuleEvenOdd : VKFillRuleNonZero));
        result.operations.push_back(operation);
        group.clear();
    };
    for (const OMPSDPath& subpath : mask.subpaths()) {
        if (subpath.operation() < OMPSDPathOperationContinue) {
            closeGroup();
            operation = subpath.operation();
            fillRule = subpath.fillRule();
        }
        group.push_back(QFPathForVectorMaskSubpath(subpath, width, height));
    }
    closeGroup();
    return result;
}

QFVectorMaskPaths QFVectorMaskCompoundPaths(const OMPSDCompoundPath& mask, double width,
                                            double height, bool alignToPixels, double strokeReach) {
    QFVectorMaskPaths result = QFGroupVectorMaskSubpaths(mask, width, height);
    for (int& operation : result.operations)
        operation = renderOperation(operation);
    if (!alignToPixels) return result;

    VKRect r = VKRectNull;
    for (const auto& path : result.paths)
        r = VKRectUnion(r, path->bounds());
    if (!VKRectIsFinite(r) || VKRectIsEmpty(r)) return result;
    // Scale about the bounds' origin and move them so that the bounds grown
    // by the stroke's reach (the edges that are drawn) land on whole
    // pixels: a centred stroke of odd width keeps to whole pixels, half a
    // pixel beyond the outline's snapped place, instead of half covering
    // the pixels on either side of it. A shape too small for its stroke
    // shrinks to nothing rather than turning over.
    double e = std::isfinite(strokeReach) && strokeReach > 0 ? strokeReach : 0;
    double sx = std::max(std::round(r.size.width + 2 * e) - 2 * e, 0.0) / r.size.width;
    double sy = std::max(std::round(r.size.height + 2 * e) - 2 * e, 0.0) / r.size.height;
    double x0 = std::round(r.origin.x - e) + e, y0 = std::round(r.origin.y - e) + e;
    auto snap = [&](VKPoint p) {
        return VKPointMake((p.x - r.origin.x) * sx + x0, (p.y - r.origin.y) * sy + y0);
    };
    for (auto& compound : result.paths) {
        VKCompoundPath::PathList snapped;
        for (const auto& path : compound->paths()) {
            auto copy = path->mutableCopy();
            for (size_t i = 0; i < copy->numberOfKnots(); ++i) {
                VKKnot knot = copy->knotAtIndex(i);
                copy->replaceKnotAtIndex(
                    i, {snap(knot.incoming), snap(knot.point), snap(knot.outgoing), knot.linked});
            }
            snapped.push_back(std::move(copy));
        }
        compound = std::make_shared<VKCompoundPath>(std::move(snapped), compound->fillRule());
    }
    return result;
}

bool QFVectorMaskPathsAndOperations(const OMPSDCompoundPath& mask, double width, double height,
                                    QFVectorMaskPaths* out) {
    QFVectorMaskPaths paths = QFVectorMaskCompoundPaths(mask, width, height, false);
    if (paths.paths.empty() || paths.paths.size() != paths.operations.size()) return false;
    *out = std::move(paths);
    return true;
}

BNRenderNodePtr QFFilledVectorMaskNode(const OMPSDLayer& layer, const OMPSDCompoundPath& mask,
                                       bool alignToPixels) {
    VKSize size = QFDocumentSizeForLayer(layer);
    QFVectorMaskPaths paths =
        QFVectorMaskCompoundPaths(mask, size.width, size.height, alignToPixels);
    // Without paths the mask is its initial fill alone.
    if (paths.paths.empty())
        return mask.isInitiallyFilled()
                   ? BNConstantColorNode::create({0, 0, 0, 1, 0}, BNChannelMaskOpacity)
                   : nullptr;
    std::vector<VKBooleanOperation> operations;
    for (int operation : paths.operations)
        operations.push_back(VKBooleanOperation(operation));
    return BNCompoundPathNode::create(std::move(paths.paths), std::move(operations),
                                      mask.isInitiallyFilled());
}

std::shared_ptr<const VKCompoundPath> QFFoldVectorMaskPaths(const QFVectorMaskPaths& grouped) {
    // The fold starts from nothing, so the first path's operation counts
    // too: a leading subtraction or intersection leaves nothing to stroke,
    // a leading exclusion adds. Photoshop draws no outline for a mask whose
    // every subpath subtracts or intersects. While nothing is there, adding
    // or excluding a path gives the path itself, knots and direction as
    // stored, which the dashes of its stroke follow.
    auto folded = std::make_shared<const VKCompoundPath>();
    for (size_t i = 0; i < grouped.paths.size() && folded; ++i) {
        VKBooleanOperation operation = VKBooleanOperation(grouped.operations[i]);
        const auto& path = grouped.paths[i];
        if (!path) continue;
        if (folded->paths().empty()) {
            bool adds =
                operation == VKBooleanOperationAdd || operation == VKBooleanOperationExclude;
            if (adds) folded = path;
            continue;
        }
        folded = folded->compoundPathByPerformingOperation(operation, *path);
    }
    return folded;
}

std::shared_ptr<const VKCompoundPath> QFSimplifiedCompoundPathForLayer(const OMPSDLayer& layer) {
    if (auto cached = layer.associatedObject(kSimplifiedPathKey))
        return std::static_pointer_cast<const VKCompoundPath>(cached);
    auto mask = layer.vectorMask();
    if (!mask) return nullptr;
    VKSize size = QFDocumentSizeForLayer(layer);
    QFVectorMaskPaths grouped =
        QFVectorMaskCompoundPaths(*mask, size.width, size.height,
                                  layer.vectorMaskIsAlignedToPixels(), QFVectorStrokeReach(layer));
    if (grouped.paths.empty()) return nullptr;
    std::shared_ptr<const VKCompoundPath> folded = QFFoldVectorMaskPaths(grouped);
    if (folded && grouped.paths.size() > 1) layer.setAssociatedObject(kSimplifiedPathKey, folded);
    return folded;
}
