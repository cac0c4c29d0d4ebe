#include "compositing/QFContextGroup.h"

#include "compositing/QFLayerContent.h"
#include "compositing/content/QFContentBuilders.h"
#include "compositing/content/QFVectorStroke.h"
#include "compositing/effects/QFEffectRendering.h"
#include "compositing/providers/QFBlendingRangesProvider.h"
#include "compositing/shared/QFBlendMode.h"
#include "compositing/shared/QFInfiniteRect.h"
#include "compositing/shared/QFTypeLayerBlending.h"
#include "platform/core/Log.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/blend/BNOverrideAlphaNode.h"
#include "rendergraph/blend/BNRestrictedBlendingNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNBlendingRangesMaskNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNUnmixWithMaskNode.h"

#include <optional>

namespace {

BNRenderNodePtr transparentBackdrop() {
    return BNTransparentNode::create(QFInfiniteRect, BNChannelMaskRGBA);
}

// `node` masked by the layer's Blend If source ranges, when they are not
// all full.
BNRenderNodePtr withSourceBlendingRanges(const OMPSDLayer& layer, BNRenderNodePtr node) {
    const auto& ranges = layer.blendingOptions()->blendingRanges();
    if (!node || !ranges || ranges->isOpaqueForSource()) return node;
    auto provider = std::make_shared<QFBlendingRangesProvider>(ranges, true);
    return BNApplyMaskNode::create(node, BNBlendingRangesMaskNode::create(node, provider));
}

// `content` with the layer's interior effects blended into it, when the
// layer blends them as a group (before its fill opacity and Blend If).
BNRenderNodePtr withInteriorEffectsAsGroup(const OMPSDLayer& layer, BNRenderNodePtr content,
                                           const BNRenderNodePtr& shape) {
    if (!content || !layer.blendingOptions()->shouldBlendInteriorEffectsAsGroup()) return content;
    for (const auto& effect : QFInteriorEffectsForLayer(layer))
        content = blendWithLayerShape(*effect, shape, content, layer, nullptr);
    return content;
}

// A finished group drawn like a layer: its result with its coverage (the
// factor mask) taken out is its own colour at full strength, and the
// coverage within the masks that shape the group is its shape. An isolated
// group's result is divided by the coverage (by default its own); a
// pass-through group's holds the `backdrop` its layers were drawn onto, and
// is unmixed from it.
struct GroupAsLayer {
    BNRenderNodePtr content, shape;
};
GroupAsLayer groupAsLayer(const OMPSDLayer& group, const BNRenderNodePtr& result,
                          BNRenderNodePtr factorMask, const BNRenderNodePtr& backdrop = nullptr) {
    if (!factorMask && !backdrop) factorMask = BNIsolateOpacityNode::create(result);
    if (!factorMask) return {};
    BNRenderNodePtr content;
    if (backdrop)
        content = BNUnmixWithMaskNode::create(backdrop, result, factorMask);
    else
        content = BNDivideMaskNode::create(result, factorMask);
    return {content, QFGroupShapeNode(group, factorMask)};
}

}  // namespace

BNRenderNodePtr QFOpacitySourceOfNode(const BNRenderNodePtr& node) {
    if (node && (node->channels() & (BNChannelMaskOpacity | BNChannelMaskFill))) return node;
    return nullptr;
}

BNRenderNodePtr QFNodeWithAlphaFrom(const BNRenderNodePtr& node,
                                    const BNRenderNodePtr& alphaSource) {
    if (node == alphaSource) return node;
    return BNOverrideAlphaNode::create(node, alphaSource);
}

QFContextGroup::QFContextGroup(BNRenderNodePtr shallowBackdrop, BNRenderNodePtr deepBackdrop,
                               QFContextGroupOptions options)
    : options_(options),
      states_(1),
      shallowBackdrop_(std::move(shallowBackdrop)),
      deepBackdrop_(std::move(deepBackdrop)),
      layersBackdrop_(shallowBackdrop_),
      currentNode_(shallowBackdrop_) {}

