#pragma once
// QFWindowStyle: the look of the window chrome, as a style sheet of static
// functions: the logotype and the title-bar height it sets, the textured
// background in its active and inactive forms, the colours derived from the
// background's average colour, the fonts, and the template-effect recipes
// of title text, labels, placeholders and title-bar buttons.
//
// Every colour derives from one base colour, the average colour of the
// background bitmap of the window's state (QFColorDerivation.h). Images and
// colours are made once (per resource registry, QFResources.h); effect
// recipes are made anew on every call, so callers may change them.
//
// Sizes are in points; a point is a pixel at 1x, and fonts are sized in
// pixels accordingly.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"
#include "kit/gui/OMTemplateEffect.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSizeF>

#include <initializer_list>
#include <memory>
#include <optional>

class QFWindowStyle {
public:
    QFWindowStyle() = delete;

    // The background tile is this many points square.
    static constexpr double kBackgroundTileSize = 512;
    static constexpr double kMinimumTitleHeight = 40;
    static constexpr double kMaximumTitleHeight = 100;
    // The base colour when the background gives none (no image, or one
    // that is not 32-bit RGBA): a cool light grey.
    static QColor fallbackBackgroundColor();

    // The image "WindowLogotype", or null.
    static std::shared_ptr<const OMImage> windowTitleLogotype();
    // The logotype's height clamped to 40...100 (40 without a logotype).
    static double windowTitleHeight();
    static double titleHeightForLogotypeHeight(double height);

    // The active or inactive background tile, or null without the image
    // "WindowBackground"; `size` receives the tile size, 512 by 512.
    static std::shared_ptr<const OMImage> windowBackgroundWhenActive(bool active,
                                                                     QSizeF* size = nullptr);
    // The average colour of that tile, or fallbackBackgroundColor().
    static QColor windowBackgroundColorWhenActive(bool active);
    // HSB(h + 0.019, 5.5 s, 0.7 v) at alpha 0.5 of that colour.
    static QColor windowDropIndicatorColorWhenActive(bool active);
    // The colour of the title bar at mid-height: the background colour with
    // the sheen's middle colour dodged over it. Text drawn on the title bar
    // blends its edges with it.
    static QColor windowTitleSubpixelBackgroundColorWithMask(unsigned mask);

    // The average of every sample position of a 32-bit bitmap with four
    // samples per pixel (alpha included), each sum divided by the pixel
    // count in integers; nullopt for any other bitmap.
    static std::optional<QColor> averageColorOfBitmap(const QImage& bitmap);
    // The sheen's middle colour dodged over `base`, as a 3 by 3 bitmap
    // shows it.
    static QColor titleMidHeightColor(const QColor& base, bool active);

    // The font of window titles and button titles: the system font, 13.
    static QFont windowTitleAttributes();
    static QFont buttonTitleAttributes();

    static OMTemplateEffect windowTitleEffectWithMask(unsigned mask);
    static OMTemplateEffect windowButtonGlyphEffectWithMask(unsigned mask);
    static OMTemplateEffect buttonEffectWithMask(unsigned mask);
    static OMTemplateEffect buttonContentEffectWithMask(unsigned mask);
    static OMTemplateEffect labelTextEffectWithMask(unsigned mask);
    static OMTemplateEffect placeholderTextEffectWithMask(unsigned mask);

    // A bordered button body: `path` with buttonEffectWithMask, and unless
    // highlighted `innerPath` with a light inner rim.
    static void drawBorderedButtonWithMask(QPainter& painter, unsigned mask,
                                           const QPainterPath& path, const QPainterPath& innerPath);

    // A grey copy (saturation 0.5) and a brightened copy (brightness 0.12)
    // of `bitmap`, as 8-bit RGBA.
    static QImage desaturateBitmapImageRep(const QImage& bitmap);
    static QImage brightenBitmapImageRep(const QImage& bitmap);

    // The first of `families` that is installed, at `size` pixels and
    // `weight`; nullopt when none is.
    static std::optional<QFont> fontOfSize(double size, std::initializer_list<const char*> families,
                                           QFont::Weight weight = QFont::Normal);
    // Helvetica Neue, else Helvetica, else the system font, at `size`.
    static QFont systemFontOfSize(double size);
    static QFont boldSystemFontOfSize(double size);
};
