#include "lang/numbers.h"

#include <cstring>

#include "core/strarea.h"
#include "core/strstack.h"

namespace rt {
namespace {

// --- System variables --------------------------------------------------------

struct SysDefault {
    std::uint16_t pos;
    std::int16_t value;
};
constexpr SysDefault kSysDefaults[] = {
    {sysvar::AUXSTAT, 0}, {sysvar::COMPAT, 0}, {sysvar::PRECIS, 2},
    {sysvar::BYEAR, 2000}, {sysvar::BKYEAR, 80},
};
constexpr std::size_t kSysCount = sizeof(kSysDefaults) / sizeof(kSysDefaults[0]);

std::int16_t g_sysOwn[kSysCount] = {0, 0, 2, 2000, 80};
NumSysGetFn g_sysGet = nullptr;
NumSysSetFn g_sysSet = nullptr;

int sysIndex(std::uint16_t pos) {
    for (std::size_t i = 0; i < kSysCount; ++i)
        if (kSysDefaults[i].pos == pos) return static_cast<int>(i);
    return -1;
}

// --- Locale table ------------------------------------------------------------

constexpr char kDefault0019[] = ".,'0123456789.-D',' NY','  ,NO,YES'";
constexpr char kDefault0117[] =
    "'January,February,March,April,May,June,July,August,September,October,November,December',"
    "'[M] [D],[Y]'";

// Fixed-size copies: the table is long-lived configuration, kept outside the
// string stack and the StringArea so that views handed out stay valid.
struct Piece {
    static constexpr std::size_t CAP = 40;
    char text[CAP];
    std::uint8_t len;
    void set(const char* p, std::size_t n) {
        if (n > CAP) n = CAP;
        std::memcpy(text, p, n);
        len = static_cast<std::uint8_t>(n);
    }
    StrDesc view() const { return StrDesc{text, len}; }
};

struct Locale {
    char decimal;
    char thousands;
    Piece accepted;
    Piece logical;
    Piece words[3];
    Piece months[12];
    Piece longTemplate;
};
Locale g_loc;

// The quoted items of a text, in order: calls f(item, n) for up to `max` items.
template <class F>
int quotedItems(StrDesc t, std::size_t from, int max, F f) {
    int found = 0;
    std::size_t i = from;
    while (found < max && i < t.len) {
        char q = t.ptr[i];
        if (q != '\'' && q != '"') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < t.len && t.ptr[j] != q) ++j;
        if (j >= t.len) break;  // unterminated: ignored
        f(found, StrDesc{t.ptr + i + 1, static_cast<std::uint16_t>(j - i - 1)});
        ++found;
        i = j + 1;
    }
    return found;
}

// Plain comma items of a text: calls f(index, item) for up to `max` items.
template <class F>
void commaItems(StrDesc t, int max, F f) {
    std::size_t start = 0;
    for (int n = 0; n < max; ++n) {
        std::size_t end = start;
        while (end < t.len && t.ptr[end] != ',') ++end;
        f(n, StrDesc{t.ptr + start, static_cast<std::uint16_t>(end - start)});
        if (end >= t.len) return;
        start = end + 1;
    }
}

void readNumberText(StrDesc t) {
    if (t.len >= 2 && t.ptr[0] != '\'' && t.ptr[0] != '"' && t.ptr[1] != '\'' && t.ptr[1] != '"') {
        g_loc.decimal = t.ptr[0];
        g_loc.thousands = t.ptr[1];
    }
    quotedItems(t, 2, 3, [](int n, StrDesc item) {
        if (n == 0) {
            g_loc.accepted.set(item.ptr, item.len);
        } else if (n == 1) {
            if (item.len >= 3) g_loc.logical.set(item.ptr, 3);
        } else {
            commaItems(item, 3, [](int k, StrDesc w) { g_loc.words[k].set(w.ptr, w.len); });
        }
    });
}

void readDateText(StrDesc t) {
    quotedItems(t, 0, 2, [](int n, StrDesc item) {
        if (n == 0)
            commaItems(item, 12, [](int k, StrDesc m) { g_loc.months[k].set(m.ptr, m.len); });
        else
            g_loc.longTemplate.set(item.ptr, item.len);
    });
}

void localeDefaults() {
    g_loc = Locale{};
    g_loc.decimal = '.';
    g_loc.thousands = ',';
    readNumberText(StrView(kDefault0019));
    readDateText(StrView(kDefault0117));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

StrDesc trimmed(StrDesc t) {
    std::size_t a = 0, b = t.len;
    while (a < b && isBlank(t.ptr[a])) ++a;
    while (b > a && isBlank(t.ptr[b - 1])) --b;
    return StrDesc{t.ptr + a, static_cast<std::uint16_t>(b - a)};
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

struct LocaleInit {
    LocaleInit() { localeDefaults(); }
} g_localeInit;

// Magnitude accumulator that saturates instead of wrapping.
struct Magnitude {
    std::uint64_t v = 0;
    bool over = false;
    void digit(int d) {
        if (over) return;
        std::uint64_t t;
        if (__builtin_mul_overflow(v, 10u, &t) || __builtin_add_overflow(t, static_cast<std::uint64_t>(d), &v))
            over = true;
    }
    void addOne() {
        if (!over && __builtin_add_overflow(v, 1u, &v)) over = true;
    }
    std::int64_t signedValue(bool neg) const {
        constexpr std::uint64_t maxPos = 9223372036854775807ull;
        if (neg) {
            if (over || v > maxPos + 1) return -9223372036854775807ll - 1;
            return v == maxPos + 1 ? -9223372036854775807ll - 1 : -static_cast<std::int64_t>(v);
        }
        if (over || v > maxPos) return static_cast<std::int64_t>(maxPos);
        return static_cast<std::int64_t>(v);
    }
};

}  // namespace

// --- System variables --------------------------------------------------------

void numSysBind(NumSysGetFn get, NumSysSetFn set) {
    if (get && set) {
        g_sysGet = get;
        g_sysSet = set;
        return;
    }
    g_sysGet = nullptr;
    g_sysSet = nullptr;
    for (std::size_t i = 0; i < kSysCount; ++i) g_sysOwn[i] = kSysDefaults[i].value;
}

std::int16_t numSysGet(std::uint16_t pos) {
    if (g_sysGet) return g_sysGet(pos);
    int i = sysIndex(pos);
    return i < 0 ? 0 : g_sysOwn[i];
}

void numSysSet(std::uint16_t pos, std::int16_t value) {
    if (g_sysSet) {
        g_sysSet(pos, value);
        return;
    }
    int i = sysIndex(pos);
    if (i >= 0) g_sysOwn[i] = value;
}

int numPrecision() {
    int p = numSysGet(sysvar::PRECIS);
    return p < 0 ? 0 : (p > 4 ? 4 : p);
}

// --- Locale table ------------------------------------------------------------

ErrCode numLocaleInit(StrDesc envText) {
    localeDefaults();
    if (envText.isError() || envText.len == 0) return err::OK;
    const char* p = envText.ptr;
    const char* end = p + envText.len;
    const char* nul = static_cast<const char*>(std::memchr(p, '\0', envText.len));
    const char* firstEnd = nul ? nul : end;
    readNumberText(StrDesc{p, static_cast<std::uint16_t>(firstEnd - p)});
    if (nul) {
        const char* q = nul + 1;
        const char* nul2 = static_cast<const char*>(std::memchr(q, '\0', static_cast<std::size_t>(end - q)));
        const char* secondEnd = nul2 ? nul2 : end;
        readDateText(StrDesc{q, static_cast<std::uint16_t>(secondEnd - q)});
    }
    return err::OK;
}

StrDesc numLocaleEnvText(StrDesc msg0019, StrDesc msg0117) {
    if (msg0019.isError()) return msg0019;
    if (msg0117.isError()) return msg0117;
    std::uint32_t total = static_cast<std::uint32_t>(msg0019.len) + msg0117.len + 3;
    if (total > 65535) return StrErrorValue(err::STRINGTOOLONG);
    StrMarkT m = StrMark();
    if (StrReserve(static_cast<std::uint16_t>(total), 255)) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    char* w = StrTopWritable();
    std::memcpy(w, msg0019.ptr, msg0019.len);
    w[msg0019.len] = '\0';
    std::memcpy(w + msg0019.len + 1, msg0117.ptr, msg0117.len);
    w[total - 2] = '\0';
    w[total - 1] = ' ';
    return StrTop();
}

char numDecimalSep() { return g_loc.decimal; }
char numThousandsSep() { return g_loc.thousands; }
StrDesc numAcceptedChars() { return g_loc.accepted.view(); }
StrDesc numLogicalChars() { return g_loc.logical.view(); }

StrDesc numLogicalWord(int which) {
    if (which < 0 || which > 2) return StrDesc{"", 0};
    return g_loc.words[which].view();
}

StrDesc monthName(int month) {
    if (month < 1 || month > 12) return StrDesc{"", 0};
    return g_loc.months[month - 1].view();
}

StrDesc dateLongTemplate() { return g_loc.longTemplate.view(); }

bool dateDayFirst() {
    if (!AreaReady()) return false;
    StrDesc lang = trimmed(AreaGet(area::ENV, 4));
    if (lang.isError() || lang.len != 2) return false;
    char a = charUpper(lang.ptr[0]), b = charUpper(lang.ptr[1]);
    return (a == 'E' && b == 'S') || (a == 'F' && b == 'R') || (a == 'I' && b == 'T');
}

// --- Conversions -------------------------------------------------------------

std::int64_t textToNum(StrDesc text, int decimals) {
    if (text.isError()) return 0;
    if (decimals < 0) decimals = 0;
    if (decimals > 30) decimals = 30;
    StrDesc t = trimmed(text);
    const char* p = t.ptr;
    std::size_t n = t.len;

    // "D k": the count after the first D moves the decimal point k places.
    std::size_t shift = 0;
    if (const char* d = static_cast<const char*>(std::memchr(p, 'D', n))) {
        std::size_t at = static_cast<std::size_t>(d - p);
        for (std::size_t i = at + 1; i < n && isDigit(p[i]) && shift < 64; ++i) shift = shift * 10 + (p[i] - '0');
        if (shift > 64) shift = 64;
        n = at;
    }

    bool neg = false;
    std::size_t i = 0;
    if (i < n && p[i] == '-') {
        neg = true;
        ++i;
    }
    // Integer digits, then the decimals when the integer part ends at ".".
    std::size_t intStart = i;
    while (i < n && isDigit(p[i])) ++i;
    std::size_t intLen = i - intStart;
    std::size_t decStart = i, decLen = 0;
    if (i < n && p[i] == '.') {
        decStart = i + 1;
        std::size_t j = decStart;
        while (j < n && isDigit(p[j])) ++j;
        decLen = j - decStart;
    }

    // The digit sequence: integer digits, then decimal digits (zeros past
    // their end); `shift` of the decimals join the integer part. Values that
    // do not fit 64 bits saturate (leading zeros never count).
    auto digitAt = [&](std::size_t k) -> int {
        if (k < intLen) return p[intStart + k] - '0';
        k -= intLen;
        return k < decLen ? p[decStart + k] - '0' : 0;
    };
    std::size_t wholeLen = intLen + shift;
    Magnitude mag;
    for (std::size_t k = 0; k < wholeLen; ++k) mag.digit(digitAt(k));
    for (int k = 0; k < decimals; ++k) mag.digit(digitAt(wholeLen + static_cast<std::size_t>(k)));
    // Half away from zero: the first digit dropped decides.
    if (digitAt(wholeLen + static_cast<std::size_t>(decimals)) >= 5) mag.addOne();
    return mag.signedValue(neg);
}

std::int64_t textToNum(StrDesc text) { return textToNum(text, numPrecision()); }

StrDesc numToText(std::int64_t raw, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 30) decimals = 30;
    StrMarkT m = StrMark();
    char digits[64];
    int nd = 0;
    bool neg = raw < 0;
    std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    while (mag) {  // least significant first
        digits[nd++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    }
    while (nd < decimals) digits[nd++] = '0';
    if (nd == 0) digits[nd++] = '0';  // decimals 0, value 0

    int lowest = 0;  // trailing decimal zeros are dropped
    while (lowest < decimals && digits[lowest] == '0') ++lowest;

    char out[72];
    int len = 0;
    if (neg) out[len++] = '-';
    for (int k = nd - 1; k >= decimals; --k) out[len++] = digits[k];
    if (lowest < decimals) {
        out[len++] = '.';
        for (int k = decimals - 1; k >= lowest; --k) out[len++] = digits[k];
    }
    return StrReturn(m, StrMake(out, static_cast<std::size_t>(len)));
}

StrDesc numToText(std::int64_t raw) { return numToText(raw, numPrecision()); }

StrDesc cleanNumeric(StrDesc input) {
    if (input.isError()) return input;
    StrMarkT m = StrMark();
    StrDesc t = trimmed(input);
    StrDesc accepted = numAcceptedChars();
    char out[20];
    std::size_t len = 0;
    bool digitsStarted = false;  // past the sign and the leading zeros
    for (std::size_t i = 0; i < t.len && len < sizeof out; ++i) {
        char c = t.ptr[i];
        bool ok = c == '.' || std::memchr(accepted.ptr, c, accepted.len) != nullptr;
        if (!ok) break;
        if (c == '-') {
            if (i > 0) break;
            out[len++] = c;
            continue;
        }
        if (!digitsStarted && c == '0') {
            bool beforePoint = i + 1 < t.len && t.ptr[i + 1] == g_loc.decimal;
            if (!beforePoint) continue;
        }
        digitsStarted = true;
        out[len++] = c == g_loc.decimal ? '.' : c;
    }
    return StrReturn(m, StrMake(out, len));
}

char charUpper(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
    switch (u) {
        case 0x9A: return static_cast<char>(0x8A);
        case 0x9C: return static_cast<char>(0x8C);
        case 0x9E: return static_cast<char>(0x8E);
        case 0xFF: return static_cast<char>(0x9F);
        default: return c;
    }
}

}  // namespace rt
