#include "RenderExercise.h"

#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/tiling/QFTilingHelper.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/files/Data.h"
#include "psd/OMPSDDocument.h"

bool QFExerciseRender(const uint8_t* data, size_t size) {
    auto document = OMPSDDocument::create(lf::Data::copy(data, size));
    if (!document) return false;
    BNRenderNodePtr node = QFRenderNodeForLayers((*document)->layers());
    auto helper = QFTilingHelper::create({128, 128}, nullptr);
    helper->setPixelBudget(kRenderExercisePixelBudget);
    VKRect rect = VKRectMake(0, 0, (*document)->width(), (*document)->height());
    bool succeeded = false;
    lf::DispatchSemaphore done(0);
    helper->renderNode(node, rect, 0.5,
                       [&, done](const uint8_t*, uint64_t, uint64_t, uint64_t, bool finished,
                                 double, bool allSucceeded) mutable {
                           if (!finished) return;
                           succeeded = allSucceeded;
                           done.signal();
                       });
    done.wait();
    return succeeded;
}
