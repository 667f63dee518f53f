#include "core/strfuncs.h"

#include <climits>
#include <cstring>

#include "core/errors.h"
#include "core/strstack.h"

namespace rt {
namespace {

constexpr StrDesc kEmpty{"", 0};

inline bool isQuote(char c) { return c == '\'' || c == '"'; }

// Windows-1252 case tables: ASCII letters, the accented letters of the upper
// half (except the multiplication and division signs) and the four pairs
// scattered in 0x8A-0x9F.
struct CaseTables {
    unsigned char upper[256];
    unsigned char lower[256];
};

constexpr CaseTables makeCaseTables() {
    CaseTables t{};
    for (int c = 0; c < 256; ++c) {
        t.upper[c] = static_cast<unsigned char>(c);
        t.lower[c] = static_cast<unsigned char>(c);
    }
    auto pair = [&t](int up, int low) {
        t.upper[low] = static_cast<unsigned char>(up);
        t.lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c - 32, c);
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) pair(c - 32, c);
    pair(0x8A, 0x9A);
    pair(0x8C, 0x9C);
    pair(0x8E, 0x9E);
    pair(0x9F, 0xFF);
    return t;
}
constexpr CaseTables kCase = makeCaseTables();

// Reserves a result of len bytes above the top; on failure `fail` holds the
// error value (146 past 65535 bytes, 145 when the stack is full).
char* reserve(std::uint32_t len, StrDesc& fail) {
    if (len > 65535) {
        fail = StrErrorValue(err::STRINGTOOLONG);
        return nullptr;
    }
    ErrCode e = StrReserve(static_cast<std::uint16_t>(len), 255);
    if (e) {
        fail = StrErrorValue(e);
        return nullptr;
    }
    return StrTopWritable();
}

// Position of the first character at or after `from` for which pred holds;
// quote-aware unless plain.
template <class Pred>
std::uint16_t scan(StrDesc s, std::uint32_t from, bool plain, Pred pred) {
    const char* p = s.ptr;
    std::uint32_t n = s.len;
    for (std::uint32_t i = from; i < n; ++i) {
        char c = p[i];
        if (!plain && isQuote(c)) {
            const void* close = std::memchr(p + i + 1, c, n - i - 1);
            if (!close) return STR_NPOS;
            i = static_cast<std::uint32_t>(static_cast<const char*>(close) - p);
            continue;
        }
        if (pred(c)) return static_cast<std::uint16_t>(i);
    }
    return STR_NPOS;
}

// Plain or quote-aware search of `text` from `from`.
std::uint16_t findTextFrom(StrDesc s, std::uint32_t from, StrDesc text, bool plain) {
    if (text.len == 0) return from <= s.len ? static_cast<std::uint16_t>(from) : STR_NPOS;
    if (text.len > s.len) return STR_NPOS;
    std::uint32_t last = static_cast<std::uint32_t>(s.len) - text.len;
    std::uint32_t at = from;
    while (at <= last) {
        std::uint16_t cand = StrFindChar(s, static_cast<std::uint16_t>(at), text.ptr[0], plain);
        if (cand == STR_NPOS || cand > last) return STR_NPOS;
        if (std::memcmp(s.ptr + cand, text.ptr, text.len) == 0) return cand;
        at = cand + 1u;
    }
    return STR_NPOS;
}

char closerOf(char ch) {
    switch (ch) {
    case '[': return ']';
    case '(': return ')';
    case '{': return '}';
    case '<': return '>';
    default: return ch;
    }
}

char alternativeOf(char ch) { return ch == '"' ? '\'' : '"'; }

bool contains(StrDesc set, char c) { return set.len && std::memchr(set.ptr, c, set.len) != nullptr; }

StrDesc mapCase(StrDesc s, const unsigned char* table) {
    if (s.isError()) return s;
    StrMarkT m = StrMark();
    StrDesc fail;
    char* w = reserve(s.len, fail);
    if (!w) return StrReturn(m, fail);
    for (std::uint16_t i = 0; i < s.len; ++i) w[i] = static_cast<char>(table[static_cast<unsigned char>(s.ptr[i])]);
    return StrReturn(m, StrTop());
}

// Appends to a bounded output; `over` is set once something did not fit.
struct BoundedOut {
    char* p;
    std::uint32_t cap;
    std::uint32_t len = 0;
    bool over = false;
    void put(char c) {
        if (len < cap) p[len] = c;
        else over = true;
        ++len;
    }
    void put(const char* s, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) put(s[i]);
    }
    void fill(char c, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) put(c);
    }
};

