#include "compositing/providers/QFContourProviders.h"

#include "compositing/providers/QFContourLevels.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <algorithm>
#include <cmath>

namespace {

// x^e for x >= 0, -((-x)^e) below: an odd power, defined for both signs.
double oddPower(double x, double e) {
    return x >= 0 ? std::pow(x, e) : -std::pow(-x, e);
}

}  // namespace

void QFLevelsContourProvider::generateContourValues(float* values, uint64_t count,
                                                    BNRenderingContext&) const {
    bool finite = std::isfinite(inputFloor_) && std::isfinite(inputCeiling_) &&
                  std::isfinite(outputFloor_) && std::isfinite(outputCeiling_) &&
                  std::isfinite(gamma_);
    if (!finite || inputCeiling_ == inputFloor_ || !(gamma_ > 0)) {
        QFWriteIdentityContour(values, count);
        return;
    }
    double scale = 1 / (inputCeiling_ - inputFloor_), exponent = 1 / gamma_;
    QFForEachContourLevel(count, [&](uint64_t k, double x) {
        double g = oddPower((x - inputFloor_) * scale, exponent);
        double y = g * (outputCeiling_ - outputFloor_) + outputFloor_;
        if (std::isnan(y)) y = outputFloor_;  // an infinite g over an empty output range
        values[k] = static_cast<float>(std::min(std::max(y, outputFloor_), outputCeiling_));
    });
}

void QFExposureProvider::generateContourValues(float* values, uint64_t count,
                                               BNRenderingContext& context) const {
    double gamma = context.colorProfile() ? context.colorProfile()->estimatedGamma() : 0;
    double decode = gamma, encode = 1 / gamma;
    if (gamma == 0) decode = 2.2, encode = 0.45454545454545453;
    double m = std::exp2(exposure_), e = 1 / gamma_;
    QFForEachContourLevel(count, [&](uint64_t k, double x) {
        double w = oddPower(std::pow(x, decode) * m + offset_, e);
        // A negative w has no encoded value; it is black.
        double value = std::pow(w, encode);
        values[k] = std::isnan(value) ? 0.0f : static_cast<float>(std::clamp(value, 0.0, 1.0));
    });
}

QFColorBalanceContourProvider::QFColorBalanceContourProvider(const OMPSDColorBalance* balance,
                                                             int channel) {
    OMPSDColorBalanceValues shadows, midtones, highlights;
    bool preserveLuminosity = false;
    if (balance) {
        shadows = balance->shadows();
        midtones = balance->midtones();
        highlights = balance->highlights();
        preserveLuminosity = balance->preserveLuminosity();
    }
    auto component = [&](const OMPSDColorBalanceValues& v) -> float {
        switch (channel) {
            case 0:
                return static_cast<float>(v.cyanRed) * 100;
            case 1:
                return static_cast<float>(v.magentaGreen) * 100;
            case 2:
                return static_cast<float>(v.yellowBlue) * 100;
            default:
                return 0;
        }
    };
    auto largest = [](const OMPSDColorBalanceValues& v) {
        return 100 * static_cast<float>(std::max({v.cyanRed, v.magentaGreen, v.yellowBlue}));
    };
    auto smallest = [](const OMPSDColorBalanceValues& v) {
        return 100 * static_cast<float>(std::min({v.cyanRed, v.magentaGreen, v.yellowBlue}));
    };
    float s = component(shadows), m = component(midtones), h = component(highlights), e;
    if (!preserveLuminosity) {
        minRange_ = std::max(0.0f, -s);
        maxRange_ = std::min(255.0f, 255 - h);
        e = (h + s) * 0.5f + m;
    } else {
        minRange_ = largest(shadows) - s;
        maxRange_ = (smallest(highlights) - h) + 255;
        e = m - 0.5f * (largest(midtones) + smallest(midtones));
    }
    gamma_ = static_cast<float>(1 / std::exp(e * std::log(2.0) * 0.01));
}

void QFColorBalanceContourProvider::generateContourValues(float* values, uint64_t count,
                                                          BNRenderingContext&) const {
    // The bounds in entries, signed and clamped to the table: preserving
    // luminosity can put the lower bound above the upper one, and damaged
    // sliders either bound outside the table.
    auto entry = [&](float range) {
        double position = static_cast<double>(range * static_cast<float>(count)) / 255;
        if (!(position > 0)) return uint64_t{0};
        return std::min(static_cast<uint64_t>(std::min(position, 1e18)), count);
    };
    uint64_t lo = entry(minRange_), hi = entry(maxRange_);
    std::fill(values, values + lo, 0.0f);
    if (hi > lo) {
        uint64_t d = hi - lo;
        float step = 1.0f / static_cast<float>(d), x = 0;
        for (uint64_t j = 0; j < d; ++j, x += step)
            values[lo + j] = std::pow(x, gamma_);
    }
    std::fill(values + std::max(lo, hi), values + count, 1.0f);
}

void QFBlockContourProvider::generateContourValues(float* values, uint64_t count,
                                                   BNRenderingContext& context) const {
    if (callback_)
        callback_(values, count, context);
    else
        QFWriteIdentityContour(values, count);
}
