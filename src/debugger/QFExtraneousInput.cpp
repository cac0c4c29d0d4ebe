#include "debugger/QFExtraneousInput.h"

#include "geometry/VKGeometryStrings.h"

#include <QRegularExpression>
#include <QString>

#include <string>

namespace {

template <typename Function>
void forEachLine(std::string_view text, Function&& function) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        function(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

std::vector<VKPoint> QFExtraneousPointsFromText(std::string_view text) {
    std::vector<VKPoint> points;
    forEachLine(text, [&](std::string_view line) {
        int numbersRead = 0;
        const VKPoint point = VKPointFromString(line, &numbersRead);
        if (numbersRead == 2) points.push_back(point);
    });
    return points;
}

std::vector<VKPathSegment> QFExtraneousPathSegmentsFromText(std::string_view text,
                                                            bool arrowFormat) {
    std::string plain(text);
    if (arrowFormat) {
        static const QRegularExpression arrowLine("(.+) -> (.+) / cp1: (.+), cp2: (.+)");
        plain = QString::fromUtf8(plain.data(), static_cast<qsizetype>(plain.size()))
                    .replace(arrowLine, "{\\1, \\2, \\3, \\4}")
                    .toStdString();
    }
    std::vector<VKPathSegment> segments;
    forEachLine(plain, [&](std::string_view line) {
        int numbersRead = 0;
        // Read in the typed order: start, end, control point 1, control point 2.
        const VKPathSegment typed = VKPathSegmentFromString(line, &numbersRead);
        if (numbersRead == 8)
            segments.push_back({typed.start, typed.controlPoint2, typed.end, typed.controlPoint1});
    });
    return segments;
}
