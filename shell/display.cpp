#include "shell/display.h"

#include <cstring>

#include "core/lists.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "shell/textfile.h"

namespace rt {
namespace {

FontEntry g_fonts[FONT_TABLE_SIZE];
std::uint16_t g_fontCount = 0;
ScreenLayout g_layout;

// n / 16 rounded half away from zero.
int sixteenthRounded(int n) { return n >= 0 ? (n + 8) / 16 : -((-n + 8) / 16); }

}  // namespace

ErrCode FontDefine(int height, int width, int weight, StrDesc face) {
    if (g_fontCount >= FONT_TABLE_SIZE) return err::DATAOUTBOUND;
    FontEntry e;
    if (height == -1 || width == -1) {
        platform::FontMetrics sys = platform::backend().systemFontMetrics();
        if (height == -1) height = sys.cellHeight;
        if (width == -1) width = sys.cellWidth;
    }
    e.height = static_cast<std::int16_t>(height);
    e.width = static_cast<std::int16_t>(width);
    e.weight = static_cast<std::uint16_t>(weight == 0 ? 400 : weight == 1 ? 700 : weight);
    if (!face.isError() && face.len <= FONT_FACE_MAX) std::memcpy(e.face, face.ptr, face.len);
    g_fonts[g_fontCount++] = e;
    return err::OK;
}

std::uint16_t FontCount() { return g_fontCount; }

bool FontGet(std::uint16_t n, FontEntry& out) {
    if (n == 0 || n > g_fontCount) return false;
    out = g_fonts[n - 1];
    return true;
}

bool FontCurrent(FontEntry& out) { return FontGet(g_fontCount, out); }

platform::FontSpec FontCreateSpec(const FontEntry& e) {
    platform::FontSpec spec;
    spec.height = e.height - 3;
    int cut = sixteenthRounded(e.width);
    spec.width = e.width - (cut > 1 ? cut : 1);
    spec.weight = e.weight;
    spec.face = e.face;
    return spec;
}

ErrCode FontLoadFile() {
    StrMarkT m = StrMark();
    std::uint16_t before = AreaCount(area::LINEQUEUE);
    std::uint16_t lines = TextFileRead(StrView("VKFONT.PPN"), 0, 0, area::LINEQUEUE);
    ErrCode e = err::OK;
    if (lines == 65535) return err::OK;  // no file: nothing to define
    StrDesc first = StrPush(AreaGet(area::LINEQUEUE, before)) ? StrView("") : StrTop();
    TextLinesRelease(before);
    if (first.len) {
        StrDesc style = StrUpper(ListItem(first, ';', 3));
        int weight = StrFindText(style, StrView("BOLD"), true) != STR_NPOS ? 700 : 400;
        e = FontDefine(StrToInt(ListItem(first, ';', 1)), StrToInt(ListItem(first, ';', 2)), weight,
                       StrTrim(ListItem(first, ';', 4)));
    }
    StrRelease(m);
    return e;
}

void FontReset() { g_fontCount = 0; }

void ScreenGeometry(std::uint16_t columns, std::uint16_t rows, std::uint16_t left, std::uint16_t top,
                    std::uint16_t extra, std::uint16_t spacing) {
    g_layout = ScreenLayout{columns, rows, left, top, extra, spacing};
}

const ScreenLayout& ScreenGeometryGet() { return g_layout; }

void ScreenGeometryReset() { g_layout = ScreenLayout{}; }

}  // namespace rt
