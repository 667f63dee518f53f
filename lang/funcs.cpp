#include "lang/funcs.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "core/errors.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/macro.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "lang/dates.h"
#include "lang/masks.h"
#include "lang/numbers.h"
#include "lang/sortlist.h"
#include "lang/varstore.h"
#include "shell/environ.h"
#include "shell/paths.h"

namespace rt {
namespace {

constexpr StrDesc kEmpty{"", 0};
constexpr StrDesc kAccumArray{"_#(", 3};

DataFileFuncs g_dataFiles;

StrDesc lit(const char* s) { return StrFromTerminated(s); }
bool is(StrDesc s, std::string_view w) { return !s.isError() && s.view() == w; }

// A scaled number rounded half away from zero to an integer (no overflow).
std::int64_t roundToInt(std::int64_t v) {
    const std::int64_t s = numScale();
    std::int64_t q = v / s, r = v % s;
    if (r >= s - r && r > 0) ++q;
    else if (-r >= s + r && r < 0) --q;
    return q;
}

// A copy on the string stack, so that it outlives stores into the StringArea.
StrDesc own(StrDesc s) {
    if (s.isError()) return s;
    if (ErrCode e = StrPush(s)) return StrErrorValue(e);
    return StrTop();
}

// Leaves v as the call's string result directly above m.
ErrCode retText(FuncCall& call, StrMarkT m, StrDesc v) {
    if (v.isError()) {
        StrRelease(m);
        return StrError(v);
    }
    StrDesc r = StrReturn(m, v);
    if (r.isError()) return StrError(r);
    call.resultIsString = true;
    return 0;
}

// Leaves the scaled number v as the call's result directly above m.
ErrCode retNum(FuncCall& call, StrMarkT m, std::int64_t v) {
    StrRelease(m);
    call.resultIsString = false;
    return numPush(v);
}
ErrCode retInt(FuncCall& call, StrMarkT m, std::int64_t v) { return retNum(call, m, v * numScale()); }

// The value a library function left on top (number or string) as the result.
ErrCode retTop(FuncCall& call, StrMarkT m, bool isString) {
    StrDesc r = StrReturn(m, StrTop());
    if (r.isError()) return StrError(r);
    call.resultIsString = isString;
    return 0;
}

#define ARG_INT(n, dflt, var)                                                  \
    std::int64_t var = 0;                                                      \
    if (ErrCode e_ = funcArgInt(call, n, dflt, var)) return e_;
#define ARG_STR(n, dflt, var)                                                  \
    StrDesc var;                                                               \
    if (ErrCode e_ = funcArgStr(call, n, dflt, var)) return e_;

// A file argument of the data-file functions.
DataFileRef fileRef(const FuncCall& call, std::uint8_t n) {
    FuncArg a = funcArg(call, n);
    DataFileRef r;
    if (!a.present) return r;
    r.given = true;
    r.isText = a.isText;
    if (a.isText) r.name = a.text;
    else r.number = roundToInt(a.num);
    return r;
}

std::uint16_t toU16(std::int64_t v) {
    return v < 0 ? 65535 : (v > 65535 ? 65535 : static_cast<std::uint16_t>(v));
}

// One pair of parentheses enclosing the whole text is removed.
StrDesc stripParens(StrDesc s) {
    if (s.len < 2 || s.ptr[0] != '(' || s.ptr[s.len - 1] != ')') return s;
    int depth = 0;
    char quote = 0;
    for (std::uint16_t i = 0; i < s.len; ++i) {
        char c = s.ptr[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0 && i != s.len - 1) return s;  // '(a)+(b)'
        }
    }
    return StrMake(s.ptr + 1, s.len - 2u);
}

// --- String functions -----------------------------------------------------------

ErrCode fnSlen(FuncCall& call) {
    ARG_STR(1, kEmpty, s);
    return retInt(call, StrMark(), s.len);
}

ErrCode fnMids(FuncCall& call) {
    ARG_STR(1, kEmpty, s);
    ARG_INT(2, -1, start);
    ARG_INT(3, -1, length);
    std::int64_t from = start < 0 ? s.len + start : (start == 0 ? 0 : start - 1);
    if (from < 0) from = 0;
    StrDesc r = kEmpty;
    if (from < s.len) {
        std::int64_t n = s.len - from;
        if (length >= 0 && length < n) n = length;
        r = StrMake(s.ptr + from, static_cast<std::size_t>(n));
    }
    return retText(call, StrMark(), r);
}

ErrCode fnTrim(FuncCall& call) {
    StrMarkT m = StrMark();
    StrDesc v = funcArgText(call, 1);
    ARG_STR(2, lit("BOTHTRIM"), mode);
    StrDesc r;
    if (is(mode, "LEFTTRIM")) r = StrTrim(v, kBlankTab, 1);
    else if (is(mode, "RIGHTRIM")) r = StrTrim(v, kBlankTab, 2);
    else if (is(mode, "BOTHTRIM")) r = StrTrim(v, kBlankTab, 3);
    else if (is(mode, "FIT")) r = StrCleanValue(v);
    else r = StrErrorValue(err::SINTAXERROR);
    return retText(call, m, r);
}

// Every run of blanks outside quotes reduced to one blank.
StrDesc cleanBlanks(StrDesc s) {
    StrMarkT m = StrMark();
    if (ErrCode e = StrReserve(s.len, 255)) return StrReturn(m, StrErrorValue(e));
    char* w = StrTopWritable();
    std::uint16_t n = 0;
    char quote = 0;
    for (std::uint16_t i = 0; i < s.len; ++i) {
        char c = s.ptr[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ' ' && n && w[n - 1] == ' ') {
            continue;
        }
        w[n++] = c;
    }
    StrTopShrink(n);
    return StrReturn(m, StrTop());
}

ErrCode fnChng(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, text);
    ARG_STR(2, kEmpty, what);
    ARG_STR(3, kEmpty, with);
    StrDesc r;
    if (is(what, "UCASE")) {
        r = StrUpper(text);
    } else if (is(what, "LCASE")) {
        r = StrLower(text);
    } else if (is(what, "CLEAN")) {
        r = cleanBlanks(text);
    } else if (is(what, "FILTER")) {
        if (call.count < 4) {
            r = StrKeepChars(text, with);
        } else {
            // Translation: `with` cut into as many equal groups as the fourth
            // argument has characters.
            FuncArg to = funcArg(call, 4);
            if (!to.present || !to.isText || to.text.len == 0 || with.len % to.text.len != 0)
                return err::SINTAXERROR;
            r = StrReplaceSet(text, with, to.text);
        }
    } else {
        ARG_INT(4, 0, flag);
        if (what.len == 0) r = text;
        else r = StrReplaceAll(text, what, with, flag != 0);
    }
    return retText(call, m, r);
}

