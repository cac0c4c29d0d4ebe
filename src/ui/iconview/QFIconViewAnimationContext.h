#pragma once
// QFIconViewAnimationContext: the layers of the icon view that its
// mode-change animations move: the input item, the output items in their
// order, and the status badge shown while extracting. The animations ask
// for them when they run and touch nothing else of the view.
//
// Threads: main thread only.

#include "ui/layers/QFIconLayer.h"
#include "ui/layers/QFLayer.h"

#include <memory>
#include <vector>

class QFIconViewAnimationContext {
public:
    virtual ~QFIconViewAnimationContext() = default;
    // Null (and empty) once the view is gone.
    virtual std::shared_ptr<QFIconLayer> inputItemLayer() const = 0;
    virtual std::vector<std::shared_ptr<QFIconLayer>> outputItemLayers() const = 0;
    virtual std::shared_ptr<QFLayer> statusLayer() const = 0;
};
