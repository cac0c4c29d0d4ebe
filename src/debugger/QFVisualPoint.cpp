#include "debugger/QFVisualPoint.h"

#include "geometry/VKGeometryStrings.h"

QFVisualPoint::QFVisualPoint(VKPoint location)
    : location_(location), text_(NSStringFromVKPoint(location)) {}

// Not the hash of the text: -0 and 0 are equal coordinates with different
// texts ("-0" and "0"), and equal points must hash alike.
size_t QFVisualPoint::hash() const {
    return std::hash<VKPoint>()(location_);
}