ErrCode fnChrs(FuncCall& call) {
    FuncArg a = funcArg(call, 1);
    ARG_INT(2, 1, count);
    StrMarkT m = StrMark();
    if (!a.present || count <= 0 || (a.isText && a.text.len == 0)) return retText(call, m, kEmpty);
    if (count > 65535) return err::STRINGTOOLONG;
    char ch = a.isText ? a.text.ptr[0] : static_cast<char>(roundToInt(a.num) & 0xFF);
    if (ErrCode e = StrReserve(static_cast<std::uint16_t>(count), 255)) return e;
    std::memset(StrTopWritable(), static_cast<unsigned char>(ch), static_cast<std::size_t>(count));
    call.resultIsString = true;
    return 0;
}

ErrCode fnEnvelop(FuncCall& call) {
    ARG_STR(1, kEmpty, text);
    ARG_INT(2, 39, code);
    char ch = static_cast<char>(code & 0xFF);
    StrMarkT m = StrMark();
    return retText(call, m, StrConcatN({StrMake(&ch, 1), text, StrMake(&ch, 1)}));
}

ErrCode fnSparm(FuncCall& call) {
    ARG_STR(1, kEmpty, list);
    ARG_INT(2, -1, n);
    ARG_INT(3, 44, sepCode);
    char sep = static_cast<char>(sepCode & 0xFF);
    if (n < 0) n = ListCount(list, sep) + 1 + n;  // -1: the last item
    StrDesc r = (n <= 0 || n > 65535) ? kEmpty : ListItem(list, sep, static_cast<std::uint16_t>(n));
    return retText(call, StrMark(), r);
}

ErrCode fnNparm(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, list);
    if (call.count == 1) return retInt(call, m, ListCount(list, ','));
    FuncArg item = funcArg(call, 2);
    StrDesc itemText = funcArgText(call, 2);
    if (call.count == 2) return retInt(call, m, ListIndexOf(list, itemText, ','));
    FuncArg third = funcArg(call, 3);
    if (third.isText) {
        // A lookup table: the value at the item's position.
        std::uint16_t pos = ListIndexOf(list, itemText, ',');
        return retNum(call, m, pos ? textToNum(ListItem(third.text, ',', pos)) : 0);
    }
    std::int64_t value = item.isText ? StrToInt64(item.text) : StrToInt64(itemText);
    return retInt(call, m, RangeListFind(list, value));
}

ErrCode fnMacro(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, text);
    ARG_INT(2, 0, flags);
    ARG_STR(3, kEmpty, names);
    text = own(text);
    names = own(names);
    StrDesc r = (flags & 4) ? MacroExpand(text, MACRO_PLAIN | MACRO_NAMES | MACRO_EMPTYNUM, names)
                            : MacroExpand(text, static_cast<unsigned>(flags & 0xFF));
    if (!r.isError() && (flags & 8)) r = evalText(StrTrim(r));
    return retText(call, m, r);
}

ErrCode fnExp(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, tmpl);
    StrDesc r = own(tmpl);
    char tag[8];
    for (int k = 1; !evalCursorAtEnd(call.rest); ++k) {
        StrDesc operand = evalCursorOperand(call.rest);
        if (operand.isError()) break;
        int n = std::snprintf(tag, sizeof tag, "$%d_", k);
        if (n <= 0 || n >= static_cast<int>(sizeof tag)) break;
        r = StrReplaceAll(r, StrMake(tag, static_cast<std::size_t>(n)), operand, true);
        if (r.isError()) break;
    }
    return retText(call, m, r);
}

// --- Conversions ------------------------------------------------------------------

