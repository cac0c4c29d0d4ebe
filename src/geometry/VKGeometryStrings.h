#pragma once
// Text forms of points, rectangles and segments for log lines and
// descriptions, and the parsers of the point and segment forms (the
// boolean-operation debugger reads what a developer types).

#include "geometry/VKBezier.h"
#include "geometry/VKGeometry.h"

#include <string>
#include <string_view>

// "{ x, y }", each number as printf's %g in the "C" locale, whatever the
// user's locale (the forms are read back).
std::string NSStringFromVKPoint(VKPoint point);
// "{ { x, y }, { width, height } }".
std::string NSStringFromVKRect(VKRect rect);
// "{ start, control point 1, control point 2, end }", each a point text.
std::string NSStringFromVKPathSegment(const VKPathSegment& segment);

// Reads two numbers (x, y) as in the "C" locale, skipping the characters
// "{}, \t\r\n" before each. Numbers that cannot be read are 0.
VKPoint VKPointFromString(std::string_view text);
// As VKPointFromString, but says how many of the two numbers could be read,
// so that a caller can skip an incomplete line.
VKPoint VKPointFromString(std::string_view text, int* numbersRead);
// Reads eight numbers the same way: start, control point 1, control point 2,
// end. Numbers that cannot be read are 0.
VKPathSegment VKPathSegmentFromString(std::string_view text);
// As VKPathSegmentFromString, but says how many of the eight numbers could be
// read, so that a caller can skip an incomplete line.
VKPathSegment VKPathSegmentFromString(std::string_view text, int* numbersRead);
