#pragma once
// QFRecentsStyle: the look of the recents popover's rows: template effects
// in the application's purple for smart flows (those that notify when
// changed or repeat automatically) and in grey for plain ones, the
// recent-repeat glyph (an open ring with an arrowhead and two clock hands,
// drawn by a block at a progress so that it can turn), and the badge and
// alert icon of the question whether a newly saved flow is to repeat
// automatically.
//
// Effects of plain indicators and of the group row's glyph, the glyph
// block, the badge and the alert icon are made once and shared; the other
// effects anew on every call. Offsets of shadows are y-up (OMShadow.h).
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"
#include "kit/gui/OMTemplateEffect.h"

#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <functional>
#include <memory>

class QFRecentsStyle {
public:
    QFRecentsStyle() = delete;

    // Draws the glyph into `rect` (y downwards) at `progress`: one full
    // clockwise turn of the ring and arrowhead per 1, the long hand twice
    // as fast.
    using GlyphBlock = std::function<void(QPainter& painter, const QRectF& rect, double progress)>;

    static constexpr double kAlertIconSize = 128;

    // A plain button's sunken ring.
    static OMTemplateEffect strokeButtonEffectWithMask(unsigned mask);
    // A smart button's purple body.
    static OMTemplateEffect buttonEffectWithMask(unsigned mask);
    // A button's body: smart, the purple body with a light inner rim
    // unless pressed; plain, a grey ring between `path` and `innerPath`.
    static void drawBorderedButtonWithMask(QPainter& painter, unsigned mask, bool smart,
                                           const QPainterPath& path, const QPainterPath& innerPath);
    // The glyph on a button: white on a smart body, purple in a plain ring.
    static OMTemplateEffect buttonContentEffectWithMask(unsigned mask, bool smart);
    // Grey, darker under the pointer and darker still when pressed.
    static const OMTemplateEffect& indicatorEffectWithMask(unsigned mask);
    // Purple, with shadows of `offsetScale` and `blurScale`; a bullet's
    // gradient starts 66 % towards white.
    static OMTemplateEffect smartIndicatorEffectWithMask(unsigned mask, double offsetScale,
                                                         double blurScale, bool forBullet);
    static OMTemplateEffect smartIndicatorEffectWithMask(unsigned mask);
    static OMTemplateEffect changesIndicatorEffectWithMask(unsigned mask);
    // Black at 0.15: the group row's glyph.
    static const OMTemplateEffect& listSeparatorTitleEffectWithMask(unsigned mask);

    static const GlyphBlock& drawingBlockForRecentRepeatTemplate();
    // The glyph's shape at `progress` in `rect` (y downwards).
    static QPainterPath recentRepeatGlyphPath(const QRectF& rect, double progress);

    // A white rounded tile with the purple glyph, 128 by 128.
    static std::shared_ptr<const OMImage> badgeIconForRecentRepeatAlert();
    // The application's icon with the badge in its lower right quarter.
    static std::shared_ptr<const OMImage> iconForRecentRepeatAlert();
};