// Digits of v in the given base, most significant first, into buf (returns count).
int digits(std::uint64_t v, unsigned base, bool upper, char* buf) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = set[v % base];
        v /= base;
    } while (v);
    for (int i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
    return n;
}

}  // namespace

// --- Views and searches ------------------------------------------------------

StrDesc StrMid(StrDesc s, int start, std::uint16_t count) {
    if (s.isError()) return s;
    std::uint32_t from;
    std::uint32_t n;
    if (start < 0) {
        long f = static_cast<long>(s.len) + start;
        from = f < 0 ? 0u : static_cast<std::uint32_t>(f);
        n = s.len - from;
    } else {
        from = static_cast<std::uint32_t>(start) < s.len ? static_cast<std::uint32_t>(start) : s.len;
        n = s.len - from;
        if (count != 65535 && count < n) n = count;
    }
    return StrDesc{s.ptr + from, static_cast<std::uint16_t>(n)};
}

std::uint16_t StrFindChar(StrDesc s, std::uint16_t from, char ch, bool plain) {
    if (s.isError() || from >= s.len) return STR_NPOS;
    if (plain) {
        const void* at = std::memchr(s.ptr + from, ch, s.len - from);
        return at ? static_cast<std::uint16_t>(static_cast<const char*>(at) - s.ptr) : STR_NPOS;
    }
    return scan(s, from, false, [ch](char c) { return c == ch; });
}

std::uint16_t StrFindLastChar(StrDesc s, char ch, bool plain) {
    if (s.isError() || s.len == 0) return STR_NPOS;
    if (plain) {
        for (std::uint32_t i = s.len; i-- > 0;)
            if (s.ptr[i] == ch) return static_cast<std::uint16_t>(i);
        return STR_NPOS;
    }
    std::uint16_t last = STR_NPOS;
    std::uint32_t from = 0;
    for (;;) {
        std::uint16_t at = scan(s, from, false, [ch](char c) { return c == ch; });
        if (at == STR_NPOS) return last;
        last = at;
        from = at + 1u;
    }
}

std::uint16_t StrFindAny(StrDesc s, StrDesc set, bool plain) {
    if (s.isError() || set.isError()) return STR_NPOS;
    return scan(s, 0, plain, [set](char c) { return contains(set, c); });
}

std::uint16_t StrFindText(StrDesc s, StrDesc text, bool plain) {
    if (s.isError() || text.isError()) return STR_NPOS;
    return findTextFrom(s, 0, text, plain);
}

std::uint16_t StrCountText(StrDesc s, StrDesc text, bool plain) {
    if (s.isError() || text.isError() || text.len == 0) return 0;
    std::uint16_t n = 0;
    std::uint32_t from = 0;
    for (;;) {
        std::uint16_t at = findTextFrom(s, from, text, plain);
        if (at == STR_NPOS) return n;
        ++n;
        from = at + static_cast<std::uint32_t>(text.len);
    }
}

StrDesc StrTrim(StrDesc s, StrDesc set, unsigned sides) {
    if (s.isError()) return s;
    if (set.isError()) set = kBlankTab;
    std::uint32_t b = 0;
    std::uint32_t e = s.len;
    if (sides & 1)
        while (b < e && contains(set, s.ptr[b])) ++b;
    if (sides & 2)
        while (e > b && contains(set, s.ptr[e - 1])) --e;
    return StrDesc{s.ptr + b, static_cast<std::uint16_t>(e - b)};
}

