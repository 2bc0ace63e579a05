#pragma once
// The named colours of the notch's drawing.

#include <QColor>

namespace halvyn {

inline QColor roseColor() { return QColor(0xF2, 0x3B, 0x5F); }
inline QColor reddishOrangeColor() { return QColor(0xF9, 0x5D, 0x2E); }
inline QColor emeraldColor() { return QColor(0x1F, 0xC2, 0x7E); }
// The warning colour: a volume amplified past full.
inline QColor amberColor() { return QColor(0xFF, 0x9F, 0x0A); }

}  // namespace halvyn