std::unique_ptr<QFContextGroup> QFContextGroup::beginSubgroup(QFContextGroupOptions options) const {
    BNRenderNodePtr shallow =
        (options & QFContextGroupPassThroughOption) ? currentNode_ : transparentBackdrop();
    if (!shallow) return nullptr;
    return std::make_unique<QFContextGroup>(shallow, deepBackdrop_, options);
}

void QFContextGroup::blendNode(const BNRenderNodePtr& node) {
    const QFContextState& state = currentState();
    BNRenderNodePtr result = BNBlendNode::create(currentNode_, node, state.blendMode(), 1.0,
                                                 state.opacity() * state.fillOpacity());
    if (result && state.mask())
        result = BNCrossfadeWithMaskNode::create(currentNode_, result, state.mask());
    if (!result) {
        lf::log("A group could not be blended; it is left out");
        return;
    }
    currentNode_ = result;
}

void QFContextGroup::blendGroupNode(const BNRenderNodePtr& node, QFContextGroupOptions options) {
    if (!(options & QFContextGroupPassThroughOption)) return blendNode(node);
    const QFContextState& state = currentState();
    BNRenderNodePtr result = node;
    if (result && state.opacity() != 1.0)
        result = BNCrossfadeNode::create(currentNode_, result, state.opacity());
    if (result && state.mask())
        result = BNCrossfadeWithMaskNode::create(currentNode_, result, state.mask());
    if (!result) {
        lf::log("A pass-through group could not be blended; it is left out");
        return;
    }
    currentNode_ = result;
}

void QFContextGroup::blendGroupNodeAsLayer(const QFLayerList& layers, const BNRenderNodePtr& node,
                                           const BNRenderNodePtr& factorMask,
                                           const BNRenderNodePtr& backdrop,
                                           const QFGroupResults& clippedGroups) {
    const OMPSDLayer& group = *layers.front();
    GroupAsLayer drawn = groupAsLayer(group, node, factorMask, backdrop);
    if (!drawn.content || !drawn.shape) {
        lf::log("Group {} could not be composited; it is left out", QFLayerLogName(group));
        return;
    }
    blendLayers(layers, drawn.content, drawn.shape, clippedGroups);
}

void QFContextGroup::blendBackgroundForGroup(const OMPSDLayer& group,
                                             const BNRenderNodePtr& shape) {
    auto shadows = QFDropShadowsUnderLayers(group);
    if (shadows.empty() || !shape) return;
    for (const auto& shadow : shadows)
        currentNode_ = blendWithLayerShape(*shadow, shape, currentNode_, group, nullptr);
    layersBackdrop_ = currentNode_;
}

void QFContextGroup::blendLayers(const QFLayerList& layers, const QFGroupResults& clippedGroups) {
    if (layers.empty()) return;
    blendLayers(layers, nullptr, QFShapeNodeForLayer(*layers.front()), clippedGroups);
}

void QFContextGroup::blendLayers(const QFLayerList& layers, BNRenderNodePtr contentNode,
                                 BNRenderNodePtr shapeNode, const QFGroupResults& clippedGroups) {
    if (layers.empty()) return;
    const OMPSDLayer& base = *layers.front();
    // A group blended like a layer keeps the masks that shape it in its
    // shape; only those that hide its effects come after them.
    BNRenderNodePtr mask = QFMaskNodeForLayer(base, contentNode != nullptr);

    // The document's background layer: knockouts in this group, and in the
    // groups begun from it, reveal it instead of transparency.
    if (base.layerNameSource() == OMPSDFourCC("bgnd")) {
        if (BNRenderNodePtr background = QFContentNodeForLayer(base, nullptr)) {
            shallowBackdrop_ = background;
            deepBackdrop_ = background;
        }
    }

    BNRenderNodePtr interiorBackground = currentNode_;
    OMPSDKnockoutStyle knockout = base.blendingOptions()->knockoutStyle();
    if (knockout == OMPSDKnockoutStyleDeep) interiorBackground = deepBackdrop_;
    if (knockout == OMPSDKnockoutStyleShallow) interiorBackground = shallowBackdrop_;

    // The run's content as first made. A pixel or fill layer's content
    // does not depend on what it is drawn onto, so it is made once and
    // shared by every call of the callback, which all draw the same image
    // node.
    std::optional<BNRenderNodePtr> madeContent;
    if (contentNode) madeContent = contentNode;
    ContentCallback content = [&, interiorBackground](const BNRenderNodePtr& onto) {
        if (!madeContent && !QFIsAdjustmentLayer(base))
            madeContent = QFContentNodeForLayer(base, nullptr);
        return blendBaseContent(layers, madeContent.value_or(nullptr), shapeNode,
                                interiorBackground, onto, clippedGroups);
    };
    BNRenderNodePtr result =
        blendLayer(base, currentNode_, interiorBackground, shapeNode, mask, content);
    if (!result) {
        lf::log("Layer {} could not be composited; it is left out", QFLayerLogName(base));
        return;
    }
    currentNode_ = result;
}

