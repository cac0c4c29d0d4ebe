#pragma once
// The size that text takes when laid out from the top left of an area:
// lines broken at `width` (unlimited by default), as the chrome's labels and
// titles measure themselves.
//
// Threads: plain functions.

#include <QFont>
#include <QSizeF>
#include <QString>

#include <limits>

inline constexpr double kQFUnlimitedTextLength = 1e7;

// The bounding size of `text` in `font` with the alignment and wrapping
// `flags` (Qt::AlignmentFlag | Qt::TextFlag) within `width`.
QSizeF QFTextBoundingSize(const QString& text, const QFont& font,
                          int flags = Qt::AlignLeft | Qt::AlignTop,
                          double width = kQFUnlimitedTextLength);
