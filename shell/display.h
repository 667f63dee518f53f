// The runtime's display settings: the font table (the font in use for
// screens) and the default screen geometry.
//
// The font table holds up to 7 definitions; the font in use is the last one
// defined. Screens take their character cell from it.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"
#include "platform/platform.h"

namespace rt {

constexpr std::uint16_t FONT_TABLE_SIZE = 7;
constexpr std::uint16_t FONT_FACE_MAX = 31;

struct FontEntry {
    std::int16_t height = 0;
    std::int16_t width = 0;
    std::uint16_t weight = 400;
    char face[FONT_FACE_MAX + 1] = {};
};

// Adds a definition. Height or width -1 are taken from the system font's
// metrics; weight 0 means 400 and 1 means 700; a face longer than 31
// characters leaves the face empty. Returns 0, or 168 (DATAOUTBOUND) when
// the table is full (the definition is then ignored).
ErrCode FontDefine(int height, int width, int weight, StrDesc face);

// Number of definitions made so far.
std::uint16_t FontCount();
// Definition n (1-based); false when there is no such entry.
bool FontGet(std::uint16_t n, FontEntry& out);
// The font in use: the last definition; false when none was made (screens
// then use the system font).
bool FontCurrent(FontEntry& out);

// The font made from an entry: height - 3, width - max(width / 16 rounded
// half away from zero, 1), the entry's weight and face.
platform::FontSpec FontCreateSpec(const FontEntry& e);

// Defines the next font from the first line of VKFONT.PPN in the data
// folders ("height;width;style;face", weight 700 when style contains
// "BOLD"). A missing or empty file defines nothing and returns 0.
ErrCode FontLoadFile();

// Empties the font table (runtime shutdown, tests).
void FontReset();

// Screen layout record: window width in columns, height in rows, left and
// top margins, extra rows below the last row, line spacing in percent.
struct ScreenLayout {
    std::uint16_t columns = 80;
    std::uint16_t rows = 25;
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t extra = 0;
    std::uint16_t spacing = 0;
};

// Sets the default screen geometry (the runtime default is 80 x 25, all else 0).
void ScreenGeometry(std::uint16_t columns, std::uint16_t rows, std::uint16_t left = 0,
                    std::uint16_t top = 0, std::uint16_t extra = 0, std::uint16_t spacing = 0);
const ScreenLayout& ScreenGeometryGet();
// Back to 80 x 25.
void ScreenGeometryReset();

}  // namespace rt
