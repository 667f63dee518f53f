// TEMPORARY stand-in for the variable store and the number conversions (see
// lang/eval_bind.h). A few fixed slots, enough for the evaluator's tests.
#include <cstring>

#include "core/strstack.h"
#include "lang/eval_bind.h"

namespace rt::evb {
namespace {

struct Slot {
    char name[40];
    std::uint16_t nameLen;
    bool isStr;
    std::int64_t num;
    char text[512];
    std::uint16_t textLen;
};
Slot g_vars[128];
int g_count = 0;

int find(StrDesc n) {
    for (int i = 0; i < g_count; ++i)
        if (g_vars[i].nameLen == n.len && std::memcmp(g_vars[i].name, n.ptr, n.len) == 0) return i;
    return -1;
}

char kindOf(StrDesc n) {
    for (std::uint16_t i = 0; i < n.len; ++i)
        if (n.ptr[i] == '@') return 'x';
    if (std::memchr(n.ptr, '(', n.len)) return 'a';
    if (std::memchr(n.ptr, '$', n.len)) return 's';
    if (std::memchr(n.ptr, '#', n.len)) return 'n';
    return 'i';
}

std::int64_t sysInt(const char* name, std::int64_t dflt) {
    int i = find(StrFromTerminated(name));
    return i < 0 ? dflt : g_vars[i].num;
}

}  // namespace

void reset() { g_count = 0; }

int precision() {
    std::int64_t p = sysInt("_PRECIS", 2);
    return p < 0 ? 0 : (p > 4 ? 4 : static_cast<int>(p));
}
std::uint16_t numScale() {
    std::uint16_t s = 1;
    for (int i = 0; i < precision(); ++i) s = static_cast<std::uint16_t>(s * 10);
    return s;
}
int sysTest(std::uint16_t pos, std::uint16_t mask) {
    return pos == 0 && (sysInt("_AUXSTAT", 0) & mask) ? 1 : 0;
}

ErrCode numPush(std::int64_t v) { return StrPush(StrMake(reinterpret_cast<const char*>(&v), 8)); }
bool numRead(StrDesc v, std::int64_t& out) {
    if (v.isError() || v.len != 8) return false;
    std::memcpy(&out, v.ptr, 8);
    return true;
}

ErrCode varGet(StrDesc name) {
    char k = kindOf(name);
    if (k == 'x' || name.len == 0) return err::SINTAXERROR;
    if (name.view() == ".lf$") return StrPush(StrView("\r\n"));
    int i = find(name);
    if (k == 's') return StrPush(i < 0 ? StrView("") : StrMake(g_vars[i].text, g_vars[i].textLen));
    std::int64_t v = i < 0 ? 0 : g_vars[i].num;
    if (name.view() == "_PRECIS" && i < 0) v = 2;
    return numPush(k == 'i' ? v * numScale() : v);
}

ErrCode varSet(StrDesc name) {
    char k = kindOf(name);
    if (k == 'x' || k == 'a' || name.len == 0 || name.len > 40) return err::SINTAXERROR;
    StrDesc top = StrTop();
    std::int64_t v = 0;
    if (k != 's' && !numRead(top, v)) return err::SINTAXERROR;
    if (k == 's' && top.len > 512) return err::STROUTBOUND;
    std::int64_t s = numScale();
    int i = find(name);
    if (i < 0) {
        if (g_count == 128) return err::VARNAMEERROR;
        i = g_count++;
        std::memcpy(g_vars[i].name, name.ptr, name.len);
        g_vars[i].nameLen = name.len;
        g_vars[i].num = 0;
    }
    if (k == 's') {
        std::memcpy(g_vars[i].text, top.ptr, top.len);
        g_vars[i].textLen = top.len;
    } else if (k == 'i') {
        std::int64_t q = v / s, r = v % s;
        if (2 * (r < 0 ? -r : r) >= s) q += v < 0 ? -1 : 1;
        g_vars[i].num = static_cast<std::int16_t>(static_cast<std::uint16_t>(q & 0xFFFF));
    } else {
        g_vars[i].num = v;
    }
    return 0;
}

std::int64_t textToNum(StrDesc t) {
    std::uint16_t a = 0, b = t.len;
    while (a < b && (t.ptr[a] == ' ' || t.ptr[a] == '\t')) ++a;
    while (b > a && (t.ptr[b - 1] == ' ' || t.ptr[b - 1] == '\t')) --b;
    bool neg = a < b && t.ptr[a] == '-';
    if (neg) ++a;
    int zeros = 0;
    for (std::uint16_t i = a; i < b; ++i)
        if (t.ptr[i] == 'D') {
            for (std::uint16_t j = i + 1; j < b && t.ptr[j] >= '0' && t.ptr[j] <= '9'; ++j) zeros = zeros * 10 + (t.ptr[j] - '0');
            b = i;
            break;
        }
    std::int64_t ip = 0, fp = 0;
    int dec = 0, p = precision();
    bool round = false, point = false;
    for (std::uint16_t i = a; i < b; ++i) {
        char c = t.ptr[i];
        if (c == '.' && !point) { point = true; continue; }
        if (c < '0' || c > '9') break;
        if (!point) ip = ip * 10 + (c - '0');
        else if (dec < p) { fp = fp * 10 + (c - '0'); ++dec; }
        else if (dec == p) { round = c >= '5'; ++dec; }
    }
    for (int i = 0; i < zeros; ++i) ip *= 10;
    for (; dec < p; ++dec) fp *= 10;
    std::int64_t s = numScale(), v = ip * s + fp + (round ? 1 : 0);
    return neg ? -v : v;
}

StrDesc numToText(std::int64_t raw, int d) {
    char buf[48];
    int n = 0;
    bool neg = raw < 0;
    std::uint64_t u = neg ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    char digits[32];
    int nd = 0;
    do { digits[nd++] = static_cast<char>('0' + u % 10); u /= 10; } while (u);
    while (nd < d) digits[nd++] = '0';
    int drop = 0;
    while (drop < d && digits[drop] == '0') ++drop;
    if (neg) buf[n++] = '-';
    for (int i = nd - 1; i >= d; --i) buf[n++] = digits[i];
    if (drop < d) {
        buf[n++] = '.';
        for (int i = d - 1; i >= drop; --i) buf[n++] = digits[i];
    }
    if (raw == 0 && d > 0) n = 0;
    if (n == 1 && buf[0] == '-') n = 0;
    StrPush(StrMake(buf, n));
    return StrTop();
}

StrDesc accumNames() { return StrView(""); }
ErrCode arrayGet(StrDesc, const VarArg*, std::uint16_t) { return err::FEATUREREMOVED; }
ErrCode arraySet(StrDesc, const VarArg*, std::uint16_t, StrDesc) { return err::FEATUREREMOVED; }
ErrCode arrayCreate(StrDesc, const VarArg*, std::uint16_t) { return err::FEATUREREMOVED; }
bool arrayExists(StrDesc) { return false; }
HostHook hookGet(std::uint16_t) { return nullptr; }
ErrCode LogLine(StrDesc, std::uint16_t) { return 0; }

}  // namespace rt::evb