// A date argument as YYYYMMDD: a number's integer part, or a date text (parsed
// first when it holds a separator); 0 when it is not a date.
std::int32_t dateOf(const FuncArg& a) {
    if (!a.present) return 0;
    if (!a.isText) {
        std::int64_t v = roundToInt(a.num);
        return v > 0 && v < 100000000 ? static_cast<std::int32_t>(v) : 0;
    }
    StrDesc t = StrTrim(a.text);
    if (StrFindAny(t, lit("-./"), true) != STR_NPOS) {
        StrMarkT m = StrMark();
        std::int32_t d = dateFromText(dateParse(t));
        StrRelease(m);
        return d;
    }
    std::int32_t d = dateFromText(t);
    if (d == 0 && t.len == 8 && StrFindAny(t, lit(" +-"), true) == STR_NPOS) {
        // Eight digits that are not a valid date yet ('V' normalises them).
        std::int64_t v = StrToInt64(t);
        if (v > 0) d = static_cast<std::int32_t>(v);
    }
    return d;
}

ErrCode fnValn(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg a = funcArg(call, 1);
    ARG_STR(2, lit("N"), type);
    char t = type.len ? charUpper(type.ptr[0]) : 'N';
    if (type.len > 1) return err::SINTAXERROR;
    if (t == 'N') {
        if (!a.isText) return retNum(call, m, a.num);
        return retNum(call, m, textToNum(cleanNumeric(a.text)));
    }
    if (t != 'D' && t != 'M' && t != 'Y' && t != 'V') return err::SINTAXERROR;
    std::int32_t date = dateOf(a);
    FuncArg base = funcArg(call, 3);
    std::int64_t b = base.present && !base.isText ? roundToInt(base.num) : 0;
    if (base.present && (base.isText || b >= 10001)) {
        // The difference between the two dates, from the base to the date.
        std::int32_t other = dateOf(base);
        return retInt(call, m, dateDiff(other, date, t == 'V' ? 'D' : t));
    }
    if (t == 'V' || !base.present) return retInt(call, m, dateShift(date, 'V', 0));
    return retInt(call, m, dateShift(date, t, static_cast<std::int32_t>(b)));
}

ErrCode fnDate(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg a = funcArg(call, 1);
    ARG_INT(2, 0, format);
    StrDesc date = kEmpty;
    if (format & 128) {
        if (a.present && !a.isText) return err::TYPEMISMATCH;
        // The file's last-write date; a missing file gives an invalid date (blanks).
        std::int32_t d = FileTime(a.text, 2, 0);
        date = d ? numToText(static_cast<std::int64_t>(d) * numScale()) : lit("00000000");
    } else if (a.present && !a.isText) {
        date = numToText(roundToInt(a.num) * numScale());
    } else if (a.present) {
        date = StrFindAny(a.text, lit("-./"), true) != STR_NPOS ? dateParse(StrTrim(a.text)) : a.text;
    }
    return retText(call, m, dateFormat(date, static_cast<int>(format & 0x7F)));
}

ErrCode fnTime(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg a = funcArg(call, 1);
    if (a.present && !a.isText) return err::TYPEMISMATCH;
    ARG_INT(2, 0, format);
    StrDesc text = a.present ? a.text : kEmpty;
    std::int32_t ms = (format & 128) ? FileTime(text, 2, 1) : timeParse(text);
    return retText(call, m, timeFormat(ms, static_cast<int>(format & 0x7F)));
}

ErrCode fnMask(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, mask);
    StrDesc value = funcArgText(call, 2);
    ARG_INT(3, 255, mode);
    return retText(call, m, maskFormat(mask, value, static_cast<std::uint8_t>(mode & 0xFF)));
}

// --- Conditional and aggregate functions -------------------------------------------------

ErrCode chooseValue(FuncCall& call, bool wantString) {
    StrMarkT m = StrMark();
    FuncArg cond = funcArg(call, 1);
    if (cond.isText) return err::TYPEMISMATCH;
    if (evalCursorAtEnd(call.rest)) return err::SINTAXERROR;
    ErrCode e;
    if (cond.num != 0) {
        e = evalCursorNext(call.rest);
    } else {
        evalCursorSkip(call.rest);
        e = err::NULLEXPRESSION;  // no false branch: the empty value
        while (!evalCursorAtEnd(call.rest)) {
            StrRelease(m);
            e = evalCursorNext(call.rest);
            if (e >= 128) break;
        }
    }
    if (e >= 128) {
        StrRelease(m);
        return e;
    }
    if (e == err::NULLEXPRESSION) {
        // An empty branch gives the function's own empty value.
        StrRelease(m);
        call.resultIsString = wantString;
        return wantString ? StrPush(kEmpty) : numPush(0);
    }
    bool isString = e == EVAL_STRING;
    if (ErrCode r = retTop(call, m, isString)) return r;
    if (isString != wantString) return err::TYPEWARNING;
    return isString ? 0 : e;
}

ErrCode fnChkNum(FuncCall& call) { return chooseValue(call, false); }
ErrCode fnChkStr(FuncCall& call) { return chooseValue(call, true); }

