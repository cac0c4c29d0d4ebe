#pragma once
// The shared part of the five gradient generators (angular, diamond,
// linear, radial, reflected): nodes without inputs that compute a position
// along a gradient from each pixel's place and show the gradient's colour
// there. The colours come from the provider as a table of 4096
// premultiplied entries; with dither each channel takes a little noise
// from the shared noise table, anchored to the image (BNGradientRendering.h).
// Geometry is in points: the generators render at any scale, with infinite
// bounds. Immutable; render from any thread.

#include "kernels/GradientKernels.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/gradients/BNGradientProvider.h"

class BNGradientGeneratorNode : public BNRenderNode {
public:
    const std::shared_ptr<const BNGradientProvider>& provider() const { return provider_; }
    bool shouldDither() const { return shouldDither_; }

    // The class name, the geometry, the provider by address, then the
    // dither flag (dither changes the pixels).
    void updateHashContext(BNHashContext& context) const final;
    bool supportsScaleFactor() const final { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const final;

protected:
    BNGradientGeneratorNode(std::shared_ptr<const BNGradientProvider> provider, bool dither,
                            float ditherStep);

    // Whether there is a provider; logs "<class>: no gradient provider"
    // when there is none (the generators are not made without one).
    static bool hasProvider(const char* className, const BNGradientProvider* provider);

    // Feeds the geometry into the identity.
    virtual void updateGeometryHash(BNHashContext& context) const = 0;
    // Writes every pixel of `output` from the table through the style's
    // kernel without dither: points and radii times `scale`, angles as
    // they are. The output's pixel (i, j) stands at image pixel (x0 + i,
    // y0 + j).
    virtual void drawGradient(const float* table, int32_t x0, int32_t y0,
                              const BNKernelPlane& output, double scale) const = 0;

private:
    std::shared_ptr<const BNGradientProvider> provider_;
    bool shouldDither_;
    float ditherStep_;
};

// The linear and reflected generators: a start and an end point.
class BNTwoPointGradientNode : public BNGradientGeneratorNode {
public:
    VKPoint startPoint() const { return start_; }
    VKPoint endPoint() const { return end_; }

protected:
    BNTwoPointGradientNode(VKPoint start, VKPoint end,
                           std::shared_ptr<const BNGradientProvider> provider, bool dither,
                           TarrowTwoPointGradientFn kernel);

    void updateGeometryHash(BNHashContext& context) const override;
    void drawGradient(const float* table, int32_t x0, int32_t y0, const BNKernelPlane& output,
                      double scale) const override;

private:
    VKPoint start_, end_;
    TarrowTwoPointGradientFn kernel_;
};