BNRenderNodePtr QFContextGroup::blendBaseContent(const QFLayerList& layers,
                                                 const BNRenderNodePtr& contentNode,
                                                 const BNRenderNodePtr& shape,
                                                 const BNRenderNodePtr& interiorBackground,
                                                 const BNRenderNodePtr& onto,
                                                 const QFGroupResults& clippedGroups) {
    const OMPSDLayer& base = *layers.front();
    const OMPSDBlendingOptions& options = *base.blendingOptions();

    // An adjustment works on opaque colour; the backdrop's coverage is put
    // back at the end.
    BNRenderNodePtr backdrop = onto, backdropAlpha;
    bool isAdjustment = !contentNode && QFIsAdjustmentLayer(base);
    if (isAdjustment) {
        backdropAlpha = QFOpacitySourceOfNode(onto);
        backdrop = BNConvertToOpaqueNode::create(onto);
    }
    // Each call starts again from the content as first made (an
    // adjustment's from this call's backdrop), so that nothing below is
    // applied twice when the callback runs twice.
    BNRenderNodePtr content = isAdjustment ? QFContentNodeForLayer(base, backdrop) : contentNode;
    bool clippedAsGroup = options.shouldBlendClippedLayersAsGroup() && content;

    BNRenderNodePtr result;
    if (content) {
        BNRenderNodePtr contentAlpha;
        if (clippedAsGroup) {
            // The clipped layers are drawn onto the opaque content, which
            // gets its coverage back afterwards.
            if (content->channels() & BNChannelMaskFill) {
                contentAlpha = QFOpacitySourceOfNode(content);
                content = BNConvertToOpaqueNode::create(content);
            }
            for (size_t i = 1; i < layers.size() && content; ++i)
                content = blendClippedLayer(*layers[i], content, content, clippedGroups);
        }
        content = withInteriorEffectsAsGroup(base, content, shape);
        if (contentAlpha) content = QFNodeWithAlphaFrom(content, contentAlpha);
        content = withSourceBlendingRanges(base, content);

        BNBlendMode mode = QFBlendModeForPSDKey(options.blendMode());
        if (mode == kTarrowBlendDissolve) mode = kTarrowBlendNormal;
        double fill = options.fillOpacity();
        result = fill > 0 ? BNBlendNode::create(backdrop, content, mode, 1.0, fill) : backdrop;
    } else {
        // No content (a fill that is not drawn): the layer itself draws
        // nothing; its clipped layers are drawn onto the backdrop.
        result = backdrop;
    }
    if (result && backdropAlpha) result = QFNodeWithAlphaFrom(result, backdropAlpha);

    if (!clippedAsGroup) {
        for (size_t i = 1; i < layers.size() && result; ++i) {
            BNRenderNodePtr clippedInterior = result;
            OMPSDKnockoutStyle knockout = layers[i]->blendingOptions()->knockoutStyle();
            if (knockout == OMPSDKnockoutStyleDeep) clippedInterior = deepBackdrop_;
            if (knockout == OMPSDKnockoutStyleShallow) clippedInterior = interiorBackground;
            result = blendClippedLayer(*layers[i], result, clippedInterior, clippedGroups);
        }
    }
    return result;
}

