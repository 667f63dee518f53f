#include "lang/dates.h"

#include <cstring>
#include <ctime>

#include "core/strstack.h"
#include "lang/numbers.h"

namespace rt {
namespace {

constexpr int kAuxEmptyDateStays = 64;
constexpr int kCompatSixDates = 4;
constexpr std::int32_t kDayMs = 86400000;

std::int32_t g_pinDate = 0;
std::int32_t g_pinMs = 0;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSeparator(char c) { return c == '-' || c == '.' || c == '/'; }

StrDesc trimmed(StrDesc t) {
    std::size_t a = 0, b = t.len;
    while (a < b && isBlank(t.ptr[a])) ++a;
    while (b > a && isBlank(t.ptr[b - 1])) --b;
    return StrDesc{t.ptr + a, static_cast<std::uint16_t>(b - a)};
}

// Leading digits of a text as a number (blanks around skipped, at most 9 digits
// read so that the value stays in range).
int leadingNumber(StrDesc t) {
    t = trimmed(t);
    int v = 0;
    for (std::size_t i = 0; i < t.len && i < 9 && isDigit(t.ptr[i]); ++i) v = v * 10 + (t.ptr[i] - '0');
    return v;
}

void put2(char* w, int v) {
    w[0] = static_cast<char>('0' + (v / 10) % 10);
    w[1] = static_cast<char>('0' + v % 10);
}

void put4(char* w, int v) {
    put2(w, v / 100);
    put2(w + 2, v % 100);
}

// Days from 1 January of year 0 (a leap year) to the given date; the day may
// run past the month's end.
std::int64_t dayNumber(std::int64_t y, int m, std::int64_t d) {
    static constexpr int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    std::int64_t n = 365 * y + (y + 3) / 4 + before[m - 1] + d - 1;
    if (m > 2 && y % 4 == 0) ++n;
    return n;
}

// The inverse of dayNumber for n >= 0.
void fromDayNumber(std::int64_t n, std::int64_t& y, int& m, int& d) {
    std::int64_t cycle = n / 1461, r = n % 1461;  // 4 years: 366 + 3 x 365 days
    std::int64_t off = 0;
    if (r >= 366) {
        off = 1 + (r - 366) / 365;
        r = (r - 366) % 365;
    }
    y = cycle * 4 + off;
    m = 1;
    while (r >= monthLength(static_cast<int>(y % 4), m)) {
        r -= monthLength(static_cast<int>(y % 4), m);
        ++m;
    }
    d = static_cast<int>(r) + 1;
}

std::int32_t packDate(std::int64_t y, int m, int d) {
    if (y < 0 || y > 9999) return 0;
    return static_cast<std::int32_t>(y * 10000 + m * 100 + d);
}

// Splits a YYYYMMDD number, carrying months past 12 into the years and days
// past the month's end into the following months. False for month or day 0.
bool normalise(std::int32_t date, std::int64_t& y, int& m, int& d) {
    if (date <= 0) return false;
    y = date / 10000;
    int mm = (date / 100) % 100;
    int dd = date % 100;
    if (mm == 0 || dd == 0) return false;
    y += (mm - 1) / 12;
    m = (mm - 1) % 12 + 1;
    if (dd > monthLength(static_cast<int>(y % 4), m)) {
        fromDayNumber(dayNumber(y, m, dd), y, m, d);
    } else {
        d = dd;
    }
    return true;
}

// Pushes `n` blanks.
StrDesc blanks(StrMarkT m, std::uint16_t n) {
    StrRelease(m);
    if (StrReserve(n, ' ')) return StrErrorValue(err::OUTOFMEMORY);
    return StrTop();
}

bool emptyDateStays() { return (numSysGet(sysvar::AUXSTAT) & kAuxEmptyDateStays) != 0; }

void localNow(std::int32_t& date, std::int32_t& ms) {
    if (g_pinDate) {
        date = g_pinDate;
        ms = g_pinMs;
        return;
    }
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm lt {};
    localtime_r(&ts.tv_sec, &lt);
    date = (lt.tm_year + 1900) * 10000 + (lt.tm_mon + 1) * 100 + lt.tm_mday;
    ms = ((lt.tm_hour * 60 + lt.tm_min) * 60 + lt.tm_sec) * 1000 + static_cast<std::int32_t>(ts.tv_nsec / 1000000);
}

// Appends src to out (capacity cap) and returns the new length.
std::size_t append(char* out, std::size_t len, std::size_t cap, const char* src, std::size_t n) {
    if (len + n > cap) n = cap - len;
    std::memcpy(out + len, src, n);
    return len + n;
}

}  // namespace

int monthLength(int year, int month) {
    static constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && year % 4 == 0) return 29;
    return lengths[month - 1];
}

