// Symbols are never blank: from the icon theme when it has them, drawn otherwise.

#include "shell/symbols.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace halvyn {
namespace {

QImage drawn(std::string_view symbol, bool fromTheme = true, QColor background = Qt::transparent) {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    QPainter p(&img);
    paintSymbol(p, QRectF(0, 0, 32, 32), symbol, Qt::white, fromTheme);
    return img;
}

int inkOf(std::string_view symbol, bool fromTheme = true) {
    const QImage img = drawn(symbol, fromTheme);
    int ink = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ink += qAlpha(img.pixel(x, y)) > 64;
    return ink;
}

TEST(Symbols, NeverBlank) {
    ensureIconTheme();
    for (const char* s : {"speaker.fill", "speaker.wave.2.fill", "sun.max.fill", "sun.min.fill", "battery.25",
                          "bolt.fill", "play.fill", "headphones", "no.such.symbol"})
        EXPECT_GT(inkOf(s), 20) << s;
    // The speaker's layers line up: each adds to the one below.
    EXPECT_GT(inkOf("speaker.wave.1.fill", false), inkOf("speaker.fill", false));
    EXPECT_GT(inkOf("speaker.wave.2.fill", false), inkOf("speaker.wave.1.fill", false));
}

TEST(Symbols, TheMutedSpeakerIsSlashedWithoutCuttingIntoTheNotch) {
    ensureIconTheme();
    const QImage muted = drawn("speaker.slash.fill");
    const QImage plain = drawn("speaker.fill", false);
    // The slash runs to the lower right, where the speaker alone has no ink.
    EXPECT_EQ(qAlpha(plain.pixel(26, 27)), 0);
    EXPECT_GT(qAlpha(muted.pixel(26, 27)), 200);
    // Its clear margin cuts the speaker, not the black behind it: on the notch's fill no pixel
    // goes transparent.
    const QImage onBlack = drawn("speaker.slash.fill", true, Qt::black);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(qAlpha(onBlack.pixel(x, y)), 255) << x << "," << y;
    EXPECT_GT(inkOf("lock.fill"), 60);
}

TEST(Symbols, EachSizeAndColourIsDrawnOnce) {
    const QImage& a = symbolImage("sun.max.fill", QSize(20, 20), Qt::white);
    const QImage& b = symbolImage("sun.max.fill", QSize(20, 20), Qt::white);
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(a.cacheKey(), b.cacheKey());
    const QImage& red = symbolImage("sun.max.fill", QSize(20, 20), Qt::red);
    EXPECT_NE(red.cacheKey(), a.cacheKey());
    EXPECT_EQ(symbolImage("sun.max.fill", QSize(40, 40), Qt::white).size(), QSize(40, 40));
}

}  // namespace
}  // namespace halvyn
