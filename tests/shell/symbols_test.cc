// Symbols are never blank and never a dot: the theme's symbolic icons keep their shape when
// recoloured, the program's own drawings stand in where the theme has no match.

#include "shell/symbols.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "shell/pixels.h"

namespace halvyn {
namespace {

QImage drawn(std::string_view symbol, bool fromTheme = true, QColor background = Qt::transparent) {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    QPainter p(&img);
    paintSymbol(p, QRectF(0, 0, 32, 32), symbol, Qt::white, fromTheme);
    return img;
}

bool ink(QRgb p) { return qAlpha(p) > 64; }
int inkOf(const QImage& img) { return test::countPixels(img, ink); }
int inkOf(std::string_view symbol, bool fromTheme = true) { return inkOf(drawn(symbol, fromTheme)); }

// The share of the ink's bounding box that is ink: a silhouette fills nearly all of it.
double fillOfBox(const QImage& img) {
    int x0 = img.width(), y0 = img.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (ink(img.pixel(x, y))) x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    if (x1 < 0) return 0;
    return static_cast<double>(inkOf(img)) / ((x1 - x0 + 1) * (y1 - y0 + 1));
}

TEST(Symbols, TheDisplaysMenuAndPagesShowRealShapesNotTheDot) {
    // The output devices, the tray menu's media items and the first-launch pages' symbols.
    for (const char* s : {"hifispeaker.fill", "display", "headphones", "play.fill", "pause.fill", "forward.end.fill",
                          "backward.end.fill", "music.note", "globe", "calendar", "sparkles", "hand.raised.fill",
                          "star", "bed.double.fill", "figure.walk", "tram.fill", "umbrella.fill", "megaphone.fill",
                          "ladybug.fill", "xmark.circle.fill"}) {
        SCOPED_TRACE(s);
        EXPECT_NE(symbolSource(s), SymbolSource::placeholder);
        const QImage img = drawn(s);
        EXPECT_GT(inkOf(img), 40);
        EXPECT_GT(test::alphaDiffers(img, drawn("no.such.symbol"), 100), 40) << "unlike the dot";
    }
    EXPECT_EQ(symbolSource("no.such.symbol"), SymbolSource::placeholder);
    EXPECT_GT(inkOf("no.such.symbol"), 20) << "never blank";
}

TEST(Symbols, ThemeIconsComeFromTheSymbolicSetAndKeepTheirShape) {
    // Found without any desktop theme setting, from the installed Adwaita theme.
    EXPECT_EQ(symbolSource("calendar"), SymbolSource::themeIcon);
    EXPECT_TRUE(symbolIconFile("calendar", 32).endsWith("x-office-calendar-symbolic.symbolic.png"));
    EXPECT_TRUE(symbolIconFile("play.fill", 20).contains("/24x24/")) << "the next size up";
    EXPECT_TRUE(symbolIconFile("play.fill", 500).contains("/96x96/")) << "the largest there is";
    EXPECT_TRUE(symbolIconFile("speaker.fill", 32).isEmpty()) << "a layer is always drawn";
    // Recoloured through the alpha: the calendar's grid and the bolt's zigzag stay open.
    EXPECT_LT(fillOfBox(drawn("calendar")), 0.8);
    EXPECT_LT(fillOfBox(drawn("bolt.fill")), 0.6);
    // An icon the theme draws wholly faint shows at full strength.
    EXPECT_GT(test::countPixels(drawn("cloud.fog.fill"), [](QRgb p) { return qAlpha(p) > 240; }), 0);
    const QImage red = symbolImage("calendar", QSize(32, 32), Qt::red);
    auto reddish = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 40 && qBlue(c) < 40; };
    EXPECT_GT(test::countPixels(red, [&](QRgb c) { return qAlpha(c) >= 250 && reddish(c); }), 100);
    EXPECT_EQ(test::countPixels(red, [&](QRgb c) { return qAlpha(c) >= 250 && !reddish(c); }), 0)
        << "one colour, whatever the theme drew";
}

TEST(Symbols, SpeakerLayersLineUpAndTheMutedSlashCutsOnlyTheSpeaker) {
    EXPECT_GT(inkOf("speaker.wave.1.fill", false), inkOf("speaker.fill", false));
    EXPECT_GT(inkOf("speaker.wave.2.fill", false), inkOf("speaker.wave.1.fill", false));
    const QImage muted = drawn("speaker.slash.fill");
    const QImage plain = drawn("speaker.fill", false);
    // The slash runs to the lower right, where the speaker alone has no ink.
    EXPECT_EQ(qAlpha(plain.pixel(26, 27)), 0);
    EXPECT_GT(qAlpha(muted.pixel(26, 27)), 200);
    // Its clear margin cuts the speaker, not the black behind it: on the notch's fill no pixel
    // goes transparent.
    EXPECT_EQ(test::countPixels(drawn("speaker.slash.fill", true, Qt::black), [](QRgb p) { return qAlpha(p) != 255; }), 0);
}

TEST(Symbols, EachSizeAndColourIsDrawnOnce) {
    const QImage& a = symbolImage("sun.max.fill", QSize(20, 20), Qt::white);
    const QImage& b = symbolImage("sun.max.fill", QSize(20, 20), Qt::white);
    EXPECT_EQ(&a, &b);
    const QImage& red = symbolImage("sun.max.fill", QSize(20, 20), Qt::red);
    EXPECT_NE(red.cacheKey(), a.cacheKey());
    EXPECT_EQ(symbolImage("sun.max.fill", QSize(40, 40), Qt::white).size(), QSize(40, 40));
}

}  // namespace
}  // namespace halvyn
