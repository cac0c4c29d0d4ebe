#pragma once
// The kernel list: every kernel of a kernel set, written once. The set's
// fields (TarrowKernelSet.h), the Tarrow* entry points
// (TarrowEntryPoints.cpp), the assignments of every installer and the
// iteration of the equivalence tests are all generated from these lists, so a
// new kernel is one entry here beside its function-pointer type, its entry
// point's declaration and its forms.
//
// An entry X(field, Type, EntryPoint) names the kernel's field in the set,
// the field's type (declared in the kernel's header with the rule it follows)
// and the entry point calling the kernel of the active set. The lists follow
// the sources that install the kernels; each source names a kernel's form
// after its field.

// Kernels written once over lane types (detail/StreamingKernelBodies.h): the
// reference set runs them on one float lane, the SSE4.1 and AVX2 sets on
// vector registers.
#define TARROW_VECTOR_KERNELS(X)                                                         \
    X(fillPlanar, TarrowFillPlanarFn, TarrowFillPlanar)                                  \
    X(fillRGBA, TarrowFillRGBAFn, TarrowFillRGBA)                                        \
    X(scaleUp2x4, TarrowScaleUpFn, TarrowScaleUp2x4)                                     \
    X(scaleUp2x1, TarrowScaleUpFn, TarrowScaleUp2x1)                                     \
    X(scaleDown2x4, TarrowScaleDownFn, TarrowScaleDown2x4)                               \
    X(scaleDown2x1, TarrowScaleDownFn, TarrowScaleDown2x1)                               \
    X(crossfadePlanar, TarrowCrossfadeFn, TarrowCrossfadePlanar)                         \
    X(crossfadeRGBA, TarrowCrossfadeFn, TarrowCrossfadeRGBA)                             \
    X(crossfadeWithMaskPlanar, TarrowCrossfadeWithMaskFn, TarrowCrossfadeWithMaskPlanar) \
    X(crossfadeWithMaskRGBA, TarrowCrossfadeWithMaskFn, TarrowCrossfadeWithMaskRGBA)     \
    X(invertPlanar, TarrowUnaryFn, TarrowInvertPlanar)                                   \
    X(differencePlanar, TarrowBinaryFn, TarrowDifferencePlanar)                          \
    X(applyMaskPlanar, TarrowBinaryFn, TarrowApplyMaskPlanar)                            \
    X(applyMaskRGBA, TarrowBinaryFn, TarrowApplyMaskRGBA)                                \
    X(divideMaskPlanar, TarrowDivideMaskFn, TarrowDivideMaskPlanar)                      \
    X(divideMaskRGBA, TarrowDivideMaskFn, TarrowDivideMaskRGBA)                          \
    X(makeOpaqueRGBA, TarrowMakeOpaqueFn, TarrowMakeOpaqueRGBA)                          \
    X(colorWithMaskRGBA, TarrowColorWithMaskFn, TarrowColorWithMaskRGBA)                 \
    X(overrideAlphaRGBA, TarrowBinaryFn, TarrowOverrideAlphaRGBA)                        \
    X(scaleBiasPlanar, TarrowScaleBiasFn, TarrowScaleBiasPlanar)                         \
    X(biasScalePlanar, TarrowScaleBiasFn, TarrowBiasScalePlanar)                         \
    X(restrictChannelsRGBA, TarrowRestrictChannelsFn, TarrowRestrictChannelsRGBA)        \
    X(isolateOpacity, TarrowUnaryFn, TarrowIsolateOpacity)                               \
    X(applyTextureRGBA, TarrowApplyTextureFn, TarrowApplyTextureRGBA)                    \
    X(applyTextureGrayAlpha, TarrowApplyTextureFn, TarrowApplyTextureGrayAlpha)          \
    X(effectMaskPlanar, TarrowEffectMaskFn, TarrowEffectMaskPlanar)

// The blend tables, written over lane types like the kernels above. Their
// entry points return the active set's table.
#define TARROW_BLEND_TABLES(X)                               \
    X(plainBlend, TarrowBlendTable, TarrowPlainBlendKernels) \
    X(fillAwareBlend, TarrowBlendTable, TarrowFillAwareBlendKernels)

// Kernels with only a reference form, the same in every set.

// Copies (the C library's memcpy already picks the processor's best form)
// and limit to mask (compared and multiplied in double): StreamingKernels.cpp.
#define TARROW_REFERENCE_STREAMING_KERNELS(X)     \
    X(copyPlanar, TarrowCopyFn, TarrowCopyPlanar) \
    X(copyRGBA, TarrowCopyFn, TarrowCopyRGBA)     \
    X(limitToMaskPlanar, TarrowLimitToMaskFn, TarrowLimitToMaskPlanar)

// LookupKernels.cpp.
#define TARROW_LOOKUP_KERNELS(X)                                              \
    X(blendIfGray, TarrowBlendIfGrayFn, TarrowBlendIfGray)                    \
    X(blendIfColor, TarrowBlendIfColorFn, TarrowBlendIfColor)                 \
    X(blendIfColorMultiply, TarrowBlendIfColorFn, TarrowBlendIfColorMultiply) \
    X(lookupPlanar, TarrowLookupPlanarFn, TarrowLookupPlanar)                 \
    X(gradientMap, TarrowGradientMapFn, TarrowGradientMap)                    \
    X(colorize, TarrowColorizeFn, TarrowColorize)                             \
    X(contourPlanar, TarrowContourPlanarFn, TarrowContourPlanar)              \
    X(contourRGBA, TarrowContourRGBAFn, TarrowContourRGBA)                    \
    X(gammaCrossfadeWithMaskRGBA, TarrowGammaCrossfadeWithMaskFn, TarrowGammaCrossfadeWithMaskRGBA)

// AdjustmentKernels.cpp.
#define TARROW_ADJUSTMENT_KERNELS(X)                             \
    X(hueSaturation, TarrowHueSaturationFn, TarrowHueSaturation) \
    X(shade, TarrowShadeFn, TarrowShade)

// GradientKernels.cpp.
#define TARROW_GRADIENT_KERNELS(X)                                     \
    X(angularGradient, TarrowAngularGradientFn, TarrowAngularGradient) \
    X(diamondGradient, TarrowDiamondGradientFn, TarrowDiamondGradient) \
    X(linearGradient, TarrowTwoPointGradientFn, TarrowLinearGradient)  \
    X(radialGradient, TarrowRadialGradientFn, TarrowRadialGradient)    \
    X(reflectedGradient, TarrowTwoPointGradientFn, TarrowReflectedGradient)

// NoiseKernels.cpp.
#define TARROW_NOISE_KERNELS(X)                                     \
    X(addNoisePlanar, TarrowAddNoisePlanarFn, TarrowAddNoisePlanar) \
    X(addNoiseRGBA, TarrowAddNoiseRGBAFn, TarrowAddNoiseRGBA)

// Every kernel called through a function pointer (the blend tables apart).
#define TARROW_KERNELS(X)                 \
    TARROW_VECTOR_KERNELS(X)              \
    TARROW_REFERENCE_STREAMING_KERNELS(X) \
    TARROW_LOOKUP_KERNELS(X)              \
    TARROW_ADJUSTMENT_KERNELS(X)          \
    TARROW_GRADIENT_KERNELS(X)            \
    TARROW_NOISE_KERNELS(X)
