#pragma once
// QFContextGroup: one transparency group of the compositing context. It
// holds the node built so far at its level (the current node), the
// backdrops that knockouts reveal, its options (pass-through or isolated)
// and a stack of graphics states, and turns the layer walk's commands into
// render nodes: it blends finished subgroups into itself, and blends
// clipping runs (a base layer with the layers clipped to it) through the
// per-layer model: content and shape, knockout, fill opacity against
// opacity, clipped layers as a group or one by one, Blend If in both
// directions, layer masks, channel restrictions, and a shape layer's
// vector stroke.
//
// A group blended like a layer (it has visible layer effects or layers
// clipped to it) has its coverage as factor mask. Its result with the
// factor mask taken out once (divided for an isolated group; for a
// pass-through group, unmixed from the backdrop its layers were drawn onto)
// is its colour at full strength: its content, onto which its clipped
// layers are drawn, and the factor mask within the masks that shape the
// group is its shape, which its effects follow. So its coverage counts
// once, and nothing drawn inside the group (masks, fill factors, effects)
// is divided by the factor mask again: effects are handed none.
//
// Every command replaces the current node by a new node over the old one;
// nothing is ever removed from the graph. A layer whose nodes cannot be
// made is left out with one log line naming it; the current node stays.
// A layer's effects (QFEffectRendering.h) are drawn in their fixed order
// onto an interior and an exterior chain, which its shape then puts
// together; its interior effects go into its content instead when it
// blends them as a group.
//
// Built by one thread inside one context, for one build.

#include "compositing/QFContextState.h"
#include "compositing/shared/QFLayerList.h"
#include "rendergraph/core/BNRenderNode.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

// A group's options, a bit set. Bit 0, pass-through: the group has no
// isolated backdrop of its own.
enum QFContextGroupOptions : int32_t {
    QFContextGroupNoOptions = 0,
    QFContextGroupPassThroughOption = 1,
};

// The finished, isolated results of the groups in a clipping run that are
// clipped to its base, by group.
using QFGroupResults = std::unordered_map<const OMPSDLayer*, BNRenderNodePtr>;

class QFContextGroup {
public:
    // The current node starts as the shallow backdrop.
    QFContextGroup(BNRenderNodePtr shallowBackdrop, BNRenderNodePtr deepBackdrop,
                   QFContextGroupOptions options);

    QFContextGroupOptions options() const { return options_; }
    bool isPassThrough() const { return (options_ & QFContextGroupPassThroughOption) != 0; }

    // A new group, on no stack yet, with a fresh state. A pass-through group
    // starts from this group's current node, an isolated one from
    // transparency; both keep this group's deep backdrop. Null when the
    // backdrop cannot be made.
    std::unique_ptr<QFContextGroup> beginSubgroup(QFContextGroupOptions options) const;

    QFContextState& currentState() { return states_.back(); }
    const QFContextState& currentState() const { return states_.back(); }
    void saveState() { states_.push_back(states_.back()); }
    // The first state is never removed.
    void restoreState() {
        if (states_.size() > 1) states_.pop_back();
    }

    // Blends an isolated group's node with the state's blend mode, fill
    // opacity times opacity and mask.
    void blendNode(const BNRenderNodePtr& node);
    // An isolated group's node as blendNode; a pass-through group's node
    // (which already holds this group's current node as its backdrop) is
    // faded in by the state's opacity and mask instead of blended (a group
    // whose fill opacity is below full is composited in isolation).
    void blendGroupNode(const BNRenderNodePtr& node, QFContextGroupOptions options);
    // Blends the result of a group (RGBA) like a layer (`layers`: the group,
    // then its clipped layers). Its colour at full strength is the content,
    // onto which the clipped layers are drawn, and `factorMask` (its
    // coverage) within the group's masks that shape it is the shape. An
    // isolated group's colour is its result divided by the factor mask (null
    // for the result's own coverage); a pass-through group, whose layers
    // were drawn onto `backdrop` (null for an isolated group), has the
    // factor mask taken back out of its result over that backdrop
    // (BNUnmixWithMaskNode), so its layers still blend with what lies below
    // it.
    void blendGroupNodeAsLayer(const QFLayerList& layers, const BNRenderNodePtr& node,
                               const BNRenderNodePtr& factorMask, const BNRenderNodePtr& backdrop,
                               const QFGroupResults& clippedGroups = {});
    // On a new pass-through group before its layers are walked: the drop
    // shadow that `group` draws under its layers (following `shape`) goes
    // onto the backdrop. Nothing changes without one.
    void blendBackgroundForGroup(const OMPSDLayer& group, const BNRenderNodePtr& shape);
    // Blends a clipping run (base first) with the base's own shape; groups
    // clipped to the base are drawn from their results.
    void blendLayers(const QFLayerList& layers, const QFGroupResults& clippedGroups = {});
    // Blends a clipping run whose base is drawn by `contentNode` when given
    // (a finished group), within `shapeNode`.
    void blendLayers(const QFLayerList& layers, BNRenderNodePtr contentNode,
                     BNRenderNodePtr shapeNode, const QFGroupResults& clippedGroups = {});

    const BNRenderNodePtr& resultNode() const { return currentNode_; }
    const BNRenderNodePtr& shallowBackdrop() const { return shallowBackdrop_; }
    // What the group's layers are drawn onto: the shallow backdrop, with
    // the drop shadow that a pass-through group draws under its layers.
    const BNRenderNodePtr& layersBackdrop() const { return layersBackdrop_; }
    const BNRenderNodePtr& deepBackdrop() const { return deepBackdrop_; }

private:
    // Given the node the layer's content is to be drawn onto, the node with
    // the content drawn in.
    using ContentCallback = std::function<BNRenderNodePtr(const BNRenderNodePtr&)>;
    struct Effects {
        BNRenderNodePtr interior, exterior;
    };

    BNRenderNodePtr blendLayer(const OMPSDLayer& layer, const BNRenderNodePtr& background,
                               const BNRenderNodePtr& interiorBackground,
                               const BNRenderNodePtr& shape, BNRenderNodePtr mask,
                               const ContentCallback& content);
    Effects blendEffects(const OMPSDLayer& layer, const BNRenderNodePtr& background,
                         const BNRenderNodePtr& interiorBackground, const BNRenderNodePtr& shape,
                         const ContentCallback& content) const;
    BNRenderNodePtr blendClippedLayer(const OMPSDLayer& layer, const BNRenderNodePtr& background,
                                      const BNRenderNodePtr& interiorBackground,
                                      const QFGroupResults& clippedGroups);
    BNRenderNodePtr blendBaseContent(const QFLayerList& layers, const BNRenderNodePtr& contentNode,
                                     const BNRenderNodePtr& shape,
                                     const BNRenderNodePtr& interiorBackground,
                                     const BNRenderNodePtr& onto,
                                     const QFGroupResults& clippedGroups);

    QFContextGroupOptions options_;
    std::vector<QFContextState> states_;
    BNRenderNodePtr shallowBackdrop_;
    BNRenderNodePtr deepBackdrop_;
    BNRenderNodePtr layersBackdrop_;
    BNRenderNodePtr currentNode_;
};

// The node itself when it carries opacity or fill, else null.
BNRenderNodePtr QFOpacitySourceOfNode(const BNRenderNodePtr& node);
// `node` with the coverage of `alphaSource` (unless they are the same node).
BNRenderNodePtr QFNodeWithAlphaFrom(const BNRenderNodePtr& node,
                                    const BNRenderNodePtr& alphaSource);
