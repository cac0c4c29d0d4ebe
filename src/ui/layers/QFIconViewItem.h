#pragma once
// QFIconViewItem: what the icon view shows of one output: the name under
// its tile and its picture. An icon layer (QFIconLayer.h) keeps the item
// it draws.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"

#include <QString>

#include <memory>

class QFIconViewItem {
public:
    virtual ~QFIconViewItem() = default;
    virtual QString label() const = 0;
    // Null: no picture.
    virtual std::shared_ptr<const OMImage> image() const = 0;
};
