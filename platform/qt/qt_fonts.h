// Fonts at the Qt edge: the runtime's font definitions as pixel-sized QFonts,
// so one painting routine serves screens and printers alike.
#pragma once
#include <QFont>

#include "platform/platform.h"

namespace platform::qt {

// The font for `spec`, sized as the system's fonts are: `height` is the line
// height (ascent + descent) in pixels and `width`, when positive, the
// average character width (the face is stretched to it); weight 400 normal,
// 700 bold (0 means 400). A face that is not installed, and an empty face,
// give a fixed-pitch face. Height 0 or less takes the system fixed font's
// height; sizes are clamped to 2048 pixels.
QFont makeFont(const FontSpec& spec);

// The system's fixed-pitch font.
QFont systemFixedFont();

// Character-cell metrics of `font` on the screen: average character width
// and line height.
FontMetrics metricsOf(const QFont& font);

}  // namespace platform::qt