BNRenderNodePtr QFContextGroup::blendClippedLayer(const OMPSDLayer& layer,
                                                  const BNRenderNodePtr& background,
                                                  const BNRenderNodePtr& interiorBackground,
                                                  const QFGroupResults& clippedGroups) {
    BNRenderNodePtr content, shape, mask;
    if (layer.isGroup()) {
        // A clipped group is drawn from its finished, isolated result, like
        // a group blended like a layer; one without a result (nested too
        // deep) is left out.
        auto found = clippedGroups.find(&layer);
        if (found == clippedGroups.end()) return background;
        GroupAsLayer drawn = groupAsLayer(layer, found->second, nullptr);
        content = drawn.content;
        shape = drawn.shape;
        mask = QFMaskNodeForLayer(layer, true);
    } else {
        content = QFContentNodeForLayer(layer, background);
        shape = QFShapeNodeForLayer(layer);
        mask = QFMaskNodeForLayer(layer);
    }
    content = withInteriorEffectsAsGroup(layer, content, shape);
    ContentCallback callback = [&layer, content](const BNRenderNodePtr& onto) -> BNRenderNodePtr {
        BNRenderNodePtr drawn = withSourceBlendingRanges(layer, content);
        const OMPSDBlendingOptions& options = *layer.blendingOptions();
        double fill = options.fillOpacity();
        if (!drawn || fill == 0) return onto;
        return BNBlendNode::create(onto, drawn, QFBlendModeForPSDKey(options.blendMode()), 1.0,
                                   fill);
    };
    BNRenderNodePtr result =
        blendLayer(layer, background, interiorBackground, shape, mask, callback);
    if (!result) {
        lf::log("Layer {} could not be composited; it is left out", QFLayerLogName(layer));
        return background;
    }
    return result;
}

BNRenderNodePtr QFContextGroup::blendLayer(const OMPSDLayer& layer,
                                           const BNRenderNodePtr& background,
                                           const BNRenderNodePtr& interiorBackground,
                                           const BNRenderNodePtr& shape, BNRenderNodePtr mask,
                                           const ContentCallback& content) {
    if (!background || !interiorBackground || !shape) return nullptr;
    const OMPSDBlendingOptions& options = *layer.blendingOptions();

    Effects drawn = blendEffects(layer, background, interiorBackground, shape, content);
    // A layer that draws nothing (a paint that is not drawn, no fill)
    // leaves the background as it is: every step below would mix it with
    // itself.
    if (drawn.interior == background && drawn.exterior == background) return background;
    BNRenderNodePtr result = QFPutLayerInItsShape(layer, drawn.exterior, drawn.interior, shape);

    const auto& ranges = options.blendingRanges();
    if (ranges && !ranges->isOpaqueForDestination()) {
        auto provider = std::make_shared<QFBlendingRangesProvider>(ranges, false);
        BNRenderNodePtr destination = BNBlendingRangesMaskNode::create(background, provider);
        mask = mask ? BNApplyMaskNode::create(mask, destination) : destination;
        if (!mask) return nullptr;
    }
    if (result && mask) result = BNCrossfadeWithMaskNode::create(background, result, mask);
    if (result && options.opacity() != 1.0)
        result = BNCrossfadeNode::create(background, result, options.opacity());

    if (result && options.hasRestrictedBlending()) {
        BNChannelMask fromBackground = 0;
        if (!options.shouldBlendRed()) fromBackground |= BNChannelMaskRed;
        if (!options.shouldBlendGreen()) fromBackground |= BNChannelMaskGreen;
        if (!options.shouldBlendBlue()) fromBackground |= BNChannelMaskBlue;
        if (options.knockoutStyle() != OMPSDKnockoutStyleNone)
            fromBackground |= BNChannelMaskOpacity | BNChannelMaskFill;
        fromBackground &= result->channels();
        result = BNRestrictedBlendingNode::create(result, background, fromBackground);
    }
    return result;
}

