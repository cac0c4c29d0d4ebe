#include "fontexport/QFTTXDocumentWriter.h"

#include "fontexport/QFFont.h"
#include "fontexport/QFFontUnits.h"
#include "fontexport/SWMutableDataWriter.h"
#include "fontexport/SWXMLWriter.h"
#include "platform/core/Log.h"

#include <fmt/format.h>

#include <algorithm>
#include <cfloat>
#include <map>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace {

// The head table's date text. fontTools reads it with English day and
// month names and as UTC, so it is written that way whatever the user's
// locale and time zone.
std::string headDate(std::chrono::system_clock::time_point time) {
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString("EEE MMM d HH:mm:ss yyyy"),
                                 icu::Locale("en_US_POSIX"), status);
    format.adoptTimeZone(icu::TimeZone::createTimeZone("Etc/UTC"));
    auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    icu::UnicodeString text;
    format.format(static_cast<UDate>(milliseconds), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace

struct QFTTXDocumentWriter::Metrics {
    int32_t xMin, yMin, xMax, yMax;
    int32_t advanceWidthMax;
    int32_t xMaxExtent;
    int32_t xAvgCharWidth;
    std::vector<int32_t> advances;         // per glyph
    std::vector<std::string> charstrings;  // per glyph
};

lf::Result<QFTTXDocumentWriter::Metrics> QFTTXDocumentWriter::measure() {
    const auto& glyphs = font_.glyphs();
    VKRect box = font_.boundingBox();
    Metrics metrics{};
    struct Field {
        int32_t* destination;
        double value;
        QFFieldRange range;
        const char* name;
    };
    double widest = -DBL_MAX;
    // The sum starts at 10, not 0, as in every font written so far.
    double widthSum = 10.0;
    for (const auto& glyph : glyphs) {
        widest = std::max(widest, glyph->advancementX());
        widthSum += glyph->width();
    }
    // The list always holds ".notdef", so the average and the widest advance
    // are defined.
    const Field fields[] = {
        {&metrics.xMin, VKRectGetMinX(box), kQFSignedField, "font box minimum x"},
        {&metrics.yMin, VKRectGetMinY(box), kQFSignedField, "font box minimum y"},
        {&metrics.xMax, VKRectGetMaxX(box), kQFSignedField, "font box maximum x"},
        {&metrics.yMax, VKRectGetMaxY(box), kQFSignedField, "font box maximum y"},
        {&metrics.xMaxExtent, VKRectGetWidth(box), kQFSignedField, "font box width"},
        {&metrics.advanceWidthMax, widest, kQFUnsignedField, "widest advance"},
        {&metrics.xAvgCharWidth, widthSum / static_cast<double>(glyphs.size()), kQFSignedField,
         "average width"},
    };
    for (const auto& field : fields) {
        auto scaled = QFFontUnitsFromOutlineUnits(field.value, field.range, field.name);
        if (!scaled) return scaled.error();
        *field.destination = *scaled;
    }
    for (size_t i = 0; i < glyphs.size(); ++i) {
        auto advance = QFFontUnitsFromOutlineUnits(glyphs[i]->advancementX(), kQFUnsignedField,
                                                   fmt::format("advance of {}", names_[i]));
        if (!advance) return advance.error();
        auto charstring = glyphs[i]->postScriptType2Representation();
        if (!charstring) {
            lf::Error error = charstring.error();
            error.userInfo[lf::kLocalizedDescriptionKey] =
                fmt::format("Glyph {}: {}", names_[i], charstring.error().localizedDescription());
            return error;
        }
        metrics.advances.push_back(*advance);
        metrics.charstrings.push_back(std::move(*charstring));
    }
    return metrics;
}

lf::Result<lf::Data> QFTTXDocumentWriter::write() {
    const auto& glyphs = font_.glyphs();
    for (size_t id = 0; id < glyphs.size(); ++id) {
        names_.push_back(font_.nameForGlyph(glyphs[id], id));
        glyphIDs_.emplace(glyphs[id].get(), id);
    }
    auto metrics = measure();
    if (!metrics) return metrics.error();
    LigatureSets ligatures = ligatureSets();

    auto bytes = std::make_shared<SWMutableData>();
    auto output = std::make_shared<SWMutableDataWriter>(bytes, SWStringEncoding::UTF8);
    xml_ = std::make_shared<SWXMLWriter>(output, SWStringEncoding::UTF8);
    xml_->writeString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    xml_->startNewline();
    xml_->pushAttribute("sfntVersion", "OTTO");
    xml_->pushAttribute("ttLibVersion", "2.3");
    xml_->writeElement("ttFont", [&] {
        writeGlyphOrder();
        xml_->startNewline();
        writeHead(*metrics);
        xml_->startNewline();
        writeHorizontalHeader(*metrics);
        xml_->startNewline();
        writeMaximumProfile();
        xml_->startNewline();
        writeOS2(*metrics);
        xml_->startNewline();
        writeNames();
        xml_->startNewline();
        writeCharacterMap();
        xml_->startNewline();
        writePostScript();
        xml_->startNewline();
        writeCFF(*metrics);
        xml_->startNewline();
        if (!ligatures.empty()) {
            writeGlyphSubstitution(ligatures);
            xml_->startNewline();
        }
        writeHorizontalMetrics(*metrics);
    });
    xml_->startNewline();
    xml_->close();
    output->close();
    return lf::Data(std::move(*bytes));
}

void QFTTXDocumentWriter::writeValue(std::string_view element, std::string value) {
    xml_->pushAttribute("value", std::move(value));
    xml_->writeElement(element, std::nullopt);
}

void QFTTXDocumentWriter::writeValue(std::string_view element, long long value) {
    writeValue(element, std::to_string(value));
}

void QFTTXDocumentWriter::writeGlyphOrder() {
    xml_->writeElement("GlyphOrder", [&] {
        for (size_t id = 0; id < names_.size(); ++id) {
            xml_->pushAttribute("id", static_cast<long long>(id));
            xml_->pushAttribute("name", names_[id]);
            xml_->writeElement("GlyphID", std::nullopt);
        }
    });
}

void QFTTXDocumentWriter::writeHead(const Metrics& m) {
    std::string date = headDate(font_.clock_());
    xml_->writeElement("head", [&] {
        writeValue("tableVersion", "1.0");
        writeValue("fontRevision", "1.0");
        writeValue("checkSumAdjustment", "0xd2bf6516");
        writeValue("magicNumber", "0x5f0f3cf5");
        writeValue("flags", "00000000 00000011");
        writeValue("unitsPerEm", "1000");
        writeValue("created", date);
        writeValue("modified", date);
        writeValue("xMin", m.xMin);
        writeValue("yMin", m.yMin);
        writeValue("xMax", m.xMax);
        writeValue("yMax", m.yMax);
        writeValue("macStyle", "00000000 00000000");
        writeValue("lowestRecPPEM", "3");
        writeValue("fontDirectionHint", "2");
        writeValue("indexToLocFormat", "0");
        writeValue("glyphDataFormat", "0");
    });
}

void QFTTXDocumentWriter::writeHorizontalHeader(const Metrics& m) {
    xml_->writeElement("hhea", [&] {
        writeValue("tableVersion", "1.0");
        writeValue("ascent", m.yMax);
        writeValue("descent", m.yMin);
        writeValue("lineGap", "0");
        writeValue("advanceWidthMax", m.advanceWidthMax);
        writeValue("minLeftSideBearing", "0");
        writeValue("minRightSideBearing", "0");
        writeValue("xMaxExtent", m.xMaxExtent);
        writeValue("caretSlopeRise", "1");
        writeValue("caretSlopeRun", "0");
        writeValue("caretOffset", "0");
        for (const char* reserved : {"reserved0", "reserved1", "reserved2", "reserved3"})
            writeValue(reserved, "0");
        writeValue("metricDataFormat", "0");
        writeValue("numberOfHMetrics", static_cast<long long>(names_.size()));
    });
}

void QFTTXDocumentWriter::writeMaximumProfile() {
    xml_->writeElement("maxp", [&] {
        writeValue("tableVersion", "0x5000");
        writeValue("numGlyphs", static_cast<long long>(names_.size()));
    });
}

void QFTTXDocumentWriter::writeOS2(const Metrics& m) {
    static constexpr const char* kZeroRange = "00000000 00000000 00000000 00000000";
    xml_->writeElement("OS_2", [&] {
        writeValue("version", "3");
        writeValue("xAvgCharWidth", m.xAvgCharWidth);
        writeValue("usWeightClass", "400");
        writeValue("usWidthClass", "5");
        writeValue("fsType", "00000000 00000100");
        writeValue("ySubscriptXSize", "650");
        writeValue("ySubscriptYSize", "600");
        writeValue("ySubscriptXOffset", "0");
        writeValue("ySubscriptYOffset", "75");
        writeValue("ySuperscriptXSize", "650");
        writeValue("ySuperscriptYSize", "600");
        writeValue("ySuperscriptXOffset", "0");
        writeValue("ySuperscriptYOffset", "350");
        writeValue("yStrikeoutSize", "50");
        writeValue("yStrikeoutPosition", "300");
        writeValue("sFamilyClass", "0");
        xml_->writeElement("panose", [&] {
            for (const char* field :
                 {"bFamilyType", "bSerifStyle", "bWeight", "bProportion", "bContrast",
                  "bStrokeVariation", "bArmStyle", "bLetterForm", "bMidline", "bXHeight"})
                writeValue(field, "0");
        });
        for (const char* range :
             {"ulUnicodeRange1", "ulUnicodeRange2", "ulUnicodeRange3", "ulUnicodeRange4"})
            writeValue(range, kZeroRange);
        writeValue("achVendID", "");
        writeValue("fsSelection", "00000000 01000000");
        writeValue("fsFirstCharIndex", "32");
        writeValue("fsLastCharIndex", "65");
        writeValue("sTypoAscender", "750");
        writeValue("sTypoDescender", "-250");
        writeValue("sTypoLineGap", "0");
        writeValue("usWinAscent", "1000");
        writeValue("usWinDescent", "0");
        writeValue("ulCodePageRange1", "00000000 00000000 00000000 00000001");
        writeValue("ulCodePageRange2", kZeroRange);
        writeValue("sxHeight", "500");
        writeValue("sCapHeight", "700");
        writeValue("usDefaultChar", "32");
        writeValue("usBreakChar", "32");
        writeValue("usMaxContext", "0");
    });
}

void QFTTXDocumentWriter::writeNames() {
    const std::string& name = font_.name();
    lf::log("Name: {}", name);
    const std::pair<const char*, std::string> records[] = {
        {"1", name}, {"2", "Regular"}, {"4", name + " Regular"}, {"6", name}, {"19", "ABC"}};
    xml_->writeElement("name", [&] {
        for (const auto& [nameID, text] : records) {
            xml_->pushAttribute("nameID", nameID);
            xml_->pushAttribute("platformID", "0");
            xml_->pushAttribute("platEncID", "3");
            xml_->pushAttribute("langID", "0");
            xml_->writeElement("namerecord", std::string_view(text));
        }
    });
}

void QFTTXDocumentWriter::writeCharacterMap() {
    xml_->writeElement("cmap", [&] {
        xml_->pushAttribute("version", "0");
        xml_->writeElement("tableVersion", std::nullopt);
        xml_->pushAttribute("platformID", "0");
        xml_->pushAttribute("platEncID", "3");
        xml_->pushAttribute("language", "0");
        xml_->writeElement("cmap_format_4", [&] {
            // Ascending code units (the map's order). A glyph that left the
            // list has no ID to map to, so its characters are left out.
            for (const auto& [unit, glyph] : font_.characterMap_) {
                auto id = glyphID(glyph);
                if (!id) continue;
                xml_->pushAttribute("code", fmt::format("{:#x}", static_cast<unsigned>(unit)));
                xml_->pushAttribute("name", names_[*id]);
                xml_->writeElement("map", std::nullopt);
            }
        });
    });
}

void QFTTXDocumentWriter::writePostScript() {
    xml_->writeElement("post", [&] {
        writeValue("formatType", "3.0");
        writeValue("italicAngle", "0.0");
        writeValue("underlinePosition", "-75");
        writeValue("underlineThickness", "50");
        writeValue("isFixedPitch", "0");
        writeValue("minMemType42", "0");
        writeValue("maxMemType42", "0");
        writeValue("minMemType1", "0");
        writeValue("maxMemType1", "0");
    });
}

void QFTTXDocumentWriter::writeCFF(const Metrics& m) {
    const std::string& name = font_.name();
    xml_->writeElement("CFF", [&] {
        xml_->pushAttribute("name", name);
        xml_->writeElement("CFFFont", [&] {
            writeValue("version", "001.001");
            writeValue("Notice", "");
            writeValue("FullName", name);
            writeValue("FamilyName", name);
            writeValue("Weight", "Roman");
            writeValue("isFixedPitch", "0");
            writeValue("ItalicAngle", "0");
            writeValue("UnderlineThickness", "50");
            writeValue("PaintType", "0");
            writeValue("CharstringType", "2");
            writeValue("FontMatrix", "0.001 0 0 0.001 0 0");
            writeValue("FontBBox", fmt::format("{} {} {} {}", m.xMin, m.yMin, m.xMax, m.yMax));
            writeValue("StrokeWidth", "0");
            writeValue("Encoding", "StandardEncoding");
            xml_->writeElement("Private", [&] {
                writeValue("BlueValues", "0 0");
                writeValue("BlueScale", "0.039625");
                writeValue("BlueShift", "7");
                writeValue("BlueFuzz", "1");
                writeValue("ForceBold", "0");
                writeValue("LanguageGroup", "0");
                writeValue("ExpansionFactor", "0.06");
                writeValue("initialRandomSeed", "0");
                writeValue("defaultWidthX", "0");
                writeValue("nominalWidthX", "0");
            });
            xml_->writeElement("CharStrings", [&] {
                for (size_t id = 0; id < names_.size(); ++id) {
                    xml_->pushAttribute("name", names_[id]);
                    xml_->writeElement("CharString", [&] {
                        // One operator per line, unescaped: charstrings hold
                        // only numbers and operator names.
                        xml_->startNewline();
                        std::string_view text = m.charstrings[id];
                        while (!text.empty()) {
                            size_t end = std::min(text.find('\n'), text.size());
                            xml_->writeString(text.substr(0, end));
                            xml_->startNewline();
                            text.remove_prefix(std::min(end + 1, text.size()));
                        }
                    });
                }
            });
        });
    });
}

std::optional<size_t> QFTTXDocumentWriter::glyphID(const QFFont::GlyphPtr& glyph) const {
    auto id = glyphIDs_.find(glyph.get());
    if (id == glyphIDs_.end()) return std::nullopt;
    return id->second;
}

QFTTXDocumentWriter::LigatureSets QFTTXDocumentWriter::ligatureSets() const {
    LigatureSets sets;
    for (const auto& [units, glyph] : font_.ligatureMap_) {
        auto ligatureID = glyphID(glyph);
        if (units.size() < 2 || !ligatureID) continue;
        std::vector<size_t> ids;
        for (char16_t unit : units) {
            auto mapped = font_.characterMap_.find(unit);
            auto id = mapped == font_.characterMap_.end() ? std::nullopt : glyphID(mapped->second);
            if (!id) break;
            ids.push_back(*id);
        }
        if (ids.size() != units.size()) continue;
        Ligature ligature{{}, names_[*ligatureID]};
        for (size_t i = 1; i < ids.size(); ++i)
            ligature.components.push_back(names_[ids[i]]);
        sets[ids[0]].push_back(std::move(ligature));
    }
    // Longer ligatures first, so that a shorter one with the same start does
    // not shadow them.
    for (auto& [first, ligatures] : sets) {
        std::stable_sort(ligatures.begin(), ligatures.end(), [](const auto& a, const auto& b) {
            return a.components.size() > b.components.size();
        });
    }
    return sets;
}

void QFTTXDocumentWriter::writeGlyphSubstitution(const LigatureSets& sets) {
    // One "liga" feature for the default script, with one ligature lookup.
    // The version is written in hex, which fontTools reads without warning
    // about a table version given as a fraction.
    xml_->writeElement("GSUB", [&] {
        writeValue("Version", "0x00010000");
        xml_->writeElement("ScriptList", [&] {
            xml_->pushAttribute("index", "0");
            xml_->writeElement("ScriptRecord", [&] {
                writeValue("ScriptTag", "DFLT");
                xml_->writeElement("Script", [&] {
                    xml_->writeElement("DefaultLangSys", [&] {
                        writeValue("ReqFeatureIndex", "65535");
                        xml_->pushAttribute("index", "0");
                        writeValue("FeatureIndex", "0");
                    });
                });
            });
        });
        xml_->writeElement("FeatureList", [&] {
            xml_->pushAttribute("index", "0");
            xml_->writeElement("FeatureRecord", [&] {
                writeValue("FeatureTag", "liga");
                xml_->writeElement("Feature", [&] {
                    xml_->pushAttribute("index", "0");
                    writeValue("LookupListIndex", "0");
                });
            });
        });
        xml_->writeElement("LookupList", [&] {
            xml_->pushAttribute("index", "0");
            xml_->writeElement("Lookup", [&] {
                writeValue("LookupType", "4");
                writeValue("LookupFlag", "0");
                xml_->pushAttribute("index", "0");
                xml_->writeElement("LigatureSubst", [&] {
                    for (const auto& [first, ligatures] : sets) {
                        xml_->pushAttribute("glyph", names_[first]);
                        // Captured by name: clang 14 captures no structured
                        // binding implicitly.
                        xml_->writeElement("LigatureSet", [&, &ligatures = ligatures] {
                            for (const auto& ligature : ligatures) {
                                std::string components;
                                for (const auto& component : ligature.components)
                                    components += (components.empty() ? "" : ",") + component;
                                xml_->pushAttribute("components", components);
                                xml_->pushAttribute("glyph", ligature.glyph);
                                xml_->writeElement("Ligature", std::nullopt);
                            }
                        });
                    }
                });
            });
        });
    });
}

void QFTTXDocumentWriter::writeHorizontalMetrics(const Metrics& m) {
    xml_->writeElement("hmtx", [&] {
        for (size_t id = 0; id < names_.size(); ++id) {
            xml_->pushAttribute("name", names_[id]);
            xml_->pushAttribute("width", m.advances[id]);
            xml_->pushAttribute("lsb", "0");
            xml_->writeElement("mtx", std::nullopt);
        }
    });
}
