#include "lang/masks.h"

#include <cstring>

#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/dates.h"
#include "lang/numbers.h"

namespace rt {
namespace {

constexpr char kTypeLetters[] = "123456789ABCDFLNTV";
constexpr char kNumericTypes[] = "NL123456789";
constexpr char kNumericValueChars[] = ".-1234567890,D ";
constexpr std::uint16_t kEnvMaskParms = 10;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isNumberPos(char c) { return c == '#' || c == '0'; }
bool inSet(const char* set, char c) { return c != '\0' && std::strchr(set, c) != nullptr; }

StrDesc trimmed(StrDesc t) {
    std::size_t a = 0, b = t.len;
    while (a < b && isBlank(t.ptr[a])) ++a;
    while (b > a && isBlank(t.ptr[b - 1])) --b;
    return StrDesc{t.ptr + a, static_cast<std::uint16_t>(b - a)};
}

// Pushes `text` cut or padded with blanks to `width`, left- or right-aligned.
StrDesc fitted(StrMarkT m, StrDesc text, std::uint16_t width, bool right) {
    if (text.isError()) return StrReturn(m, text);
    if (text.len >= width) return StrReturn(m, StrDesc{text.ptr, width});
    // The text may lie in the region above m: keep it while the result is built.
    StrDesc keep = text;
    if (StrReserve(width, ' ')) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    char* w = StrTopWritable();
    std::memmove(right ? w + (width - keep.len) : w, keep.ptr, keep.len);
    return StrReturn(m, StrTop());
}

StrDesc blanks(StrMarkT m, std::uint16_t width) { return fitted(m, StrDesc{"", 0}, width, false); }

// --- Decimal values as digit texts --------------------------------------------

// A number as its digits: no leading zeros in the integer part, the decimals
// as written. Rounding works on the digits, so any length is exact.
struct Dec {
    bool neg = false;
    const char* ip = nullptr;
    std::uint32_t ni = 0;
    const char* fp = nullptr;
    std::uint32_t nf = 0;
    bool intAllNines = true;   // every integer digit is 9 (true when none)
    std::uint32_t fNonNine = 0;  // index of the first decimal that is not 9
    std::uint32_t fNonZero = 0;  // index of the first decimal that is not 0

