#include "ui/window/QFWindowStyle.h"

#include "ui/window/QFColorControls.h"
#include "ui/window/QFColorDerivation.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFStyleMask.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPixelFormat>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The hue shift of every recipe's key colour.
constexpr double kHueShift = 0.019;

const QFColorControlsSettings kInactiveBackgroundControls{0.5, 0.12, 1.0};
const QFColorControlsSettings kDesaturateControls{0.5, 0.0, 1.0};
const QFColorControlsSettings kBrightenControls{1.0, 0.12, 1.0};

// What the style makes once from one resource registry. Replacing the
// shared registry (tests do) starts it afresh.
struct StyleState {
    std::shared_ptr<const QFResources> resources;

    bool logotypeLoaded = false;
    std::shared_ptr<const OMImage> logotype;

    bool backgroundsBuilt = false;
    std::array<std::shared_ptr<const OMImage>, 2> backgrounds;  // inactive, active
    std::array<QColor, 2> backgroundColors;
    std::array<QColor, 2> midHeightColors;
};

StyleState& styleState() {
    static StyleState state;
    std::shared_ptr<const QFResources> current = QFResources::shared();
    if (state.resources != current) {
        state = StyleState();
        state.resources = std::move(current);
    }
    return state;
}

// A new image of `image`'s size whose bitmaps are `image`'s run through
// `settings`.
std::shared_ptr<const OMImage> filteredImage(const OMImage& image,
                                             const QFColorControlsSettings& settings) {
    auto filtered = std::make_shared<OMImage>(image.size());
    for (const auto& representation : image.representations()) {
        const auto* bitmap = dynamic_cast<const OMBitmapImageRep*>(representation.get());
        if (!bitmap) continue;
        filtered->addRepresentation(std::make_shared<OMBitmapImageRep>(
            QFApplyColorControls(bitmap->bitmap(), settings), image.size()));
    }
    return filtered;
}

void buildBackgrounds(StyleState& state) {
    if (state.backgroundsBuilt) return;
    state.backgroundsBuilt = true;
    const QFResources& resources = *state.resources;
    if (auto active = resources.imageNamed(QFImageName::WindowBackground)) {
        state.backgrounds[1] = active;
        state.backgrounds[0] = filteredImage(*active, kInactiveBackgroundControls);
    }
    // The colours come from the file's bitmap as stored, and from the
    // inactive bitmap made from it.
    const QImage file = resources.bitmapFileNamed(QFImageName::WindowBackground);
    std::optional<QColor> activeColor = QFWindowStyle::averageColorOfBitmap(file);
    std::optional<QColor> inactiveColor;
    if (!file.isNull()) {
        inactiveColor = QFWindowStyle::averageColorOfBitmap(
            QFApplyColorControls(file, kInactiveBackgroundControls));
    }
    state.backgroundColors[1] = activeColor.value_or(QFWindowStyle::fallbackBackgroundColor());
    state.backgroundColors[0] = inactiveColor.value_or(QFWindowStyle::fallbackBackgroundColor());
    for (int active : {0, 1}) {
        state.midHeightColors[active] =
            QFWindowStyle::titleMidHeightColor(state.backgroundColors[active], active);
    }
}

QColor baseColor(unsigned mask) {
    return QFWindowStyle::windowBackgroundColorWhenActive(mask & QFStyleMaskActive);
}

// K = HSB(h + 0.019, s, v) of the base colour, as (h', s', v').
QFHSB keyHSB(unsigned mask) {
    const QFHSB base = QFHSBOfColor(baseColor(mask));
    return QFHSBOfColor(QFColorWithHSB(base.hue + kHueShift, base.saturation, base.brightness));
}

// HSB(h + 0.019, k s, m v, alpha) of the base colour.
QColor shifted(unsigned mask, double saturation, double brightness, double alpha = 1.0) {
    return QFDerivedColor(baseColor(mask), kHueShift, saturation, brightness, alpha);
}

QColor fromKey(const QFHSB& key, double saturation, double brightness, double alpha = 1.0) {
    return QFColorWithHSB(key.hue, key.saturation * saturation, key.brightness * brightness, alpha);
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QColor white(double alpha) {
    return QColor::fromRgbF(1, 1, 1, static_cast<float>(alpha));
}

QColor black(double alpha) {
    return QColor::fromRgbF(0, 0, 0, static_cast<float>(alpha));
}

QColor srgb(int red, int green, int blue, double alpha = 1.0) {
    return QColor::fromRgbF(red / 255.0f, green / 255.0f, blue / 255.0f, static_cast<float>(alpha));
}

OMShadow shadow(const QColor& color, double blur, double dx, double dy) {
    return OMShadow{QPointF(dx, dy), blur, color};
}

}  // namespace

QColor QFWindowStyle::fallbackBackgroundColor() {
    return QFColorWithHSB(0.58, 0.06, 0.86);
}

