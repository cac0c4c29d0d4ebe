#include "rendergraph/gradients/BNDistance.h"

#include "platform/core/Assert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Index into a 256-entry table of a coverage scaled to 0..255: the nearest
// whole number, halves away from zero; NaN and values beyond the range are
// clamped, so damaged coverage never reads outside the table.
int coverageIndex(float scaled) {
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return static_cast<int>(std::round(scaled));
}

float& at(const BNDistancePlane& plane, int64_t x, int64_t y) {
    return plane.data[static_cast<uint64_t>(y) * plane.rowStride + static_cast<uint64_t>(x)];
}

// Calls visit(x, y) for every pixel a sweep updates: all but a border of two
// pixels, top left to bottom right, or the reverse. Planes of fewer than 5
// rows or columns have no such pixel.
template <class Visit>
void sweep(const BNDistancePlane& field, bool backward, Visit visit) {
    if (field.width < 5 || field.height < 5) return;
    const auto lastX = static_cast<int64_t>(field.width) - 3;
    const auto lastY = static_cast<int64_t>(field.height) - 3;
    if (!backward) {
        for (int64_t y = 2; y <= lastY; ++y)
            for (int64_t x = 2; x <= lastX; ++x)
                visit(x, y);
    } else {
        for (int64_t y = lastY; y >= 2; --y)
            for (int64_t x = lastX; x >= 2; --x)
                visit(x, y);
    }
}

// Initialises the field from the input through a 256-entry table:
// field = table[coverageIndex(scaled(alpha))].
template <class Scale>
void initialiseField(const BNDistancePlanes& planes, const std::array<float, 256>& table,
                     Scale scaled) {
    for (uint64_t y = 0; y < planes.field.height; ++y) {
        const float* in = planes.input.data + y * planes.input.rowStride;
        float* out = planes.field.data + y * planes.field.rowStride;
        for (uint64_t x = 0; x < planes.field.width; ++x)
            out[x] = table[coverageIndex(scaled(in[x]))];
    }
}

// Writes 1 - r(v) into every pixel of the final plane, v the field value c
// pixels further right and down, c = ceil(w) + 2.
template <class Ramp>
void writeBand(const BNDistancePlanes& planes, double w, Ramp ramp) {
    const BNDistancePlane& final = planes.final;
    if (!final.data) return;
    const auto c = static_cast<uint64_t>(std::ceil(w)) + 2;
    LF_PRECONDITION(
        final.width + 2 * c <= planes.field.width && final.height + 2 * c <= planes.field.height,
        "the distance field must reach c pixels beyond the final plane");
    for (uint64_t y = 0; y < final.height; ++y) {
        const float* field = planes.field.data + (y + c) * planes.field.rowStride + c;
        float* out = final.data + y * final.rowStride;
        for (uint64_t x = 0; x < final.width; ++x)
            out[x] = 1.0f - ramp(field[x]);
    }
}

struct Neighbour {
    int dx, dy;
    double weight;
};

void checkPlanes(const BNDistancePlanes& planes, double w) {
    LF_PRECONDITION(
        planes.field.width == planes.input.width && planes.field.height == planes.input.height,
        "the distance field must have the input's size");
    LF_PRECONDITION(w >= 0.0 && std::isfinite(w), "a stroke width is finite and not negative");
}

}  // namespace

void BNOneSidedDistance(bool inside, const BNDistancePlanes& planes, double w) {
    checkPlanes(planes, w);
    const double u = 1.0 / (w + 1.0);
    const double a = u, b = std::sqrt(2.0) * u, k = std::sqrt(5.0) * u;

    std::array<float, 256> table;
    for (int i = 0; i < 255; ++i)
        table[i] = static_cast<float>(i * u / 255.0);
    table[255] = 1.0f;
    initialiseField(planes, table,
                    [inside](float alpha) { return (inside ? alpha : 1.0f - alpha) * 255.0f; });

    // Chamfer masks: the half of the 5 by 5 neighbourhood already visited.
    static constexpr int kForward[8][2] = {{-1, 0}, {-2, -1}, {-1, -1}, {0, -1},
                                           {1, -1}, {2, -1},  {-1, -2}, {1, -2}};
    const double weights[8] = {a, k, b, a, b, k, k, k};
    for (bool backward : {false, true}) {
        const int sign = backward ? -1 : 1;
        sweep(planes.field, backward, [&](int64_t x, int64_t y) {
            float& value = at(planes.field, x, y);
            double best = value;
            for (int n = 0; n < 8; ++n)
                best = std::min(best, double(at(planes.field, x + sign * kForward[n][0],
                                                y + sign * kForward[n][1])) +
                                          weights[n]);
            value = static_cast<float>(best);
        });
    }

    const float t = 1.0f - static_cast<float>(u);
    writeBand(planes, w, [t](float v) {
        if (v >= 1.0f) return 1.0f;
        if (v > t) return (v - t) / (1.0f - t);
        return 0.0f;
    });
}

