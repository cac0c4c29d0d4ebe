#pragma once
// Vector data of a layer: the vector mask as a compound path of subpaths
// with boolean operations ("vmsk" or "vsms" path records), and the vector
// stroke of a shape layer ("vstk").
//
// Path points are fractions of the document: x of the width, y of the
// height (the records' 8.24 fixed-point values). Operations keep the file's
// numbering. Immutable once decoded; safe to share between threads.
#include "psd/OMPSDFill.h"
#include "psd/OMPSDProperty.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct OMPSDPoint {
    double x = 0, y = 0;
    friend bool operator==(const OMPSDPoint&, const OMPSDPoint&) = default;
};

class OMPSDPathKnot {
public:
    OMPSDPathKnot(OMPSDPoint controlPoint1, OMPSDPoint anchorPoint, OMPSDPoint controlPoint2,
                  bool isLinked)
        : controlPoint1_(controlPoint1),
          anchorPoint_(anchorPoint),
          controlPoint2_(controlPoint2),
          isLinked_(isLinked) {}
    // Incoming control point, anchor, outgoing control point.
    const OMPSDPoint& controlPoint1() const { return controlPoint1_; }
    const OMPSDPoint& anchorPoint() const { return anchorPoint_; }
    const OMPSDPoint& controlPoint2() const { return controlPoint2_; }
    bool isLinked() const { return isLinked_; }

private:
    OMPSDPoint controlPoint1_, anchorPoint_, controlPoint2_;
    bool isLinked_;
};

enum : uint16_t {
    OMPSDPathOperationExclude = 0,
    OMPSDPathOperationAdd = 1,
    OMPSDPathOperationSubtract = 2,
    OMPSDPathOperationIntersect = 3,
    // The subpath continues the operation of the previous one.
    OMPSDPathOperationContinue = 0xffff,
};

class OMPSDPath {
    OMPSD_PROPERTY(uint16_t, operation, setOperation, OMPSDPathOperationAdd);
    // 2 for a winding (non-zero) fill, else 1.
    OMPSD_PROPERTY(uint16_t, fillRule, setFillRule, 1);
    OMPSD_PROPERTY(bool, isClosed, setIsClosed, false);
    OMPSD_PROPERTY(std::vector<OMPSDPathKnot>, segments, setSegments);
};

class OMPSDCompoundPath {
public:
    // From the path records of a vector mask block: version, flags, then
    // 26-byte records. Null when the block is damaged. Also reports the
    // block's flags (bit 0 inverted, bit 1 not linked, bit 2 disabled).
    static std::shared_ptr<const OMPSDCompoundPath> fromVectorMaskBlock(
        std::span<const uint8_t> data, uint32_t* flags = nullptr);

    OMPSD_PROPERTY(std::vector<OMPSDPath>, subpaths, setSubpaths);
    // The initial fill rule record: the path starts filled (all pixels in).
    OMPSD_PROPERTY(bool, isInitiallyFilled, setIsInitiallyFilled, false);
};

// The stroke of a shape layer. Defaults are Photoshop's for a new shape:
// stroke and fill on, 3 pixels, miter limit 100, butt caps, miter joins,
// centred, solid, black.
class OMPSDVectorStroke {
public:
    // From a "vstk" block (version, descriptor); null when damaged. Widths
    // in points are converted with the stroke's own resolution.
    static std::shared_ptr<const OMPSDVectorStroke> fromBlock(std::span<const uint8_t> data);

    OMPSD_PROPERTY(bool, fillEnabled, setFillEnabled, true);      // "fillEnabled"
    OMPSD_PROPERTY(bool, strokeEnabled, setStrokeEnabled, true);  // "strokeEnabled"
    // "strokeStyleContent": a colour, gradient or pattern fill.
    OMPSD_PROPERTY(std::shared_ptr<const OMPSDFill>, content, setContent);
    OMPSD_PROPERTY(double, lineWidth, setLineWidth, 3.0);      // "strokeStyleLineWidth", pixels
    OMPSD_PROPERTY(double, miterLimit, setMiterLimit, 100.0);  // "strokeStyleMiterLimit"
    OMPSD_PROPERTY(int, cap, setCap, 0);                       // 0 butt, 1 round, 2 square
    OMPSD_PROPERTY(int, join, setJoin, 0);                     // 0 miter, 1 round, 2 bevel
    OMPSD_PROPERTY(int, position, setPosition, 0);             // 0 centre, 1 inside, 2 outside
    // Dash and gap lengths in multiples of the line width; empty when solid.
    OMPSD_PROPERTY(std::vector<double>, dashSet, setDashSet);
    OMPSD_PROPERTY(double, dashOffset, setDashOffset, 0.0);  // "strokeStyleLineDashOffset"
    // "strokeStyleStrokeAdjust": the stroke is aligned to pixel edges.
    OMPSD_PROPERTY(bool, isAlignedToPixels, setIsAlignedToPixels, false);
};
