#pragma once
// QFRecentPlaceholderRowView: the one row of an empty recents list, a short
// explanation centred in 100 points, wrapped within the list's width less
// 20 points on each side.
//
// Threads: main thread only.

#include "kit/gui/OMAttributedString.h"
#include "kit/gui/OMSlicedImageRep.h"

#include <QWidget>

class QFRecentPlaceholderRowView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kPreferredHeight = 100;
    // The recents list's width, in which the text is laid out.
    static constexpr double kListWidth = 240;

    explicit QFRecentPlaceholderRowView(QWidget* parent = nullptr);

    static double preferredHeight() { return kPreferredHeight; }

    const OMAttributedString& text() const { return text_; }
    QSizeF textSize() const { return textSize_; }
    // Where the text goes in `bounds`: within the padding, centred
    // vertically on whole points.
    QRectF textRectInBounds(const QRectF& bounds) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OMEdgeInsets padding_{0, 20, 0, 20};
    OMAttributedString text_;
    QSizeF textSize_;
};