StrDesc StrUnquote(StrDesc s) {
    if (s.isError() || s.len < 2) return s;
    char q = s.ptr[0];
    if (isQuote(q) && s.ptr[s.len - 1] == q) return StrDesc{s.ptr + 1, static_cast<std::uint16_t>(s.len - 2)};
    return s;
}

StrDesc StrCleanValue(StrDesc s) {
    if (s.isError()) return s;
    StrDesc v = StrUnquote(StrTrim(s, kBlankTab, 3));
    if (v.len != s.len) return v;
    return StrUpper(v);
}

// --- Building ----------------------------------------------------------------

StrDesc StrConcatN(std::initializer_list<StrDesc> parts) {
    std::uint32_t total = 0;
    for (const StrDesc& p : parts) {
        if (p.isError()) return p;
        total += p.len;
    }
    StrMarkT m = StrMark();
    StrDesc fail;
    char* w = reserve(total, fail);
    if (!w) return StrReturn(m, fail);
    for (const StrDesc& p : parts) {
        if (p.len) std::memcpy(w, p.ptr, p.len);
        w += p.len;
    }
    return StrReturn(m, StrTop());
}

StrDesc StrConcat(StrDesc a, StrDesc b) { return StrConcatN({a, b}); }

StrDesc StrJoin(StrDesc a, StrDesc sep, StrDesc b) {
    if (a.isError()) return a;
    if (sep.isError()) return sep;
    if (b.isError()) return b;
    if (a.len && b.len) return StrConcatN({a, sep, b});
    StrMarkT m = StrMark();
    return StrReturn(m, a.len ? a : b);
}

StrDesc StrJoinPair(StrDesc a, StrDesc b) {
    if (a.isError()) return a;
    if (b.isError()) return b;
    if (!a.len || !b.len) return StrErrorValue(err::BADINPUTDATA);
    return StrConcatN({a, StrView("="), b});
}

StrDesc StrReplaceAll(StrDesc s, StrDesc text, StrDesc replacement, bool plain) {
    if (s.isError()) return s;
    if (text.isError()) return text;
    if (replacement.isError()) return replacement;
    StrMarkT m = StrMark();
    if (text.len == 1 && isQuote(text.ptr[0])) plain = true;
    std::uint32_t count = StrCountText(s, text, plain);
    if (count == 0) return StrReturn(m, s);
    std::int64_t total = static_cast<std::int64_t>(s.len) - static_cast<std::int64_t>(count) * (text.len - replacement.len);
    StrDesc fail;
    char* w = total >= 0 ? reserve(static_cast<std::uint32_t>(total), fail) : nullptr;
    if (!w) {
        ErrorRecordSet(1, ctx::STRCONCAT, err::MEMTESTERROR, 0);
        return StrReturn(m, fail);
    }
    std::uint32_t from = 0;
    for (;;) {
        std::uint16_t at = findTextFrom(s, from, text, plain);
        std::uint32_t end = at == STR_NPOS ? s.len : at;
        std::memcpy(w, s.ptr + from, end - from);
        w += end - from;
        if (at == STR_NPOS) break;
        if (replacement.len) std::memcpy(w, replacement.ptr, replacement.len);
        w += replacement.len;
        from = at + static_cast<std::uint32_t>(text.len);
    }
    return StrReturn(m, StrTop());
}

StrDesc StrUpper(StrDesc s) { return mapCase(s, kCase.upper); }
StrDesc StrLower(StrDesc s) { return mapCase(s, kCase.lower); }
char CharUpper(char c) { return static_cast<char>(kCase.upper[static_cast<unsigned char>(c)]); }
char CharLower(char c) { return static_cast<char>(kCase.lower[static_cast<unsigned char>(c)]); }

