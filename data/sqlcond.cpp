#include "data/sqlcond.h"

#include <cstring>
#include <string_view>

#include "core/errors.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "lang/eval.h"
#include "lang/numbers.h"
#include "lang/varstore.h"

namespace rt {
namespace {

// SQL text of the language's operators, by operator code - 1.
constexpr std::string_view kSqlOperators[] = {
    "*", "/", "!", "%", "\xF7", "+", "-", "=", ">", "<", "=", ">=", "<=", "<>", "AND", "OR", "OR", "AND", "OR", "OR",
};
static_assert(std::size(kSqlOperators) == 20);

constexpr std::uint16_t AUX_SQLCONDITIONS = 256;  // _AUXSTAT: conditions are already SQL
constexpr int kMaxDepth = 64;                     // nested groups translated; deeper ones restrict nothing

// Functions whose value depends on the records read or that move through
// data files: a value calling them is not a constant of the scan.
constexpr std::string_view kRecordFunctions[] = {
    "FN#ACUM", "CHK#", "CHK$", "EXP$", "FILEFIND", "FILEREL", "FILELOCATE", "FILESEL",
    "KEY$", "IER", "FN$FLDS", "SQLCHILD", "EXEC$", "FN#FLEN",
};

StrDesc lit(std::string_view s) { return StrView(s); }

bool isComparison(std::uint8_t op) { return op >= condop::GT && op <= condop::NE; }
// Operators of the lowest precedence but assignment: they separate the terms.
bool isConnector(std::uint8_t op) {
    return op == condop::BITAND || op == condop::BITXOR || op == condop::AND || op == condop::OR ||
           op == condop::XOR;
}
bool isAndConnector(std::uint8_t op) { return op == condop::BITAND || op == condop::AND; }
// Operators that bind tighter than the comparisons: part of a value.
bool isArithmetic(std::uint8_t op) { return (op >= 1 && op <= 7) || op == condop::BITOR; }
constexpr std::uint8_t OP_ASSIGN = 8;

constexpr std::uint8_t K_FIELD = 8, K_ELEMENT = 16, K_CALL = 32, K_GROUP = 64;

bool equalFold(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (CharUpper(a[i]) != CharUpper(b[i])) return false;
    return true;
}

// ---- What the empty value of a field satisfies ------------------------------------

// Byte comparison as the language does it (common length, then the longer is
// greater) of the empty text with s: -1 or 0.
int compareEmpty(StrDesc s) { return s.len ? -1 : 0; }

bool holds(int c, std::uint8_t op) {
    switch (op) {
        case condop::GT: return c > 0;
        case condop::LT: return c < 0;
        case condop::EQ: return c == 0;
        case condop::GE: return c >= 0;
        case condop::LE: return c <= 0;
        default: return c != 0;
    }
}

// ---- Literals ---------------------------------------------------------------------------

// The ILIKE pattern of the wildcard match: the prefix before the first '*'
// then '%', or '%' + the text between the first two '*' + '%'. Backslash,
// '%' and '_' of the value are matched literally. "" (not pushed) when the
// pattern accepts every text.
StrDesc likePattern(StrDesc s, std::uint16_t star) {
    StrDesc core;
    if (star > 0) {
        core = StrMake(s.ptr, star);
    } else {
        const char* after = s.ptr + 1;
        std::size_t rest = s.len - 1u;
        const void* next = std::memchr(after, '*', rest);
        core = StrMake(after, next ? static_cast<std::size_t>(static_cast<const char*>(next) - after) : rest);
        if (core.len == 0) return lit("");
    }
    std::uint32_t need = core.len + 2u;
    for (std::uint16_t i = 0; i < core.len; ++i)
        if (core.ptr[i] == '\\' || core.ptr[i] == '%' || core.ptr[i] == '_') ++need;
    if (need > 65535) return StrErrorValue(err::STRINGTOOLONG);
    if (StrReserve(static_cast<std::uint16_t>(need), 255)) return StrErrorValue(err::OUTOFMEMORY);
    char* w = StrTopWritable();
    std::uint16_t n = 0;
    if (star == 0) w[n++] = '%';
    for (std::uint16_t i = 0; i < core.len; ++i) {
        char c = core.ptr[i];
        if (c == '\\' || c == '%' || c == '_') w[n++] = '\\';
        w[n++] = c;
    }
    w[n++] = '%';
    StrTopShrink(n);
    return StrTop();
}

// The number as SQL: _PRECIS decimals, trailing zeros dropped, "0" for zero.
StrDesc numberLiteral(std::int64_t value) {
    StrDesc t = numToText(value);
    if (!t.isError() && t.len == 0) return StrConcatN({lit("0")});
    return t;
}

// ---- Field references -----------------------------------------------------------------

struct Column {
    std::uint16_t table = 0;
    std::uint16_t position = 0;
};

bool allDigits(StrDesc s) {
    if (s.len == 0) return false;
    for (std::uint16_t i = 0; i < s.len; ++i)
        if (s.ptr[i] < '0' || s.ptr[i] > '9') return false;
    return true;
}

// FIELD{FILE}: FILE a table name or number (empty: the current file), FIELD
// a field name or position. False when it names no field of the dictionary.
bool resolveField(StrDesc ref, Column& out) {
    const void* open = std::memchr(ref.ptr, '{', ref.len);
    if (!open || ref.len < 2 || ref.ptr[ref.len - 1] != '}') return false;
    std::uint16_t at = static_cast<std::uint16_t>(static_cast<const char*>(open) - ref.ptr);
    StrDesc field = StrMake(ref.ptr, at);
    StrDesc file = StrMake(ref.ptr + at + 1, ref.len - at - 2u);
    if (field.len == 0) return false;
    std::uint16_t table = tableNumber(file);
    if (table == 0 || table > tableCount()) return false;
    std::uint16_t position;
    if (allDigits(field)) {
        std::uint32_t v = 0;
        for (std::uint16_t i = 0; i < field.len && v <= 65535; ++i) v = v * 10 + static_cast<std::uint32_t>(field.ptr[i] - '0');
        position = v > 65535 ? 0 : static_cast<std::uint16_t>(v);
    } else {
        position = fieldPosition(table, field);
    }
    if (position == 0 || position == DICT_NOFIELD || position > fieldCount(table)) return false;
    out = Column{table, position};
    return true;
}

// ---- The translation --------------------------------------------------------------------

struct Translation {
    StrDesc text;         // the prepared condition
    std::uint16_t table;  // the table read, 0 any
};

// A translated part: its SQL (a value above the translation's marks) or no
// restriction at all.
struct Part {
    bool open = true;  // restricts nothing
    StrDesc sql{"", 0};
};

StrDesc stepText(const Translation& t, std::uint16_t from, std::uint16_t to) {
    return StrMake(t.text.ptr + from, to > from ? to - from : 0u);
}

bool isRecordFunction(StrDesc name) {
    for (std::string_view f : kRecordFunctions)
        if (f.size() == name.len && equalFold(f.data(), name.ptr, name.len)) return true;
    return false;
}

// True when the text [from, to) is a constant of the scan: no field reference
// and no call of a record function at any depth. Tokenizer errors are left
// for the evaluation to report.
bool isScanConstant(const Translation& t, std::uint16_t from, std::uint16_t to, int depth) {
    if (depth > kMaxDepth) return false;
    std::uint16_t pos = from;
    while (pos < to) {
        EvalStep s;
        evalStep(t.text, pos, to, s);
        if (s.err) return true;
        if (s.kind & K_FIELD) return false;
        if (s.paren) {
            if ((s.kind & K_CALL) && isRecordFunction(stepText(t, s.start, s.start + s.len))) return false;
            if (!isScanConstant(t, s.in, static_cast<std::uint16_t>(s.in + s.inLen), depth + 1)) return false;
        }
        if (s.next <= pos) break;
        pos = s.next;
    }
    return true;
}

// The comparison of one term: first the field reference, then the value
// steps up to `valueEnd`.
ErrCode comparisonTerm(Translation& t, const EvalStep& field, std::uint16_t valueFrom, std::uint16_t valueEnd,
                       Part& out) {
    Column col;
    if (!resolveField(stepText(t, field.start, field.start + field.len), col)) return err::OK;
    if (t.table && col.table != t.table) return err::OK;
    StrDesc valueText = stepText(t, valueFrom, valueEnd);
    if (!isScanConstant(t, valueFrom, valueEnd, 0)) return err::OK;
    StrMarkT m = StrMark();
    ErrCode kind = evalExpr(valueText);
    CondValue v;
    if (kind == EVAL_NUMBER) {
        if (!numRead(StrTop(), v.number)) kind = err::SINTAXERROR;
    } else if (kind == EVAL_STRING) {
        v.isText = true;
        v.text = StrTop();
    } else if (kind < 128) {
        StrRelease(m);
        kind = err::SINTAXERROR;
    } else {
        return kind;  // the evaluator has released its values
    }
    if (kind > EVAL_STRING) {
        StrRelease(m);
        return kind;
    }
    FieldDef def = fieldDef(col.table, col.position);
    StrDesc name = quoteName(fieldName(col.table, col.position));
    StrDesc sql = conditionComparison(name, def.type, field.op, v);
    if (sql.isError() || sql.len == 0) {
        StrRelease(m);
        return StrError(sql);
    }
    sql = StrReturn(m, sql);
    if (sql.isError()) return StrError(sql);
    out = Part{false, sql};
    return err::OK;
}

ErrCode translateLevel(Translation& t, std::uint16_t from, std::uint16_t to, int depth, Part& out);

// One term: the steps [first, last] of the level, `count` of them.
ErrCode translateTerm(Translation& t, const EvalStep& first, const EvalStep& last, std::uint16_t count,
                      bool valueOnlyArithmetic, std::uint16_t valueFrom, int depth, Part& out) {
    out = Part{};
    if (count == 1 && first.paren && (first.kind & K_GROUP)) {
        if (depth >= kMaxDepth) return err::OK;
        StrMarkT m = StrMark();
        Part inner;
        ErrCode e = translateLevel(t, first.in, static_cast<std::uint16_t>(first.in + first.inLen), depth + 1, inner);
        if (e || inner.open) {
            StrRelease(m);
            return e;
        }
        StrDesc sql = StrReturn(m, StrConcatN({lit("("), inner.sql, lit(")")}));
        if (sql.isError()) return StrError(sql);
        out = Part{false, sql};
        return err::OK;
    }
    bool plainField = (first.kind & K_FIELD) && !first.paren && !(first.kind & (K_ELEMENT | K_CALL | K_GROUP));
    if (!plainField || !isComparison(first.op) || count < 2 || !valueOnlyArithmetic) return err::OK;
    return comparisonTerm(t, first, valueFrom, last.end, out);
}

// Joins a term to what the level has so far: AND leaves out an unrestricted
// side; OR with an unrestricted side makes everything so far unrestricted
// (the language's logical operators associate to the left).
ErrCode joinTerm(Part& acc, bool firstTerm, std::uint8_t connector, const Part& term, StrMarkT accMark) {
    if (firstTerm) {
        acc = term;
        return err::OK;
    }
    if (isAndConnector(connector)) {
        if (term.open) return err::OK;
        if (acc.open) {
            acc = term;
            return err::OK;
        }
    } else {
        if (acc.open || term.open) {
            acc = Part{};
            return err::OK;
        }
    }
    StrDesc sql = StrReturn(accMark, StrConcatN({acc.sql, lit(" "), sqlOperator(connector), lit(" "), term.sql}));
    if (sql.isError()) return StrError(sql);
    acc = Part{false, sql};
    return err::OK;
}

// Translates the expression [from, to) of the prepared text; out.sql lies
// directly above the caller's mark.
ErrCode translateLevel(Translation& t, std::uint16_t from, std::uint16_t to, int depth, Part& out) {
    StrMarkT m = StrMark();
    out = Part{};
    Part acc;
    bool firstTerm = true;
    std::uint8_t connector = 0;  // before the current term
    EvalStep first, s;
    std::uint16_t count = 0, valueFrom = 0;
    bool valueOnlyArithmetic = true;
    std::uint16_t pos = from;
    for (;;) {
        evalStep(t.text, pos, to, s);
        if (s.err) {
            StrRelease(m);
            return s.err;
        }
        if (s.op == OP_ASSIGN || (s.op == 0 && !s.last)) {
            // An assignment, or a list of expressions: the value is not a
            // plain condition.
            StrRelease(m);
            out = Part{};
            return err::OK;
        }
        if (count == 0) {
            first = s;
            valueOnlyArithmetic = true;
        } else {
            if (count == 1) valueFrom = s.start;
            if (!isConnector(s.op) && s.op != 0 && !isArithmetic(s.op)) valueOnlyArithmetic = false;
        }
        ++count;
        if (isConnector(s.op) || s.op == 0) {
            StrMarkT tm = StrMark();
            Part term;
            ErrCode e = translateTerm(t, first, s, count, valueOnlyArithmetic, valueFrom, depth, term);
            if (!e) e = joinTerm(acc, firstTerm, connector, term, acc.open ? tm : m);
            if (e) {
                StrRelease(m);
                return e;
            }
            if (acc.open) StrRelease(m);
            firstTerm = false;
            connector = s.op;
            count = 0;
        }
        if (s.op == 0) break;
        pos = s.next;
    }
    out = acc;
    if (out.open) StrRelease(m);
    return err::OK;
}

}  // namespace

StrDesc sqlOperator(std::uint8_t code) {
    if (code < 1 || code > std::size(kSqlOperators)) return lit("");
    return lit(kSqlOperators[code - 1]);
}

StrDesc conditionComparison(StrDesc column, char type, std::uint8_t op, const CondValue& value) {
    if (column.isError()) return column;
    if (!isComparison(op)) return StrErrorValue(err::SINTAXERROR);
    StrMarkT m = StrMark();
    StrDesc opText = sqlOperator(op);
    StrDesc cmp;
    bool nullPasses;
    if (isNumericType(type) || !value.isText) {
        std::int64_t n = value.isText ? textToNum(value.text) : value.number;
        StrDesc number = numberLiteral(n);
        cmp = StrConcatN({column, lit(" "), opText, lit(" "), number});
        // NULL reads as 0; "less than" keeps the NULL rows whatever the value.
        int zeroVsValue = n > 0 ? -1 : (n < 0 ? 1 : 0);
        nullPasses = isNumericType(type) && (op == condop::LT || op == condop::LE || holds(zeroVsValue, op));
    } else {
        StrDesc s = value.text;
        const void* starAt = op == condop::EQ ? std::memchr(s.ptr, '*', s.len) : nullptr;
        if (starAt) {
            if (type == 'D') return StrReturn(m, lit(""));
            std::uint16_t star = static_cast<std::uint16_t>(static_cast<const char*>(starAt) - s.ptr);
            StrDesc pattern = likePattern(s, star);
            if (!pattern.isError() && pattern.len == 0) return StrReturn(m, lit(""));
            // The empty text matches no pattern that restricts anything.
            cmp = StrConcatN({column, lit(" ILIKE "), quoteLiteral(pattern)});
            nullPasses = false;
        } else if (s.len == 0) {
            // A date column cannot be compared with the empty text; its text can.
            cmp = StrConcatN({column, lit(type == 'D' ? "::text " : " "), opText, lit(" ''")});
            nullPasses = holds(compareEmpty(s), op);
        } else {
            cmp = StrConcatN({column, lit(" "), opText, lit(" "), quoteLiteral(s)});
            nullPasses = holds(compareEmpty(s), op);
        }
    }
    if (!cmp.isError() && nullPasses) cmp = StrConcatN({lit("("), column, lit(" IS NULL OR "), cmp, lit(")")});
    return StrReturn(m, cmp);
}

StrDesc translateCondition(StrDesc condition, std::uint16_t table) {
    if (condition.isError()) return condition;
    StrMarkT m = StrMark();
    if (sysTest(SysVar::AUXSTAT, AUX_SQLCONDITIONS)) return StrReturn(m, StrConcatN({condition}));
    StrDesc prepared = evalPrepare(condition);
    ErrCode e = StrError(prepared);
    Part result;
    if (!e) {
        Translation t{prepared, table};
        e = translateLevel(t, 0, prepared.len, 0, result);
    }
    if (e) {
        StrRelease(m);
        ErrorRecordSet(1, ctx::ExpExec, e, 0);
        ErrorDetail(e, condition);
        return StrErrorValue(e);
    }
    return StrReturn(m, result.open ? lit("") : result.sql);
}

std::uint32_t countWhere(std::uint16_t table, std::uint16_t key, StrDesc keyValue, StrDesc limit, StrDesc condition) {
    StrMarkT m = StrMark();
    StrDesc where = translateCondition(condition, table);
    std::uint32_t n = where.isError() ? COUNT_FAILED : countRows(table, key, keyValue, limit, where);
    StrRelease(m);
    return n;
}

}  // namespace rt
