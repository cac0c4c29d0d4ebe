#include "rendergraph/geometry/BNStrokeStyleHashing.h"

void BNStrokeStyleUpdateHashContext(const VKStrokeStyle& style, BNHashContext& context) {
    context.updateValue(static_cast<uint64_t>(style.position()));
    context.updateValue(static_cast<uint64_t>(style.join()));
    context.updateValue(static_cast<uint64_t>(style.cap()));
    const std::vector<double>& dashes = style.dashPattern();
    context.updateValue(static_cast<uint64_t>(dashes.size()));
    context.updateValue(style.dashPhase());
    for (double length : dashes)
        context.updateValue(length);
    // The width and the miter limit change the stroke too: without them two
    // strokes of one path in different widths would share an identity.
    context.updateValue(style.width());
    context.updateValue(style.miterLimit());
}
