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
// Every command replaces the current node by a new node over the old one;
// nothing is ever removed from the graph. A layer whose nodes cannot be
// made is left out with one log line naming it; the current node stays.
// Layer effects are not drawn: a layer is blended through its content
// alone.
//
// The layer walk sets no factor mask: a group blended like a layer takes
// its coverage from its own result (blendGroupNodeAsLayer), so nothing in
// it needs dividing.
//
// Built by one thread inside one context, for one build.

#include "compositing/QFContextState.h"
#include "compositing/QFLayerList.h"
#include "rendergraph/BNRenderNode.h"

#include <functional>
#include <memory>
#include <vector>

// Bit 0 of a group's options: pass-through, the group has no isolated
// backdrop of its own.
inline constexpr int QFContextGroupPassThroughOption = 1;

class QFContextGroup {
public:
    // The current node starts as the shallow backdrop.
    QFContextGroup(BNRenderNodePtr shallowBackdrop, BNRenderNodePtr deepBackdrop, int options);

    int options() const { return options_; }
    bool isPassThrough() const { return (options_ & QFContextGroupPassThroughOption) != 0; }

    // A new group, on no stack yet, with a fresh state. A pass-through group
    // starts from this group's current node, an isolated one from
    // transparency; both keep this group's deep backdrop. Null when the
    // backdrop cannot be made.
    std::unique_ptr<QFContextGroup> beginSubgroup(int options) const;

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
    // faded in by the state's opacity and mask instead of blended.
    void blendGroupNode(const BNRenderNodePtr& node, int options);
    // Blends an isolated group's node (RGBA) like a layer (`layers`: the
    // group, then its clipped layers): its colour made opaque is the
    // content, onto which the clipped layers are drawn, and its coverage
    // within the group's masks that shape it is the shape. So the group's
    // coverage and masks count once, whatever is clipped to it.
    void blendGroupNodeAsLayer(const QFLayerList& layers, const BNRenderNodePtr& node);
    // Draws a pass-through group's clipped layers onto its node within
    // `coverage` (the coverage of the group's own layers), then blends the
    // node as a pass-through group node.
    void blendPassThroughGroupNode(const BNRenderNodePtr& node, const QFLayerList& clippedLayers,
                                   const BNRenderNodePtr& coverage);
    // Blends a clipping run (base first) with the base's own shape.
    void blendLayers(const QFLayerList& layers);
    // Blends a clipping run whose base is drawn by `contentNode` when given
    // (a finished group), within `shapeNode`.
    void blendLayers(const QFLayerList& layers, BNRenderNodePtr contentNode,
                     BNRenderNodePtr shapeNode);

    const BNRenderNodePtr& resultNode() const { return currentNode_; }
    const BNRenderNodePtr& shallowBackdrop() const { return shallowBackdrop_; }
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
                                      const BNRenderNodePtr& interiorBackground);
    BNRenderNodePtr blendBaseContent(const QFLayerList& layers, const BNRenderNodePtr& contentNode,
                                     const BNRenderNodePtr& interiorBackground,
                                     const BNRenderNodePtr& onto);
    // The node divided by the state's factor mask, when there is one.
    BNRenderNodePtr dividedByFactorMask(const BNRenderNodePtr& node) const;

    int options_;
    std::vector<QFContextState> states_;
    BNRenderNodePtr shallowBackdrop_;
    BNRenderNodePtr deepBackdrop_;
    BNRenderNodePtr currentNode_;
};

// The node itself when it carries opacity or fill, else null.
BNRenderNodePtr QFOpacitySourceOfNode(const BNRenderNodePtr& node);
// `node` with the coverage of `alphaSource` (unless they are the same node).
BNRenderNodePtr QFNodeWithAlphaFrom(const BNRenderNodePtr& node,
                                    const BNRenderNodePtr& alphaSource);
