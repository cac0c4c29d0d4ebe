#include "ui/recents/QFRecentsStyle.h"

#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMImageContext.h"
#include "ui/window/QFColorDerivation.h"
#include "ui/window/QFResources.h"
#include "ui/window/QFStyleMask.h"

#include <array>
#include <cmath>
#include <numbers>

namespace {

// The application's purple, light and deep, in the two forms the
// recipes take it.
const QColor kButtonLight = QColor::fromRgbF(0.780392f, 0.670588f, 1.0f);
const QColor kButtonDeep = QColor::fromRgbF(0.47451f, 0.337255f, 0.74902f);
const QColor kIndicatorDeep = QColor::fromRgbF(0.478431f, 0.341176f, 0.752941f);

// Images are drawn at twice their size, so they stay sharp on 2x screens.
constexpr double kImageScale = 2;

QColor white(double level, double alpha) {
    return QColor::fromRgbF(level, level, level, alpha);
}

QColor black(double alpha) {
    return white(0, alpha);
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// The hue of `base` with its saturation and brightness scaled.
QColor deepened(const QColor& base, double saturation, double brightness) {
    const QFHSB hsb = QFHSBOfColor(base);
    return QFColorWithHSB(hsb.hue, hsb.saturation * saturation, hsb.brightness * brightness);
}

QColor blendedTowardsWhite(const QColor& color, double fraction) {
    auto blend = [&](double channel) { return channel + (1 - channel) * fraction; };
    return QColor::fromRgbF(blend(color.redF()), blend(color.greenF()), blend(color.blueF()),
                            color.alphaF());
}

OMShadow shadow(const QColor& color, double blur, double dx, double dy) {
    return OMShadow{QPointF(dx, dy), blur, color};
}

// A path of math (y-up) coordinates drawn around the centre of a y-down
// rectangle.
QTransform yUpAround(QPointF centre) {
    return QTransform(1, 0, 0, -1, centre.x(), centre.y());
}

// An arc of `radius` from `fromDegrees` turning by `sweepDegrees`,
// counter-clockwise for positive sweeps, in y-up coordinates.
void addArc(QPainterPath& path, double radius, double fromDegrees, double sweepDegrees) {
    path.arcTo(QRectF(-radius, -radius, 2 * radius, 2 * radius), -fromDegrees, -sweepDegrees);
}

// The shape drawn once at `scale`, as an image of `size` points.
std::shared_ptr<const OMImage> imageOf(QSizeF size, const std::function<void(QPainter&)>& draw) {
    QPainter* painter =
        OMBeginImageContextWithOptions(false, true, size.width(), size.height(), kImageScale);
    if (!painter) return nullptr;
    painter->setRenderHint(QPainter::Antialiasing);
    draw(*painter);
    std::shared_ptr<const OMImage> image = OMImageFromImageContext();
    OMEndImageContext();
    return image;
}

}  // namespace

OMTemplateEffect QFRecentsStyle::strokeButtonEffectWithMask(unsigned) {
    OMTemplateEffect effect;
    effect.setInnerShadows({shadow(black(0.15), 2, 0, -1)});
    effect.setShadows({shadow(white(1, 0.5), 0.5, 0, -1)});
    return effect;
}

OMTemplateEffect QFRecentsStyle::buttonEffectWithMask(unsigned mask) {
    const QColor deep = deepened(kButtonDeep, 5.0, 0.75);
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(kButtonLight, kButtonDeep));
    effect.setFillGradientAngle(-90);
    if (mask & QFStyleMaskHighlighted) {
        effect.setInnerShadows({shadow(withAlpha(deep, 0.4), 1, 0, 0),
                                shadow(withAlpha(deep, 0.6), 4, 0, -2),
                                shadow(withAlpha(deep, 0.25), 4, 0, 1)});
    } else {
        effect.setInnerShadows(
            {shadow(withAlpha(deep, 0.15), 4, 0, -1), shadow(withAlpha(deep, 0.5), 2, 0, -1)});
    }
    effect.setShadows({shadow(white(1, 0.5), 0.5, 0, -1)});
    return effect;
}

