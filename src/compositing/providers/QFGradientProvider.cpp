#include "compositing/providers/QFGradientProvider.h"

#include "platform/core/Log.h"
#include "psd/OMPSDColor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

template <size_t N>
using Value = std::array<double, N>;

template <size_t N>
struct Stop {
    double location, midpoint;
    Value<N> value;
};

// One track of a gradient over its stops (at least one, in order of
// location). It keeps the segment that the last position fell in, so a
// walk from 0 to 1 looks each stop up once.
template <size_t N>
class Track {
public:
    Track(std::vector<Stop<N>> stops, double smoothness)
        : stops_(std::move(stops)), smoothness_(smoothness) {
        const Stop<N>& first = stops_[0];
        if (stops_.size() == 1 || first.location > 0) {
            // A flat lead-in up to the first stop.
            right_ = 0;
            l0_ = 0;
            l1_ = first.location;
        } else {
            right_ = 1;
            l0_ = first.location;
            l1_ = stops_[1].location;
        }
        p0_ = first.value;
        p1_ = stops_[right_].value;
        previous_ = p0_;
        next_ = right_ + 1 < stops_.size() ? stops_[right_ + 1].value : p1_;
        prepareSegment();
    }

    // Moves one stop on when `x` has passed the segment's end.
    void advance(double x) {
        if (!(x > l1_)) return;
        previous_ = p0_;
        p0_ = p1_;
        l0_ = l1_;
        if (right_ + 1 < stops_.size()) {
            ++right_;
            l1_ = stops_[right_].location;
            p1_ = stops_[right_].value;
            if (right_ + 1 < stops_.size()) next_ = stops_[right_ + 1].value;
        } else {
            l1_ = 1.0;  // a flat tail after the last stop
        }
        prepareSegment();
    }

    Value<N> valueAt(double x) const {
        // Stops at one location (a hard edge) make a segment of no width;
        // it shows its right end.
        double t = l1_ > l0_ ? (x - l0_) / (l1_ - l0_) : 1.0;
        double m = midpoint_, u;
        if (t < m)
            u = t * 0.5 / m;
        else if (m < 1)
            u = (t - m) * 0.5 / (1 - m) + 0.5;
        else
            u = 1;
        Value<N> result;
        for (size_t i = 0; i < N; ++i) {
            double smooth = p0_[i] + c1_[i] * u + c2_[i] * u * u + c3_[i] * u * u * u;
            smooth = std::min(std::max(smooth, low_[i]), high_[i]);
            double linear = p1_[i] * u + p0_[i] * (1 - u);
            double s = smoothness_;
            result[i] = 1 - s > 0 ? s * smooth + (1 - s) * linear : smooth;
        }
        return result;
    }

private:
    // The Catmull-Rom coefficients through the stops around the segment,
    // and the range of its two ends.
    void prepareSegment() {
        midpoint_ = stops_[right_].midpoint;
        for (size_t i = 0; i < N; ++i) {
            double a = previous_[i], b = p0_[i], c = p1_[i], d = next_[i];
            c1_[i] = 0.5 * (c - a);
            c2_[i] = a - 2.5 * b + 2 * c - 0.5 * d;
            c3_[i] = -0.5 * a + 1.5 * b - 1.5 * c + 0.5 * d;
            low_[i] = std::min(b, c);
            high_[i] = std::max(b, c);
        }
    }

    std::vector<Stop<N>> stops_;
    double smoothness_;
    size_t right_ = 0;
    double l0_ = 0, l1_ = 0, midpoint_ = 0.5;
    Value<N> p0_{}, p1_{}, previous_{}, next_{}, c1_{}, c2_{}, c3_{}, low_{}, high_{};
};

// Where a gradient mixes its colour stops: their stored (sRGB) values, the
// classic method, also for documents that do not say; linear light ("Lnr
// "); or Oklab reached through linear light ("Perc", perceptual).
enum class MixingSpace { stored, linearLight, oklab };

MixingSpace mixingSpaceOf(const OMPSDGradient* gradient) {
    const std::string method = gradient ? gradient->interpolationMethod() : "";
    if (method == "Lnr ") return MixingSpace::linearLight;
    if (method == "Perc") return MixingSpace::oklab;
    return MixingSpace::stored;
}