    bool roundsUp(std::uint32_t dc) const { return dc < nf && fp[dc] >= '5'; }
    // Integer digits after rounding to dc decimals.
    std::uint32_t intDigits(std::uint32_t dc) const {
        return ni + (roundsUp(dc) && intAllNines && fNonNine >= dc ? 1u : 0u);
    }
    bool zeroAt(std::uint32_t dc) const { return !roundsUp(dc) && ni == 0 && fNonZero >= dc; }
};

// Room decParse needs for a text and a shift limit.
std::uint32_t decRoom(std::uint32_t textLen, std::uint32_t maxShift) { return textLen + maxShift + 2; }

// Reads a numeric text: blanks and "," are skipped, an optional "-" first,
// digits, "." and digits, "D" and a count that moves the point right (the
// count limited to maxShift). Reading stops at anything else. buf needs
// decRoom bytes.
void decParse(StrDesc v, std::uint32_t maxShift, char* buf, Dec& d) {
    int state = 0;  // 0 start, 1 integer, 2 decimals, 3 count
    std::uint32_t n = 0, ni = 0, shift = 0;
    d.neg = false;
    for (std::size_t i = 0; i < v.len; ++i) {
        char c = v.ptr[i];
        if (c == ' ' || c == ',') continue;
        if (c == '-' && state == 0 && n == 0 && !d.neg) {
            d.neg = true;
        } else if (isDigit(c) && state <= 2) {
            buf[n++] = c;
            if (state == 0) state = 1;
            if (state == 1) ni = n;
        } else if (isDigit(c) && state == 3) {
            shift = shift * 10 + static_cast<std::uint32_t>(c - '0');
            if (shift > maxShift) shift = maxShift;
        } else if (c == '.' && state <= 1) {
            state = 2;
        } else if (c == 'D' && state <= 2) {
            state = 3;
        } else {
            break;
        }
    }
    std::uint32_t boundary = ni + shift;
    while (n < boundary) buf[n++] = '0';
    const char* p = buf;
    std::uint32_t whole = boundary;
    while (whole > 0 && *p == '0') {
        ++p;
        --whole;
    }
    d.ip = p;
    d.ni = whole;
    d.fp = p + whole;
    d.nf = n - boundary;
    d.intAllNines = true;
    for (std::uint32_t i = 0; i < d.ni; ++i)
        if (d.ip[i] != '9') d.intAllNines = false;
    d.fNonNine = 0;
    while (d.fNonNine < d.nf && d.fp[d.fNonNine] == '9') ++d.fNonNine;
    d.fNonZero = 0;
    while (d.fNonZero < d.nf && d.fp[d.fNonZero] == '0') ++d.fNonZero;
}

// Writes the digits rounded half away from zero to dc decimals (integer
// digits, then exactly dc decimals) into out (d.ni + dc + 1 bytes) and
// returns where they start.
const char* decRound(const Dec& d, std::uint32_t dc, char* out) {
    char* w = out + 1;
    std::memcpy(w, d.ip, d.ni);
    for (std::uint32_t k = 0; k < dc; ++k) w[d.ni + k] = k < d.nf ? d.fp[k] : '0';
    if (!d.roundsUp(dc)) return w;
    std::uint32_t i = d.ni + dc;
    while (i > 0) {
        if (w[i - 1] != '9') {
            ++w[i - 1];
            return w;
        }
        w[i - 1] = '0';
        --i;
    }
    out[0] = '1';
    return out;
}

// --- Numeric masks ------------------------------------------------------------

struct Shape {
    std::uint32_t start = 0, end = 0;  // the number's positions, inclusive
    int point = -1;                    // the decimal point, -1 when none
    std::uint32_t intPositions = 0;
    std::uint32_t decimals = 0;
};

void numericShape(StrDesc mask, Shape& s) {
    std::uint32_t a = 0, b = 0;
    bool found = false;
    for (std::uint32_t i = 0; i < mask.len; ++i) {
        if (!isNumberPos(mask.ptr[i])) continue;
        if (!found) a = i;
        b = i;
        found = true;
    }
    s.start = a;
    s.end = b;
    s.point = -1;
    if (a > 0 && mask.ptr[a - 1] == '.') {
        s.point = static_cast<int>(a - 1);
        s.start = a - 1;
    } else {
        for (std::uint32_t i = a; i <= b; ++i)
            if (mask.ptr[i] == '.') {
                s.point = static_cast<int>(i);
                break;
            }
    }
    std::uint32_t intEnd = s.point >= 0 ? static_cast<std::uint32_t>(s.point) : b + 1;
    s.intPositions = s.decimals = 0;
    for (std::uint32_t i = s.start; i <= b; ++i) {
        if (!isNumberPos(mask.ptr[i])) continue;
        if (i < intEnd) ++s.intPositions;
        else ++s.decimals;
    }
}

// The number placed in the mask's own positions; false when its digits or
// sign have no position.
bool placeInMask(StrDesc mask, const Shape& s, const Dec& d, char pointCh, char sepCh, char* work, char* out) {
    std::uint32_t dc = s.decimals;
    const char* digits = decRound(d, dc, work);
    std::uint32_t ni = d.intDigits(dc);
    bool sign = d.neg && !d.zeroAt(dc);
    const char* intDigits = digits;
    // A value without integer digits shows a 0 before the decimal point.
    if (ni == 0 && s.point >= 0 && s.intPositions > 0) {
        intDigits = "0";
        ni = 1;
    }
    std::uint32_t intEnd = s.point >= 0 ? static_cast<std::uint32_t>(s.point) : s.end + 1;
    std::uint32_t left = ni;  // integer digits still to place
    long leftmostDigit = -1;
    for (std::uint32_t i = intEnd; i-- > s.start;) {
        char c = mask.ptr[i];
        if (isNumberPos(c)) {
            if (left > 0) out[i] = intDigits[--left];
            else out[i] = c == '#' ? ' ' : '0';
            if (out[i] != ' ') leftmostDigit = static_cast<long>(i);
        } else if (c == ',') {
            bool blank = left == 0 && i > 0 && mask.ptr[i - 1] == '#';
            out[i] = blank ? ' ' : sepCh;
        }
    }
    if (left > 0) return false;
    if (sign) {
        long at = leftmostDigit - 1;
        if (leftmostDigit < 0 || at < static_cast<long>(s.start) || out[at] != ' ') return false;
        out[at] = '-';
    }
    if (s.point >= 0) {
        out[s.point] = pointCh;
        const char* dec = digits + d.intDigits(dc);
        std::uint32_t k = 0;
        for (std::uint32_t i = static_cast<std::uint32_t>(s.point) + 1; i <= s.end; ++i) {
            char c = mask.ptr[i];
            if (isNumberPos(c)) out[i] = dec[k++];
            else if (c == ',') out[i] = sepCh;
        }
    }
    return true;
}

// The number written plainly over its positions, right-aligned, with the
// separators and then decimals given up as needed; false when nothing fits.
bool placePlain(const Shape& s, const Dec& d, char pointCh, char* work, char* out) {
    std::uint32_t width = s.end - s.start + 1;
    for (std::uint32_t dc = s.decimals + 1; dc-- > 0;) {
        std::uint32_t ni = d.intDigits(dc);
        bool sign = d.neg && !d.zeroAt(dc);
        std::uint32_t intLen = ni > 0 ? ni : (dc == 0 ? 1 : 0);
        std::uint32_t need = (sign ? 1 : 0) + intLen + (dc > 0 ? dc + 1 : 0);
        if (need > width) continue;
        const char* digits = decRound(d, dc, work);
        char* w = out + s.start;
        std::memset(w, ' ', width);
        w += width - need;
        if (sign) *w++ = '-';
        if (ni == 0 && dc == 0) *w++ = '0';
        std::memcpy(w, digits, ni);
        w += ni;
        if (dc > 0) {
            *w++ = pointCh;
            std::memcpy(w, digits + ni, dc);
        }
        return true;
    }
    std::memset(out + s.start, '*', width);
    return false;
}

enum class MaskKind { None, String, Numeric };

MaskKind maskKind(StrDesc mask) {
    for (std::size_t i = 0; i < mask.len; ++i) {
        char c = mask.ptr[i];
        if (c == '\\' || c == '?') return MaskKind::String;
        if (isNumberPos(c)) return MaskKind::Numeric;
    }
    return MaskKind::None;
}

bool valueIsNumeric(StrDesc v) {
    for (std::size_t i = 0; i < v.len; ++i)
        if (!inSet(kNumericValueChars, v.ptr[i])) return false;
    return true;
}

bool hasStringPositions(StrDesc mask) {
    return std::memchr(mask.ptr, '\\', mask.len) || std::memchr(mask.ptr, '?', mask.len);
}

void formatString(StrDesc mask, StrDesc value, std::uint8_t mode, char* out) {
    std::size_t next = 0;
    auto take = [&]() { return next < value.len ? value.ptr[next++] : ' '; };
    for (std::size_t i = 0; i < mask.len;) {
        char c = mask.ptr[i];
        if (c == '\\') {
            std::size_t j = i + 1;
            while (j < mask.len && mask.ptr[j] == ' ') ++j;
            std::size_t last = (j < mask.len && mask.ptr[j] == '\\') ? j : i;
            for (std::size_t k = i; k <= last; ++k) out[k] = take();
            i = last + 1;
        } else if (c == '?') {
            out[i] = (mode & maskmode::SAMEPOS) ? (i < value.len ? value.ptr[i] : ' ') : take();
            ++i;
        } else {
            out[i] = c;
            ++i;
        }
    }
}

// Formats by a prepared mask and pushes the result; `overflow` tells that a
// number had no room even without its decimals.
StrDesc formatPrepared(StrDesc mask, StrDesc value, std::uint8_t mode, bool& overflow) {
    overflow = false;
    StrMarkT m = StrMark();
    if (StrReserve(mask.len, 255)) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    char* out = StrTopWritable();
    std::memcpy(out, mask.ptr, mask.len);
    MaskKind kind = maskKind(mask);
    if (kind == MaskKind::None) return StrTop();
    if (kind == MaskKind::Numeric && !valueIsNumeric(value)) {
        if (!hasStringPositions(mask)) return StrTop();
        kind = MaskKind::String;
    }
    if (kind == MaskKind::String) {
        formatString(mask, value, mode, out);
        return StrTop();
    }

    // Work room above the result: the parsed digits and one rounding.
    std::uint32_t maxShift = static_cast<std::uint32_t>(mask.len) + 1;
    std::uint32_t parseRoom = decRoom(value.len, maxShift);
    std::uint32_t roundRoom = parseRoom + mask.len + 2;
    StrScratchArea scratch = StrScratch();
    if (!scratch.ptr || scratch.len < parseRoom + roundRoom) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    Dec d;
    decParse(value, maxShift, scratch.ptr, d);
    char* work = scratch.ptr + parseRoom;

    Shape s;
    numericShape(mask, s);
    bool display = (mode & maskmode::DISPLAY) != 0;
    char pointCh = display ? numDecimalSep() : '.';
    char sepCh = display ? numThousandsSep() : ',';
    if (!placeInMask(mask, s, d, pointCh, sepCh, work, out)) {
        std::memcpy(out, mask.ptr, mask.len);  // literal parts as written
        overflow = !placePlain(s, d, pointCh, work, out);
    }
    return StrTop();
}

// Resolves ",." followed by digits inside the number part, in place.
void resolveDecimals(char* w, std::uint32_t len) {
    std::uint32_t at = 0;
    for (std::uint32_t i = 1; i + 2 < len; ++i) {
        if (w[i] == ',' && w[i + 1] == '.' && isDigit(w[i + 2])) {
            at = i;
            break;
        }
    }
    if (at == 0) return;
    std::uint32_t a = 0;
    while (a < len && !isNumberPos(w[a])) ++a;
    if (a >= at) return;
    std::uint32_t e = at + 2;
    std::uint32_t n = 0;
    for (; e < len && isDigit(w[e]); ++e)
        if (n < 100000) n = n * 10 + static_cast<std::uint32_t>(w[e] - '0');
    std::uint32_t span = e - a;

    // The decimal-places list (environment string 10) overrides the digits.
    std::int64_t d = n;
    StrDesc list = AreaReady() ? AreaGet(area::ENV, kEnvMaskParms) : StrDesc{"", 0};
    if (!list.isError() && list.len > 0) {
        std::uint32_t item = 0;
        std::size_t start = 0;
        d = 0;
        for (std::size_t i = 0; i <= list.len; ++i) {
            if (i < list.len && list.ptr[i] != ',') continue;
            if (item == n) {
                d = textToNum(StrDesc{list.ptr + start, static_cast<std::uint16_t>(i - start)}, 0);
                break;
            }
            ++item;
            start = i + 1;
        }
    }
    if (d < 0) d = 0;
    if (d > span) d = span;

    char c = w[at - 1];
    char f = w[a];
    long pos = static_cast<long>(e) - 1;
    long first = static_cast<long>(a);
    for (std::int64_t k = 0; k < d && pos >= first; ++k) w[pos--] = c;
    if (d != 0 && pos >= first) w[pos--] = '.';
    if (pos >= first) w[pos--] = c;  // units
    for (std::uint32_t count = 2; pos >= first; ++count) w[pos--] = count % 4 == 0 ? ',' : f;
    w[a] = f;
}

}  // namespace

bool typeIsNumeric(char type) { return inSet(kNumericTypes, type); }

StrDesc defaultMask(char type, std::uint16_t width) {
    StrMarkT m = StrMark();
    char fill = type == 'N' ? '#' : (type >= '1' && type <= '9' ? '#' : '\\');
    if (StrReserve(width, static_cast<std::uint8_t>(fill))) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    if (type >= '1' && type <= '9' && width > 0) {
        int n = type - '0';
        int point = static_cast<int>(width) - n - 1;
        StrTopWritable()[point < 0 ? 0 : point] = '.';
    }
    return StrTop();
}

StrDesc maskPrepare(StrDesc mask) {
    if (mask.isError()) return mask;
    StrMarkT m = StrMark();
    if (mask.len >= 2 && inSet(kTypeLetters, mask.ptr[0])) {
        bool digits = true;
        std::uint32_t width = 0;
        for (std::size_t i = 1; i < mask.len && digits; ++i) {
            digits = isDigit(mask.ptr[i]);
            if (digits && width <= 65535) width = width * 10 + static_cast<std::uint32_t>(mask.ptr[i] - '0');
        }
        if (digits) return defaultMask(mask.ptr[0], static_cast<std::uint16_t>(width > 65535 ? 65535 : width));
    }
    if (StrPush(mask)) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    resolveDecimals(StrTopWritable(), StrTop().len);
    return StrTop();
}

StrDesc maskFormat(StrDesc mask, StrDesc value, std::uint8_t mode) {
    if (mask.isError()) return mask;
    if (value.isError()) return value;
    StrMarkT m = StrMark();
    StrDesc prepared = maskPrepare(mask);
    if (prepared.isError()) return StrReturn(m, prepared);
    bool overflow;
    return StrReturn(m, formatPrepared(prepared, value, mode, overflow));
}

StrDesc toDisplay(char type, StrDesc stored, std::uint16_t width) {
    if (stored.isError()) return stored;
    StrMarkT m = StrMark();
    switch (type) {
        case 'D':
        case 'F':
            if (type == 'F' && trimmed(stored).len == 0) return blanks(m, width);
            if (width == 8) return StrReturn(m, dateFormat(stored, 1));
            if (width == 10) return StrReturn(m, dateFormat(stored, 2));
            return blanks(m, width);
        case 'L': {
            char c = stored.len ? stored.ptr[0] : ' ';
            int which = c == ' ' ? 0 : (c == '1' ? 2 : 1);
            return fitted(m, numLogicalWord(which), width, false);
        }
        default:
            break;
    }
    if (typeIsNumeric(type)) {
        StrDesc mask = defaultMask(type, width);
        if (mask.isError()) return StrReturn(m, mask);
        bool overflow;
        return StrReturn(m, formatPrepared(mask, trimmed(stored), maskmode::ALL, overflow));
    }
    return fitted(m, stored, width, false);
}

StrDesc toStored(char type, StrDesc display, std::uint16_t width) {
    if (display.isError()) return display;
    StrMarkT m = StrMark();
    switch (type) {
        case 'B':
        case 'C': {
            if (StrReserve(width, ' ')) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
            char* w = StrTopWritable();
            std::uint16_t n = 0;
            for (std::size_t i = 0; i < display.len && n < width; ++i)
                if (isDigit(display.ptr[i]) || display.ptr[i] == ' ') w[n++] = display.ptr[i];
            if (type == 'C' && std::memchr(w, ' ', width) && trimmed(StrDesc{w, width}).len > 0)
                for (std::uint16_t i = 0; i < width; ++i)
                    if (w[i] == ' ') w[i] = '0';
            return StrTop();
        }
        case 'D':
            return StrReturn(m, fitWidth(type, dateParse(display), width));
        case 'F':
            if (trimmed(display).len == 0) return blanks(m, width);
            return StrReturn(m, fitWidth(type, dateParse(display), width));
        case 'L': {
            char c = display.len ? charUpper(display.ptr[0]) : ' ';
            StrDesc set = numLogicalChars();
            const char* at = static_cast<const char*>(std::memchr(set.ptr, c, set.len));
            static constexpr char kStored[] = " 01";
            char v = at ? kStored[at - set.ptr] : ' ';
            return StrReturn(m, fitWidth(type, StrDesc{&v, 1}, width));
        }
        default:
            break;
    }
    if (typeIsNumeric(type)) {
        StrDesc clean = cleanNumeric(display);
        StrDesc mask = defaultMask(type, width);
        if (clean.isError() || mask.isError()) return StrReturn(m, clean.isError() ? clean : mask);
        bool overflow;
        StrDesc r = formatPrepared(mask, clean, 0, overflow);
        if (overflow) return StrReturn(m, StrErrorValue(err::DATAOUTBOUND));
        return StrReturn(m, fitWidth(type, r, width));
    }
    return StrReturn(m, fitWidth(type, display, width));
}

StrDesc fitWidth(char type, StrDesc text, std::uint16_t width) {
    if (text.isError()) return text;
    StrMarkT m = StrMark();
    if (type == 'V') return blanks(m, width);
    if (type == 'D' || type == 'F') {
        if (width == 6 && text.len == 8) {
            bool digits = true;
            for (std::size_t i = 0; i < 8; ++i) digits = digits && isDigit(text.ptr[i]);
            if (digits) return StrReturn(m, StrDesc{text.ptr + 2, 6});
        }
        return fitted(m, text, width, false);
    }
    if (!typeIsNumeric(type)) return fitted(m, text, width, false);

    StrDesc t = trimmed(text);
    if (t.len <= width) return fitted(m, t, width, true);
    // Too long: a plain number loses decimals (rounded) until it fits.
    std::size_t i = 0;
    if (t.ptr[0] == '-') ++i;
    std::size_t intLen = i;
    while (intLen < t.len && isDigit(t.ptr[intLen])) ++intLen;
    bool plain = intLen == t.len || t.ptr[intLen] == '.';
    for (std::size_t k = intLen + 1; plain && k < t.len; ++k) plain = isDigit(t.ptr[k]);
    if (!plain || intLen > width) return StrReturn(m, StrErrorValue(err::DATAOUTBOUND));

    std::uint32_t parseRoom = decRoom(t.len, 0);
    StrScratchArea scratch = StrScratch();
    if (!scratch.ptr || scratch.len < parseRoom + 2u * t.len + 8) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    Dec d;
    decParse(t, 0, scratch.ptr, d);
    char* work = scratch.ptr + parseRoom;
    bool wroteInteger = intLen > i;  // "0.5" keeps its 0, ".5" stays without
    for (std::uint32_t dc = d.nf + 1; dc-- > 0;) {
        std::uint32_t ni = d.intDigits(dc);
        bool sign = d.neg && !d.zeroAt(dc);
        bool zeroFirst = ni == 0 && (wroteInteger || dc == 0);
        std::uint32_t need = (sign ? 1u : 0u) + ni + (zeroFirst ? 1u : 0u) + (dc > 0 ? dc + 1 : 0);
        if (need > width) continue;
        const char* digits = decRound(d, dc, work);
        // The result is built in the rounding room's tail, then pushed.
        char* w = work + d.ni + dc + 2;
        std::uint32_t n = 0;
        if (sign) w[n++] = '-';
        if (zeroFirst) w[n++] = '0';
        std::memcpy(w + n, digits, ni);
        n += ni;
        if (dc > 0) {
            w[n++] = '.';
            std::memcpy(w + n, digits + ni, dc);
            n += dc;
        }
        // Copied onto the stack first: the scratch room is overwritten by pushes.
        if (StrPush(StrDesc{w, static_cast<std::uint16_t>(n)})) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
        return fitted(m, StrTop(), width, true);
    }
    return StrReturn(m, StrErrorValue(err::DATAOUTBOUND));
}

}  // namespace rt