void BNCentredDistance(BNDistanceTechnique technique, const BNDistancePlanes& planes, double w) {
    checkPlanes(planes, w);
    const double u = 1.0 / (w + 1.0);
    const double u1 = std::min(1.0, u);
    const bool symmetric = technique == BNDistanceTechniqueSymmetric;

    std::array<float, 256> table;
    table[0] = -1.0f;
    table[255] = 1.0f;
    for (int i = 1; i < 255; ++i)
        table[i] = static_cast<float>(symmetric ? -1.0 + 2.0 * i / 255.0 : i * u1 / 255.0);
    initialiseField(planes, table, [](float alpha) { return alpha * 255.0f; });

    // The 24 other pixels of the 5 by 5 block, each weighted by its
    // distance in units of u, capped at 1.
    std::vector<Neighbour> block;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const int ax = std::abs(dx), ay = std::abs(dy);
            if (ax == 0 && ay == 0) continue;
            double steps = std::sqrt(5.0);  // a knight's step
            if (ax + ay == 1)
                steps = 1.0;
            else if (ax == 1 && ay == 1)
                steps = std::sqrt(2.0);
            else if (ax + ay == 2)
                steps = 2.0;
            else if (ax == 2 && ay == 2)
                steps = 2.0 * std::sqrt(2.0);
            block.push_back({dx, dy, std::min(1.0, steps * u)});
        }

    // Inside pixels take the nearest distance from their neighbours plus the
    // step; outside pixels the same below zero.
    auto grow = [&](int64_t x, int64_t y, float value) {
        double best = value;
        for (const Neighbour& n : block)
            best = std::min(best,
                            std::max(double(at(planes.field, x + n.dx, y + n.dy)), 0.0) + n.weight);
        return static_cast<float>(best);
    };
    auto fall = [&](int64_t x, int64_t y, float value) {
        double best = value;
        for (const Neighbour& n : block)
            best = std::max(best,
                            std::min(double(at(planes.field, x + n.dx, y + n.dy)), u1) - n.weight);
        return static_cast<float>(best);
    };
    auto update = [&](int64_t x, int64_t y) {
        float& value = at(planes.field, x, y);
        if (value == 0.0f) return;
        if (symmetric) {
            value = value > 0.0f ? grow(x, y, value) : fall(x, y, value);
            return;
        }
        // Edge anchoring: only fully covered and fully empty pixels move; an
        // edge pixel keeps the distance its coverage gave it.
        const float alpha = at(planes.input, x, y);
        if (alpha == 1.0f)
            value = grow(x, y, value);
        else if (alpha == 0.0f)
            value = fall(x, y, value);
    };
    sweep(planes.field, false, update);
    if (w > 2.0) sweep(planes.field, true, update);

    const auto u1f = static_cast<float>(u1);
    const float t = 1.0f - u1f;
    const bool thin = w < 1.0;
    writeBand(planes, w, [=](float v) {
        if (v <= 0.0f) v = u1f - v;  // outside: the distance from the edge pixel
        float r = 0.0f;
        if (v >= 1.0f)
            r = v;
        else if (v > t)
            r = (v - t) / (1.0f - t);
        else if (thin && t + v < u1f)
            r = (t - v) / (1.0f - t);  // a band thinner than a pixel fades on both sides
        return std::clamp(r, 0.0f, 1.0f);
    });

    for (uint64_t y = 0; y < planes.field.height; ++y) {
        float* row = planes.field.data + y * planes.field.rowStride;
        for (uint64_t x = 0; x < planes.field.width; ++x)
            row[x] = (row[x] + 1.0f) / 2.0f;
    }
}
