#pragma once
// QFIconViewItem: what the icon view shows of one output: the name under
// its tile and its picture. An icon layer (QFIconLayer.h) keeps the item
// it draws.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"

#include <QSize>
#include <QString>

#include <memory>

class QFIconViewItem {
public:
    virtual ~QFIconViewItem() = default;
    virtual QString label() const = 0;
    // The picture, no larger than `bound` pixels: a larger one is shrunk to
    // fit. Null: no picture.
    virtual std::shared_ptr<const OMImage> image(QSize bound) const = 0;
};
