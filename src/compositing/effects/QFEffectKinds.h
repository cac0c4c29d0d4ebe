#pragma once
// The drawing of each kind of layer effect, behind the dispatch of
// QFEffectRendering.h (which documents the arguments): shadows
// (QFShadowEffects.cpp), glows (QFGlowEffects.cpp), satin
// (QFSatinEffect.cpp), overlays (QFOverlayEffects.cpp), stroke
// (QFStrokeEffect.cpp), bevel and emboss (QFBevelEmbossEffect.cpp).

#include "compositing/effects/QFEffectRendering.h"

BNRenderNodePtr QFBlendDropShadow(const OMPSDDropShadowEffect& effect, const BNRenderNodePtr& shape,
                                  const BNRenderNodePtr& background, const OMPSDLayer& layer,
                                  const BNRenderNodePtr& factorMask);
BNRenderNodePtr QFBlendInnerShadow(const OMPSDInnerShadowEffect& effect,
                                   const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                                   const OMPSDLayer& layer, const BNRenderNodePtr& factorMask);
BNRenderNodePtr QFBlendOuterGlow(const OMPSDOuterGlowEffect& effect, const BNRenderNodePtr& shape,
                                 const BNRenderNodePtr& background,
                                 const BNRenderNodePtr& factorMask);
BNRenderNodePtr QFBlendInnerGlow(const OMPSDInnerGlowEffect& effect, const BNRenderNodePtr& shape,
                                 const BNRenderNodePtr& background,
                                 const BNRenderNodePtr& factorMask);
BNRenderNodePtr QFBlendSatin(const OMPSDSatinEffect& effect, const BNRenderNodePtr& shape,
                             const BNRenderNodePtr& background, const OMPSDLayer& layer,
                             const BNRenderNodePtr& factorMask);
BNRenderNodePtr QFBlendPatternOverlay(const OMPSDPatternOverlayEffect& effect,
                                      const BNRenderNodePtr& background, const OMPSDLayer& layer);
BNRenderNodePtr QFBlendGradientOverlay(const OMPSDGradientOverlayEffect& effect,
                                       const BNRenderNodePtr& background, const OMPSDLayer& layer);
BNRenderNodePtr QFBlendColorOverlay(const OMPSDColorOverlayEffect& effect,
                                    const BNRenderNodePtr& background);
BNRenderNodePtr QFBlendStroke(const OMPSDStrokeEffect& effect, const BNRenderNodePtr& content,
                              const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                              const OMPSDLayer& layer, const BNRenderNodePtr& factorMask,
                              const QFEffectBlendingCallback& callback);
BNRenderNodePtr QFBlendBevelEmboss(const OMPSDBevelEmbossEffect& effect,
                                   const BNRenderNodePtr& content, const BNRenderNodePtr& shape,
                                   const OMPSDLayer& layer, QFEffectClipping clipping);