bool dateValid(int year, int month, int day) {
    return year >= 0 && year <= 9999 && day >= 1 && day <= monthLength(year, month);
}

std::int32_t dateFromText(StrDesc text) {
    if (text.isError()) return 0;
    StrDesc t = trimmed(text);
    if (t.len != 8) return 0;
    std::int32_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        if (!isDigit(t.ptr[i])) return 0;
        v = v * 10 + (t.ptr[i] - '0');
    }
    return dateValid(v / 10000, (v / 100) % 100, v % 100) ? v : 0;
}

std::int32_t today() {
    std::int32_t date, ms;
    localNow(date, ms);
    return date;
}

std::int32_t timeNow() {
    std::int32_t date, ms;
    localNow(date, ms);
    return ms;
}

void dateClockPin(std::int32_t date, std::int32_t ms) {
    g_pinDate = date;
    g_pinMs = ms;
}

int expandYear(int yy) {
    int base = numSysGet(sysvar::BYEAR);
    return yy < numSysGet(sysvar::BKYEAR) ? base + yy : base - 100 + yy;
}

StrDesc dateFormat(StrDesc date, int format) {
    if (date.isError()) return date;
    StrMarkT m = StrMark();
    StrDesc t = trimmed(date);
    std::int32_t v = 0;
    if (t.len == 0) {
        if (!emptyDateStays()) v = today();
    } else {
        v = dateFromText(t);
    }
    if (v == 0) {
        if (format == 1) return blanks(m, 8);
        if (format == 2) return blanks(m, 10);
        return StrReturn(m, StrDesc{"", 0});
    }
    int y = v / 10000, mo = (v / 100) % 100, d = v % 100;
    bool dayFirst = dateDayFirst();
    char out[512];
    std::size_t len = 0;
    switch (format) {
        case 0:
            put4(out, y);
            put2(out + 4, mo);
            put2(out + 6, d);
            len = 8;
            break;
        case 1:
        case 2:
            put2(out, dayFirst ? d : mo);
            out[2] = '-';
            put2(out + 3, dayFirst ? mo : d);
            out[5] = '-';
            if (format == 1) {
                put2(out + 6, y % 100);
                len = 8;
            } else {
                put4(out + 6, y);
                len = 10;
            }
            break;
        case 3:
        case 4: {
            StrDesc tpl = format == 3 ? StrView("[M] [Y]") : dateLongTemplate();
            StrDesc month = monthName(mo);
            if (format == 3 && month.len > 3) month.len = 3;
            for (std::size_t i = 0; i < tpl.len;) {
                if (i + 2 < tpl.len && tpl.ptr[i] == '[' && tpl.ptr[i + 2] == ']') {
                    char k = tpl.ptr[i + 1];
                    char num[4];
                    if (k == 'D') {
                        put2(num, d);
                        len = append(out, len, sizeof out, num, 2);
                        i += 3;
                        continue;
                    }
                    if (k == 'M') {
                        len = append(out, len, sizeof out, month.ptr, month.len);
                        i += 3;
                        continue;
                    }
                    if (k == 'Y') {
                        put4(num, y);
                        len = append(out, len, sizeof out, num, 4);
                        i += 3;
                        continue;
                    }
                }
                len = append(out, len, sizeof out, tpl.ptr + i, 1);
                ++i;
            }
            break;
        }
        default:
            break;
    }
    return StrReturn(m, StrMake(out, len));
}

