#include "BenchComposition.h"

#include <algorithm>
#include <cmath>

namespace bench_documents {

namespace {

Plan layer(const char* name, Paint paint, float x0, float y0, float x1, float y1,
           const char* blend = "norm", uint32_t colour = 0x808080) {
    return {Entry::layer, name, paint, x0,    y0,    x1,    y1,
            blend,        255,  255,   false, false, false, colour};
}
Plan clippedTo(Plan plan) {
    plan.clipped = true;
    return plan;
}
Plan masked(Plan plan) {
    plan.masked = true;
    return plan;
}
Plan withOpacity(Plan plan, uint8_t opacity, uint8_t fill = 255) {
    plan.opacity = opacity;
    plan.fill = fill;
    return plan;
}
Plan hidden(Plan plan) {
    plan.hidden = true;
    return plan;
}
Plan groupStart() {
    return {Entry::groupStart, "</Layer group>"};
}
Plan groupEnd(const char* name, const char* blend, uint8_t opacity = 255) {
    Plan plan{Entry::groupEnd, name};
    plan.blend = blend;
    plan.opacity = opacity;
    return plan;
}

// Cheap integer hash noise in 0..1.
float noise(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x9E3779B1u ^ (y + seed * 0x632BE5ABu) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return float(h & 0xFFFF) / 65535.0f;
}

// A triangle wave of period 1 between 0 and 1.
float triangle(float t) {
    t -= std::floor(t);
    return t < 0.5f ? 2 * t : 2 - 2 * t;
}

}  // namespace

std::vector<Plan> composition() {
    std::vector<Plan> plans;
    plans.push_back(layer("Background", Paint::photo, 0, 0, 1, 1));

    plans.push_back(groupStart());
    plans.push_back(masked(layer("Sky", Paint::gradient, 0, 0, 1, 0.55f, "scrn", 0x4a7fc0)));
    plans.push_back(withOpacity(
        layer("Sun", Paint::ellipse, 0.62f, 0.08f, 0.82f, 0.34f, "lddg", 0xffd070), 200));
    plans.push_back(layer("Mountains", Paint::mountains, 0, 0.35f, 1, 0.8f, "mul ", 0x6a7a60));
    plans.push_back(clippedTo(layer("Rock texture", Paint::texture, 0, 0.35f, 1, 0.8f, "over")));
    plans.push_back(clippedTo(withOpacity(
        layer("Snow", Paint::stripes, 0.1f, 0.36f, 0.9f, 0.5f, "scrn", 0xf4f4ff), 180)));
    plans.push_back(
        withOpacity(layer("Haze", Paint::gradient, 0, 0.3f, 1, 0.7f, "sLit", 0xd8c0a0), 255, 128));
    plans.push_back(groupEnd("Landscape", "pass"));

    plans.push_back(groupStart());
    static const char* const kCaptionModes[] = {"mul ", "dark", "lbrn", "div "};
    static const char* const kNames[][3] = {{"Card 1", "Photo 1", "Caption 1"},
                                            {"Card 2", "Photo 2", "Caption 2"},
                                            {"Card 3", "Photo 3", "Caption 3"},
                                            {"Card 4", "Photo 4", "Caption 4"}};
    for (int i = 0; i < 4; ++i) {
        float x0 = 0.05f + 0.23f * float(i), y0 = 0.58f;
        plans.push_back(
            layer(kNames[i][0], Paint::roundedRect, x0, y0, x0 + 0.2f, 0.95f, "norm", 0xf0ece4));
        plans.push_back(clippedTo(
            layer(kNames[i][1], Paint::photo, x0 + 0.01f, y0 + 0.01f, x0 + 0.19f, 0.82f)));
        plans.push_back(layer(kNames[i][2], Paint::stripes, x0 + 0.02f, 0.84f, x0 + 0.18f, 0.93f,
                              kCaptionModes[i], 0x303030));
    }
    plans.push_back(
        masked(layer("Badge", Paint::ellipse, 0.4f, 0.5f, 0.6f, 0.66f, "hLit", 0xc04040)));
    plans.push_back(groupEnd("Cards", "norm", 230));

    plans.push_back(hidden(layer("Draft", Paint::gradient, 0, 0, 1, 1, "norm", 0x70a0c0)));

    plans.push_back(groupStart());
    plans.push_back(masked(layer("Vignette", Paint::vignette, 0, 0, 1, 1, "mul ", 0x000000)));
    plans.push_back(
        withOpacity(layer("Colour wash", Paint::gradient, 0, 0, 1, 1, "colr", 0xa06030), 60));
    plans.push_back(withOpacity(
        layer("Warmth", Paint::roundedRect, 0.2f, 0.2f, 0.8f, 0.8f, "hue ", 0xe08020), 90));
    plans.push_back(withOpacity(layer("Grain", Paint::grain, 0, 0, 1, 1, "over"), 100));
    plans.push_back(groupEnd("Finish", "pass"));

    plans.push_back(layer("Title", Paint::stripes, 0.1f, 0.05f, 0.6f, 0.15f, "norm", 0x202840));
    plans.push_back(layer("Glow", Paint::ellipse, 0.3f, 0.02f, 0.7f, 0.2f, "vLit", 0x80a0ff));
    plans.push_back(layer("Logo", Paint::ellipse, 0.85f, 0.85f, 0.95f, 0.95f, "diff", 0x20a0a0));
    return plans;
}

std::pair<Plan, Plan> taggedPictureGroup() {
    return {groupStart(), groupEnd("picture.png", "pass")};
}

// The pixel of a layer at canvas position (x, y) inside its rectangle.
Pixel paint(const Plan& plan, const Rect& rect, uint32_t seed, int32_t x, int32_t y,
            uint32_t canvasWidth, uint32_t canvasHeight) {
    float cr = float(plan.colour >> 16 & 255) / 255, cg = float(plan.colour >> 8 & 255) / 255,
          cb = float(plan.colour & 255) / 255;
    float u = (float(x - rect.left) + 0.5f) / float(rect.width());
    float v = (float(y - rect.top) + 0.5f) / float(rect.height());
    float scale = float(std::min(canvasWidth, canvasHeight)) / 3000.0f;  // features grow with size
    switch (plan.paint) {
        case Paint::photo: {
            // Sensor noise of about one 8-bit level, as photographs carry.
            float n = std::floor(noise(uint32_t(x), uint32_t(y), seed) * 3.0f) - 1.0f;
            float wave = triangle((float(x) + 0.6f * float(y)) / (180 * scale));
            float hills = triangle(float(x) / (900 * scale) + 0.3f * v);
            return {clamp01(0.25f + 0.4f * u + 0.15f * wave + n / 255),
                    clamp01(0.3f + 0.35f * v + 0.2f * hills + n / 255),
                    clamp01(0.55f - 0.3f * v + 0.1f * wave + n / 255), 1};
        }
        case Paint::gradient:
            return {cr * (0.6f + 0.4f * v), cg * (0.6f + 0.4f * v), cb * (0.7f + 0.3f * v), 1};
        case Paint::ellipse:
        case Paint::roundedRect: {
            float w = float(rect.width()), h = float(rect.height());
            float dx = (u - 0.5f) * w, dy = (v - 0.5f) * h;
            float distance;
            if (plan.paint == Paint::ellipse) {
                float a = w / 2, b = h / 2;
                distance = (std::sqrt(dx * dx / (a * a) + dy * dy / (b * b)) - 1) * std::min(a, b);
            } else {
                float radius = std::min(w, h) * 0.08f;
                float qx = std::max(std::abs(dx) - (w / 2 - radius), 0.0f);
                float qy = std::max(std::abs(dy) - (h / 2 - radius), 0.0f);
                distance = std::sqrt(qx * qx + qy * qy) - radius;
            }
            float shade = 0.85f + 0.15f * (1 - v);
            return {cr * shade, cg * shade, cb * shade, clamp01(0.5f - distance)};
        }
        case Paint::mountains: {
            float ridge = 0.15f + 0.5f * triangle(u * 3.3f) * (0.6f + 0.4f * triangle(u * 7.1f));
            float coverage = clamp01((v - ridge) * float(rect.height()) + 0.5f);
            return {cr * (1.1f - 0.3f * v), cg * (1.1f - 0.3f * v), cb, coverage};
        }
        case Paint::texture: {
            float n = std::floor(noise(uint32_t(x / 3), uint32_t(y / 3), seed) * 16) / 16;
            float fine = std::floor(noise(uint32_t(x), uint32_t(y), seed + 1) * 4) / 4;
            float t = 0.35f + 0.3f * n + 0.05f * fine;
            return {t, t * 0.95f, t * 0.9f, 1};
        }
        case Paint::stripes: {
            // Lines of "words": rows of runs, as text layers rasterise.
            int32_t line = int32_t(float(y - rect.top) / (40 * scale));
            float inLine = float(y - rect.top) / (40 * scale) - float(line);
            int32_t word = int32_t(float(x - rect.left) / (60 * scale));
            bool ink = inLine > 0.2f && inLine < 0.75f &&
                       noise(uint32_t(word), uint32_t(line), seed) > 0.25f &&
                       triangle(float(x) / (7 * scale)) > 0.35f;
            return {cr, cg, cb, ink ? 1.0f : 0.0f};
        }
        case Paint::vignette: {
            float dx = u - 0.5f, dy = v - 0.5f;
            return {0, 0, 0, clamp01((dx * dx + dy * dy) * 2.2f - 0.1f)};
        }
        case Paint::grain: {
            float n = 0.5f + std::floor(noise(uint32_t(x / 2), uint32_t(y / 2), seed) * 8) / 64;
            return {n, n, n, 1};
        }
    }
    return {0, 0, 0, 0};
}

// The user mask: a ramp across the layer.
float maskValue(const Rect& rect, int32_t x, int32_t y) {
    float u = (float(x - rect.left) + 0.5f) / float(rect.width());
    float v = (float(y - rect.top) + 0.5f) / float(rect.height());
    return clamp01(1.4f - 1.2f * v + 0.2f * u);
}

}  // namespace bench_documents
