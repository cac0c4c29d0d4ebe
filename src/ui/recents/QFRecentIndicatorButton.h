#pragma once
// QFRecentIndicatorButton: the indicator at the right of a recents row, a
// title-bar style button whose picture tells the flow's behaviour:
//
//   type 0  the repeat image cut out of a grey disc, 20 by 20: a click
//           repeats the flow in the background
//   type 1  the purple recent-repeat glyph, 20 by 20: repeats
//           automatically
//   type 2  a purple circle of seven dashes, 19 by 19: notifies when
//           changed
//   type 3  the info image cut out of a grey disc, 20 by 20
//   type 4  a purple dot, 11 by 11: has changes to run
//
// Types 0 and 3 show nothing when their image is missing. The alignment
// rectangle leaves a point on every side for the shadows.
//
// Threads: main thread only.

#include "ui/window/QFWindowButton.h"

#include <cstdint>

enum QFRecentIndicatorType : int32_t {
    QFRecentIndicatorTypeRepeat = 0,
    QFRecentIndicatorTypeRecentRepeat = 1,
    QFRecentIndicatorTypeDashedCircle = 2,
    QFRecentIndicatorTypeInfo = 3,
    QFRecentIndicatorTypeHasChanges = 4,
};

class QFRecentIndicatorButton : public QFWindowButton {
    Q_OBJECT

public:
    explicit QFRecentIndicatorButton(QWidget* parent = nullptr);

    int32_t indicatorType() const { return indicatorType_; }
    void setIndicatorType(int32_t type);

    OMEdgeInsets alignmentRectInsets() const override { return {1, 1, 1, 1}; }
    OMTemplateEffect contentEffectWithStyleMask(unsigned mask) const override;

    // The dashed circle's dash and gap length for an image of `width`.
    static double dashLengthForWidth(double width);

private:
    // Stored as 3 first, so that the first setIndicatorType(0) applies.
    int32_t indicatorType_ = QFRecentIndicatorTypeInfo;
};