StrDesc StrWrap(StrDesc s, char ch) {
    if (s.isError()) return s;
    char open = ch;
    char close = closerOf(ch);
    return StrConcatN({StrDesc{&open, 1}, s, StrDesc{&close, 1}});
}

StrDesc StrQuote(StrDesc s, char ch) {
    if (s.isError()) return s;
    char second = alternativeOf(ch);
    char candidates[3] = {ch, second, alternativeOf(second)};
    for (char c : candidates)
        if (!contains(s, c)) return StrWrap(s, c);
    return StrErrorValue(err::BADINPUTDATA);
}

StrDesc StrRepeat(StrDesc s, int n) {
    if (s.isError()) return s;
    StrMarkT m = StrMark();
    if (n <= 0 || s.len == 0) return StrReturn(m, kEmpty);
    std::uint64_t total = static_cast<std::uint64_t>(s.len) * static_cast<std::uint64_t>(n);
    if (total > 65535) return StrReturn(m, StrErrorValue(err::STRINGTOOLONG));
    StrDesc fail;
    char* w = reserve(static_cast<std::uint32_t>(total), fail);
    if (!w) return StrReturn(m, fail);
    for (int i = 0; i < n; ++i, w += s.len) std::memcpy(w, s.ptr, s.len);
    return StrReturn(m, StrTop());
}

StrDesc StrCollapse(StrDesc s, char ch) {
    if (s.isError()) return s;
    StrMarkT m = StrMark();
    StrDesc fail;
    char* w = reserve(s.len, fail);
    if (!w) return StrReturn(m, fail);
    std::uint16_t n = 0;
    for (std::uint16_t i = 0; i < s.len; ++i) {
        if (s.ptr[i] == ch && n && w[n - 1] == ch) continue;
        w[n++] = s.ptr[i];
    }
    StrTopShrink(n);
    return StrReturn(m, StrTop());
}

StrDesc StrKeepChars(StrDesc s, StrDesc set) {
    if (s.isError()) return s;
    if (set.isError()) return set;
    StrMarkT m = StrMark();
    StrDesc fail;
    char* w = reserve(s.len, fail);
    if (!w) return StrReturn(m, fail);
    std::uint16_t n = 0;
    for (std::uint16_t i = 0; i < s.len; ++i)
        if (contains(set, s.ptr[i])) w[n++] = s.ptr[i];
    StrTopShrink(n);
    return StrReturn(m, StrTop());
}

StrDesc StrTranslate(StrDesc s, StrDesc from, StrDesc to) {
    if (s.isError()) return s;
    if (from.isError()) return from;
    if (to.isError()) return to;
    StrMarkT m = StrMark();
    StrDesc fail;
    char* w = reserve(s.len, fail);
    if (!w) return StrReturn(m, fail);
    for (std::uint16_t i = 0; i < s.len; ++i) {
        char c = s.ptr[i];
        const void* at = from.len ? std::memchr(from.ptr, c, from.len) : nullptr;
        if (at) {
            std::size_t k = static_cast<const char*>(at) - from.ptr;
            if (k < to.len) c = to.ptr[k];
        }
        w[i] = c;
    }
    return StrReturn(m, StrTop());
}

