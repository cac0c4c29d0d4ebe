#pragma once
// The application's own pictures, each painted in points onto a painter
// that scales them to 1x or 2x pixels.

#include <QPainter>
#include <QSize>

#include <functional>
#include <vector>

struct Picture {
    const char* name;
    QSize size;  // points
    // Only the alpha channel counts (drawn in black).
    bool isTemplate;
    // Paints into `painter` at `scale` pixels per point; the canvas starts
    // transparent.
    std::function<void(QPainter& painter, double scale)> paint;
};

std::vector<Picture> allPictures();