void QFRecentsStyle::drawBorderedButtonWithMask(QPainter& painter, unsigned mask, bool smart,
                                                const QPainterPath& path,
                                                const QPainterPath& innerPath) {
    if (smart) {
        buttonEffectWithMask(mask).drawBezierPath(painter, path);
        if (mask & QFStyleMaskHighlighted) return;
        OMTemplateEffect rim;
        rim.setInnerShadows({shadow(white(1, 0.15), 0.5, 0, -1)});
        rim.drawBezierPath(painter, innerPath);
        return;
    }
    strokeButtonEffectWithMask(mask).drawBezierPath(painter, path);
    QPainterPath ring = path;
    ring.addPath(innerPath);
    ring.setFillRule(Qt::OddEvenFill);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(ring, black(0.15));
    painter.restore();
}

OMTemplateEffect QFRecentsStyle::buttonContentEffectWithMask(unsigned mask, bool smart) {
    if (!smart) return smartIndicatorEffectWithMask(mask);
    OMTemplateEffect effect;
    effect.setFillColor(white(1, 0.98));
    effect.setShadows({shadow(black(0.33), 0.5, 0, 1)});
    return effect;
}

const OMTemplateEffect& QFRecentsStyle::indicatorEffectWithMask(unsigned mask) {
    static const std::array<OMTemplateEffect, 3> effects = [] {
        std::array<OMTemplateEffect, 3> made;
        const std::array<double, 3> levels = {0.6, 0.5, 0.3};  // normal, inside, pressed
        for (size_t i = 0; i < made.size(); ++i) {
            made[i].setFillColor(white(levels[i], 0.55));
            made[i].setInnerShadows({shadow(black(0.3), 1, 0, -1)});
            made[i].setShadows({shadow(white(1, 0.5), 0.5, 0, -1)});
        }
        return made;
    }();
    if (mask & QFStyleMaskHighlighted) return effects[2];
    if (mask & QFStyleMaskMouseInside) return effects[1];
    return effects[0];
}

OMTemplateEffect QFRecentsStyle::smartIndicatorEffectWithMask(unsigned, double offsetScale,
                                                              double blurScale, bool forBullet) {
    const QColor deep = deepened(kIndicatorDeep, 2.5, 0.6);
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(
        forBullet ? blendedTowardsWhite(kButtonLight, 0.66) : kButtonLight, kIndicatorDeep));
    effect.setFillGradientAngle(-90);
    effect.setInnerShadows({shadow(withAlpha(deep, 0.6), blurScale * 0.5, 0, -offsetScale)});
    effect.setShadows({shadow(white(1, 0.4), blurScale * 0.5, 0, -offsetScale)});
    return effect;
}

OMTemplateEffect QFRecentsStyle::smartIndicatorEffectWithMask(unsigned mask) {
    return smartIndicatorEffectWithMask(mask, 1, 1, false);
}

OMTemplateEffect QFRecentsStyle::changesIndicatorEffectWithMask(unsigned mask) {
    return smartIndicatorEffectWithMask(mask, 1, 1, true);
}

const OMTemplateEffect& QFRecentsStyle::listSeparatorTitleEffectWithMask(unsigned) {
    static const OMTemplateEffect effect = [] {
        OMTemplateEffect made;
        made.setFillColor(black(0.15));
        return made;
    }();
    return effect;
}

