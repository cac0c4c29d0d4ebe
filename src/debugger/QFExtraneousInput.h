#pragma once
// The points and segments that the developer types into the debugger's
// sheets, one a line, read with the geometry's text forms
// (VKGeometryStrings.h). Blank lines and lines without enough numbers are
// skipped rather than read as zeros.

#include "geometry/VKBezier.h"
#include "geometry/VKGeometry.h"

#include <string_view>
#include <vector>

// Lines of two numbers, x and y, as "{ 1, 2 }" or "1 2".
std::vector<VKPoint> QFExtraneousPointsFromText(std::string_view text);

// Segment lines in one of two formats:
// - the arrow format: "START -> END / cp1: CONTROL1, cp2: CONTROL2", each
//   a point as "{ x, y }";
// - the plain format: eight numbers, the points start, end, control point 1
//   and control point 2.
std::vector<VKPathSegment> QFExtraneousPathSegmentsFromText(std::string_view text,
                                                            bool arrowFormat);