std::shared_ptr<const OMImage> QFWindowStyle::windowTitleLogotype() {
    StyleState& state = styleState();
    if (!state.logotypeLoaded) {
        state.logotypeLoaded = true;
        state.logotype = state.resources->imageNamed(QFImageName::WindowLogotype);
    }
    return state.logotype;
}

double QFWindowStyle::titleHeightForLogotypeHeight(double height) {
    return std::clamp(height, kMinimumTitleHeight, kMaximumTitleHeight);
}

double QFWindowStyle::windowTitleHeight() {
    const auto logotype = windowTitleLogotype();
    return titleHeightForLogotypeHeight(logotype ? logotype->size().height() : 0);
}

std::shared_ptr<const OMImage> QFWindowStyle::windowBackgroundWhenActive(bool active,
                                                                         QSizeF* size) {
    if (size) *size = QSizeF(kBackgroundTileSize, kBackgroundTileSize);
    StyleState& state = styleState();
    buildBackgrounds(state);
    return state.backgrounds[active ? 1 : 0];
}

QColor QFWindowStyle::windowBackgroundColorWhenActive(bool active) {
    StyleState& state = styleState();
    buildBackgrounds(state);
    return state.backgroundColors[active ? 1 : 0];
}

QColor QFWindowStyle::windowDropIndicatorColorWhenActive(bool active) {
    return QFDerivedColor(windowBackgroundColorWhenActive(active), kHueShift, 5.5, 0.7, 0.5);
}

QColor QFWindowStyle::windowTitleSubpixelBackgroundColorWithMask(unsigned mask) {
    StyleState& state = styleState();
    buildBackgrounds(state);
    return state.midHeightColors[(mask & QFStyleMaskActive) ? 1 : 0];
}

std::optional<QColor> QFWindowStyle::averageColorOfBitmap(const QImage& bitmap) {
    const QPixelFormat format = bitmap.pixelFormat();
    if (bitmap.isNull() || format.bitsPerPixel() != 32 || format.channelCount() != 4 ||
        format.alphaSize() != 8)
        return std::nullopt;
    // The samples as stored, premultiplied or not, in the order red, green,
    // blue, alpha.
    const bool premultiplied = format.premultiplied() == QPixelFormat::Premultiplied;
    const QImage samples = bitmap.convertToFormat(
        premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888);
    std::array<uint64_t, 4> sums{};
    for (int y = 0; y < samples.height(); ++y) {
        const uchar* pixel = samples.constScanLine(y);
        for (int x = 0; x < samples.width(); ++x, pixel += 4) {
            for (int i = 0; i < 4; ++i)
                sums[i] += pixel[i];
        }
    }
    const uint64_t count = std::max<uint64_t>(1, uint64_t(samples.width()) * samples.height());
    auto average = [&](int i) { return static_cast<float>(sums[i] / count) / 255.0f; };
    return QColor::fromRgbF(average(0), average(1), average(2), average(3));
}

QColor QFWindowStyle::titleMidHeightColor(const QColor& base, bool active) {
    QImage canvas(3, 3, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(base);
    {
        QPainter painter(&canvas);
        painter.setCompositionMode(QPainter::CompositionMode_ColorDodge);
        // The sheen runs from white 0.14 (0.1 inactive) to black: its middle.
        const double grey = (active ? 0.14 : 0.1) / 2;
        painter.fillRect(canvas.rect(), QColor::fromRgbF(grey, grey, grey, 1));
    }
    return canvas.pixelColor(1, 1);
}

QFont QFWindowStyle::windowTitleAttributes() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(13);
    return font;
}

QFont QFWindowStyle::buttonTitleAttributes() {
    return windowTitleAttributes();
}

OMTemplateEffect QFWindowStyle::windowTitleEffectWithMask(unsigned mask) {
    OMTemplateEffect effect;
    effect.setFillColor(shifted(mask, 5.5, 0.7));
    effect.setFillGradient(OMGradient(white(0), white(0.175)));
    effect.setFillGradientAngle(-90);
    effect.setShadows({shadow(white(0.4), 3, 0, 0), shadow(white(0.6), 0.5, 0, -1)});
    effect.setInnerShadows({shadow(shifted(mask, 6, 0.2, 0.33), 0.25, 0, -1)});
    return effect;
}

