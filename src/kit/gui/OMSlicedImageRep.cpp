#include "kit/gui/OMSlicedImageRep.h"

#include "kit/gui/OMImageContext.h"

#include <cmath>

namespace {

// The part `source` (y-down, in points) of `image` as an image of its own,
// with a bitmap for every bitmap density of the source; null when narrower
// or lower than one point.
std::shared_ptr<const OMImage> cutSlice(const OMImage& image, const QRectF& source) {
    if (source.width() < 1 || source.height() < 1) return nullptr;
    auto slice = std::make_shared<OMImage>(source.size());
    const QRectF target(QPointF(), source.size());
    auto cutAt = [&](double scale, auto&& draw) {
        QPainter* painter =
            OMBeginImageContextWithOptions(false, true, source.width(), source.height(), scale);
        if (!painter) return;
        draw(*painter);
        if (auto cut = OMImageFromImageContext())
            slice->addRepresentation(cut->representations().front());
        OMEndImageContext();
    };
    for (const auto& representation : image.representations()) {
        const double scale = representation->pixelScale();
        if (scale <= 0) continue;
        cutAt(scale, [&](QPainter& painter) {
            representation->draw(painter, target, source, QPainter::CompositionMode_Source, 1.0);
        });
    }
    if (!slice->isValid()) {
        cutAt(1.0, [&](QPainter& painter) {
            image.draw(painter, target, source, QPainter::CompositionMode_Source, 1.0);
        });
    }
    return slice->isValid() ? slice : nullptr;
}

}  // namespace

OMSliceTiling OMSliceTilingForRule(int rule, double cellLength, double naturalLength) {
    switch (rule) {
        case OMSlicedImageRuleStretch:
            return {0, 1, cellLength};
        case OMSlicedImageRuleTileFit: {
            const int count = static_cast<int>(std::ceil(cellLength / naturalLength));
            return {0, count, count > 0 ? cellLength / count : 0};
        }
        case OMSlicedImageRuleTileCentered: {
            int count = static_cast<int>(cellLength / naturalLength);
            if (count * naturalLength < cellLength) ++count;
            if (count % 2 == 0) ++count;
            return {std::floor((cellLength - count * naturalLength) / 2), count, naturalLength};
        }
        default:
            return {0, 1, naturalLength};
    }
}

OMSlicedImageRep::OMSlicedImageRep(const OMImage& image, OMEdgeInsets insets, int horizontalRule,
                                   int verticalRule)
    : OMImageRep(image.size()), horizontalRule_(horizontalRule), verticalRule_(verticalRule) {
    const double w = image.size().width(), h = image.size().height();
    const double t = insets.top, l = insets.left, b = insets.bottom, r = insets.right;
    const double middleWidth = w - (l + r), middleHeight = h - (t + b);
    const double columns[3][2] = {{0, l}, {l, middleWidth}, {w - r, r}};
    const double rows[3][2] = {{0, t}, {t, middleHeight}, {h - b, b}};  // top row first
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            slices_[row * 3 + column] = cutSlice(
                image, QRectF(columns[column][0], rows[row][0], columns[column][1], rows[row][1]));
        }
    }
}

bool OMSlicedImageRep::drawInRect(QPainter& painter, const QRectF& rect) const {
    drawSlices(painter, rect, QPainter::CompositionMode_SourceOver, 1.0);
    return true;
}

void OMSlicedImageRep::drawSlices(QPainter& painter, const QRectF& rect,
                                  QPainter::CompositionMode operation, double fraction) const {
    auto width = [&](Slice which) { return slices_[which] ? slices_[which]->size().width() : 0.0; };
    auto height = [&](Slice which) {
        return slices_[which] ? slices_[which]->size().height() : 0.0;
    };
    const double left = width(MiddleLeft), right = width(MiddleRight);
    const double top = height(TopMiddle), bottom = height(BottomMiddle);
    const double columnX[3] = {0, left, rect.width() - right};
    const double columnWidth[3] = {left, rect.width() - (left + right), right};
    const double rowY[3] = {0, top, rect.height() - bottom};
    const double rowHeight[3] = {top, rect.height() - (top + bottom), bottom};

    painter.save();
    painter.translate(rect.topLeft());
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            drawSlice(painter, slices_[row * 3 + column].get(),
                      QRectF(columnX[column], rowY[row], columnWidth[column], rowHeight[row]),
                      operation, fraction);
        }
    }
    painter.restore();
}

