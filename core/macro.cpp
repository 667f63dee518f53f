#include "core/macro.h"

#include <cstdlib>

#include "core/strfuncs.h"
#include "core/strstack.h"

namespace rt {
namespace {

MacroHooks g_hooks;

constexpr unsigned kMaxReplacements = 4096;

// Resolves "\{" and "\}" (a doubled brace keeps the backslash and one brace).
StrDesc resolveEscapes(StrDesc s) {
    StrMarkT m = StrMark();
    if (StrFindChar(s, 0, '\\', true) == STR_NPOS) return StrReturn(m, s);
    ErrCode e = StrReserve(s.len, 255);
    if (e) return StrReturn(m, StrErrorValue(e));
    char* w = StrTopWritable();
    std::uint16_t n = 0;
    for (std::uint32_t i = 0; i < s.len;) {
        char c = s.ptr[i];
        char b = i + 1 < s.len ? s.ptr[i + 1] : '\0';
        if (c == '\\' && (b == '{' || b == '}')) {
            if (i + 2 < s.len && s.ptr[i + 2] == b) {
                w[n++] = '\\';
                w[n++] = b;
                i += 3;
            } else {
                w[n++] = b == '{' ? '[' : ']';
                i += 2;
            }
            continue;
        }
        w[n++] = c;
        ++i;
    }
    StrTopShrink(n);
    return StrReturn(m, StrTop());
}

// The value of a macro's content by name (MACRO_NAMES); "" when none.
StrDesc lookupName(StrDesc content, StrDesc names) {
    StrDesc v = KeyValueFind(names, content, 3);
    if (v.len) return v;
    if (g_hooks.option) {
        v = g_hooks.option(content);
        if (!v.isError() && v.len) return v;
    }
    const char* env = std::getenv(StrTerminated(content));
    if (env && *env) return StrFromTerminated(env);
    return StrDesc{"", 0};
}

}  // namespace

void MacroSetHooks(const MacroHooks& hooks) { g_hooks = hooks; }
MacroHooks MacroGetHooks() { return g_hooks; }

StrDesc MacroExpand(StrDesc text, unsigned flags, StrDesc names) {
    if (text.isError()) return text;
    if (names.isError()) return names;
    const bool plain = flags & MACRO_PLAIN;
    StrMarkT m = StrMark();
    ErrCode e = StrPush(text);
    if (e) return StrReturn(m, StrErrorValue(e));
    StrDesc cur = StrTop();
    std::uint32_t d = 0;
    unsigned replacements = 0;
    while (d < cur.len) {
        std::uint16_t close = StrFindChar(cur, static_cast<std::uint16_t>(d), ']', plain);
        if (close == STR_NPOS) break;
        StrDesc before = StrMid(cur, static_cast<int>(d), static_cast<std::uint16_t>(close - d));
        std::uint16_t rel = StrFindLastChar(before, '[', plain);
        if (rel == STR_NPOS) {
            d = close + 1u;  // a closing bracket without an opener
            continue;
        }
        std::uint32_t open = d + rel;
        StrDesc content = StrMid(cur, static_cast<int>(open + 1), static_cast<std::uint16_t>(close - open - 1));

        StrDesc value{"", 0};
        bool have = false;
        if (flags & MACRO_NAMES) {
            value = lookupName(content, names);
            have = value.len != 0;
        }
        if (!have) {
            if (content.len && content.ptr[content.len - 1] == '%') {
                value = (flags & MACRO_NAMES) ? StrDesc{"", 0} : content;
            } else if (g_hooks.eval) {
                bool numeric = false;
                StrDesc r{"", 0};
                ErrCode ee = g_hooks.eval(content, r, numeric);
                if (ee) return StrReturn(m, StrErrorValue(ee));
                if (r.isError()) return StrReturn(m, r);
                value = (numeric && r.len == 0 && !(flags & MACRO_EMPTYNUM)) ? StrView("0") : r;
            } else {
                d = close + 1u;  // nothing can evaluate it: left as written
                continue;
            }
        }
        if (!(flags & MACRO_NOTRIM)) value = StrTrim(value, kBlankTab, 3);
        if (flags & MACRO_QUOTE) {
            value = StrQuote(value, (flags & MACRO_DQUOTE) ? '"' : '\'');
            if (value.isError()) return StrReturn(m, value);
        }
        StrDesc next = StrConcatN({StrMid(cur, 0, static_cast<std::uint16_t>(open)), value,
                                   StrMid(cur, static_cast<int>(close + 1))});
        if (next.isError()) return StrReturn(m, next);
        std::uint32_t after = open + value.len;
        cur = StrReturn(m, next);
        if (cur.isError()) return cur;
        if (!(flags & MACRO_RESCAN)) d = after;
        if (++replacements > kMaxReplacements) return StrReturn(m, StrErrorValue(err::LOOPFAILURE));
    }
    if (flags & MACRO_ESCAPES) return StrReturn(m, resolveEscapes(cur));
    return StrReturn(m, cur);
}

}  // namespace rt
