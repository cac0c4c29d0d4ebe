#pragma once
// QFGlyph: one glyph of a font: its outline, the width written into its
// charstring and its advance width, all in outline units (QFFontUnits.h).
// A new glyph has no outline and zero width and advance.
//
// The outline is in y-down coordinates; the charstring flips it within the
// glyph's box and places the box's corner at the glyph origin.
//
// Not thread-safe: a glyph (like its font) is used from one thread at a
// time. The outline is immutable and may be shared.

#include "geometry/VKCompoundPath.h"
#include "geometry/VKGeometry.h"
#include "platform/core/Result.h"

#include <memory>
#include <optional>
#include <string>

class QFGlyph {
public:
    const std::shared_ptr<const VKCompoundPath>& outline() const { return outline_; }
    void setOutline(std::shared_ptr<const VKCompoundPath> outline);
    double width() const { return width_; }
    void setWidth(double width) { width_ = width; }
    double advancementX() const { return advancementX_; }
    void setAdvancementX(double advancementX) { advancementX_ = advancementX; }

    // The box of the flattened outline (tolerance 0.01), kept until the
    // outline is set again. Origin (0, 0) and size 0 for a glyph without
    // segments.
    VKRect boundingBox() const;

    // The Type 2 charstring as text: the width, then per path an rmoveto
    // and one rrcurveto per segment (closing segments included), then
    // "endchar"; operands in font units, one line per operator. Paths
    // without segments are left out. Fails when a number does not fit a
    // charstring integer.
    lf::Result<std::string> postScriptType2Representation() const;

private:
    std::shared_ptr<const VKCompoundPath> outline_;
    double width_ = 0;
    double advancementX_ = 0;
    mutable std::optional<VKRect> boundingBox_;
};
