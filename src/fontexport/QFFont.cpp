#include "fontexport/QFFont.h"

#include "fontexport/QFFontError.h"
#include "fontexport/QFTTXDocumentWriter.h"
#include "fontexport/SWXMLCharacters.h"

#include <fmt/format.h>

#include <algorithm>
#include <unicode/unistr.h>
#include <unordered_set>

namespace {

constexpr double kEmptyGlyphWidth = 5.0;

std::u16string utf16CodeUnits(std::string_view characters) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(characters.data(), static_cast<int32_t>(characters.size())));
    return std::u16string(text.getBuffer(), static_cast<size_t>(text.length()));
}

}  // namespace

QFFont::QFFont() {
    notdef_ = insertEmptyGlyph(".notdef", std::nullopt);
    insertEmptyGlyph("space", u' ');
}

QFFont::GlyphPtr QFFont::insertEmptyGlyph(std::string name, std::optional<char16_t> character) {
    auto glyph = std::make_shared<QFGlyph>();
    glyph->setWidth(kEmptyGlyphWidth);
    glyph->setAdvancementX(kEmptyGlyphWidth);
    addGlyph(glyph);
    if (character) characterMap_[*character] = glyph;
    if (!name.empty()) recordName(glyph, std::move(name));
    return glyph;
}

void QFFont::setGlyphs(std::vector<GlyphPtr> glyphs) {
    invalidateCaches();
    glyphs_.assign(1, notdef_);
    std::unordered_set<const QFGlyph*> listed = {notdef_.get()};
    for (auto& glyph : glyphs) {
        if (glyph && listed.insert(glyph.get()).second) glyphs_.push_back(std::move(glyph));
    }
}

void QFFont::addGlyph(GlyphPtr glyph) {
    invalidateCaches();
    if (glyph && std::find(glyphs_.begin(), glyphs_.end(), glyph) == glyphs_.end())
        glyphs_.push_back(std::move(glyph));
}

void QFFont::mapGlyph(GlyphPtr glyph, std::string_view characters) {
    invalidateCaches();
    std::u16string units = utf16CodeUnits(characters);
    if (units.size() == 1) {
        characterMap_[units[0]] = std::move(glyph);
        return;
    }
    ligatureMap_[units] = std::move(glyph);
    for (char16_t unit : units) {
        if (!characterMap_.contains(unit)) insertEmptyGlyph({}, unit);
    }
}

VKRect QFFont::boundingBox() const {
    VKRect box = VKRectZero;
    for (const auto& glyph : glyphs_)
        box = VKRectUnion(box, glyph->boundingBox());
    return box;
}

std::optional<std::string> QFFont::nameForGlyph(const GlyphPtr& glyph) {
    if (!glyph) return std::nullopt;
    if (auto recorded = glyphNames_.find(glyph); recorded != glyphNames_.end())
        return recorded->second;
    auto position = std::find(glyphs_.begin(), glyphs_.end(), glyph);
    if (position == glyphs_.end()) return std::nullopt;
    return nameForGlyph(glyph, static_cast<size_t>(position - glyphs_.begin()));
}

std::string QFFont::nameForGlyph(const GlyphPtr& glyph, size_t index) {
    auto recorded = glyphNames_.find(glyph);
    if (recorded == glyphNames_.end()) {
        recordName(glyph, fmt::format("glyph{}", index));
        recorded = glyphNames_.find(glyph);
    }
    return recorded->second;
}

void QFFont::recordName(const GlyphPtr& glyph, std::string name) {
    if (usedNames_.contains(name)) {
        // Names of glyphs that are gone are free again.
        std::erase_if(glyphNames_, [this](const auto& entry) {
            if (!entry.first.expired()) return false;
            usedNames_.erase(entry.second);
            return true;
        });
    }
    std::string unique = name;
    for (int suffix = 1; usedNames_.contains(unique); ++suffix)
        unique = fmt::format("{}.{}", name, suffix);
    usedNames_.insert(unique);
    glyphNames_[glyph] = std::move(unique);
}

void QFFont::invalidateCaches() {
    convertedForms_.reset();
}

lf::Result<lf::Data> QFFont::ttxRepresentation() {
    if (name_.empty())
        return QFFontMakeError(QFFontErrorMissingName, "The font has no name to write.");
    // The name is the only text of the document that does not come from the
    // model itself (glyph names are ".notdef", "space" and "glyph<index>").
    if (auto fault = SWFindXMLTextFault(name_)) {
        return QFFontMakeError(
            QFFontErrorTextNotXML,
            fmt::format("The font name holds {}, which a TTX document cannot carry.",
                        fault->description()));
    }
    return QFTTXDocumentWriter(*this).write();
}

lf::Status QFFont::buildCaches() {
    auto document = ttxRepresentation();
    if (!document) return document.error();
    auto converted = QFConvertTTXDocument(*document, conversionTimeLimit_);
    if (!converted) return converted.error();
    convertedForms_ = std::move(*converted);
    return {};
}

lf::Result<lf::Data> QFFont::sfntRepresentation() {
    if (!convertedForms_) LF_TRY(buildCaches());
    return convertedForms_->sfntData;
}

lf::Result<lf::Data> QFFont::woffRepresentation() {
    if (!convertedForms_) LF_TRY(buildCaches());
    return convertedForms_->woffData;
}