void OMSlicedImageRep::draw(QPainter& painter, const QRectF& target, const QRectF&,
                            QPainter::CompositionMode operation, double fraction) const {
    drawSlices(painter, target, operation, fraction);
}

void OMSlicedImageRep::drawSlice(QPainter& painter, const OMImage* slice, const QRectF& cell,
                                 QPainter::CompositionMode operation, double fraction) const {
    if (horizontalRule_ == OMSlicedImageRuleStretch && verticalRule_ == OMSlicedImageRuleStretch) {
        if (slice) slice->draw(painter, cell, QRectF(), operation, fraction);
        return;
    }
    if (!slice || cell.width() < 1 || cell.height() < 1) return;

    const double naturalWidth = slice->size().width(), naturalHeight = slice->size().height();
    const OMSliceTiling across = OMSliceTilingForRule(horizontalRule_, cell.width(), naturalWidth);
    const OMSliceTiling down = OMSliceTilingForRule(verticalRule_, cell.height(), naturalHeight);

    // One axis of one tile, cut to the cell [0, cellLength): the tile's
    // span and the part of the slice [0, natural) that it shows.
    struct Span {
        double start, length, sourceStart, sourceLength;
    };
    auto cut = [](const OMSliceTiling& tiling, int index, double cellLength, double natural) {
        Span span{tiling.start + index * tiling.length, tiling.length, 0, natural};
        if (span.start < 0) {
            const double before = -span.start;
            const double sourceBefore = before * natural / tiling.length;
            span.start = 0;
            span.length -= before;
            span.sourceStart += sourceBefore;
            span.sourceLength -= sourceBefore;
        }
        if (const double after = span.start + span.length - cellLength; after > 0) {
            span.length -= after;
            span.sourceLength -= after * natural / tiling.length;
        }
        // Whole points, so neighbouring tiles leave no seams.
        const double end = std::ceil(span.start + span.length);
        span.start = std::floor(span.start);
        span.length = end - span.start;
        return span;
    };

    for (int row = 0; row < down.count; ++row) {
        // The vertical tiling runs from the cell's bottom edge up; turn it
        // and the slice's own rows over into y-down.
        Span y = cut(down, row, cell.height(), naturalHeight);
        y.start = cell.height() - (y.start + y.length);
        y.sourceStart = naturalHeight - (y.sourceStart + y.sourceLength);
        for (int column = 0; column < across.count; ++column) {
            const Span x = cut(across, column, cell.width(), naturalWidth);
            slice->draw(painter, QRectF(cell.x() + x.start, cell.y() + y.start, x.length, y.length),
                        QRectF(x.sourceStart, y.sourceStart, x.sourceLength, y.sourceLength),
                        operation, fraction);
        }
    }
}

std::shared_ptr<OMImage> OMSlicedImageWithInsets(const OMImage& image, OMEdgeInsets insets,
                                                 int horizontalRule, int verticalRule) {
    auto sliced = std::make_shared<OMImage>(image.size());
    sliced->addRepresentation(
        std::make_shared<OMSlicedImageRep>(image, insets, horizontalRule, verticalRule));
    return sliced;
}

std::shared_ptr<OMImage> OMSlicedImageWithInsets(const OMImage& image, OMEdgeInsets insets,
                                                 int rule) {
    return OMSlicedImageWithInsets(image, insets, rule, rule);
}

std::shared_ptr<OMImage> OMSlicedImageWithInsets(const OMImage& image, OMEdgeInsets insets) {
    return OMSlicedImageWithInsets(image, insets, OMSlicedImageRuleTileCentered);
}
