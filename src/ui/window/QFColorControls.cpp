#include "ui/window/QFColorControls.h"

#include <algorithm>
#include <array>
#include <cmath>

QImage QFApplyColorControls(const QImage& image, const QFColorControlsSettings& settings) {
    if (image.isNull()) return {};
    QImage result = image.convertToFormat(QImage::Format_RGBA8888);
    result.setDevicePixelRatio(1.0);
    for (int y = 0; y < result.height(); ++y) {
        uchar* pixel = result.scanLine(y);
        for (int x = 0; x < result.width(); ++x, pixel += 4) {
            std::array<double, 3> c = {pixel[0] / 255.0, pixel[1] / 255.0, pixel[2] / 255.0};
            const double grey = 0.2125 * c[0] + 0.7154 * c[1] + 0.0721 * c[2];
            for (int i = 0; i < 3; ++i) {
                double v = grey + settings.saturation * (c[i] - grey);
                v += settings.brightness;
                v = (v - 0.5) * settings.contrast + 0.5;
                pixel[i] = static_cast<uchar>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
            }
        }
    }
    return result;
}
