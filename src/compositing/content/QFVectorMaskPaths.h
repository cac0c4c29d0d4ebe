#pragma once
// A layer's vector mask as geometry: its subpaths in document pixels,
// grouped into compound paths by their boolean operations (optionally
// snapped to whole pixels), the filled mask node, and the mask folded into
// one simplified compound path (cached on the layer).
//
// Operation numbers: the document's (0 exclude, 1 add, 2 subtract, 3
// intersect, 65535 continue the previous one) and the render graph's (0
// add, 1 subtract, 2 intersect, 3 exclude).

#include "geometry/VKCompoundPath.h"
#include "geometry/VKPath.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/core/BNRenderNode.h"

#include <memory>
#include <vector>

// Compound paths with one operation each, a number in the document's or
// the render graph's numbering (VKBooleanOperation values), as each
// function below says.
struct QFVectorMaskPaths {
    std::vector<std::shared_ptr<const VKCompoundPath>> paths;
    std::vector<int> operations;
};

// The document's size in pixels, (0, 0) when the layer's document is gone.
VKSize QFDocumentSizeForLayer(const OMPSDLayer& layer);

// The subpath with its points (fractions of the document) scaled to
// document pixels.
std::shared_ptr<VKMutablePath> QFPathForVectorMaskSubpath(const OMPSDPath& subpath, double width,
                                                          double height);
// Consecutive subpaths that continue an operation form one compound path,
// filled even-odd unless the group's first subpath asks for winding; the
// operations keep the document's numbering. A first subpath without an
// operation of its own joins a group that adds, even-odd.
QFVectorMaskPaths QFGroupVectorMaskSubpaths(const OMPSDCompoundPath& mask, double width,
                                            double height);
// The same with the render graph's operation numbers; with
// `alignToPixels`, every point is mapped so that the union of the paths'
// bounds, grown by `strokeReach` (how far a stroke drawn along the paths
// reaches beyond them), lands on whole pixels.
QFVectorMaskPaths QFVectorMaskCompoundPaths(const OMPSDCompoundPath& mask, double width,
                                            double height, bool alignToPixels,
                                            double strokeReach = 0);
// The mask's compound paths with the render graph's operation numbers, not
// aligned; false (and `out` untouched) when the mask has no subpaths.
bool QFVectorMaskPathsAndOperations(const OMPSDCompoundPath& mask, double width, double height,
                                    QFVectorMaskPaths* out);
// The coverage of the mask's compound paths combined by their operations.
// A mask without subpaths is its initial fill: opaque everywhere when
// initially filled, else null.
BNRenderNodePtr QFFilledVectorMaskNode(const OMPSDLayer& layer, const OMPSDCompoundPath& mask,
                                       bool alignToPixels);
// The compound paths combined into one by the exact boolean operations,
// left to right from an empty outline, each path's operation applied (the
// first one's included). Null when an operation fails.
std::shared_ptr<const VKCompoundPath> QFFoldVectorMaskPaths(const QFVectorMaskPaths& paths);
// The layer's vector mask folded into one compound path (which may hold no
// paths: a mask that only subtracts or intersects has no outline); null
// without subpaths. An aligned shape is snapped with the reach of its
// stroke. Cached on the layer once computed from more than one group.
std::shared_ptr<const VKCompoundPath> QFSimplifiedCompoundPathForLayer(const OMPSDLayer& layer);
