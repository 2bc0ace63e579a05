#pragma once
// Counting what a painted frame shows in a part of it.

#include <QImage>
#include <QRectF>

#include <cstdlib>

namespace halvyn::test {

// Pixels inside `area` (clipped to the image) for which `keep(pixel)` holds.
template <class Keep>
int countPixels(const QImage& img, QRect area, Keep keep) {
    area &= img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += keep(img.pixel(x, y)) ? 1 : 0;
    return n;
}
template <class Keep>
int countPixels(const QImage& img, Keep keep) {
    return countPixels(img, img.rect(), keep);
}

inline bool opaque(QRgb p) { return qAlpha(p) > 127; }

// Light, opaque pixels (text, symbols) inside `r`, in the image's pixels.
inline int lightPixels(const QImage& img, const QRectF& r) {
    const QRect area(QPoint(int(r.left()), int(r.top())), QPoint(int(r.right()) - 1, int(r.bottom()) - 1));
    if (area.isEmpty()) return 0;
    return countPixels(img, area, [](QRgb p) { return qGray(p) > 120 && qAlpha(p) > 200; });
}

// Opaque pixels in a row / column: the outline's extent there.
inline int rowCoverage(const QImage& img, int y) { return countPixels(img, QRect(0, y, img.width(), 1), opaque); }
inline int columnCoverage(const QImage& img, int x) { return countPixels(img, QRect(x, 0, 1, img.height()), opaque); }

// Pixels whose opacity differs by more than `by` between two images of one size.
inline int alphaDiffers(const QImage& a, const QImage& b, int by) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) > by;
    return n;
}

}  // namespace halvyn::test