StrDesc dateParse(StrDesc text) {
    if (text.isError()) return text;
    StrMarkT m = StrMark();
    StrDesc t = trimmed(text);
    std::size_t sep = 0;
    while (sep < t.len && !isSeparator(t.ptr[sep])) ++sep;

    int day = 0, month = 0, year = 0;
    if (sep == t.len) {
        if (t.len == 6) {
            day = leadingNumber(StrDesc{t.ptr, 2});
            month = leadingNumber(StrDesc{t.ptr + 2, 2});
            year = expandYear(leadingNumber(StrDesc{t.ptr + 4, 2}));
            // A 6-character text must be all digits to be a date.
            for (std::size_t i = 0; i < 6; ++i)
                if (!isDigit(t.ptr[i])) day = 0;
        } else if (t.len == 0) {
            if (emptyDateStays()) return StrReturn(m, StrDesc{"", 0});
            return dateFormat(StrDesc{"", 0}, 0);
        } else {
            // The internal form passes; any other text is not a date.
            return StrReturn(m, dateFromText(t) ? t : StrDesc{"", 0});
        }
    } else {
        char s = t.ptr[sep];
        StrDesc part[3];
        std::size_t start = 0;
        for (int k = 0; k < 3; ++k) {
            std::size_t end = start;
            while (end < t.len && (t.ptr[end] != s || k == 2)) ++end;
            part[k] = start <= t.len ? StrDesc{t.ptr + start, static_cast<std::uint16_t>(end - start)} : StrDesc{"", 0};
            start = end + 1;
        }
        int a = leadingNumber(part[0]), b = leadingNumber(part[1]);
        bool dayFirst = dateDayFirst();
        day = dayFirst ? a : b;
        month = dayFirst ? b : a;
        StrDesc y = trimmed(part[2]);
        // The year must be all digits ("24", "2024").
        for (std::size_t i = 0; i < y.len; ++i)
            if (!isDigit(y.ptr[i])) y.len = 0;
        year = leadingNumber(y);
        if (y.len == 2) year = expandYear(year);
        if (y.len == 0) year = 0;
    }
    if (day == 0 || month == 0 || year == 0 || !dateValid(year, month, day)) return StrReturn(m, StrDesc{"", 0});
    char out[8];
    put4(out, year);
    put2(out + 4, month);
    put2(out + 6, day);
    return StrReturn(m, StrMake(out, 8));
}

std::int32_t dateShift(std::int32_t date, char unit, std::int32_t amount) {
    std::int64_t y;
    int m, d;
    if (!normalise(date, y, m, d)) return 0;
    switch (unit) {
        case 'D': {
            std::int64_t n = dayNumber(y, m, d) + amount;
            if (n < 0) return 0;
            fromDayNumber(n, y, m, d);
            break;
        }
        case 'M': {
            std::int64_t total = y * 12 + (m - 1) + amount;
            if (total < 0) return 0;
            y = total / 12;
            m = static_cast<int>(total % 12) + 1;
            break;
        }
        case 'Y':
            y += amount;
            break;
        default:
            break;
    }
    if (y < 0 || y > 9999) return 0;
    int len = monthLength(static_cast<int>(y), m);
    if (d > len) d = len;
    return packDate(y, m, d);
}

std::int32_t dateDiff(std::int32_t from, std::int32_t to, char unit) {
    int fy = from / 10000, fm = (from / 100) % 100, fd = from % 100;
    int ty = to / 10000, tm = (to / 100) % 100, td = to % 100;
    if (from <= 0 || to <= 0 || !dateValid(fy, fm, fd) || !dateValid(ty, tm, td)) return 0;
    switch (unit) {
        case 'M': return (ty - fy) * 12 + (tm - fm);
        case 'Y': return ty - fy;
        default: return static_cast<std::int32_t>(dayNumber(ty, tm, td) - dayNumber(fy, fm, fd));
    }
}

bool dateSixApplies(char type, std::uint16_t width) {
    return type == 'F' && width == 6 && (numSysGet(sysvar::COMPAT) & kCompatSixDates) != 0;
}

