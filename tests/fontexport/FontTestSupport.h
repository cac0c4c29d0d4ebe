#pragma once
// Fonts and glyphs for the font exporter's tests, parsing of what the
// writers write, and scoped settings of ICU's defaults.

#include "fontexport/QFFont.h"
#include "support/TestSupport.h"

#include <chrono>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unicode/timezone.h>
#include <vector>

namespace lf::test {

// 2024-03-05 13:07:09 UTC, a Tuesday.
std::chrono::system_clock::time_point fixedFontDate();

// A closed path through the points, corner knots only.
std::shared_ptr<const VKCompoundPath> polygonOutline(const std::vector<VKPoint>& points);
std::shared_ptr<QFGlyph> makeGlyph(std::shared_ptr<const VKCompoundPath> outline, double width,
                                   double advance);

// The XML text parsed with its comments and CDATA sections kept; fails the
// test, saying where, when it does not parse.
std::unique_ptr<pugi::xml_document> parsedXML(std::string_view text);

// The TTX document as text; fails the test when it cannot be written or
// does not parse.
std::string ttxText(QFFont& font);

// Sets ICU's default locale and time zone for the object's life, as a
// user's settings would.
class ScopedICUDefaults {
public:
    ScopedICUDefaults(const char* locale, const char* timeZone);
    ~ScopedICUDefaults();
    ScopedICUDefaults(const ScopedICUDefaults&) = delete;
    ScopedICUDefaults& operator=(const ScopedICUDefaults&) = delete;

private:
    std::string previousLocale_;
    std::unique_ptr<icu::TimeZone> previousZone_;
};

}  // namespace lf::test