OMTemplateEffect QFWindowStyle::windowButtonGlyphEffectWithMask(unsigned mask) {
    const QFHSB key = keyHSB(mask);
    const bool highlighted = mask & QFStyleMaskHighlighted;
    const bool inside = !highlighted && (mask & QFStyleMaskMouseInside);

    OMTemplateEffect effect;
    if (highlighted)
        effect.setFillColor(fromKey(key, 5, 0.7, 0.66));
    else if (inside)
        effect.setFillColor(fromKey(key, 5, 0.7, 0.3));
    else
        effect.setFillColor(fromKey(key, 5, 0.75, 0.25));
    const QColor gradient = fromKey(key, 3, 0.9);
    effect.setFillGradient(OMGradient(withAlpha(gradient, 0.3), withAlpha(gradient, 0.05)));
    effect.setFillGradientAngle(90);

    OMShadow glow = shadow(white(0.4), 3, 0, 0);
    if (highlighted) glow = shadow(white(0.9), 5, 0, 0);
    if (inside) glow = shadow(white(0.7), 4, 0, 0);
    effect.setShadows({glow, shadow(white(0.4), 0.5, 0, -1)});

    const QColor dark = highlighted ? fromKey(key, 5, 0.2)
                        : inside    ? fromKey(key, 5, 0.3)
                                    : fromKey(key, 2.5, 0.6);
    effect.setInnerShadows(
        {shadow(withAlpha(dark, 0.4), 0.5, 0, -1), shadow(withAlpha(dark, 0.6), 1.5, 0, 0)});
    return effect;
}

OMTemplateEffect QFWindowStyle::buttonEffectWithMask(unsigned mask) {
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(shifted(mask, 6, 0.55), shifted(mask, 3, 1)));
    effect.setFillGradientAngle(90);
    effect.setShadows({shadow(white(0.6), 0.5, 0, -1)});
    const QColor edge = shifted(mask, 5, 0.2);
    if (mask & QFStyleMaskHighlighted) {
        effect.setInnerShadows({shadow(withAlpha(edge, 0.4), 1, 0, 0),
                                shadow(withAlpha(edge, 0.6), 4, 0, -2),
                                shadow(withAlpha(edge, 0.25), 4, 0, 1)});
    } else {
        effect.setInnerShadows(
            {shadow(withAlpha(edge, 0.25), 4, 0, 1), shadow(withAlpha(edge, 0.6), 2, 0, 0)});
    }
    return effect;
}

OMTemplateEffect QFWindowStyle::buttonContentEffectWithMask(unsigned) {
    OMTemplateEffect effect;
    effect.setFillColor(white(0.98));
    effect.setShadows({shadow(black(0.5), 0.5, 0, 1)});
    return effect;
}

OMTemplateEffect QFWindowStyle::labelTextEffectWithMask(unsigned mask) {
    OMTemplateEffect effect;
    effect.setFillColor((mask & QFStyleMaskActive) ? srgb(65, 81, 96, 0.7) : srgb(78, 78, 78, 0.7));
    effect.setShadows({shadow(white(0.5), 0, 0, -1)});
    effect.setInnerShadows({shadow(black(0.15), 2, 0, -1)});
    return effect;
}

OMTemplateEffect QFWindowStyle::placeholderTextEffectWithMask(unsigned mask) {
    const QColor p = shifted(mask, 4.5, 0.7);
    const QFHSB pHSB = QFHSBOfColor(p);
    const QColor q = QFColorWithHSB(pHSB.hue, pHSB.saturation, pHSB.brightness * 0.7);
    OMTemplateEffect effect;
    effect.setFillColor(withAlpha(p, 0.55));
    effect.setFillGradient(OMGradient(withAlpha(q, 0.35), withAlpha(q, 0.1)));
    effect.setFillGradientAngle(-90);
    effect.setShadows({shadow(white(0.8), 0.5, 0, -1)});
    effect.setInnerShadows({shadow(withAlpha(q, 0.4), 2, 0, -1)});
    return effect;
}

void QFWindowStyle::drawBorderedButtonWithMask(QPainter& painter, unsigned mask,
                                               const QPainterPath& path,
                                               const QPainterPath& innerPath) {
    buttonEffectWithMask(mask).drawBezierPath(painter, path);
    if (mask & QFStyleMaskHighlighted) return;
    OMTemplateEffect rim;
    rim.setInnerShadows({shadow(white(0.15), 0.5, 0, -1)});
    rim.drawBezierPath(painter, innerPath);
}

QImage QFWindowStyle::desaturateBitmapImageRep(const QImage& bitmap) {
    return QFApplyColorControls(bitmap, kDesaturateControls);
}

QImage QFWindowStyle::brightenBitmapImageRep(const QImage& bitmap) {
    return QFApplyColorControls(bitmap, kBrightenControls);
}

std::optional<QFont> QFWindowStyle::fontOfSize(double size,
                                               std::initializer_list<const char*> families,
                                               QFont::Weight weight) {
    for (const char* family : families) {
        if (!family || !QFontDatabase::hasFamily(QString::fromUtf8(family))) continue;
        QFont font(QString::fromUtf8(family));
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
        font.setWeight(weight);
        return font;
    }
    return std::nullopt;
}

QFont QFWindowStyle::systemFontOfSize(double size) {
    if (auto font = fontOfSize(size, {"Helvetica Neue", "Helvetica"})) return *font;
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    return font;
}

QFont QFWindowStyle::boldSystemFontOfSize(double size) {
    if (auto font = fontOfSize(size, {"Helvetica Neue", "Helvetica"}, QFont::Bold)) return *font;
    QFont font = systemFontOfSize(size);
    font.setWeight(QFont::Bold);
    return font;
}
