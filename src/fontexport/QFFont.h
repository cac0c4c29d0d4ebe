#pragma once
// QFFont: a font built in memory from glyph outlines: the glyph list (a
// glyph's index is its glyph ID), glyph names, the character map (UTF-16
// code unit to glyph) and the ligature map (string to glyph). It writes
// itself as a TTX document, the XML form of an OpenType font with CFF
// outlines, and gets the binary OpenType and WOFF forms from the TTX
// converter (QFTTXConversion.h), cached until the glyphs or maps change.
//
// A new font has two empty glyphs: ".notdef" (glyph 0, no character) and
// "space" (U+0020). ".notdef" stays glyph 0 whatever list is set. A glyph
// occurs at most once in the list.
//
// Glyph names: a glyph keeps the name it was first given for the life of
// the font, also when the list is reordered or replaced; a glyph without
// one is named "glyph<index>" when first written, made unique in the font
// ("glyph2.1") should another glyph hold that name already.
//
// Not thread-safe: a font and its glyphs are used from one thread at a
// time. The representations block the caller while the converter works.

#include "fontexport/QFGlyph.h"
#include "fontexport/QFTTXConversion.h"
#include "geometry/VKGeometry.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class QFFont {
public:
    using GlyphPtr = std::shared_ptr<QFGlyph>;
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    QFFont();

    const std::vector<GlyphPtr>& glyphs() const { return glyphs_; }
    // Replaces the list (".notdef" first; repeats and nulls left out) and
    // drops the cached forms.
    void setGlyphs(std::vector<GlyphPtr> glyphs);
    // Appends the glyph unless it is null or in the list already; drops the
    // cached forms.
    void addGlyph(GlyphPtr glyph);
    // Drops the cached forms, then maps the glyph: a string of one UTF-16
    // code unit in the character map; any other string in the ligature map,
    // with an empty glyph added for each of its code units that has no
    // glyph yet.
    void mapGlyph(GlyphPtr glyph, std::string_view characters);

    // The union of (0, 0) and every glyph's box.
    VKRect boundingBox() const;

    // Used as family, full and PostScript name; empty means none. Renaming
    // keeps the cached forms.
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    // The glyph's name (giving one at first use as described above); none
    // for a glyph that is not in the list and was never named.
    std::optional<std::string> nameForGlyph(const GlyphPtr& glyph);

    // The TTX document in UTF-8, written afresh on every call. Fails for a
    // font without a name, for a name that XML cannot carry (not UTF-8, or
    // holding a control character other than tab, newline and carriage
    // return) and for a metric or charstring number that does not fit its
    // field.
    lf::Result<lf::Data> ttxRepresentation();
    // The OpenType (CFF) and WOFF forms, converted on first request and
    // cached; a failed conversion leaves nothing cached.
    lf::Result<lf::Data> sfntRepresentation();
    lf::Result<lf::Data> woffRepresentation();

    // The clock of the head table's dates (the system clock by default).
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // How long a conversion may take before it is given up.
    void setConversionTimeLimit(std::chrono::milliseconds limit) { conversionTimeLimit_ = limit; }

private:
    friend class QFTTXDocumentWriter;

    // The name of the glyph at `index` of the list.
    std::string nameForGlyph(const GlyphPtr& glyph, size_t index);
    GlyphPtr insertEmptyGlyph(std::string name, std::optional<char16_t> character);
    void recordName(const GlyphPtr& glyph, std::string name);
    void invalidateCaches();
    lf::Status buildCaches();

    std::vector<GlyphPtr> glyphs_;
    GlyphPtr notdef_;
    // Names by glyph identity; an entry dies with its glyph, so a new glyph
    // never inherits a name.
    std::map<std::weak_ptr<QFGlyph>, std::string, std::owner_less<>> glyphNames_;
    std::set<std::string, std::less<>> usedNames_;
    std::map<char16_t, GlyphPtr> characterMap_;
    std::map<std::u16string, GlyphPtr> ligatureMap_;
    std::string name_;
    std::optional<QFConvertedFont> convertedForms_;
    Clock clock_ = [] { return std::chrono::system_clock::now(); };
    std::chrono::milliseconds conversionTimeLimit_ = kQFTTXConversionTimeLimit;
};