QPainterPath QFRecentsStyle::recentRepeatGlyphPath(const QRectF& rect, double progress) {
    constexpr double pi = std::numbers::pi;
    const double w = rect.width();
    const double r = std::round(w / 3) - 0.5;
    const double k = (w / 11) / 2;
    const double outer = r + k, inner = r - k;
    const double a = r + 1;
    // Worked out in y-up coordinates around the centre, as a turn of the
    // clock reads: positive angles counter-clockwise.
    const double cx = rect.center().x();
    QPainterPath arrowhead;
    arrowhead.moveTo(std::floor(cx) - cx, r - a / 2);
    arrowhead.lineTo(std::floor(cx) - cx, r + a / 2);
    arrowhead.lineTo(std::floor(cx) - cx + a / 1.5, r);
    arrowhead.closeSubpath();

    // The ring, open between 30 and 90 degrees.
    QPainterPath ring;
    ring.moveTo(0, outer);
    addArc(ring, outer, 90, 300);
    addArc(ring, inner, 30, -300);
    ring.closeSubpath();

    QTransform turn;
    turn.rotateRadians(-2 * pi * progress);
    QPainterPath turning = turn.map(ring).united(turn.map(arrowhead));

    // The hands, kept clear of a margin round the arrowhead.
    const double long_ = -4 * pi * progress;
    const double short_ = 4 * pi / 3 - 2 * pi * progress;
    QPainterPath hands;
    hands.moveTo(std::cos(long_) * 0.725 * inner, std::sin(long_) * 0.725 * inner);
    hands.lineTo(0, 0);
    hands.lineTo(std::cos(short_) * 0.55 * inner, std::sin(short_) * 0.55 * inner);
    const QPainterPath handsShape =
        OMBezierPathByOutliningStroke(hands, w / 14, Qt::RoundCap, Qt::RoundJoin);
    const QPainterPath margin =
        OMBezierPathByOutliningStroke(turn.map(arrowhead), 2, Qt::FlatCap, Qt::RoundJoin);
    QPainterPath glyph = turning.united(handsShape.subtracted(margin));
    glyph.setFillRule(Qt::WindingFill);
    return yUpAround(rect.center()).map(glyph);
}

const QFRecentsStyle::GlyphBlock& QFRecentsStyle::drawingBlockForRecentRepeatTemplate() {
    static const GlyphBlock block = [](QPainter& painter, const QRectF& rect, double progress) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(recentRepeatGlyphPath(rect, progress), Qt::black);
        painter.restore();
    };
    return block;
}

std::shared_ptr<const OMImage> QFRecentsStyle::badgeIconForRecentRepeatAlert() {
    static const std::shared_ptr<const OMImage> badge =
        imageOf(QSizeF(kAlertIconSize, kAlertIconSize), [](QPainter& painter) {
            // The tile: 7 in from the sides and the top, 9 from the bottom,
            // where its shadow falls.
            const QRectF tile(7, 7, 114, 112);
            OMTemplateEffect effect;
            effect.setFillColor(Qt::white);
            effect.setFillGradient(OMGradient(black(0), black(0.06)));
            effect.setFillGradientAngle(-90);
            effect.setShadows({shadow(black(0.33), 7 * kImageScale, 0, -2.8 * kImageScale)});
            effect.drawBezierPath(painter, OMBezierPathWithRoundedRect(tile, tile.width() * 0.225));
            const std::shared_ptr<const OMImage> glyph = imageOf(QSizeF(86, 86), [](QPainter& p) {
                drawingBlockForRecentRepeatTemplate()(p, QRectF(0, 0, 86, 86), 0);
            });
            if (glyph) {
                smartIndicatorEffectWithMask(0, 4, 8, false)
                    .drawImage(painter, *glyph, QRectF(21, 23, 86, 86));
            }
        });
    return badge;
}

std::shared_ptr<const OMImage> QFRecentsStyle::iconForRecentRepeatAlert() {
    static const std::shared_ptr<const OMImage> icon =
        imageOf(QSizeF(kAlertIconSize, kAlertIconSize), [](QPainter& painter) {
            if (auto application = QFResources::shared()->imageNamed(QFImageName::ApplicationIcon))
                application->draw(painter, QRectF(0, 0, kAlertIconSize, kAlertIconSize));
            if (auto badge = badgeIconForRecentRepeatAlert())
                badge->draw(painter, QRectF(64, 64, 64, 64));
        });
    return icon;
}
