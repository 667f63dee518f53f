#include "core/lists.h"

#include <cstring>

#include "core/errors.h"
#include "core/strfuncs.h"

namespace rt {
namespace {

// Walks the items of a list in order.
struct ItemCursor {
    StrDesc list;
    char sep;
    std::uint32_t pos = 0;
    bool done = false;

    ItemCursor(StrDesc l, char s) : list(l), sep(s), done(l.isError() || l.len == 0) {}

    // The next item, or false when the list is exhausted.
    bool next(StrDesc& item) {
        if (done) return false;
        std::uint16_t at = StrFindChar(list, static_cast<std::uint16_t>(pos), sep, sep == '\0');
        if (pos >= list.len) at = STR_NPOS;
        std::uint32_t end = at == STR_NPOS ? list.len : at;
        item = StrDesc{list.ptr + pos, static_cast<std::uint16_t>(end - pos)};
        if (at == STR_NPOS) done = true;
        else pos = at + 1u;
        return true;
    }
};

// Builds a list in the free space above the string stack's top; finish()
// claims the bytes as one pushed value. Nothing may be pushed meanwhile.
struct ListBuilder {
    StrScratchArea sc = StrScratch();
    char sep;
    std::uint32_t len = 0;
    bool over = false;

    explicit ListBuilder(char s) : sep(s) {}
    void put(StrDesc text) {
        if (over || text.len == 0) return;
        if (len + text.len > sc.len || len + text.len > 65535) {
            over = true;
            return;
        }
        std::memmove(sc.ptr + len, text.ptr, text.len);
        len += text.len;
    }
    // Appends an item with StrJoin's rule: empty items add nothing.
    void item(StrDesc text) {
        if (text.len == 0) return;
        if (len) put(StrDesc{&sep, 1});
        put(text);
    }
    StrDesc sofar() const { return StrDesc{sc.ptr, static_cast<std::uint16_t>(len)}; }
    StrDesc finish(StrMarkT m) {
        if (over) return StrReturn(m, StrErrorValue(err::STRINGTOOLONG));
        ErrCode e = StrReserve(static_cast<std::uint16_t>(len), 255);  // keeps the bytes written
        if (e) return StrReturn(m, StrErrorValue(e));
        return StrReturn(m, StrTop());
    }
};

}  // namespace

std::uint16_t ListCount(StrDesc list, char sep) {
    if (list.isError() || list.len == 0) return 0;
    std::uint32_t count = 1;
    std::uint32_t from = 0;
    const bool plain = sep == '\0';
    while (from < list.len) {
        std::uint16_t at = StrFindChar(list, static_cast<std::uint16_t>(from), sep, plain);
        if (at == STR_NPOS) break;
        ++count;
        from = at + 1u;
    }
    return static_cast<std::uint16_t>(count > 65535 ? 65535 : count);
}

StrDesc ListItem(StrDesc list, char sep, std::uint16_t n) {
    if (list.isError()) return list;
    const StrDesc none{list.ptr + list.len, 0};
    if (n == 0 || list.len == 0) return none;
    const bool plain = sep == '\0';
    std::uint32_t from = 0;
    for (std::uint16_t k = 1; k < n; ++k) {
        std::uint16_t at = from < list.len ? StrFindChar(list, static_cast<std::uint16_t>(from), sep, plain) : STR_NPOS;
        if (at == STR_NPOS) return none;
        from = at + 1u;
    }
    std::uint16_t at = from < list.len ? StrFindChar(list, static_cast<std::uint16_t>(from), sep, plain) : STR_NPOS;
    std::uint32_t end = at == STR_NPOS ? list.len : at;
    return StrDesc{list.ptr + from, static_cast<std::uint16_t>(end - from)};
}

StrDesc ListItemValue(StrDesc list, char sep, std::uint16_t n) { return StrCleanValue(ListItem(list, sep, n)); }

std::int32_t ListItemNumber(StrDesc list, char sep, std::uint16_t n) {
    StrMarkT m = StrMark();
    std::int32_t v = StrToInt(ListItemValue(list, sep, n));
    StrRelease(m);
    return v;
}

std::uint16_t ListIndexOf(StrDesc list, StrDesc item, char sep) {
    if (list.isError() || item.isError() || item.len > list.len) return 0;
    StrDesc it;
    std::uint16_t k = 0;
    for (ItemCursor c(list, sep); c.next(it);) {
        ++k;
        if (it.len == item.len && (item.len == 0 || std::memcmp(it.ptr, item.ptr, item.len) == 0)) return k;
    }
    return 0;
}

StrDesc ListSetItem(StrDesc list, char sep, int n, StrDesc value) {
    if (list.isError()) return list;
    if (value.isError()) return value;
    StrMarkT m = StrMark();
    const std::uint16_t count = ListCount(list, sep);
    const StrDesc sepText{&sep, 1};
    StrDesc result;
    if (n < 0) {
        long k = -static_cast<long>(n);
        if (k > count) return StrReturn(m, list);
        StrDesc item = ListItem(list, sep, static_cast<std::uint16_t>(k));
        std::uint32_t b = static_cast<std::uint32_t>(item.ptr - list.ptr);
        std::uint32_t e = b + item.len;
        if (count == 1) {
            b = 0;
            e = list.len;
        } else if (k == 1) {
            ++e;  // the separator after it
        } else {
            --b;  // the separator before it
        }
        result = StrConcatN({StrMid(list, 0, static_cast<std::uint16_t>(b)), StrMid(list, static_cast<int>(e))});
    } else if (n == 0 || n > count) {
        std::uint32_t target = n == 0 ? count + 1u : static_cast<std::uint32_t>(n);
        std::uint32_t seps = count == 0 ? target - 1 : target - count;
        if (seps > 65535) {
            result = StrErrorValue(err::STRINGTOOLONG);
        } else {
            StrDesc pad = StrRepeat(sepText, static_cast<int>(seps));
            result = StrConcatN({list, pad, value});
        }
    } else {
        StrDesc item = ListItem(list, sep, static_cast<std::uint16_t>(n));
        std::uint32_t b = static_cast<std::uint32_t>(item.ptr - list.ptr);
        result = StrConcatN({StrMid(list, 0, static_cast<std::uint16_t>(b)), value,
                             StrMid(list, static_cast<int>(b + item.len))});
    }
    if (result.isError()) ErrorRecordSet(1, ctx::NONE, StrError(result), 0);
    return StrReturn(m, result);
}

StrDesc ListUnion(StrDesc a, char sepA, StrDesc b, char sepB) {
    if (a.isError()) return a;
    if (b.isError()) return b;
    StrMarkT m = StrMark();
    ListBuilder out(sepA);
    out.put(a);
    StrDesc it;
    for (ItemCursor c(b, sepB); c.next(it);)
        if (ListIndexOf(out.sofar(), it, sepA) == 0) out.item(it);
    return out.finish(m);
}

StrDesc ListMinus(StrDesc a, char sepA, StrDesc b, char sepB) {
    if (a.isError()) return a;
    if (b.isError()) return b;
    StrMarkT m = StrMark();
    ListBuilder out(sepA);
    StrDesc it;
    for (ItemCursor c(a, sepA); c.next(it);)
        if (ListIndexOf(b, it, sepB) == 0) out.item(it);
    return out.finish(m);
}

std::uint16_t ListMaxItemLength(StrDesc list, char sep) {
    std::uint16_t best = 0;
    StrDesc it;
    for (ItemCursor c(list, sep); c.next(it);) {
        std::uint16_t l = StrUnquote(it).len;
        if (l > best) best = l;
    }
    return best;
}

std::uint16_t ListMinItemLength(StrDesc list, char sep) {
    std::uint16_t best = 65535;
    StrDesc it;
    for (ItemCursor c(list, sep); c.next(it);) {
        std::uint16_t l = StrUnquote(it).len;
        if (l < best) best = l;
    }
    return best == 65535 ? 0 : best;
}

StrArrayT ListSplit(StrDesc list, char sep) {
    std::uint16_t n = ListCount(list, sep);
    if (n == 0) return {};
    StrArrayT a = StrArray(n);
    if (!a.items) return {};
    StrDesc it;
    std::uint16_t i = 0;
    for (ItemCursor c(list, sep); c.next(it) && i < n; ++i) StrArraySet(a, i, it);
    return a;
}

std::uint16_t RangeListFind(StrDesc list, std::int64_t value) {
    StrDesc it;
    std::uint16_t k = 0;
    for (ItemCursor c(list, ','); c.next(it);) {
        ++k;
        // lo: blanks, sign, digits; then an optional "-" and hi.
        std::uint32_t i = 0;
        auto readNumber = [&](std::int64_t& out) {
            while (i < it.len && (it.ptr[i] == ' ' || it.ptr[i] == '\t')) ++i;
            std::uint32_t start = i;
            if (i < it.len && (it.ptr[i] == '+' || it.ptr[i] == '-')) ++i;
            std::uint32_t digitsAt = i;
            while (i < it.len && it.ptr[i] >= '0' && it.ptr[i] <= '9') ++i;
            if (i == digitsAt) return false;
            out = StrToInt64(StrDesc{it.ptr + start, static_cast<std::uint16_t>(i - start)});
            while (i < it.len && (it.ptr[i] == ' ' || it.ptr[i] == '\t')) ++i;
            return true;
        };
        std::int64_t lo = 0, hi = 0;
        if (!readNumber(lo)) continue;
        hi = lo;
        if (i < it.len && it.ptr[i] == '-') {
            ++i;
            if (!readNumber(hi)) continue;
        }
        if (value >= lo && value <= hi) return k;
    }
    return 0;
}

}  // namespace rt
