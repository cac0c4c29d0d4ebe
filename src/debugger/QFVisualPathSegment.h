#pragma once
// QFVisualPathSegment: one segment drawn by a boolean-operation record, a
// piece of the contour being traced or one typed by the developer.
//
// A plain value.

#include "geometry/VKBezier.h"

struct QFVisualPathSegment {
    static QFVisualPathSegment visualPathSegmentWithPathSegment(const VKPathSegment& segment) {
        return {segment};
    }

    VKPathSegment segment;
};
