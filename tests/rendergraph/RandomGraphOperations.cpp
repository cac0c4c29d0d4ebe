// Random graphs: mask, crossfade, blur, blend and channel operations.
#include "FakeProviders.h"
#include "RandomGraphBuilder.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/blend/BNOverrideAlphaNode.h"
#include "rendergraph/blend/BNRestrictedBlendingNode.h"
#include "rendergraph/blend/BNScaleBiasNode.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/geometry/BNTranslateNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/images/BNApplyTextureNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNBlendingRangesMaskNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "rendergraph/masks/BNDifferenceMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNEffectMaskHackNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"

namespace rendergraph_test::random_graph {

bool RandomGraphBuilder::addOperation() {
    if (chance(0.45)) return addMaskOperation();
    if (chance(0.3)) {
        switch (integer(0, 2)) {
            case 0:
                return addDistanceNode();
            case 1:
                return addGradientMapping();
            default:
                return addColorAdjustment();
        }
    }
    switch (integer(0, 9)) {
        case 0:
        case 1:
        case 2: {
            // Mostly four-sample inputs; now and then another layout,
            // which must leave the background.
            const Made* background = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
            const Made* foreground = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
            if (!background || !foreground) return false;
            int mode = chance(0.97) ? integer(0, 26) : oneOf({-1, 27});
            double fill = chance(0.5) ? 1.0 : fraction(8);
            return add(BNBlendNode::create(background->node, foreground->node, BNBlendMode(mode),
                                           1.0, fill),
                       fmt::format("BNBlendNode::create({}, {}, BNBlendMode({}), 1.0, {})",
                                   background->name, foreground->name, mode, fill));
        }
        case 3: {
            const Made* input = pick(anyMask);
            VKPoint offset{static_cast<double>(integer(-12, 12)),
                           static_cast<double>(integer(-12, 12))};
            return add(BNTranslateNode::create(input->node, offset),
                       fmt::format("BNTranslateNode::create({}, {{{}, {}}})", input->name, offset.x,
                                   offset.y));
        }
        case 4: {
            const Made* mask = pick(oneChannel);
            if (!mask) return false;
            BNChannelValues values{fraction(8), fraction(8), fraction(8), 0, 0};
            return add(BNColorWithMaskNode::create(mask->node, values, BNChannelMaskRGB),
                       fmt::format("BNColorWithMaskNode::create({}, {{{}, {}, {}, 0, 0}}, 7)",
                                   mask->name, values[0], values[1], values[2]));
        }
        case 5: {
            const Made* input = pick(hasOpacity);
            if (!input) return false;
            return add(BNConvertOpacityToFillNode::create(input->node),
                       fmt::format("BNConvertOpacityToFillNode::create({})", input->name));
        }
        case 6: {
            if (chance(0.5)) {
                const Made* input = pick(BNMaskIsFourChannel);
                if (!input) return false;
                return add(BNConvertToOpaqueNode::create(input->node),
                           fmt::format("BNConvertToOpaqueNode::create({})", input->name));
            }
            const Made* input = pick([](BNChannelMask mask) { return mask == 8; });
            if (!input) return false;
            return add(BNInvertAlphaNode::create(input->node),
                       fmt::format("BNInvertAlphaNode::create({})", input->name));
        }
        case 7: {
            const Made* input = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
            if (!input) return false;
            return add(BNIsolateOpacityNode::create(input->node),
                       fmt::format("BNIsolateOpacityNode::create({})", input->name));
        }
        case 8: {
            const Made* input = pick(fourSamples);
            const Made* alpha = pick(fourSamples);
            if (!input || !alpha) return false;
            return add(
                BNOverrideAlphaNode::create(input->node, alpha->node),
                fmt::format("BNOverrideAlphaNode::create({}, {})", input->name, alpha->name));
        }
        default: {
            const Made* input = pick(oneChannel);
            if (!input) return false;
            double scale = oneOf({0.0, 0.5, 1.0, 2.0, -1.0}), bias = oneOf({0.0, 0.25, -0.5, 1.0});
            bool clamped = chance(0.5), biasFirst = chance(0.5);
            return add(BNScaleBiasNode::create(input->node, scale, bias, clamped, biasFirst),
                       fmt::format("BNScaleBiasNode::create({}, {}, {}, {}, {})", input->name,
                                   scale, bias, clamped, biasFirst));
        }
    }
}

bool RandomGraphBuilder::addMaskOperation() {
    switch (integer(0, 12)) {
        case 0: {
            const Made* input = pick(hasCoverage);
            const Made* mask = pick(oneChannel);
            if (!input || !mask) return false;
            return add(BNApplyMaskNode::create(input->node, mask->node),
                       fmt::format("BNApplyMaskNode::create({}, {})", input->name, mask->name));
        }
        case 1: {
            const Made* input = pick(anyMask);
            double amount = fraction(4);
            BNChannelMask channels = oneOf({15, 8, 9});
            return add(
                BNApplyNoiseNode::create(input->node, amount, channels),
                fmt::format("BNApplyNoiseNode::create({}, {}, {})", input->name, amount, channels));
        }
        case 2: {
            const Made* input = pick(opacityOnly);
            const Made* texture = pick(chance(0.8) ? Predicate(exactly(15)) : anyMask);
            if (!input || !texture) return false;
            double amount = fraction(4);
            return add(BNApplyTextureNode::create(input->node, texture->node, amount),
                       fmt::format("BNApplyTextureNode::create({}, {}, {})", input->name,
                                   texture->name, amount));
        }
        case 3: {
            const Made* input = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
            if (!input) return false;
            int ranges = integer(0, 15);
            return add(BNBlendingRangesMaskNode::create(input->node,
                                                        FakeBlendingRangesProvider::make(ranges)),
                       fmt::format("BNBlendingRangesMaskNode::create({}, "
                                   "FakeBlendingRangesProvider::make({}))",
                                   input->name, ranges));
        }
        case 4: {
            const Made* background =
                pick([](BNChannelMask mask) { return mask == 8 || mask == 15 || mask == 23; });
            if (!background) return false;
            const Made* foreground = pick(exactly(background->node->channels()));
            double blend = fraction(4);
            return add(BNCrossfadeNode::create(background->node, foreground->node, blend),
                       fmt::format("BNCrossfadeNode::create({}, {}, {})", background->name,
                                   foreground->name, blend));
        }
        case 5: {
            const Made* background = pick(chance(0.7) ? exactly(15) : exactly(8));
            if (!background) return false;
            const Made* foreground = pick(exactly(background->node->channels()));
            const Made* mask = pick(opacityOnly);
            if (!mask) return false;
            return add(
                BNCrossfadeWithMaskNode::create(background->node, foreground->node, mask->node),
                fmt::format("BNCrossfadeWithMaskNode::create({}, {}, {})", background->name,
                            foreground->name, mask->name));
        }
        case 6: {
            const Made* input = pick(opacityOnly);
            const Made* mask = pick(opacityOnly);
            if (!input || !mask) return false;
            return add(
                BNDifferenceMaskNode::create(input->node, mask->node),
                fmt::format("BNDifferenceMaskNode::create({}, {})", input->name, mask->name));
        }
        case 7: {
            const Made* background =
                pick([](BNChannelMask mask) { return mask == 8 || BNMaskIsFourChannel(mask); });
            const Made* foreground = pick(opacityOnly);
            if (!background || !foreground) return false;
            double fill = chance(0.5) ? 1.0 : fraction(4);
            return add(BNDivideMaskNode::create(background->node, foreground->node, fill),
                       fmt::format("BNDivideMaskNode::create({}, {}, {})", background->name,
                                   foreground->name, fill));
        }
        case 8: {
            const Made* input = pick(oneChannel);
            const Made* mask = pick(oneChannel);
            if (!input || !mask) return false;
            double threshold = oneOf({0.005, 0.125, 0.5});
            return add(BNLimitToMaskNode::create(input->node, mask->node, threshold),
                       fmt::format("BNLimitToMaskNode::create({}, {}, {})", input->name, mask->name,
                                   threshold));
        }
        case 9: {
            const Made* foreground = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
            const Made* background = pick(chance(0.9) ? Predicate(fourSamples) : anyMask);
            if (!foreground || !background) return false;
            int channels = integer(0, 31);
            return add(
                BNRestrictedBlendingNode::create(foreground->node, background->node, channels),
                fmt::format("BNRestrictedBlendingNode::create({}, {}, {})", foreground->name,
                            background->name, channels));
        }
        case 10: {
            const Made* inputs[4];
            for (const Made*& input : inputs)
                if (!(input = pick(oneChannel))) return false;
            return add(BNEffectMaskHackNode::create(inputs[0]->node, inputs[1]->node,
                                                    inputs[2]->node, inputs[3]->node),
                       fmt::format("BNEffectMaskHackNode::create({}, {}, {}, {})", inputs[0]->name,
                                   inputs[1]->name, inputs[2]->name, inputs[3]->name));
        }
        default: {
            const Made* input = pick(oneChannel);
            if (!input) return false;
            if (chance(0.5)) {
                double radius = oneOf({0.0, 0.6, 1.5, 2.5, 4.0});
                return add(BNGaussianBlurNode::create(input->node, radius),
                           fmt::format("BNGaussianBlurNode::create({}, {})", input->name, radius));
            }
            double radius = oneOf({0.0, 1.0, 1.5, 3.0});
            bool forceFloat = chance(0.5);
            return add(
                BNTentBlurNode::create(input->node, radius, input->node->channels(), forceFloat),
                fmt::format("BNTentBlurNode::create({}, {}, {}, {})", input->name, radius,
                            input->node->channels(), forceFloat));
        }
    }
}

}  // namespace rendergraph_test::random_graph