// Evaluates text and adds its value (a string converted) to sum.
ErrCode addValue(StrDesc text, std::int64_t& sum) {
    StrMarkT m = StrMark();
    ErrCode e = evalExpr(text);
    if (e >= 128) return e;
    std::int64_t v = 0;
    if (e == EVAL_STRING) v = textToNum(StrTop());
    else numRead(StrTop(), v);
    StrRelease(m);
    sum += v;
    return 0;
}

ErrCode fnAcum(FuncCall& call) {
    StrMarkT m = StrMark();
    StrDesc texts[4];
    std::uint8_t n = 0;
    while (!evalCursorAtEnd(call.rest)) {
        if (n == 4) return err::SINTAXERROR;
        StrDesc t = evalCursorText(call.rest);
        if (t.isError()) break;
        texts[n++] = own(stripParens(StrTrim(t)));
        if (texts[n - 1].isError()) return StrError(texts[n - 1]);
    }
    if (n < 2) return err::SINTAXERROR;
    std::int64_t sum = 0;
    if (n == 4) {
        // Counted: variable = start .. end.
        StrDesc var = texts[1];
        if (varClassify(var) != VarKind::INTEGER) return err::SINTAXERROR;
        std::int64_t end = evalInteger(texts[3]);
        StrDesc init = StrConcatN({var, lit("="), texts[2]});
        if (init.isError()) return StrError(init);
        if (ErrCode e = evalErrors(init)) return e;
        for (;;) {
            StrMarkT step = StrMark();
            if (ErrCode e = varGet(var)) return e;
            std::int64_t raw = 0;
            numRead(StrTop(), raw);
            StrRelease(step);
            std::int64_t v = roundToInt(raw);
            if (v > end) break;
            if (ErrCode e = addValue(texts[0], sum)) return e;
            if (ErrCode e = varSetInteger(var, static_cast<std::int16_t>(static_cast<std::uint16_t>(v + 1)))) return e;
            if (v == 32767) break;  // the 16-bit slot would wrap: no value is above the end
        }
        return retNum(call, m, sum);
    }
    // Conditional: while the condition (then the repeat condition) holds.
    StrDesc cond = texts[1];
    ErrCode holds = cond.len ? evalCondition(cond) : 1;
    while (holds == 1) {
        if (ErrCode e = addValue(texts[0], sum)) return e;
        if (n == 3) holds = evalCondition(texts[2]);
        else holds = cond.len ? evalCondition(cond) : 0;
    }
    if (holds >= 122) return holds;
    return retNum(call, m, sum);
}

// --- Accumulators ------------------------------------------------------------------

ErrCode readAccum(FuncCall& call, StrMarkT m, std::int64_t n) {
    VarArg idx;
    idx.num = n * numScale();
    if (ErrCode e = arrayGet(kAccumArray, &idx, 1)) {
        StrRelease(m);
        return e;
    }
    return retTop(call, m, false);
}

ErrCode fnAccum(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg first = funcArg(call, 1);
    if (first.isText) {
        if (is(first.text, "DIM")) {
            ARG_INT(2, 0, n);
            return readAccum(call, m, n);
        }
        if (is(first.text, "CLS")) {
            ARG_INT(2, 0, to);
            ARG_INT(3, 0, from);
            ArrayShape shape;
            if (arrayShape(kAccumArray, shape) == 0) {
                std::int64_t zero = 0;
                if (from < 0) from = 0;
                ErrCode e = arrayFill(kAccumArray, static_cast<std::uint32_t>(from),
                                      to <= 0 ? 0 : static_cast<std::uint32_t>(to),
                                      StrMake(reinterpret_cast<const char*>(&zero), 8));
                if (e) return e;
            }
            return retNum(call, m, 0);
        }
        ARG_INT(2, 0, k);
        std::uint16_t pos = ListIndexOf(strGet(SysStr::ACUMX), first.text, ',');
        if (pos == 0) return retNum(call, m, 0);
        return readAccum(call, m, pos - 1 + k);
    }
    ARG_INT(1, 0, n);
    ARG_INT(2, 0, k);
    return readAccum(call, m, n + k);
}

// --- Environment and string tables -------------------------------------------------------

ErrCode fnArea(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_INT(1, 30, table);
    ARG_INT(2, 0, entry);
    if (table < 0 || table >= AREA_TABLES) return err::STROUTBOUND;
    const auto t = static_cast<std::uint16_t>(table);
    const bool stack = table >= 30;
    if (call.count >= 3) {
        // A number value is stored as its text.
        StrDesc v = own(funcArgText(call, 3));
        if (v.isError()) return StrError(v);
        ErrCode e = stack ? AreaPush(t, v) : (entry < 0 ? err::STROUTBOUND : AreaSet(t, toU16(entry), v));
        if (e) return e;
    }
    StrDesc r = kEmpty;
    if (stack) {
        for (std::int64_t i = entry; i < 0 && AreaCount(t); ++i) AreaPop(t);
        if (AreaCount(t)) r = AreaPeek(t);
    } else if (entry >= 0) {
        r = AreaGet(t, toU16(entry));
    }
    return retText(call, m, r);
}

ErrCode fnEnviron(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, name);
    ARG_INT(2, 1, entry);
    if (entry < 0 || entry > 65535) return retText(call, m, kEmpty);
    StrDesc env = AreaGet(area::ENV, static_cast<std::uint16_t>(entry));
    if (entry > 1) return retText(call, m, env);
    bool raw = StrFindChar(name, 0, '%', true) != STR_NPOS;
    return retText(call, m, KeyValueFind(env, name, raw ? 0 : 1));
}

