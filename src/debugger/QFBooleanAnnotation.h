#pragma once
// QFBooleanAnnotation: a text that a boolean-operation record shows while
// the mouse rests on its frame (the text form of an intersection or of a
// point typed by the developer).
//
// A plain value.

#include "geometry/VKGeometry.h"

#include <string>
#include <utility>

struct QFBooleanAnnotation {
    static QFBooleanAnnotation annotationWithStringValue(std::string stringValue, VKRect frame) {
        return {std::move(stringValue), frame};
    }

    std::string stringValue;
    // In path coordinates.
    VKRect frame;
};
