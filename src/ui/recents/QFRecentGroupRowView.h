#pragma once
// QFRecentGroupRowView: the header between the smart flows and the plain
// recent flows of the recents list: the list separator across the row,
// broken by the "RecentsHeaderTemplate" glyph in its middle with 7 points
// of room on each side.
//
// The row is as high as the glyph; without the image it takes no room.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"

#include <QWidget>

#include <memory>

class QFRecentGroupRowView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kGlyphMargin = 7;

    explicit QFRecentGroupRowView(QWidget* parent = nullptr);

    // The image "RecentsHeaderTemplate", or null.
    static std::shared_ptr<const OMImage> glyphTemplate();
    // The glyph's height, 0 without it.
    static double preferredHeight();

    // Where the glyph goes in `bounds`: its size, centred, on whole points.
    static QRectF glyphRectInBounds(const QRectF& bounds, QSizeF glyphSize);

protected:
    void paintEvent(QPaintEvent* event) override;
};
