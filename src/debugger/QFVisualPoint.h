#pragma once
// The points of a boolean-operation record: QFVisualPoint, a point typed by
// the developer (or the place of an intersection) with its text form and
// flags, and QFVisualIntersection, a point where the operands' curves meet,
// with the pieces of both operands on either side of it.
//
// Plain values; a record copies them before it draws them.

#include "geometry/VKBezier.h"
#include "geometry/VKGeometry.h"

#include <cstddef>
#include <cstdint>
#include <string>

class QFVisualPoint {
public:
    static QFVisualPoint visualPointWithPoint(VKPoint location) { return QFVisualPoint(location); }
    explicit QFVisualPoint(VKPoint location);

    VKPoint location() const { return location_; }
    // The geometry's text form of the location, fixed at creation.
    const std::string& text() const { return text_; }
    uint64_t flags() const { return flags_; }
    void setFlags(uint64_t flags) { flags_ = flags; }

    // Points are equal when their coordinates are, and then hash alike.
    friend bool operator==(const QFVisualPoint& a, const QFVisualPoint& b) {
        return a.location_ == b.location_;
    }
    size_t hash() const;
    struct Hash {
        size_t operator()(const QFVisualPoint& point) const { return point.hash(); }
    };

private:
    VKPoint location_;
    std::string text_;
    uint64_t flags_ = 0;
};

class QFVisualIntersection : public QFVisualPoint {
public:
    explicit QFVisualIntersection(VKPoint location) : QFVisualPoint(location) {}

    // The pieces of operand A and B that meet the point inside and outside
    // the other operand; all-zero where no such piece was reported.
    VKPathSegment innerSegmentA, outerSegmentA, innerSegmentB, outerSegmentB;

    // Whether a trace has left the result's outline from here.
    bool wasTraced() const { return traced_; }
    void setTraced(bool traced) { traced_ = traced; }

private:
    bool traced_ = false;
};