StrDesc StrReplaceSet(StrDesc s, StrDesc patterns, StrDesc chars) {
    if (s.isError()) return s;
    if (patterns.isError()) return patterns;
    if (chars.isError()) return chars;
    StrMarkT m = StrMark();
    std::uint16_t n = chars.len;
    std::uint16_t width = n ? static_cast<std::uint16_t>(patterns.len / n) : 0;
    if (width == 0) return StrReturn(m, s);
    StrDesc fail;
    char* w = reserve(s.len, fail);  // every replacement shortens or keeps the length
    if (!w) return StrReturn(m, fail);
    std::uint16_t out = 0;
    std::uint32_t i = 0;
    while (i < s.len) {
        bool replaced = false;
        if (i + width <= s.len) {
            for (std::uint16_t k = 0; k < n; ++k) {
                if (std::memcmp(s.ptr + i, patterns.ptr + static_cast<std::size_t>(k) * width, width) == 0) {
                    w[out++] = chars.ptr[k];
                    i += width;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) w[out++] = s.ptr[i++];
    }
    StrTopShrink(out);
    return StrReturn(m, StrTop());
}

const char* StrTerminated(StrDesc s) {
    if (s.isError()) return "";
    StrMarkT m = StrMark();
    StrDesc fail;
    char* w = reserve(static_cast<std::uint32_t>(s.len) + 1, fail);
    if (!w) {
        StrRelease(m);
        return "";
    }
    if (s.len) std::memmove(w, s.ptr, s.len);
    w[s.len] = '\0';
    return StrReturn(m, StrTop()).ptr;
}

StrDesc StrChar(char ch) {
    StrMarkT m = StrMark();
    return StrReturn(m, StrDesc{&ch, 1});
}

StrDesc StrOverlay(StrDesc s, int pos, StrDesc data) {
    if (s.isError()) return s;
    if (data.isError()) return data;
    StrMarkT m = StrMark();
    ErrCode e = StrPush(s);
    if (e) return StrReturn(m, StrErrorValue(e));
    return StrWriteAt(StrTop(), pos, data);
}

// --- Tests and conversions ---------------------------------------------------

std::uint16_t StrCompare(StrDesc a, StrDesc b) {
    if (!a.ptr || !b.ptr) return err::STROUTBOUND;
    std::uint16_t n = a.len < b.len ? a.len : b.len;
    int c = n ? std::memcmp(a.ptr, b.ptr, n) : 0;
    if (c == 0) c = (a.len > b.len) - (a.len < b.len);
    return c > 0 ? 1 : c < 0 ? 65535 : 0;
}

bool StrIsEnclosed(StrDesc s, char ch) {
    return !s.isError() && s.len >= 2 && s.ptr[0] == ch && s.ptr[s.len - 1] == closerOf(ch);
}

bool StrIsYes(StrDesc s) {
    if (s.isError() || s.len == 0 || s.len > 3) return false;
    char u[3];
    for (std::uint16_t i = 0; i < s.len; ++i) u[i] = CharUpper(s.ptr[i]);
    std::string_view v(u, s.len);
    return v == "YES" || v == "SI" || v == "Y" || v == "S" || v == "ON";
}

std::int64_t StrToInt64(StrDesc s) {
    if (s.isError()) return 0;
    std::uint32_t i = 0;
    while (i < s.len && (s.ptr[i] == ' ' || s.ptr[i] == '\t')) ++i;
    bool neg = false;
    if (i < s.len && (s.ptr[i] == '+' || s.ptr[i] == '-')) neg = s.ptr[i++] == '-';
    std::uint64_t v = 0;
    constexpr std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX) + 1;
    for (; i < s.len && s.ptr[i] >= '0' && s.ptr[i] <= '9'; ++i) {
        v = v * 10 + static_cast<unsigned>(s.ptr[i] - '0');
        if (v > limit) v = limit;
    }
    if (neg) return v >= limit ? INT64_MIN : -static_cast<std::int64_t>(v);
    return v >= limit ? INT64_MAX : static_cast<std::int64_t>(v);
}

std::int32_t StrToInt(StrDesc s) {
    if (StrIsYes(s)) return 1;
    std::int64_t v = StrToInt64(s);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

// --- In place ----------------------------------------------------------------

StrDesc StrWriteAt(StrDesc s, int pos, StrDesc data) {
    if (s.isError()) return s;
    if (data.isError()) return data;
    long p = pos;
    if (p < 0) p += s.len;
    if (p < 0) p = 0;
    if (p >= s.len) return s;
    std::uint32_t n = data.len;
    if (n > s.len - static_cast<std::uint32_t>(p)) n = s.len - static_cast<std::uint32_t>(p);
    if (n) std::memmove(const_cast<char*>(s.ptr) + p, data.ptr, n);
    return s;
}

std::uint16_t ArrayFind(const void* records, std::uint16_t count, StrDesc value, std::uint16_t width) {
    if (!records || value.isError() || value.len < width) return 65535;
    const char* r = static_cast<const char*>(records);
    for (std::uint16_t i = 0; i < count && i != 65535; ++i, r += width)
        if (std::memcmp(r, value.ptr, width) == 0) return i;
    return 65535;
}

std::uint16_t ElemGet16(StrDesc s, std::uint16_t i) {
    if (s.isError() || s.len % 2 || i >= s.len / 2) return 0;
    std::uint16_t v;
    std::memcpy(&v, s.ptr + 2u * i, 2);
    return v;
}

std::uint16_t ElemSet16(StrDesc s, std::uint16_t i, std::uint16_t v) {
    if (s.isError() || s.len % 2 || i >= s.len / 2) return 65535;
    std::memcpy(const_cast<char*>(s.ptr) + 2u * i, &v, 2);
    return 0;
}

std::int64_t ElemGet64(StrDesc s, std::uint16_t i) {
    if (s.isError() || s.len % 8 || i >= s.len / 8) return 0;
    std::int64_t v;
    std::memcpy(&v, s.ptr + 8u * i, 8);
    return v;
}

StrDesc BufWrite(MemBuffer& b, StrDesc data, std::uint16_t pos) {
    if (data.isError()) return data;
    if (b.error || !b.ptr) return kEmpty;
    std::uint32_t at = pos == 65535 ? b.used : pos;
    if (at + data.len > b.capacity) {
        b.error = err::STRCONCATERR;
        return StrErrorValue(err::STRCONCATERR);
    }
    if (at > b.used) std::memset(b.ptr + b.used, 0, at - b.used);
    if (data.len) std::memmove(b.ptr + at, data.ptr, data.len);
    if (at + data.len > b.used) b.used = static_cast<std::uint16_t>(at + data.len);
    return StrDesc{b.ptr + at, data.len};
}

// --- Formatting --------------------------------------------------------------

StrDesc StrFormatV(std::uint16_t max, StrDesc format, const FmtArg* args, std::size_t count) {
    if (format.isError()) return format;
    for (std::size_t k = 0; k < count; ++k)
        if (args[k].isText && args[k].text.isError()) return args[k].text;
    StrMarkT m = StrMark();
    std::uint32_t size = max + 1u > 65535u ? 65535u : max + 1u;
    StrDesc fail;
    char* w = reserve(size, fail);
    if (!w) return StrReturn(m, fail);
    BoundedOut out{w, max};
    std::size_t next = 0;
    const char* f = format.ptr;
    std::uint32_t n = format.len;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (f[i] != '%' || i + 1 >= n) {
            out.put(f[i]);
            continue;
        }
        std::uint32_t start = i++;
        bool left = false, zero = false, plus = false, space = false;
        for (; i < n; ++i) {
            if (f[i] == '-') left = true;
            else if (f[i] == '0') zero = true;
            else if (f[i] == '+') plus = true;
            else if (f[i] == ' ') space = true;
            else break;
        }
        std::uint32_t width = 0;
        for (; i < n && f[i] >= '0' && f[i] <= '9'; ++i) width = width * 10 + (f[i] - '0');
        int precision = -1;
        if (i < n && f[i] == '.') {
            precision = 0;
            for (++i; i < n && f[i] >= '0' && f[i] <= '9'; ++i) precision = precision * 10 + (f[i] - '0');
        }
        while (i < n && (f[i] == 'l' || f[i] == 'h')) ++i;
        if (i >= n) {
            out.put(f + start, n - start);
            break;
        }
        char conv = f[i];
        if (conv == '%') {
            out.put('%');
            continue;
        }
        if (!std::strchr("sidcuxX", conv)) {
            out.put(f + start, i + 1 - start);
            continue;
        }
        const FmtArg* a = next < count ? &args[next] : nullptr;
        ++next;
        char numBuf[32];
        const char* body = numBuf;
        std::uint32_t bodyLen = 0;
        char sign = 0;
        bool numeric = conv != 's' && conv != 'c';
        if (conv == 's' && (!a || a->isText)) {
            body = a ? a->text.ptr : "";
            bodyLen = a ? a->text.len : 0;
            if (precision >= 0 && static_cast<std::uint32_t>(precision) < bodyLen) bodyLen = precision;
        } else if (conv == 'c') {
            numBuf[0] = !a ? '\0' : a->isText ? (a->text.len ? a->text.ptr[0] : '\0') : static_cast<char>(a->number);
            bodyLen = 1;
        } else {
            std::int64_t v = !a ? 0 : a->isText ? StrToInt64(a->text) : a->number;
            if (conv == 'x' || conv == 'X' || conv == 'u') {
                // A negative value reads as its 32-bit two's complement, as printf does.
                std::uint64_t u = v >= 0 ? static_cast<std::uint64_t>(v) : static_cast<std::uint32_t>(v);
                bodyLen = digits(u, conv == 'u' ? 10 : 16, conv == 'X', numBuf);
            } else {
                std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
                if (v < 0) sign = '-';
                else if (plus) sign = '+';
                else if (space) sign = ' ';
                bodyLen = digits(mag, 10, false, numBuf);
            }
            numeric = true;
        }
        std::uint32_t shown = bodyLen + (sign ? 1 : 0);
        std::uint32_t pad = width > shown ? width - shown : 0;
        if (!left && !(zero && numeric)) out.fill(' ', pad);
        if (sign) out.put(sign);
        if (!left && zero && numeric) out.fill('0', pad);
        out.put(body, bodyLen);
        if (left) out.fill(' ', pad);
    }
    if (out.over) {
        ErrorRecordSet(1, ctx::FormatStrings, err::STRINGTOOLONG, 0);
        return StrReturn(m, StrErrorValue(err::STRINGTOOLONG));
    }
    StrTopShrink(static_cast<std::uint16_t>(out.len));
    return StrReturn(m, StrTop());
}

// --- Option texts ------------------------------------------------------------

StrDesc KeyValueFind(StrDesc text, StrDesc key, unsigned flags) {
    if (text.isError()) return text;
    if (key.isError()) return key;
    const bool block = flags & 4;
    const StrDesc none{text.ptr + text.len, 0};
    if (key.len == 0 || key.len >= text.len) return none;
    auto counts = [&](std::uint16_t at) {
        if (at == 0) return true;
        char c = text.ptr[at - 1];
        return block ? c == '\0' : (c == ':' || c == ' ' || c == '&' || c == '/');
    };
    for (char sep : {':', '='}) {
        std::uint32_t from = 0;
        for (;;) {
            std::uint16_t at = findTextFrom(text, from, key, block);
            if (at == STR_NPOS) break;
            std::uint32_t after = at + static_cast<std::uint32_t>(key.len);
            if (after < text.len && text.ptr[after] == sep && counts(at)) {
                std::uint32_t vstart = after + 1;
                std::uint16_t vend;
                if (block) vend = StrFindChar(text, static_cast<std::uint16_t>(vstart), '\0', true);
                else
                    vend = scan(text, vstart, false, [](char c) { return c == ':' || c == ' ' || c == '&' || c == '/'; });
                if (vend == STR_NPOS) vend = text.len;
                StrDesc v{text.ptr + vstart, static_cast<std::uint16_t>(vend - vstart)};
                if ((flags & 3) == 3) return StrCleanValue(v);
                if (flags & 1) return StrUnquote(v);
                return v;
            }
            from = at + 1u;
        }
    }
    return none;
}

}  // namespace rt
