#pragma once
// System symbols by their names ("speaker.wave.2.fill", "sun.max.fill", …): one table for the
// whole program. A symbol is drawn from the installed Adwaita theme's symbolic icons (the first of
// its fallback chain that is installed), recoloured through its alpha so its shape stays, or by
// the program's own small vector drawing where the theme has no good match.

#include <string_view>
#include <vector>

#include <QSize>
#include <QString>

class QColor;
class QImage;
class QPainter;
class QRectF;

namespace halvyn {

// Where a symbol's pixels come from.
enum class SymbolSource { themeIcon, drawn, placeholder };

// `fromTheme` false skips the icon theme (used where layers of one symbol must line up exactly).
// A name the table lacks, or whose icons are all missing and which has no drawing, is the
// placeholder: a filled dot, so a display is never blank.
SymbolSource symbolSource(std::string_view symbol, bool fromTheme = true);

// The symbolic icon file a symbol is drawn from at about `pixels` square; empty when it is drawn.
QString symbolIconFile(std::string_view symbol, int pixels);

// Every symbol name the table knows, in table order.
std::vector<std::string_view> tableSymbols();

// Picks an icon theme when the platform gave none, so named application icons can resolve.
void ensureIconTheme();

// Paints `symbol` in `color` into `rect`, keeping its aspect ratio.
void paintSymbol(QPainter& p, const QRectF& rect, std::string_view symbol, const QColor& color,
                 bool fromTheme = true);

// The symbol drawn alone into a clear image of `size` pixels, kept for later frames.
const QImage& symbolImage(std::string_view symbol, QSize size, const QColor& color, bool fromTheme = true);

// The program's own drawing alone; returns false for a symbol it has none for (the placeholder
// dot is drawn then).
bool paintDrawnSymbol(QPainter& p, const QRectF& rect, std::string_view symbol, const QColor& color);

// A battery outline filled to `level` (0 to 1), with a bolt while charging.
void paintBatteryGlyph(QPainter& p, const QRectF& rect, double level, bool charging, const QColor& color);

}  // namespace halvyn