ErrCode fnExec(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, name);
    ARG_STR(2, kEmpty, label);
    name = own(name);
    label = own(label);
    if (name.isError() || label.isError()) return err::OUTOFMEMORY;
    StrDesc ext = PathPart(name, pathpart::EXT);
    if (ext.len && label.len == 0) {
        ErrCode e = evalFile(name, true);
        if (e >= 128) return e;
        return retText(call, m, kEmpty);
    }
    if (!hookGet(hook::SCRIPT)) return ErrorDetail(err::FEATUREREMOVED, lit("EXEC$()"));
    std::uint16_t before = AreaCount(area::RETVALUES);
    ErrCode e = hookCall(hook::SCRIPT, name, 2, &label);
    if (e >= 128) return e;
    if (AreaCount(area::RETVALUES) <= before) return retText(call, m, kEmpty);
    return retText(call, m, AreaTake(area::RETVALUES));
}

// --- Disk files ---------------------------------------------------------------------------

ErrCode fnFileSel(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg a = funcArg(call, 1);
    if (call.count == 2) {
        if (!a.isText) return err::TYPEMISMATCH;
        ARG_INT(2, 0, flags);
        std::uint16_t h = FileOpen(a.text, static_cast<std::uint16_t>(flags & 0x0F));
        if (h >= FILE_HANDLES) return h;
        return retInt(call, m, h);
    }
    if (!a.isText) {
        FileClose(toU16(roundToInt(a.num)));
        return retNum(call, m, 0);
    }
    std::int64_t status = 0;
    if (g_dataFiles.selectSet) {
        if (ErrCode e = g_dataFiles.selectSet(a.text, status)) return e;
        return retInt(call, m, status);
    }
    if (is(a.text, "RESTORE")) return err::INTERNALERROR;
    return ErrorDetail(err::FILENOTFOUND, a.text);
}

ErrCode fnRead(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg a = funcArg(call, 1);
    ARG_INT(2, 0, position);
    ARG_INT(3, -1, length);
    StrDesc r = kEmpty;
    if (a.isText) {
        StrDesc name = EnvExpand(a.text);
        if (position >= 0 && position < 0xFFFF0000LL && length >= -1) {
            std::uint32_t count = length < 0 || length >= 65535 ? 65535 : static_cast<std::uint32_t>(length);
            r = FileLoad(name, static_cast<std::uint32_t>(position), count);
        }
    } else if (a.present) {
        std::uint16_t h = toU16(roundToInt(a.num));
        if (length == 0) {
            r = FileAtEnd(h) ? lit("\x1A") : kEmpty;
        } else if (position >= -1 && length >= -1) {
            std::uint32_t pos = position == -1 ? FILE_NONE : static_cast<std::uint32_t>(position);
            std::uint32_t count = static_cast<std::uint32_t>(length);
            if (length == -1) {
                std::uint32_t at = pos == FILE_NONE ? FileTell(h) : pos;
                std::uint32_t size = FileLength(h);
                count = size > at ? size - at : 0;
            }
            if (count > 65534) count = 65534;  // 65535 would be a line read
            if (count) r = FileReadValue(h, pos, count);
        }
    }
    if (r.isError()) r = kEmpty;  // a failed read is the empty string
    return retText(call, m, r);
}

ErrCode saveVariables(StrDesc name, StrDesc list);

ErrCode fnWrite(FuncCall& call) {
    StrMarkT m = StrMark();
    FuncArg a = funcArg(call, 1);
    ARG_INT(2, 0, position);
    ARG_STR(3, kEmpty, text);
    if (!a.isText) {
        std::uint16_t h = toU16(roundToInt(a.num));
        if (position < -1 || position > 0xFFFFFFFELL) return retInt(call, m, -1);
        std::uint32_t pos = position == -1 ? FILE_NONE : static_cast<std::uint32_t>(position);
        bool whole = text.len && FileWriteValue(h, pos, text) == text.len;
        return retInt(call, m, whole || text.len == 0 ? 0 : -1);
    }
    text = own(text);
    StrDesc name = EnvExpand(a.text);
    if (name.isError() || text.isError()) return err::OUTOFMEMORY;
    ErrCode e;
    if (position == -2) e = saveVariables(name, text);
    else if (position == -1) e = FileStoreChecked(name, FILE_NONE, text.ptr, text.len);
    else if (position == -3) e = FileStoreChecked(name, FILE_REPLACE, text.ptr, text.len);
    else if (position >= 0 && position < FILE_REPLACE) e = FileStoreChecked(name, static_cast<std::uint32_t>(position), text.ptr, text.len);
    else e = err::SINTAXERROR;
    if (e) {
        StrRelease(m);
        return e;
    }
    return retNum(call, m, 0);
}

// The name of an assignment item: the text before '=', trimmed.
StrDesc itemName(StrDesc item) {
    std::uint16_t eq = StrFindChar(item, 0, '=', false);
    return StrTrim(eq == STR_NPOS ? item : StrMake(item.ptr, eq));
}

