#pragma once
// The blur of shadows: QPainter draws none, so shadows blur the coverage of
// their shape here, as a separable Gaussian on an 8-bit alpha plane.
//
// A shadow's blur radius b (in device pixels) is a Gaussian of standard
// deviation b / 2: the shadow fades out over about b pixels on each side of
// the edge, so the radius a shadow recipe gives is the width of the soft
// edge the user sees. Outside the plane everything counts as transparent.
//
// Threads: plain functions.

#include <QImage>

#include <vector>

// The normalised weights of a Gaussian of standard deviation `sigma`, from
// -radius to +radius with radius ceil(3 sigma); {1} for sigma <= 0.
std::vector<float> OMGaussianKernel(double sigma);

// `alpha` (Format_Alpha8, any other format is converted) blurred by a
// Gaussian of `sigma` pixels; the same size, Format_Alpha8.
QImage OMGaussianBlurAlpha(const QImage& alpha, double sigma);

inline double OMGaussianSigmaForBlurRadius(double blurRadius) {
    return blurRadius / 2.0;
}
