#include "FontTestSupport.h"

#include <gtest/gtest.h>

#include <unicode/locid.h>

namespace lf::test {

std::chrono::system_clock::time_point fixedFontDate() {
    return std::chrono::system_clock::time_point(std::chrono::seconds(1709644029));
}

std::shared_ptr<const VKCompoundPath> polygonOutline(const std::vector<VKPoint>& points) {
    std::vector<VKKnot> knots;
    for (VKPoint point : points)
        knots.push_back(VKKnot::corner(point));
    return std::make_shared<VKCompoundPath>(
        VKCompoundPath::PathList{std::make_shared<VKPath>(std::move(knots), true)});
}

std::shared_ptr<QFGlyph> makeGlyph(std::shared_ptr<const VKCompoundPath> outline, double width,
                                   double advance) {
    auto glyph = std::make_shared<QFGlyph>();
    glyph->setOutline(std::move(outline));
    glyph->setWidth(width);
    glyph->setAdvancementX(advance);
    return glyph;
}

std::unique_ptr<pugi::xml_document> parsedXML(std::string_view text) {
    auto document = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result parsed =
        document->load_buffer(text.data(), text.size(), pugi::parse_full, pugi::encoding_utf8);
    EXPECT_TRUE(parsed) << parsed.description() << " at byte " << parsed.offset << " of:\n" << text;
    return document;
}

std::string ttxText(QFFont& font) {
    auto document = font.ttxRepresentation();
    EXPECT_TRUE(document) << (document ? "" : describe(document.error()));
    if (!document) return {};
    std::string text(document->stringView());
    parsedXML(text);
    return text;
}

ScopedICUDefaults::ScopedICUDefaults(const char* locale, const char* timeZone)
    : previousLocale_(icu::Locale::getDefault().getName()),
      previousZone_(icu::TimeZone::createDefault()) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(locale), status);
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(timeZone));
}

ScopedICUDefaults::~ScopedICUDefaults() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(previousLocale_.c_str()), status);
    icu::TimeZone::adoptDefault(previousZone_.release());
}

}  // namespace lf::test
