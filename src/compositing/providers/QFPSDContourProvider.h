#pragma once
// QFPSDContourProvider: the tone curve of a Photoshop contour (a curves
// adjustment's channel, a layer effect's contour) with points in 0..1 on
// both axes. Each run of points between corners is a natural cubic spline
// (second derivative 0 at both ends); pieces meet at a corner without a
// shared tangent. Before the first point the curve keeps the first point's
// level, after the last the last's; values are clamped to 0..1.
//
// A contour that has no piece of two points, or whose points do not
// advance to the right within a piece, cannot be evaluated: its curve is
// the identity. Immutable; asked from several tile threads at once.

#include "psd/OMPSDContour.h"
#include "rendergraph/adjustments/BNContourProvider.h"

#include <memory>
#include <vector>

class QFPSDContourProvider final : public BNContourProvider {
public:
    explicit QFPSDContourProvider(const OMPSDContour& contour);

    size_t pieceCount() const { return pieces_.size(); }
    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    std::vector<std::shared_ptr<const OMPSDContour>> pieces_;
    size_t maxPoints_ = 0;
    bool canEvaluate_ = false;
};

// The tangents (dy/dx) at the `n` points of one spline piece, n >= 2: the
// chord's slope for two points, else those of the natural cubic spline.
// `scratch` holds at least 3n - 2 doubles.
void QFContourSplineTangents(const double* x, const double* y, size_t n, double* tangents,
                             double* scratch);
