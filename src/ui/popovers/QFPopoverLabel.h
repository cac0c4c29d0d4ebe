#pragma once
// QFPopoverLabel: one line of text in a popover (a row's name or status
// line, a popover's heading), drawn with the popover style's effect for its
// label type, inside padding, and truncated at its tail when the label is
// narrower than the text.
//
// Its natural size is the text's bounding size, rounded up, plus 2 and the
// padding; no text takes no room beyond that.
//
// Threads: main thread only.

#include "kit/gui/OMAttributedString.h"
#include "kit/gui/OMSlicedImageRep.h"
#include "ui/popovers/QFPopoverStyle.h"

#include <QSizeF>
#include <QWidget>

class QFPopoverLabel : public QWidget {
    Q_OBJECT

public:
    explicit QFPopoverLabel(QWidget* parent = nullptr);

    QString text() const { return text_.text; }
    // Does nothing for the text already shown unless forced.
    void setText(const QString& text, bool force = false);
    int32_t labelType() const { return labelType_; }
    void setLabelType(int32_t type);
    const OMEdgeInsets& padding() const { return padding_; }
    // Redraws; the natural size does not follow until the text changes.
    void setPadding(OMEdgeInsets padding);

    QSizeF textSize() const { return textSize_; }
    QSizeF intrinsicContentSize() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

    // Where the text goes in `bounds`: within the padding, centred
    // vertically on whole points.
    QRectF textRectInBounds(const QRectF& bounds) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int32_t labelType_ = QFPopoverLabelTypeTitle;
    OMEdgeInsets padding_;
    OMAttributedString text_;
    QSizeF textSize_{0, 0};
};