// Saves variables: the list's items, then the file's old assignments whose
// names the list does not name, written to a new file that replaces the old
// one only once it is complete; then the file is evaluated.
ErrCode saveVariables(StrDesc name, StrDesc list) {
    StrMarkT m = StrMark();
    StrDesc old = FileLoadText(name, lit(";"));
    if (old.isError()) {
        ErrCode e = StrError(old);
        if (e == err::OUTOFMEMORY || e == err::STRINGTOOLONG) return e;
        old = kEmpty;  // a missing or unreadable file holds nothing to keep
    }
    StrArrayT items = ListSplit(list, ',');
    StrArrayT kept = ListSplit(old, ';');
    StrArrayT pieces = StrArray(static_cast<std::uint16_t>(items.count + kept.count + 1));
    if (!pieces.items) {
        StrRelease(m);
        return err::OUTOFMEMORY;
    }
    std::uint16_t count = 0;
    auto taken = [&](StrDesc n) {
        for (std::uint16_t i = 0; i < count; ++i)
            if (itemName(pieces.items[i]).view() == n.view()) return true;
        return false;
    };
    for (std::uint16_t i = 0; i < items.count; ++i) {
        StrDesc item = StrTrim(items.items[i]);
        StrDesc n = itemName(item);
        if (n.len == 0 || taken(n)) continue;
        std::uint16_t eq = StrFindChar(item, 0, '=', false);
        StrDesc expr = eq == STR_NPOS ? n : StrTrim(StrMid(item, eq + 1));
        StrDesc v = evalText(expr);
        VarKind kind = varClassify(n);
        if (!v.isError() && kind == VarKind::STRING) {
            bool apos = StrFindChar(v, 0, '\'', true) != STR_NPOS;
            bool dq = StrFindChar(v, 0, '"', true) != STR_NPOS;
            v = apos && dq ? StrErrorValue(err::BADINPUTDATA) : StrWrap(v, apos ? '"' : '\'');
        } else if (!v.isError() && v.len == 0) {
            v = lit("0");
        }
        StrDesc piece = StrConcatN({n, lit("="), v});
        if (piece.isError()) {
            StrRelease(m);
            return StrError(piece);
        }
        pieces.items[count++] = piece;
    }
    for (std::uint16_t i = 0; i < kept.count; ++i) {
        StrDesc item = StrTrim(kept.items[i]);
        StrDesc n = itemName(item);
        if (item.len == 0 || taken(n)) continue;
        pieces.items[count++] = item;
    }
    std::uint32_t total = 0;
    for (std::uint16_t i = 0; i < count; ++i) total += pieces.items[i].len + (i ? 1u : 0u);
    if (total > 65535) {
        StrRelease(m);
        return err::STRINGTOOLONG;
    }
    if (ErrCode e = StrReserve(static_cast<std::uint16_t>(total), 255)) {
        StrRelease(m);
        return e;
    }
    char* w = StrTopWritable();
    std::uint32_t at = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (i) w[at++] = ';';
        std::memcpy(w + at, pieces.items[i].ptr, pieces.items[i].len);
        at += pieces.items[i].len;
    }
    ErrCode e = FileStoreChecked(name, FILE_REPLACE, w, total);
    if (e == 0) e = evalFile(name, true);
    StrRelease(m);
    return e;
}

ErrCode fnFlen(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, name);
    std::int64_t count = 0;
    if (g_dataFiles.recordCount && g_dataFiles.recordCount(name, count)) return retInt(call, m, count);
    return retInt(call, m, FileSizeOf(name));
}

// --- Sorted lists ----------------------------------------------------------------------------

ErrCode fnSort(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, kEmpty, verb);
    auto needs = [&](std::uint8_t lo, std::uint8_t hi) { return call.count >= lo && call.count <= hi; };
    std::int64_t outcome = 0;
    if (is(verb, "NEW")) {
        if (!needs(2, 4)) return err::SINTAXERROR;
        ARG_INT(2, 0, keyLen);
        ARG_INT(3, keyLen, recLen);
        ARG_INT(4, 0, flags);
        if (keyLen <= 0 || recLen > 65535) return err::SINTAXERROR;
        return retText(call, m, SortNew(toU16(keyLen), toU16(recLen), static_cast<std::uint16_t>(flags & 0xFFFF)));
    }
    if (is(verb, "ADD") || is(verb, "MOVE")) {
        if (!needs(3, 3)) return err::SINTAXERROR;
        ARG_STR(2, kEmpty, handle);
        ARG_STR(3, kEmpty, what);
        handle = own(handle);
        what = own(what);
        ErrCode e = verb.ptr[0] == 'A' ? SortAdd(handle, what, outcome) : SortMove(handle, what, outcome);
        if (e) return e;
        if (verb.ptr[0] == 'M') sysSet(SysVar::IER, static_cast<std::int16_t>(outcome));
        return retInt(call, m, outcome);
    }
    if (is(verb, "GET") || is(verb, "KILL")) {
        if (!needs(2, 2)) return err::SINTAXERROR;
        ARG_STR(2, kEmpty, handle);
        if (verb.ptr[0] == 'G') return retText(call, m, SortGet(handle));
        if (ErrCode e = SortKill(handle)) return e;
        return retNum(call, m, 0);
    }
    if (!needs(1, 2)) return err::SINTAXERROR;
    ARG_INT(2, 0, flags);
    return retText(call, m, SortText(verb, static_cast<std::uint16_t>(flags & 0xFFFF)));
}

