#include "compositing/content/QFVectorStroke.h"

#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/content/QFPSDStrokePathFixer.h"
#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/fills/QFFillRendering.h"
#include "geometry/VKPathAccumulator.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"

#include <functional>
#include <vector>

namespace {

bool fillAndStrokeOn(const OMPSDLayer& layer) {
    auto stroke = QFShapeVectorStroke(layer);
    return stroke && stroke->fillEnabled() && stroke->strokeEnabled();
}

VKRect documentBounds(const OMPSDLayer& layer) {
    VKSize size = QFDocumentSizeForLayer(layer);
    return VKRectMake(0, 0, size.width, size.height);
}

// A shape's paint laid out over `layerBounds`, which are computed only for
// the paints that place themselves by them (a colour does not).
BNRenderNodePtr shapePaint(const OMPSDFill& paint, const OMPSDLayer& layer,
                           const std::function<VKRect()>& layerBounds) {
    VKRect bounds = paint.kind() == OMPSDFill::Kind::color ? VKRectNull : layerBounds();
    return QFRenderNodeForFill(paint, bounds, documentBounds(layer), layer);
}

// The stroke's paint laid out over the stroked outline.
BNRenderNodePtr strokePaint(const OMPSDLayer& layer) {
    auto stroke = layer.vectorStroke();
    if (!stroke || !stroke->content()) return nullptr;
    return shapePaint(*stroke->content(), layer, [&] {
        auto path = QFSimplifiedCompoundPathForLayer(layer);
        return path ? QFStrokedPathBounds(*path, *stroke) : VKRectZero;
    });
}

}  // namespace

std::shared_ptr<const OMPSDVectorStroke> QFShapeVectorStroke(const OMPSDLayer& layer) {
    auto stroke = layer.vectorStroke();
    if (!stroke || !layer.vectorMask() || !layer.vectorFill()) return nullptr;
    return stroke;
}

double QFVectorStrokeReach(const OMPSDLayer& layer) {
    auto stroke = QFShapeVectorStroke(layer);
    if (!stroke || !stroke->strokeEnabled()) return 0;
    switch (stroke->position()) {
        case VKStrokePositionCentered:
            return stroke->lineWidth() * 0.5;
        case VKStrokePositionOutside:
            return stroke->lineWidth();
        default:
            return 0;
    }
}

VKStrokeStyle QFStrokeStyleForVectorStroke(const OMPSDVectorStroke& stroke) {
    VKStrokeStyle style;
    style.setWidth(stroke.lineWidth());
    style.setMiterLimit(stroke.miterLimit());
    // The document numbers caps, joins and positions as the style does.
    style.setCap(VKLineCap(stroke.cap()));
    style.setJoin(VKLineJoin(stroke.join()));
    style.setPosition(VKStrokePosition(stroke.position()));
    if (!stroke.dashSet().empty()) {
        std::vector<double> lengths;
        for (double entry : stroke.dashSet())
            lengths.push_back(static_cast<double>(static_cast<float>(entry)) * stroke.lineWidth());
        style.setLineDash(lengths.data(), lengths.size(), stroke.dashOffset());
    }
    return style;
}

std::shared_ptr<const VKCompoundPath> QFStrokeReadyCompoundPath(const VKCompoundPath& path,
                                                                const OMPSDVectorStroke& stroke) {
    auto accumulator = std::make_shared<VKPathAccumulator>();
    QFPSDStrokePathFixer fixer(accumulator, QFStrokeStyleForVectorStroke(stroke));
    path.applyToPathConsumer(fixer);
    return std::make_shared<VKCompoundPath>(accumulator->paths(), path.fillRule());
}

BNRenderNodePtr QFVectorStrokeCoverageNode(const OMPSDLayer& layer) {
    if (!fillAndStrokeOn(layer)) return nullptr;
    auto path = QFSimplifiedCompoundPathForLayer(layer);
    if (!path) return nullptr;
    const OMPSDVectorStroke& stroke = *layer.vectorStroke();
    return BNCompoundPathStrokeNode::create(QFStrokeReadyCompoundPath(*path, stroke),
                                            QFStrokeStyleForVectorStroke(stroke), false, false);
}

BNRenderNodePtr QFVectorStrokeFillNode(const OMPSDLayer& layer) {
    return fillAndStrokeOn(layer) ? strokePaint(layer) : nullptr;
}

BNRenderNodePtr QFVectorFillContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    auto fill = layer.vectorFill();
    if (!fill) return nullptr;
    return shapePaint(*fill, layer, [&] { return QFLayerGradientBounds(layer); });
}

BNRenderNodePtr QFVectorStrokeContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    return strokePaint(layer);
}
