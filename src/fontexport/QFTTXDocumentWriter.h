#pragma once
// QFTTXDocumentWriter: writes a font as a TTX document, the XML form of an
// OpenType font with CFF outlines that fontTools compiles: the tables
// GlyphOrder, head, hhea, maxp, OS_2, name, cmap, post, CFF, GSUB (for
// ligatures) and hmtx, in that order, through an SWXMLWriter in UTF-8.
//
// Every number that reaches a 16-bit field is checked first; the document
// is written only when all fit. Character map entries and ligatures whose
// glyphs are no longer in the font are left out. Used by QFFont, on the
// font's thread.

#include "fontexport/QFFont.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class SWXMLWriter;

class QFTTXDocumentWriter {
public:
    explicit QFTTXDocumentWriter(QFFont& font) : font_(font) {}

    // The document; the font must have a name.
    lf::Result<lf::Data> write();

private:
    struct Metrics;
    struct Ligature {
        std::vector<std::string> components;  // glyph names after the first
        std::string glyph;
    };
    // Ligatures by the glyph ID of their first component.
    using LigatureSets = std::map<size_t, std::vector<Ligature>>;

    lf::Result<Metrics> measure();
    void writeGlyphOrder();
    void writeHead(const Metrics& metrics);
    void writeHorizontalHeader(const Metrics& metrics);
    void writeMaximumProfile();
    void writeOS2(const Metrics& metrics);
    void writeNames();
    void writeCharacterMap();
    void writePostScript();
    void writeCFF(const Metrics& metrics);
    // The ligatures that can be written: every code unit maps to a glyph of
    // the list, and the ligature glyph is in it too.
    LigatureSets ligatureSets() const;
    void writeGlyphSubstitution(const LigatureSets& sets);
    void writeHorizontalMetrics(const Metrics& metrics);

    // An empty element with the attribute value="value".
    void writeValue(std::string_view element, std::string value);
    void writeValue(std::string_view element, long long value);

    QFFont& font_;
    std::shared_ptr<SWXMLWriter> xml_;
    std::optional<size_t> glyphID(const QFFont::GlyphPtr& glyph) const;

    // Glyph names in glyph ID order.
    std::vector<std::string> names_;
    std::unordered_map<const QFGlyph*, size_t> glyphIDs_;
};