// --- Data files ------------------------------------------------------------------------------

ErrCode fnFileFind(FuncCall& call) {
    StrMarkT m = StrMark();
    StrDesc key = funcArgText(call, 1);
    ARG_INT(3, 65535, keyNo);
    ARG_INT(4, 0, flags);
    if (!g_dataFiles.find) return err::FILEOUTBOUND;
    std::int64_t status = 0;
    if (ErrCode e = g_dataFiles.find(fileRef(call, 2), key, toU16(keyNo), toU16(flags), status)) return e;
    return retInt(call, m, status);
}

ErrCode fnFileLocate(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_STR(1, lit("NXT"), verb);
    if (!g_dataFiles.locate) return err::FILEOUTBOUND;
    std::int64_t status = 0;
    if (ErrCode e = g_dataFiles.locate(fileRef(call, 2), verb, status)) return e;
    return retInt(call, m, status);
}

ErrCode fnFileRel(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_INT(3, 0, relation);
    ARG_INT(4, 0, flags);
    // The rest of the call, every further argument, is the expression text.
    StrDesc expression = kEmpty;
    while (!evalCursorAtEnd(call.rest)) {
        StrDesc t = evalCursorText(call.rest);
        if (t.isError()) break;
        expression = expression.len ? StrConcatN({expression, lit(";"), t}) : own(t);
        if (expression.isError()) return StrError(expression);
    }
    if (!g_dataFiles.relate) return err::FILEOUTBOUND;
    std::int64_t status = 0;
    ErrCode e = g_dataFiles.relate(fileRef(call, 1), fileRef(call, 2), toU16(relation), toU16(flags),
                                   expression, status);
    if (e) return e;
    return retInt(call, m, status);
}

ErrCode fnKey(FuncCall& call) {
    StrMarkT m = StrMark();
    ARG_INT(2, 65535, keyNo);
    ARG_INT(3, 1, buffer);
    ARG_INT(4, 0, segments);
    if (!g_dataFiles.key) return retText(call, m, kEmpty);
    if (ErrCode e = g_dataFiles.key(fileRef(call, 1), toU16(keyNo), toU16(buffer), toU16(segments))) {
        StrRelease(m);
        return e;
    }
    return retTop(call, m, true);
}

ErrCode fnIer(FuncCall& call) {
    StrMarkT m = StrMark();
    if (!g_dataFiles.lastStatus) return err::FILEOUTBOUND;
    std::int64_t status = 0;
    if (ErrCode e = g_dataFiles.lastStatus(fileRef(call, 1), status)) return e;
    return retInt(call, m, status);
}

ErrCode fnFlds(FuncCall& call) {
    StrMarkT m = StrMark();
    StrDesc ref = evalCursorAtEnd(call.rest) ? kEmpty : own(StrTrim(evalCursorText(call.rest)));
    if (ref.isError() || ref.len == 0) return err::SINTAXERROR;
    std::int64_t mode = 1;
    if (!evalCursorAtEnd(call.rest)) {
        StrMarkT vm = StrMark();
        ErrCode e = evalCursorNext(call.rest);
        if (e >= 128) return e;
        if (e == EVAL_STRING) return err::TYPEMISMATCH;
        std::int64_t raw = 0;
        if (e != err::NULLEXPRESSION && numRead(StrTop(), raw)) mode = roundToInt(raw);
        StrRelease(vm);
    }
    if (StrFindChar(ref, 0, '{', false) != STR_NPOS) {
        if (!g_dataFiles.fieldText) return err::FILEOUTBOUND;
        if (ErrCode e = g_dataFiles.fieldText(ref, toU16(mode))) {
            StrRelease(m);
            return e;
        }
        return retTop(call, m, true);
    }
    VarKind kind = varClassify(ref);
    bool element = kind == VarKind::ARRAY && varLookup(ref).pos >= 0;
    if (element || (kind != VarKind::ARRAY && kind != VarKind::INVALID && varLookup(ref).pos >= 0)) {
        if (ErrCode e = varGet(ref)) {
            StrRelease(m);
            return e;
        }
        std::int64_t raw = 0;
        bool isNumber = kind == VarKind::INTEGER || kind == VarKind::NUMBER;
        if (kind == VarKind::ARRAY) {
            ArrayShape shape;
            isNumber = arrayShape(ref, shape) == 0 && shape.elemKind != VarKind::STRING;
        }
        StrDesc r = isNumber && numRead(StrTop(), raw) ? numToText(raw) : StrTop();
        return retText(call, m, r);
    }
    ErrCode e = hookCall(hook::FIELDS, ref, toU16(mode), nullptr);
    if (e != 0) {
        StrRelease(m);
        return err::SINTAXERROR;
    }
    return retTop(call, m, true);
}

