#pragma once
// QFPopoverStyle: the look of the popovers' lists and labels, as a style
// sheet of static functions: the fonts and paragraph of each label type,
// the template effects their text is drawn with, the background that text
// blends its edges with, and the faint separator between list rows.
//
// Every value is made once and shared; the mask arguments are taken for
// symmetry with the window style and not consulted: popovers look the
// same in active and inactive windows.
//
// Threads: main thread only.

#include "kit/gui/OMAttributedString.h"
#include "kit/gui/OMSlicedImageRep.h"
#include "kit/gui/OMTemplateEffect.h"

#include <QColor>
#include <QPainter>
#include <QRectF>

#include <cstdint>

enum QFPopoverLabelType : int32_t {
    // 11 points, black, left aligned: a row's name line.
    QFPopoverLabelTypeTitle = 0,
    // 10 points, grey: a row's status line.
    QFPopoverLabelTypeDetail = 1,
    // 13 points, grey and etched, centred: a popover's heading.
    QFPopoverLabelTypeHeading = 2,
};

class QFPopoverStyle {
public:
    QFPopoverStyle() = delete;

    // The platform's system font at `size` points.
    static QFont platformSystemFontOfSize(int size);
    // Light grey at half alpha.
    static QColor subpixelBackgroundColorWithMask(unsigned mask);
    // The font and layout flags of `type` (any unknown type draws as a
    // title), with empty text. Labels hold one line and truncate its tail.
    static const OMAttributedString& textAttributesForLabelType(int32_t type);
    static const OMTemplateEffect& textEffectForLabelType(int32_t type, unsigned mask);

    // Where text `textHeight` high goes in `bounds`: within `padding`,
    // centred vertically on whole points.
    static QRectF textRectInBounds(const QRectF& bounds, const OMEdgeInsets& padding,
                                   double textHeight);

    // A one-point line that fades out towards both ends, at the middle of
    // `rect` when it is taller than that.
    static void drawListSeparatorInRect(QPainter& painter, QRectF rect);
};
