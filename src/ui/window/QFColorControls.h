#pragma once
// Colour controls on a bitmap: saturation, brightness and contrast, as the
// window chrome greys its textures and pictures out in inactive windows.
//
// Per pixel, on straight (not premultiplied) colour in 0...1, alpha kept:
//   grey = 0.2125 r + 0.7154 g + 0.0721 b        (Rec. 709 luma)
//   c = grey + saturation x (c - grey)           (0 grey, 1 unchanged)
//   c = c + brightness                           (0 unchanged)
//   c = (c - 0.5) x contrast + 0.5               (1 unchanged)
// and clamped to 0...1.
//
// Threads: plain functions.

#include <QImage>

struct QFColorControlsSettings {
    double saturation = 1.0;
    double brightness = 0.0;
    double contrast = 1.0;
};

// A new 8-bit RGBA bitmap (straight alpha) of `image`'s pixel size run
// through the controls; a null image for a null one.
QImage QFApplyColorControls(const QImage& image, const QFColorControlsSettings& settings);