ErrCode fnSqlChild(FuncCall& call) {
    StrMarkT m = StrMark();
    std::int16_t slot = sysGet(SysVar::SQLSTK);
    if (slot >= 7) return err::STROUTBOUND;
    std::int16_t row = sysGet(SysVar::CURROW);
    std::int16_t ier = sysGet(SysVar::IER);
    sysSet(SysVar::SQLSTK, static_cast<std::int16_t>(slot + 1));
    sysSet(SysVar::CURROW, 0);
    std::uint8_t count = 0;
    std::uint8_t kinds[16];
    ErrCode e = evalArgs(call.rest, 16, count, kinds);
    sysSet(SysVar::SQLSTK, slot);
    sysSet(SysVar::CURROW, row);
    sysSet(SysVar::IER, ier);
    if (e >= 128) return e;
    return retNum(call, m, 0);
}

// The count check in front of every implementation.
template <std::uint16_t N>
ErrCode checked(FuncCall& call) {
    const FuncRule& r = kFuncTable[N - 1];
    if (call.count < r.minArgs || call.count > r.maxArgs) return err::SINTAXERROR;
    return r.impl(call);
}

template <std::size_t... I>
void bindAll(std::index_sequence<I...>) {
    (evalSetFunction(static_cast<std::uint16_t>(I + 1), &checked<static_cast<std::uint16_t>(I + 1)>), ...);
}

}  // namespace

// Counts are over the arguments the evaluator evaluates (kFunctions); the
// functions that read their own arguments check the rest themselves.
constexpr FuncRule kFuncTable[FUNC_COUNT] = {
    {"_#", 1, 3, fnAccum},         {"FN#FLEN", 1, 1, fnFlen},      {"FN#SLEN", 1, 1, fnSlen},
    {"FN#PARM", 1, 3, fnNparm},    {"FN#VALN", 1, 3, fnValn},      {"FN#ACUM", 0, 0, fnAcum},
    {"CHK#", 1, 1, fnChkNum},      {"FILEFIND", 1, 4, fnFileFind}, {"FILEREL", 3, 4, fnFileRel},
    {"FILELOCATE", 0, 2, fnFileLocate}, {"FILESEL", 1, 2, fnFileSel}, {"FN$CHNG", 2, 4, fnChng},
    {"FN$CHRS", 1, 2, fnChrs},     {"FN$DATE", 0, 2, fnDate},      {"FN$FLDS", 0, 0, fnFlds},
    {"FN$MASK", 2, 3, fnMask},     {"FN$MIDS", 1, 3, fnMids},      {"FN$PARM", 1, 3, fnSparm},
    {"FN$TRIM", 1, 2, fnTrim},     {"ENVELOP$", 1, 2, fnEnvelop},  {"CHK$", 1, 1, fnChkStr},
    {"SORT$", 1, 4, fnSort},       {"EXEC$", 1, 2, fnExec},        {"READ$", 1, 3, fnRead},
    {"WRITE", 3, 3, fnWrite},      {"MACRO$", 1, 3, fnMacro},      {"ENVRON$", 1, 2, fnEnviron},
    {"_$", 0, 3, fnArea},          {"KEY$", 0, 4, fnKey},          {"TIME$", 0, 2, fnTime},
    {"IER", 0, 1, fnIer},          {"EXP$", 1, 1, fnExp},          {"SQLCHILD", 0, 0, fnSqlChild},
};

void funcBind() { bindAll(std::make_index_sequence<FUNC_COUNT>{}); }

FuncArg funcArg(const FuncCall& call, std::uint8_t n) {
    FuncArg a;
    if (n == 0 || n > call.count) return a;
    StrDesc v = AreaGet(area::FNARGS, static_cast<std::uint16_t>(call.argBase + n - 1));
    if (v.isError()) return a;
    if (call.kinds[n - 1] == 1) {
        a.present = true;
        a.isText = true;
        a.text = v;
        return a;
    }
    std::int64_t num = 0;
    if (!numRead(v, num)) return a;  // the empty marker
    a.present = true;
    a.num = num;
    return a;
}

ErrCode funcArgInt(const FuncCall& call, std::uint8_t n, std::int64_t dflt, std::int64_t& out) {
    FuncArg a = funcArg(call, n);
    out = dflt;
    if (!a.present) return 0;
    if (a.isText) return err::TYPEMISMATCH;
    out = roundToInt(a.num);
    return 0;
}

ErrCode funcArgStr(const FuncCall& call, std::uint8_t n, StrDesc dflt, StrDesc& out) {
    FuncArg a = funcArg(call, n);
    out = dflt;
    if (!a.present) return 0;
    if (!a.isText) return err::TYPEMISMATCH;
    out = a.text;
    return 0;
}

StrDesc funcArgText(const FuncCall& call, std::uint8_t n) {
    FuncArg a = funcArg(call, n);
    if (!a.present) return kEmpty;
    if (a.isText) return a.text;
    return numToText(a.num);
}

void funcSetDataFiles(const DataFileFuncs& funcs) { g_dataFiles = funcs; }
const DataFileFuncs& funcDataFiles() { return g_dataFiles; }

void funcShutdown() {
    SortFreeAll();
    g_dataFiles = DataFileFuncs{};
}

static_assert([] {
    for (std::uint16_t i = 0; i < FUNC_COUNT; ++i)
        if (kFuncTable[i].name != kFunctions[i].name) return false;
    return true;
}(), "the function table follows the function list");

}  // namespace rt
