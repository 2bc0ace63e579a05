#pragma once
// System symbols by their names ("speaker.wave.2.fill", "sun.max.fill", …), drawn from the
// desktop's icon theme where it has a match and drawn by hand otherwise, so a missing icon never
// leaves a display blank.

#include <string_view>

#include <QSize>

class QColor;
class QImage;
class QPainter;
class QRectF;

namespace halvyn {

// The freedesktop icon name for a symbol, or nullptr when the table has none.
const char* freedesktopIconName(std::string_view symbol);

// Picks an icon theme when the platform gave none, so the table's names can resolve.
void ensureIconTheme();

// Paints `symbol` in `color` into `rect`, keeping its aspect ratio. `fromTheme` false skips the
// icon theme (used where layers of one symbol must line up exactly).
void paintSymbol(QPainter& p, const QRectF& rect, std::string_view symbol, const QColor& color,
                 bool fromTheme = true);

// The symbol drawn alone into a clear image of `size` pixels, kept for later frames.
const QImage& symbolImage(std::string_view symbol, QSize size, const QColor& color, bool fromTheme = true);

// The hand-drawn version alone; returns false for a symbol it does not know (a filled dot is
// drawn then, still never blank).
bool paintDrawnSymbol(QPainter& p, const QRectF& rect, std::string_view symbol, const QColor& color);

// A battery outline filled to `level` (0 to 1), with a bolt while charging.
void paintBatteryGlyph(QPainter& p, const QRectF& rect, double level, bool charging, const QColor& color);

}  // namespace halvyn
