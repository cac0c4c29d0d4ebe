#pragma once
// QFContext: the object through which the layer walk builds a document's
// render graph, much as a drawing program issues commands to a graphics
// context. It keeps a stack of transparency groups (QFContextGroup) whose
// top is the current group; every state setter and blending command goes
// to the current group. Beginning a transparency group pushes a subgroup;
// ending it pops the subgroup and blends its result into the group below.
//
// Made for one build on one thread, and dropped once its result node is
// taken. The walk keeps begin and end, save and restore balanced.

#include "compositing/QFContextGroup.h"

#include <memory>
#include <vector>

class QFContext {
public:
    // The root group over a transparent backdrop of infinite bounds.
    QFContext();

    QFContextGroup& currentGroup() { return *groups_.back(); }
    size_t groupCount() const { return groups_.size(); }

    // Pushes a subgroup of the current group with `options`. A pass-through
    // group starts from the current node, onto which the drop shadow that
    // `layer` draws under its layers goes first (following `shape`, when
    // given). When no subgroup can be made, the commands that follow go to
    // the current group (with a log line).
    void beginTransparencyGroup(const OMPSDLayer& layer, const BNRenderNodePtr& shape,
                                QFContextGroupOptions options);
    // Pops the current group and blends its result into the group below.
    // A group with visible effects or clipped layers is blended `asLayer`
    // (QFContextGroup::blendGroupNodeAsLayer): its factor mask (the group's
    // state's, which the layer walk sets on a pass-through group; for an
    // isolated group without one, its result's own coverage) taken out of
    // its result once, a pass-through group's from the backdrop it was
    // drawn onto, with `clippedLayers` drawn onto it; `clippedGroups` holds
    // the results of the groups among them. Otherwise an isolated group is
    // blended with its opacity carried as fill, a pass-through group faded
    // in. The root group is never popped, nor the enclosing group when the
    // matching begin failed.
    void endTransparencyGroup(const std::shared_ptr<OMPSDLayer>& layer, bool asLayer,
                              const QFLayerList& clippedLayers,
                              const QFGroupResults& clippedGroups = {});

    void saveState() { currentGroup().saveState(); }
    void restoreState() { currentGroup().restoreState(); }

    double opacity() { return currentGroup().currentState().opacity(); }
    void setOpacity(double opacity) { currentGroup().currentState().setOpacity(opacity); }
    double fillOpacity() { return currentGroup().currentState().fillOpacity(); }
    void setFillOpacity(double fill) { currentGroup().currentState().setFillOpacity(fill); }
    BNBlendMode blendMode() { return currentGroup().currentState().blendMode(); }
    void setBlendMode(BNBlendMode mode) { currentGroup().currentState().setBlendMode(mode); }
    const BNRenderNodePtr& mask() { return currentGroup().currentState().mask(); }
    void setMask(BNRenderNodePtr mask) { currentGroup().currentState().setMask(std::move(mask)); }
    const BNRenderNodePtr& factorMask() { return currentGroup().currentState().factorMask(); }
    void setFactorMask(BNRenderNodePtr mask) {
        currentGroup().currentState().setFactorMask(std::move(mask));
    }

    void blendNode(const BNRenderNodePtr& node) { currentGroup().blendNode(node); }
    void blendGroupNode(const BNRenderNodePtr& node, QFContextGroupOptions options) {
        currentGroup().blendGroupNode(node, options);
    }
    void blendLayers(const QFLayerList& layers, const QFGroupResults& clippedGroups = {}) {
        currentGroup().blendLayers(layers, clippedGroups);
    }
    void blendLayers(const QFLayerList& layers, BNRenderNodePtr content, BNRenderNodePtr shape) {
        currentGroup().blendLayers(layers, std::move(content), std::move(shape));
    }

    const BNRenderNodePtr& resultNode() { return currentGroup().resultNode(); }

private:
    std::vector<std::unique_ptr<QFContextGroup>> groups_;
    // Per begun group, whether it pushed a subgroup: an end whose begin
    // failed pops nothing.
    std::vector<bool> pushed_;
};
