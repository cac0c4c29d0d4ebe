#include "rendergraph/geometry/BNCompoundPathHashing.h"

void BNCompoundPathUpdateHashContext(const VKCompoundPath& path, BNHashContext& context) {
    context.updateValue(static_cast<uint64_t>(path.fillRule()));
    context.updateValue(static_cast<uint64_t>(path.paths().size()));
    for (const auto& subpath : path.paths()) {
        context.updateFlag(subpath && subpath->isClosed());
        context.updateValue(static_cast<uint64_t>(subpath ? subpath->numberOfKnots() : 0));
        if (!subpath) continue;
        for (const VKKnot& knot : subpath->knots()) {
            context.updateValue(knot.incoming);
            context.updateValue(knot.point);
            context.updateValue(knot.outgoing);
        }
    }
}
