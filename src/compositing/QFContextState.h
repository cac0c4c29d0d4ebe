#pragma once
// QFContextState: the graphics state of one transparency group of the
// compositing context: what the next blending command uses. Copies share
// their mask nodes (nodes are immutable).
//
// - opacity and fill opacity multiply into the fill of a blended group;
// - the blend mode is the render graph's blend-mode number (BNBlendMode.h);
// - the mask is a one-channel node applied when a node is blended in;
// - the factor mask is the coverage of the group being built, taken out of
//   its whole result once when the group ends and is blended like a layer
//   (divided out of an isolated group's result, unmixed from a pass-through
//   group's backdrop), and its shape then brings the coverage back, once.
//   The layer walk sets it on a pass-through group (its own layers'
//   coverage rendered alone); an isolated group without one takes its
//   result's own coverage, which is the same without rendering its layers
//   twice. Nothing drawn inside the group (masks, fill factors, effects) is
//   divided by it.

#include "rendergraph/blend/BNBlendMode.h"
#include "rendergraph/core/BNRenderNode.h"

class QFContextState {
public:
    double opacity() const { return opacity_; }
    void setOpacity(double opacity) { opacity_ = opacity; }
    double fillOpacity() const { return fillOpacity_; }
    void setFillOpacity(double fillOpacity) { fillOpacity_ = fillOpacity; }
    BNBlendMode blendMode() const { return blendMode_; }
    void setBlendMode(BNBlendMode blendMode) { blendMode_ = blendMode; }
    const BNRenderNodePtr& mask() const { return mask_; }
    void setMask(BNRenderNodePtr mask) { mask_ = std::move(mask); }
    const BNRenderNodePtr& factorMask() const { return factorMask_; }
    void setFactorMask(BNRenderNodePtr factorMask) { factorMask_ = std::move(factorMask); }

private:
    double opacity_ = 1.0;
    double fillOpacity_ = 1.0;
    BNBlendMode blendMode_ = kTarrowBlendNormal;
    BNRenderNodePtr mask_;
    BNRenderNodePtr factorMask_;
};