StrDesc dateSixRead(StrDesc six) {
    if (six.isError()) return six;
    StrMarkT m = StrMark();
    char f[6];
    for (std::size_t i = 0; i < 6; ++i) f[i] = i < six.len ? six.ptr[i] : ' ';
    char out[8];
    if (isDigit(f[0])) {
        out[0] = '1';
        out[1] = '9';
        out[2] = f[0];
    } else if (f[0] >= 'A' && f[0] <= 'J') {
        out[0] = '2';
        out[1] = '0';
        out[2] = static_cast<char>('0' + (f[0] - 'A'));
    } else {
        return blanks(m, 8);  // blank (empty date) or unreadable
    }
    for (std::size_t i = 1; i < 6; ++i) {
        char c = f[i] == ' ' ? '0' : f[i];
        if (!isDigit(c)) return blanks(m, 8);
        out[i + 2] = c;
    }
    if (!dateFromText(StrMake(out, 8))) return blanks(m, 8);
    return StrReturn(m, StrMake(out, 8));
}

StrDesc dateSixWrite(StrDesc date) {
    if (date.isError()) return date;
    StrMarkT m = StrMark();
    std::int32_t v = dateFromText(date);
    if (v == 0) return blanks(m, 6);
    int y = v / 10000, mo = (v / 100) % 100, d = v % 100;
    if (y < 1900 || y > 2099) return StrReturn(m, StrErrorValue(err::DATAOUTBOUND));
    char out[6];
    put2(out, y % 100);
    if (y >= 2000) out[0] = static_cast<char>('A' + (y % 100) / 10);
    put2(out + 2, mo);
    put2(out + 4, d);
    if (out[2] == '0') out[2] = ' ';
    if (out[4] == '0') out[4] = ' ';
    return StrReturn(m, StrMake(out, 6));
}

StrDesc timeFormat(std::int32_t ms, int flags) {
    StrMarkT m = StrMark();
    std::int32_t t = ms % kDayMs;
    if (t < 0) t += kDayMs;
    int h = t / 3600000, mi = (t / 60000) % 60, s = (t / 1000) % 60, milli = t % 1000;
    char out[16];
    std::size_t len = 0;
    put2(out, h);
    len = 2;
    if (flags & 1) out[len++] = ':';
    put2(out + len, mi);
    len += 2;
    if (flags & 2) {
        if (flags & 1) out[len++] = ':';
        put2(out + len, s);
        len += 2;
    }
    if (flags & 4) {
        out[len++] = '.';
        out[len++] = static_cast<char>('0' + milli / 100);
        put2(out + len, milli % 100);
        len += 2;
    }
    return StrReturn(m, StrMake(out, len));
}

std::int32_t timeParse(StrDesc text) {
    if (text.isError()) return 0;
    StrDesc t = trimmed(text);
    if (t.len == 0) return timeNow();
    // Up to three fields split at ":"; the last one holds the seconds.
    StrDesc field[3];
    int n = 0;
    std::size_t start = 0;
    while (n < 3) {
        std::size_t end = start;
        while (end < t.len && (t.ptr[end] != ':' || n == 2)) ++end;
        field[n++] = StrDesc{t.ptr + start, static_cast<std::uint16_t>(end - start)};
        if (end >= t.len) break;
        start = end + 1;
    }
    std::int64_t h = 0, mi = 0, s = 0, milli = 0;
    StrDesc last = field[n - 1];
    s = leadingNumber(last);
    StrDesc lt = trimmed(last);
    if (const char* dot = static_cast<const char*>(std::memchr(lt.ptr, '.', lt.len))) {
        std::size_t i = static_cast<std::size_t>(dot - lt.ptr) + 1;
        int scale = 100;
        for (; i < lt.len && isDigit(lt.ptr[i]) && scale > 0; ++i, scale /= 10) milli += (lt.ptr[i] - '0') * scale;
    }
    if (n >= 2) mi = leadingNumber(field[n - 2]);
    if (n == 3) h = leadingNumber(field[0]);
    std::int64_t total = ((h * 60 + mi) * 60 + s) * 1000 + milli;
    return total > 2147483647 ? 2147483647 : static_cast<std::int32_t>(total);
}

}  // namespace rt
