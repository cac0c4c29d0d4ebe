#pragma once
// Gradient tables for the gradient generators and the gradient-mapping node.
//
// QFGradientProvider samples a document gradient: its colour track (red,
// green and blue together) and its opacity track are evaluated apart, each
// through its own stops, and combined per entry. Between two stops a track
// follows a Catmull-Rom curve through the stops around them, kept within the
// two stops' values, blended with the straight line by the gradient's
// smoothness; the right stop's midpoint is where the transition is half
// done. Before the first stop and after the last a track keeps that stop's
// value. The colour track mixes the stored (sRGB) values, the classic
// method; a gradient whose interpolation method is linear ("Lnr ") mixes
// them in linear light, a perceptual one ("Perc") in Oklab (reached through
// linear light), with the same position weights. Other methods are drawn
// classic, with one log line when the provider is made.
//
// A track with one stop is flat. A noise gradient (no stops; its colours
// are random in Photoshop) gets a neutral table, black to white and
// opaque, and one log line when the provider is made.
//
// QFBlockGradientProvider fills the table through a function (threshold).
//
// Both are immutable and asked from several tile threads at once.

#include "psd/OMPSDFill.h"
#include "rendergraph/gradients/BNGradientProvider.h"

#include <functional>
#include <memory>

class QFGradientProvider final : public BNGradientProvider {
public:
    // `gradient` may be null (a neutral table); `reversed` reverses the table.
    QFGradientProvider(std::shared_ptr<const OMPSDGradient> gradient, bool reversed);

    const std::shared_ptr<const OMPSDGradient>& gradient() const { return gradient_; }
    bool isReversed() const { return reversed_; }

    void generateRGBAGradientValues(float* values, uint64_t count, bool premultiply) const override;

private:
    std::shared_ptr<const OMPSDGradient> gradient_;
    bool reversed_;
};

class QFBlockGradientProvider final : public BNGradientProvider {
public:
    using Callback = std::function<void(float* values, uint64_t count, bool premultiply)>;
    explicit QFBlockGradientProvider(Callback callback) : callback_(std::move(callback)) {}

    // Calls the function; without one the table is transparent.
    void generateRGBAGradientValues(float* values, uint64_t count, bool premultiply) const override;

private:
    Callback callback_;
};