// Oklab of a linear-light sRGB colour, and back.
Value<3> oklabOfLinear(const Value<3>& c) {
    double l = std::cbrt(0.4122214708 * c[0] + 0.5363325363 * c[1] + 0.0514459929 * c[2]);
    double m = std::cbrt(0.2119034982 * c[0] + 0.6806995451 * c[1] + 0.1073969566 * c[2]);
    double s = std::cbrt(0.0883024619 * c[0] + 0.2817188376 * c[1] + 0.6299787005 * c[2]);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

Value<3> linearOfOklab(const Value<3>& c) {
    double l = c[0] + 0.3963377774 * c[1] + 0.2158037573 * c[2];
    double m = c[0] - 0.1055613458 * c[1] - 0.0638541728 * c[2];
    double s = c[0] - 0.0894841775 * c[1] - 1.2914855480 * c[2];
    l = l * l * l;
    m = m * m * m;
    s = s * s * s;
    return {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
            -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
            -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
}

// A stored colour in the mixing space, and back (clamped to the stored
// range).
Value<3> intoMixingSpace(Value<3> rgb, MixingSpace space) {
    if (space == MixingSpace::stored) return rgb;
    for (double& v : rgb)
        v = OMPSDDecodeSRGB(v);
    return space == MixingSpace::oklab ? oklabOfLinear(rgb) : rgb;
}

Value<3> outOfMixingSpace(Value<3> value, MixingSpace space) {
    if (space == MixingSpace::stored) return value;
    if (space == MixingSpace::oklab) value = linearOfOklab(value);
    for (double& v : value)
        v = OMPSDEncodeSRGB(v);
    return value;
}

// The colour stops, in the mixing space.
std::vector<Stop<3>> colorStops(const OMPSDGradient* gradient, MixingSpace space) {
    std::vector<Stop<3>> stops;
    if (gradient)
        for (const auto& stop : gradient->colorStops())
            stops.push_back({stop.location(),
                             stop.midpoint(),
                             {stop.color().red(), stop.color().green(), stop.color().blue()}});
    if (stops.empty()) stops = {{0, 0.5, {0, 0, 0}}, {1, 0.5, {1, 1, 1}}};
    for (auto& stop : stops)
        stop.value = intoMixingSpace(stop.value, space);
    return stops;
}

std::vector<Stop<1>> opacityStops(const OMPSDGradient* gradient) {
    std::vector<Stop<1>> stops;
    if (gradient)
        for (const auto& stop : gradient->opacityStops())
            stops.push_back({stop.location(), stop.midpoint(), {stop.opacity()}});
    if (stops.empty()) stops = {{0, 0.5, {1}}};
    return stops;
}

}  // namespace

QFGradientProvider::QFGradientProvider(std::shared_ptr<const OMPSDGradient> gradient, bool reversed)
    : gradient_(std::move(gradient)), reversed_(reversed) {
    if (!gradient_ || gradient_->colorStops().empty())
        lf::log("Gradient '{}' has no colour stops (a noise gradient); it is drawn black to white",
                gradient_ ? gradient_->name() : "");
    const std::string method = gradient_ ? gradient_->interpolationMethod() : "";
    if (!method.empty() && method != "Gcls" && method != "Lnr " && method != "Perc")
        lf::log("Gradient '{}' asks for the interpolation method '{}'; it is drawn classic",
                gradient_->name(), method);
}

void QFGradientProvider::generateRGBAGradientValues(float* values, uint64_t count,
                                                    bool premultiply) const {
    double smoothness = gradient_ ? gradient_->smoothness() : 1.0;
    const MixingSpace space = mixingSpaceOf(gradient_.get());
    Track<3> color(colorStops(gradient_.get(), space), smoothness);
    Track<1> opacity(opacityStops(gradient_.get()), smoothness);
    double step = count > 1 ? 1.0 / static_cast<double>(count - 1) : 0.0, x = 0;
    for (uint64_t k = 0; k < count; ++k, x += step) {
        opacity.advance(x);
        color.advance(x);
        Value<3> rgb = outOfMixingSpace(color.valueAt(x), space);
        double a = opacity.valueAt(x)[0];
        float* entry = values + 4 * k;
        for (size_t i = 0; i < 3; ++i)
            entry[i] = static_cast<float>(premultiply ? rgb[i] * a : rgb[i]);
        entry[3] = static_cast<float>(a);
    }
    if (reversed_)
        for (uint64_t i = 0; i < count / 2; ++i)
            std::swap_ranges(values + 4 * i, values + 4 * i + 4, values + 4 * (count - 1 - i));
}

void QFBlockGradientProvider::generateRGBAGradientValues(float* values, uint64_t count,
                                                         bool premultiply) const {
    if (callback_)
        callback_(values, count, premultiply);
    else
        std::fill(values, values + 4 * count, 0.0f);
}
