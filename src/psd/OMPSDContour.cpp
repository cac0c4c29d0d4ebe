#include "psd/OMPSDContour.h"

#include "psd/OMPSDDescriptorDecoder.h"

OMPSDContour::OMPSDContour(std::vector<OMPSDContourPoint> points) : points_(std::move(points)) {}

std::shared_ptr<const OMPSDContour> OMPSDContour::fromDescriptor(const OMPSDDescriptorDecoder& d) {
    const auto* curve = d.listForKey("Crv ");
    if (!curve) return nullptr;
    std::vector<OMPSDContourPoint> points;
    for (const auto& item : *curve) {
        if (!item.object) continue;
        double h = 0, v = 0;
        item.object->decodeDouble(&h, "Hrzn");
        item.object->decodeDouble(&v, "Vrtc");
        points.emplace_back(h / 255.0, v / 255.0, item.object->boolForKey("Cnty", true));
    }
    if (points.empty()) return nullptr;
    return std::make_shared<OMPSDContour>(std::move(points));
}

std::vector<std::shared_ptr<const OMPSDContour>> OMPSDContour::continuousPieces() const {
    std::vector<std::shared_ptr<const OMPSDContour>> pieces;
    std::vector<OMPSDContourPoint> current;
    for (const auto& point : points_) {
        OMPSDContourPoint smooth(point.horizontal(), point.vertical(), true);
        current.push_back(smooth);
        if (!point.isContinuous()) {
            if (current.size() >= 2) pieces.push_back(std::make_shared<OMPSDContour>(current));
            current.assign(1, smooth);
        }
    }
    if (current.size() >= 2) pieces.push_back(std::make_shared<OMPSDContour>(std::move(current)));
    return pieces;
}
