#include "kit/gui/OMImageContext.h"

#include "platform/core/Log.h"

#include <QGuiApplication>
#include <QScreen>

#include <climits>
#include <cmath>
#include <vector>

namespace {

struct ImageContext {
    double scale = 1;
    // Declared in this order so the painter ends before the bitmap goes.
    std::vector<uchar> pixels;
    QImage bitmap;
    QPainter painter;
};

std::vector<std::unique_ptr<ImageContext>>& contextStack() {
    thread_local std::vector<std::unique_ptr<ImageContext>> stack;
    return stack;
}

double primaryScreenScale() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 1.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

}  // namespace

QPainter* OMBeginImageContextWithOptions(bool opaque, bool flipped, double width, double height,
                                         double scale) {
    if (scale == 0) scale = primaryScreenScale();
    const double pixelWidth = std::ceil(width * scale), pixelHeight = std::ceil(height * scale);
    // QImage addresses its rows with int byte offsets.
    if (!(pixelWidth >= 1 && pixelHeight >= 1 && pixelWidth <= INT_MAX / 4 - 4 &&
          (std::ceil(pixelWidth * 4 / 16) * 16) * pixelHeight <= INT_MAX))
        return nullptr;
    const int columns = static_cast<int>(pixelWidth), rows = static_cast<int>(pixelHeight);
    const int bytesPerRow = (columns * 4 + 15) / 16 * 16;

    auto context = std::make_unique<ImageContext>();
    context->scale = scale;
    context->pixels.assign(static_cast<size_t>(bytesPerRow) * rows, 0);
    context->bitmap = QImage(context->pixels.data(), columns, rows, bytesPerRow,
                             opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    if (opaque) context->bitmap.fill(Qt::black);
    if (!context->painter.begin(&context->bitmap)) return nullptr;
    context->painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                                    QPainter::TextAntialiasing);
    if (flipped) {
        context->painter.scale(scale, scale);
    } else {
        context->painter.translate(0, rows);
        context->painter.scale(scale, -scale);
    }
    QPainter* painter = &context->painter;
    contextStack().push_back(std::move(context));
    return painter;
}

QPainter* OMBeginImageContext(double width, double height) {
    return OMBeginImageContextWithOptions(false, true, width, height, 1.0);
}

QPainter* OMCurrentImageContext() {
    const auto& stack = contextStack();
    return stack.empty() ? nullptr : &stack.back()->painter;
}

double OMCurrentImageContextScale() {
    const auto& stack = contextStack();
    return stack.empty() ? 0 : stack.back()->scale;
}

QImage OMCreateImageFromImageContext() {
    const auto& stack = contextStack();
    return stack.empty() ? QImage() : stack.back()->bitmap.copy();
}

std::shared_ptr<OMImage> OMImageFromImageContext() {
    const auto& stack = contextStack();
    if (stack.empty()) return nullptr;
    return std::make_shared<OMImage>(
        OMImage::fromBitmap(stack.back()->bitmap.copy(), stack.back()->scale));
}

void OMEndImageContext() {
    auto& stack = contextStack();
    if (stack.empty()) {
        lf::log("*** OMEndImageContext without an image context");
        return;
    }
    stack.pop_back();
}