QFContextGroup::Effects QFContextGroup::blendEffects(const OMPSDLayer& layer,
                                                     const BNRenderNodePtr& background,
                                                     const BNRenderNodePtr& interiorBackground,
                                                     const BNRenderNodePtr& shape,
                                                     const ContentCallback& content) const {
    // Two chains: the interior draws the content onto the interior
    // background, the exterior keeps the background; each effect joins the
    // chains its clipping behaviour names. The effect backdrop is what the
    // strokes are drawn onto: the background, with a drop shadow that shows
    // through the layer. Effects get no factor mask: a group takes its
    // coverage out of its whole result once (blendGroupNodeAsLayer).
    Effects chains{interiorBackground, background};
    BNRenderNodePtr backdrop = background;
    // Draws an effect onto the chains its clipping behaviour names, each
    // pass told which chain it draws onto.
    auto drawOnChains = [&](const OMPSDEffect& effect, const auto& draw) {
        QFEffectClipping clipping = clippingBehavior(effect);
        if (clipping != QFEffectClippingExterior)
            chains.interior = draw(chains.interior, QFEffectClippingInterior);
        if (clipping != QFEffectClippingInterior)
            chains.exterior = draw(chains.exterior, QFEffectClippingExterior);
    };
    std::vector<std::shared_ptr<const OMPSDEffect>> strokes;
    std::shared_ptr<const OMPSDEffect> bevel;
    for (const auto& effect : QFEffectsInDrawingOrder(layer)) {
        auto drawWithShape = [&](const BNRenderNodePtr& onto, QFEffectClipping) {
            return blendWithLayerShape(*effect, shape, onto, layer, nullptr);
        };
        if (!effect) {
            chains.interior = content(chains.interior);
        } else if (effect->kind() == OMPSDEffect::Kind::stroke) {
            strokes.push_back(effect);
        } else if (effect->kind() == OMPSDEffect::Kind::bevelEmboss) {
            bevel = effect;
        } else if (clippingBehavior(*effect) == QFEffectClippingBoth) {
            // A drop shadow that shows through the layer lies under it
            // everywhere, under the strokes too.
            chains.interior = drawWithShape(chains.interior, QFEffectClippingInterior);
            backdrop = drawWithShape(backdrop, QFEffectClippingExterior);
            chains.exterior = backdrop;
        } else {
            drawOnChains(*effect, drawWithShape);
        }
        if (!chains.interior || !chains.exterior) return chains;
    }

    // A shape layer's vector stroke, drawn over the content within the
    // stroke's coverage.
    BNRenderNodePtr strokePaint = QFVectorStrokeFillNode(layer);
    BNRenderNodePtr strokeCoverage = strokePaint ? QFVectorStrokeCoverageNode(layer) : nullptr;
    if (strokePaint && strokeCoverage) {
        BNBlendMode mode = QFBlendModeForPSDKey(layer.blendingOptions()->blendMode());
        if (BNRenderNodePtr stroked = BNCrossfadeWithMaskNode::create(
                chains.interior, BNBlendNode::create(backdrop, strokePaint, mode),
                BNDivideMaskNode::create(strokeCoverage, shape)))
            chains.interior = stroked;
    }

    // The stroke effects, with a stroke emboss lighting the strokes they
    // draw (without a stroke, a stroke emboss draws nothing); then the
    // bevel.
    QFEffectBlendingCallback emboss;
    if (bevel && QFIsStrokeEmboss(*bevel))
        emboss = [&](const BNRenderNodePtr& stroked) {
            return blendWithContent(*bevel, stroked, shape, nullptr, layer, QFEffectClippingBoth,
                                    nullptr);
        };
    for (const auto& stroke : strokes)
        drawOnChains(*stroke, [&](const BNRenderNodePtr& onto, QFEffectClipping) {
            return blendWithContent(*stroke, onto, shape, backdrop, layer, nullptr, emboss);
        });
    if (bevel && !emboss)
        drawOnChains(*bevel, [&](const BNRenderNodePtr& onto, QFEffectClipping pass) {
            return blendWithContent(*bevel, onto, shape, backdrop, layer, pass, nullptr);
        });
    return chains;
}
