#pragma once
// Counting what a painted frame shows in a part of it.

#include <QImage>
#include <QRectF>

#include <algorithm>

namespace halvyn::test {

// Light, opaque pixels (text, symbols) inside `r`, in the image's pixels.
inline int lightPixels(const QImage& img, const QRectF& r) {
    int n = 0;
    for (int y = std::max(0, int(r.top())); y < std::min(img.height(), int(r.bottom())); ++y)
        for (int x = std::max(0, int(r.left())); x < std::min(img.width(), int(r.right())); ++x)
            n += qGray(img.pixel(x, y)) > 120 && qAlpha(img.pixel(x, y)) > 200;
    return n;
}

// Opaque pixels in a row / column: the outline's extent there.
inline int rowCoverage(const QImage& img, int y) {
    int n = 0;
    for (int x = 0; x < img.width(); ++x) n += qAlpha(img.pixel(x, y)) > 127;
    return n;
}
inline int columnCoverage(const QImage& img, int x) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) n += qAlpha(img.pixel(x, y)) > 127;
    return n;
}

}  // namespace halvyn::test
