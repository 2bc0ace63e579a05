// Symbols are never blank: from the icon theme when it has them, drawn otherwise.

#include "shell/symbols.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace halvyn {
namespace {

int inkOf(std::string_view symbol, bool fromTheme = true) {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        paintSymbol(p, QRectF(0, 0, 32, 32), symbol, Qt::white, fromTheme);
    }
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

}  // namespace
}  // namespace halvyn
