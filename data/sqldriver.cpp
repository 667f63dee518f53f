#include "data/sqldriver.h"

#include <cstring>

#include "core/errors.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "datafile/record.h"
#include "lang/varstore.h"

namespace rt {
namespace {

const char* const kOps[] = {"", "=", ">", ">=", "<", "<=", "<>"};

// What the catalogue said about each table's columns.
struct ColumnInfo {
    bool known = false;
    ColumnSet notNull;
    // The columns of the table's unique indexes (plain columns, checked at
    // once, no condition); the first few only.
    static constexpr std::size_t kUniqueSets = 8;
    ColumnSet unique[kUniqueSets];
    std::size_t uniqueCount = 0;
};
ColumnInfo g_columns[DICT_TABLES];

const MultiReadHooks* g_hooks = nullptr;

// ---- Text helpers ----------------------------------------------------------------------

StrDesc lit(const char* s) { return StrFromTerminated(s); }

StrDesc trimmed(StrDesc s, bool left) { return StrTrim(s, kBlankTab, left ? 3u : 2u); }
StrDesc mid(StrDesc s, std::uint32_t start, std::uint16_t count = 65535) {
    return StrMid(s, static_cast<int>(start), count);
}

// Optional sign, digits with at most one decimal point, at least one digit.
bool isPlainNumber(StrDesc s) {
    std::uint16_t i = 0, digitsSeen = 0;
    bool point = false;
    if (i < s.len && (s.ptr[i] == '-' || s.ptr[i] == '+')) ++i;
    for (; i < s.len; ++i) {
        char c = s.ptr[i];
        if (c >= '0' && c <= '9') ++digitsSeen;
        else if (c == '.' && !point) point = true;
        else return false;
    }
    return digitsSeen > 0;
}

// The zero value of a NULL in a comparison.
StrDesc zeroValue(char type) { return isNumericType(type) ? lit("0") : lit("''"); }

bool isNullText(StrDesc v) { return v.view() == "NULL"; }

// Position of `word` at parenthesis depth 0 outside quotes, ignoring letter
// case; 0xFFFF when none.
std::uint16_t findTopLevel(StrDesc s, StrDesc word) {
    int depth = 0;
    char quote = 0;
    for (std::uint16_t i = 0; i < s.len; ++i) {
        char c = s.ptr[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') quote = c;
        else if (c == '(') ++depth;
        else if (c == ')') --depth;
        else if (depth == 0 && s.len - i >= word.len) {
            bool same = true;
            for (std::uint16_t k = 0; k < word.len && same; ++k) {
                char a = s.ptr[i + k], b = word.ptr[k];
                if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
                same = a == b;
            }
            if (same) return i;
        }
    }
    return 0xFFFF;
}

StrDesc tableIdent(std::uint16_t table) {
    if (table == 0 || table > tableCount()) return StrErrorValue(err::DATAOUTBOUND);
    return quoteName(tableName(table));
}

// ---- Key comparisons ----------------------------------------------------------------

// The comparison of V with code `code` over key fields F[first..], walking the
// fields while V lasts.
StrDesc keyWhereOver(StrDesc V, std::uint16_t table, const KeyFieldList& F, std::uint16_t first, std::uint16_t code,
                     const SqlForm& form) {
    if (V.isError()) return V;
    if (code < cmp::EQ || code > cmp::NE) return StrErrorValue(err::BADINPUTDATA);
    StrMarkT m = StrMark();
    if (V.len == 0 || first >= F.count) return StrReturn(m, lit(""));
    struct Part {
        StrDesc name;
        char type;
        StrDesc value;
    } parts[KEY_SEGMENTS];
    std::uint16_t n = 0;
    std::uint32_t offset = 0;
    for (std::uint16_t i = first; i < F.count && offset < V.len; ++i) {
        FieldDef f = fieldDef(table, F.positions[i]);
        StrDesc value = sqlValue(mid(V, offset, f.length), f.type);
        if (value.isError()) return StrReturn(m, value);
        parts[n++] = Part{fieldName(table, F.positions[i]), f.type, value};
        offset += f.length;
    }
    StrDesc clause = lit("");
    if (form.indexForm && code != cmp::EQ && n > 1) {
        // One row-value comparison: ("A","B") > ('x',2).
        StrDesc cols = lit("("), vals = lit("(");
        for (std::uint16_t j = 0; j < n; ++j) {
            StrDesc sep = lit(j + 1 < n ? "," : ")");
            cols = StrConcatN({cols, quoteName(parts[j].name), sep});
            vals = StrConcatN({vals, isNullText(parts[j].value) ? zeroValue(parts[j].type) : parts[j].value, sep});
        }
        clause = StrConcatN({cols, lit(" "), lit(kOps[code]), lit(" "), vals});
    } else if (code == cmp::EQ) {
        for (std::uint16_t j = 0; j < n; ++j) {
            StrDesc c = compareField(parts[j].name, cmp::EQ, parts[j].value, parts[j].type, form.indexForm);
            clause = j ? StrConcatN({clause, lit(" AND "), c}) : c;
        }
    } else {
        // f1 > p OR (f1 = p AND f2 > q) OR (f1 = p AND f2 = q AND f3 >= r)
        StrDesc equal = lit("");
        for (std::uint16_t j = 0; j < n; ++j) {
            auto m2 = static_cast<std::uint16_t>(j + 1 == n ? code : (code & 6));
            StrDesc c = compareField(parts[j].name, m2, parts[j].value, parts[j].type, form.indexForm);
            clause = j ? StrConcatN({clause, lit(" OR ("), equal, lit(" AND "), c, lit(")")}) : c;
            StrDesc e = compareField(parts[j].name, cmp::EQ, parts[j].value, parts[j].type, form.indexForm);
            equal = j ? StrConcatN({equal, lit(" AND "), e}) : e;
        }
    }
    return StrReturn(m, clause);
}

// Reads the column positions of unique indexes, "p p;p;..." (positions
// separated by blanks, indexes by semicolons), into info.
void readUniqueSets(StrDesc text, ColumnInfo& info) {
    ColumnSet set;
    bool usable = true;  // every column of the index lies within a ColumnSet's reach
    std::uint32_t pos = 0;
    for (std::uint16_t i = 0; i <= text.len; ++i) {
        char ch = i < text.len ? text.ptr[i] : ';';
        if (ch >= '0' && ch <= '9') {
            if (pos <= 0xFFFF) pos = pos * 10 + static_cast<std::uint32_t>(ch - '0');
            continue;
        }
        if (pos >= 1 && pos <= 256) set.set(static_cast<std::uint16_t>(pos));
        else if (pos) usable = false;
        pos = 0;
        if (ch == ';') {
            if (usable && !set.empty() && info.uniqueCount < ColumnInfo::kUniqueSets) info.unique[info.uniqueCount++] = set;
            set = ColumnSet{};
            usable = true;
        }
    }
}

// The NOT NULL columns of the table and the columns of its unique indexes,
// from the catalogue on first use while connected. Positions count the
// table's columns in order, as the dictionary's fields do.
const ColumnInfo& columnInfo(std::uint16_t table) {
    static const ColumnInfo none;
    if (table == 0 || table > DICT_TABLES || table > tableCount()) return none;
    ColumnInfo& info = g_columns[table - 1];
    if (info.known || !sysTest(SysVar::AUXSTAT, 2048)) return info;
    StrMarkT m = StrMark();
    StrDesc rel = StrConcatN({lit("to_regclass(quote_ident("), quoteLiteral(tableName(table)), lit("))")});
    StrDesc stmt = StrConcatN(
        {lit("WITH c AS (SELECT attnum, attnotnull, row_number() OVER (ORDER BY attnum) AS pos FROM pg_attribute "
             "WHERE attrelid = "),
         rel,
         lit(" AND attnum > 0 AND NOT attisdropped) SELECT (SELECT string_agg(CASE WHEN attnotnull THEN '1' ELSE '0' "
             "END, '' ORDER BY attnum) FROM c), (SELECT string_agg((SELECT string_agg(c.pos::text, ' ') FROM c WHERE "
             "c.attnum = ANY (i.indkey)), ';') FROM pg_index i WHERE i.indrelid = "),
         rel, lit(" AND i.indisunique AND i.indimmediate AND i.indpred IS NULL AND i.indexprs IS NULL);")});
    std::int16_t saved = sysGet(SysVar::SQLSTK);
    std::uint16_t slot = newResultSlot();
    if (!stmt.isError() && slot != SQL_NOSLOT) {
        info = ColumnInfo{};
        ErrCode code = execute(stmt, slot, nullptr);
        if (code == err::OK) {
            StrDesc flags = resultValue(0, 0, slot);
            for (std::uint16_t i = 0; i < flags.len; ++i)
                if (flags.ptr[i] == '1') info.notNull.set(static_cast<std::uint16_t>(i + 1));
            readUniqueSets(resultValue(0, 1, slot), info);
        }
        releaseResult(slot);
        info.known = true;
    }
    sysSet(SysVar::SQLSTK, saved);
    StrRelease(m);
    return info;
}

ErrCode refuse(ErrCode code, StrDesc detail) {
    ErrorDetail(code, detail);
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    return code;
}

StrDesc numberText(std::uint32_t n) { return StrFormat(12, StrView("%u"), n); }

// Refuses an update or delete by key when the key value is empty (its WHERE
// would be empty) or, unless `check` or _UPSTAT bit 16, when the key value is
// not held by exactly one row.
ErrCode singleRowCheck(const char* verb, std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t check) {
    StrMarkT m = StrMark();
    ErrCode e = err::OK;
    if (V.len == 0) {
        e = refuse(err::INDEXCMDERROR, StrConcatN({lit(verb), tableIdent(table), lit(": empty key value")}));
    } else if (check == 0 && !sysTest(SysVar::UPSTAT, 16)) {
        std::uint32_t n = countRows(table, key, V, V, lit(""));
        if (n != 1)
            e = refuse(err::INDEXCMDERROR,
                       StrConcatN({lit(verb), tableIdent(table), lit(": key value held by "),
                            n == COUNT_FAILED ? lit("an unknown number of") : numberText(n), lit(" rows: "), V}));
    }
    StrRelease(m);
    return e;
}

}  // namespace

// ---- Pure builders ---------------------------------------------------------------------

StrDesc quoteName(StrDesc name) {
    if (name.isError()) return name;
    StrMarkT m = StrMark();
    std::uint32_t extra = 2;
    for (std::uint16_t i = 0; i < name.len; ++i) extra += name.ptr[i] == '"';
    if (name.len + extra > 65535) return StrErrorValue(err::STRINGTOOLONG);
    if (StrReserve(static_cast<std::uint16_t>(name.len + extra), 255)) return StrErrorValue(err::OUTOFMEMORY);
    char* w = StrTopWritable();
    *w++ = '"';
    for (std::uint16_t i = 0; i < name.len; ++i) {
        if (name.ptr[i] == '"') *w++ = '"';
        *w++ = name.ptr[i];
    }
    *w = '"';
    return StrReturn(m, StrTop());
}

StrDesc sqlValue(StrDesc text, char type) {
    if (text.isError()) return text;
    const void* nul = std::memchr(text.ptr, 0, text.len);
    if (nul) text.len = static_cast<std::uint16_t>(static_cast<const char*>(nul) - text.ptr);
    if (isNumericType(type)) {
        StrDesc t = trimmed(text, true);
        if (t.len == 0) return StrConcatN({lit("NULL")});
        return isPlainNumber(t) ? StrConcatN({t}) : quoteLiteral(t);
    }
    StrDesc t = trimmed(text, false);
    return t.len ? quoteLiteral(t) : StrConcatN({lit("NULL")});
}

StrDesc orderBy(std::uint16_t table, std::uint16_t key, bool descending, const SqlForm& form) {
    KeyFieldList F;
    ErrCode e = keyFields(table, key, F);
    if (e) return StrErrorValue(e);
    if (F.count == 1 && F.positions[0] == 1) {
        std::uint16_t n = fieldCount(table);
        F.count = n < 3 ? n : 3;
        for (std::uint16_t i = 0; i < F.count; ++i) F.positions[i] = static_cast<std::uint16_t>(i + 1);
    }
    StrMarkT m = StrMark();
    StrDesc list = lit("");
    for (std::uint16_t i = 0; i < F.count; ++i) {
        bool plain = form.serverNullOrder || (form.indexForm && form.notNull.test(F.positions[i]));
        StrDesc suffix = lit(descending ? (plain ? " DESC" : " DESC NULLS LAST") : (plain ? "" : " NULLS FIRST"));
        StrDesc item = StrConcatN({quoteName(fieldName(table, F.positions[i])), suffix});
        list = i ? StrConcatN({list, lit(","), item}) : item;
    }
    return StrReturn(m, list);
}

StrDesc compareField(StrDesc column, std::uint16_t code, StrDesc value, char type, bool notNull) {
    if (column.isError()) return column;
    if (value.isError()) return value;
    if (code < cmp::EQ || code > cmp::NE) return StrErrorValue(err::BADINPUTDATA);
    StrMarkT m = StrMark();
    bool isNull = isNullText(value);
    StrDesc col = quoteName(column);
    StrDesc c = StrConcatN({col, lit(" "), lit(kOps[code]), lit(" "), isNull ? zeroValue(type) : value});
    bool widen = (isNull && (code & cmp::EQ)) || (!isNull && (code & cmp::LT));
    if (widen && !notNull) c = StrConcatN({lit("("), c, lit(" OR "), col, lit(" IS NULL)")});
    return StrReturn(m, c);
}

StrDesc keyWhere(StrDesc keyValue, std::uint16_t table, std::uint16_t key, std::uint16_t code, const SqlForm& form) {
    KeyFieldList F;
    ErrCode e = keyFields(table, key, F);
    if (e) return StrErrorValue(e);
    return keyWhereOver(keyValue, table, F, 0, code, form);
}

StrDesc joinConditions(StrDesc a, StrDesc connector, StrDesc b) {
    if (a.isError()) return a;
    if (b.isError()) return b;
    if (connector.isError()) return connector;
    if (a.len == 0) return StrConcatN({b});
    if (b.len == 0) return StrConcatN({a});
    StrDesc other = connector.view() == " AND " ? lit(" OR ") : lit(" AND ");
    StrMarkT m = StrMark();
    StrDesc left = findTopLevel(a, other) != 0xFFFF ? StrConcatN({lit("("), a, lit(")")}) : a;
    StrDesc right = findTopLevel(b, other) != 0xFFFF ? StrConcatN({lit("("), b, lit(")")}) : b;
    return StrReturn(m, StrConcatN({left, connector, right}));
}

StrDesc navWhere(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X, std::uint16_t mode,
                 const SqlForm& form) {
    if (V.isError()) return V;
    if (L.isError()) return L;
    if (X.isError()) return X;
    KeyFieldList F;
    ErrCode e = keyFields(table, key, F);
    if (e) return StrErrorValue(e);
    StrMarkT m = StrMark();
    // The longest prefix of whole key fields on which V and L agree.
    std::uint32_t limit = V.len < L.len ? V.len : L.len, P = 0;
    std::uint16_t pf = 0;
    for (std::uint16_t i = 0; i < F.count; ++i) {
        if (i + 1 == F.count && !(mode & 1)) break;
        std::uint16_t len = fieldDef(table, F.positions[i]).length;
        if (P + len > limit || std::memcmp(V.ptr + P, L.ptr + P, len) != 0) break;
        P += len;
        pf = static_cast<std::uint16_t>(i + 1);
    }
    StrDesc and_ = lit(" AND ");
    StrDesc W = keyWhereOver(mid(V, 0, P), table, F, 0, cmp::EQ, form);
    if (V.len > P) W = joinConditions(W, and_, keyWhereOver(mid(V, P), table, F, pf, mode, form));
    StrDesc rest = mid(L, P);
    if (rest.len && !(rest.len == 1 && static_cast<unsigned char>(rest.ptr[0]) == 0xFF))
        W = joinConditions(W, and_, keyWhereOver(rest, table, F, pf, (mode & 2) ? cmp::LE : cmp::GE, form));
    W = joinConditions(W, and_, X);
    return StrReturn(m, W);
}

StrDesc readStatement(std::uint16_t table, std::uint16_t key, std::uint16_t flags, StrDesc V, StrDesc L, StrDesc X,
                      const SqlForm& form) {
    StrMarkT m = StrMark();
    StrDesc where = lit("");
    bool descending = false;
    switch (flags & 0x34) {
    case 0x00:
        if (V.len) where = keyWhere(V, table, key, (flags & nav::ATORAFTER) ? cmp::GE : cmp::EQ, form);
        break;
    case 0x10: where = navWhere(table, key, V, L, X, 2, form); break;
    case 0x14:
        where = navWhere(table, key, V, L, X, 4, form);
        descending = true;
        break;
    case 0x20: descending = true; break;
    case 0x24: break;
    default: return StrReturn(m, StrErrorValue(err::BADINPUTDATA));
    }
    StrDesc t = tableIdent(table);
    StrDesc order = orderBy(table, key, descending, form);
    StrDesc stmt = where.len ? StrConcatN({lit("SELECT * FROM "), t, lit(" WHERE "), where, lit(" ORDER BY "), order,
                                    lit(" LIMIT 1;")})
                             : StrConcatN({lit("SELECT * FROM "), t, where, lit(" ORDER BY "), order, lit(" LIMIT 1;")});
    return StrReturn(m, stmt);
}

StrDesc findStatement(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t flags, const SqlForm& form) {
    StrMarkT m = StrMark();
    bool atOrAfter = flags & nav::ATORAFTER;
    StrDesc where = keyWhere(V, table, key, atOrAfter ? cmp::GE : cmp::EQ, form);
    if (where.isError()) return StrReturn(m, where);
    if (where.len == 0 && !atOrAfter) return StrReturn(m, lit(""));
    StrDesc t = tableIdent(table);
    StrDesc order = orderBy(table, key, false, form);
    StrDesc stmt = where.len ? StrConcatN({lit("SELECT * FROM "), t, lit(" WHERE "), where, lit(" ORDER BY "), order,
                                    lit(" LIMIT 1;")})
                             : StrConcatN({lit("SELECT * FROM "), t, lit(" ORDER BY "), order, lit(" LIMIT 1;")});
    return StrReturn(m, stmt);
}

StrDesc countStatement(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X, const SqlForm& form) {
    StrMarkT m = StrMark();
    StrDesc t = tableIdent(table);
    StrDesc where = key ? navWhere(table, key, V, L, X, 3, form) : lit("");
    if (where.isError()) return StrReturn(m, where);
    where = trimmed(where, false);
    StrDesc stmt = where.len ? StrConcatN({lit("SELECT COUNT (*) FROM "), t, lit(" WHERE "), where, lit(";")})
                             : StrConcatN({lit("SELECT COUNT (*) FROM "), t, lit(";")});
    return StrReturn(m, stmt);
}

StrDesc pageStatement(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X, std::uint32_t pageSize,
                      const SqlForm& form) {
    StrMarkT m = StrMark();
    StrDesc t = tableIdent(table);
    StrDesc where = navWhere(table, key, V, L, X, 3, form);
    if (where.isError()) return StrReturn(m, where);
    StrDesc order = orderBy(table, key, false, form);
    StrDesc stmt = StrConcatN({lit("SELECT * FROM "), t, lit(" "), lit(where.len ? "WHERE " : ""), lit(" "), where,
                        lit(" ORDER BY "), order, lit(" LIMIT "), numberText(pageSize), lit(";")});
    return StrReturn(m, stmt);
}

StrDesc insertStatement(std::uint16_t table, StrDesc record) {
    if (record.isError()) return record;
    StrMarkT m = StrMark();
    StrDesc t = tableIdent(table);
    if (t.isError()) return StrReturn(m, t);
    std::uint16_t n = realFieldCount(table);
    StrMarkT lm = StrMark();
    StrDesc values = lit("");
    for (std::uint16_t i = 1; i <= n && !values.isError(); ++i) {
        FieldDef f = fieldDef(table, i);
        StrDesc v = sqlValue(mid(record, f.offset, f.length), f.type);
        values = StrReturn(lm, i > 1 ? StrConcatN({values, lit(","), v}) : StrConcatN({v}));
    }
    return StrReturn(m, StrConcatN({lit("INSERT INTO "), t, lit(" VALUES ("), values, lit(");")}));
}

StrDesc setList(std::uint16_t table, StrDesc working, StrDesc asRead) {
    if (working.isError()) return working;
    if (asRead.isError()) return asRead;
    StrMarkT m = StrMark();
    std::uint16_t n = realFieldCount(table);
    StrDesc list = lit("");
    for (std::uint16_t i = 1; i <= n && !list.isError(); ++i) {
        FieldDef f = fieldDef(table, i);
        StrDesc now = mid(working, f.offset, f.length), before = mid(asRead, f.offset, f.length);
        if (now.view() == before.view()) continue;
        StrDesc item = StrConcatN({quoteName(fieldName(table, i)), lit(" = "), sqlValue(now, f.type)});
        list = StrReturn(m, list.len ? StrConcatN({list, lit(","), item}) : item);
    }
    return StrReturn(m, list);
}

StrDesc updateStatement(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc set, const SqlForm& form) {
    if (set.isError()) return set;
    StrMarkT m = StrMark();
    StrDesc where = keyWhere(V, table, key, cmp::EQ, form);
    if (where.isError()) return StrReturn(m, where);
    if (where.len == 0) return StrReturn(m, StrErrorValue(err::INDEXCMDERROR));
    if (set.len == 0) return StrReturn(m, lit(""));
    return StrReturn(m, StrConcatN({lit("UPDATE ONLY "), tableIdent(table), lit(" SET "), set, lit(" WHERE "), where, lit(";")}));
}

StrDesc deleteStatement(std::uint16_t table, std::uint16_t key, StrDesc V, const SqlForm& form) {
    StrMarkT m = StrMark();
    StrDesc where = keyWhere(V, table, key, cmp::EQ, form);
    if (where.isError()) return StrReturn(m, where);
    if (where.len == 0) return StrReturn(m, StrErrorValue(err::INDEXCMDERROR));
    return StrReturn(m, StrConcatN({lit("DELETE FROM ONLY "), tableIdent(table), lit(" WHERE "), where, lit(";")}));
}

StrDesc updateWhereStatement(std::uint16_t table, StrDesc set, StrDesc where) {
    if (set.isError()) return set;
    if (where.isError()) return where;
    StrMarkT m = StrMark();
    if (set.len == 0) return StrReturn(m, lit(""));
    if (trimmed(where, true).len == 0) return StrReturn(m, StrErrorValue(err::INDEXCMDERROR));
    return StrReturn(m, StrConcatN({lit("UPDATE ONLY "), tableIdent(table), lit(" SET "), set, lit(" WHERE "), where, lit(";")}));
}

StrDesc deleteAllStatement(std::uint16_t table) {
    StrMarkT m = StrMark();
    return StrReturn(m, StrConcatN({lit("DELETE FROM ONLY "), tableIdent(table), lit(";")}));
}

// ---- Operations ----------------------------------------------------------------------------

SqlForm sqlForm(std::uint16_t table, std::uint16_t key) {
    SqlForm form;
    form.serverNullOrder = sysTest(SysVar::SYSCOMPAT, 1) != 0;
    const ColumnInfo& info = columnInfo(table);
    form.notNull = info.notNull;
    KeyFieldList F;
    if (key && keyFields(table, key, F) == err::OK) {
        form.indexForm = F.count > 0;
        ColumnSet keyColumns;
        for (std::uint16_t i = 0; i < F.count; ++i) {
            form.indexForm = form.indexForm && info.notNull.test(F.positions[i]);
            keyColumns.set(F.positions[i]);
        }
        for (std::size_t u = 0; form.indexForm && u < info.uniqueCount && !form.uniqueKey; ++u)
            form.uniqueKey = info.unique[u].within(keyColumns);
    }
    return form;
}

void sqlDriverForget(std::uint16_t table) {
    if (table == 0) {
        for (ColumnInfo& c : g_columns) c = ColumnInfo{};
    } else if (table <= DICT_TABLES) {
        g_columns[table - 1] = ColumnInfo{};
    }
}

void multiReadHooksSet(const MultiReadHooks* hooks) { g_hooks = hooks; }

ErrCode loadRow(std::uint16_t table, std::uint32_t row, std::uint16_t slot, LoadInto into) {
    StrMarkT m = StrMark();
    StrDesc kept = into == LoadInto::ASREAD ? recordCopy(table, copy::WORKING) : lit("");
    if (kept.isError()) return StrError(StrReturn(m, kept));
    if (into == LoadInto::ASREAD && (kept = StrConcatN({kept})).isError()) return StrError(StrReturn(m, kept));
    std::uint16_t n = fieldCount(table);
    // The row's values a batch of fields at a time.
    constexpr std::uint16_t kBatch = 128;
    StrDesc values[kBatch];
    ErrCode e = err::OK;
    for (std::uint32_t first = 1; first <= n && !e; first += kBatch) {
        std::uint16_t count = static_cast<std::uint16_t>(n - first + 1 < kBatch ? n - first + 1 : kBatch);
        e = resultRow(row, first - 1, slot, values, count);
        // Dates arrive as YYYY-MM-DD and are stored as YYYYMMDD.
        if (!e) e = setFields(table, static_cast<std::uint16_t>(first), values, count, true);
    }
    if (!e && into != LoadInto::WORKING) e = copyRecord(table, 1);
    if (!e && into == LoadInto::ASREAD) e = setRecordCopy(table, copy::WORKING, kept);
    StrRelease(m);
    return e;
}

std::uint16_t readRecord(std::uint16_t table, std::uint16_t flags, StrDesc X, StrDesc L) {
    DataFileCtrl* c = controlBlock(table);
    if (!c) return err::DATAOUTBOUND;
    if (flags & nav::CLEAR) {
        std::uint16_t st = clearRecord(table) ? err::FILENOTINIT : status::NEWRECORD;
        c->lastStatus = st;
        return st;
    }
    if (c->lastStatus == status::NONE && (flags & 0x14) == 0x14) flags = nav::BOT;
    bool multi = g_hooks && c->multiSlot >= 0;
    if (multi && (flags & nav::ABSOLUTE)) {
        g_hooks->end(table);
        multi = false;
    }
    if (multi && g_hooks->step(table, flags) == status::READ) {
        std::uint16_t st = loadRow(table, static_cast<std::uint32_t>(c->multiRow),
                                   static_cast<std::uint16_t>(c->multiSlot), LoadInto::BOTH);
        if (st) clearRecord(table);
        c->lastStatus = st;
        return st;
    }
    StrMarkT m = StrMark();
    std::uint16_t key = c->currentKey;
    SqlForm form = sqlForm(table, key);
    StrDesc V = (flags & nav::ABSOLUTE) ? lit("") : keyValue(table, key, copy::WORKING);
    StrDesc stmt = V.isError() ? V : readStatement(table, key, flags, V, L, X, form);
    std::uint16_t st = stmt.isError() ? status::FAILED : run(stmt);
    if (st == status::NONE && (flags & 0x14) == 0x14) st = status::NOPREVIOUS;
    if (st == status::READ) {
        ErrCode e = loadRow(table, 0, baseSlot(), LoadInto::BOTH);
        if (e) st = e;
    }
    if (st == status::READ && g_hooks && !form.uniqueKey) {
        StrDesc now = keyValue(table, key, copy::WORKING);
        std::uint32_t n = now.isError() ? COUNT_FAILED : countRows(table, key, now, now, lit(""));
        if (n > 1) {
            ErrCode e = n == COUNT_FAILED ? err::INTERNALERROR : g_hooks->start(table, now, flags);
            if (!e)
                e = loadRow(table, static_cast<std::uint32_t>(c->multiRow), static_cast<std::uint16_t>(c->multiSlot),
                            LoadInto::BOTH);
            if (e) st = static_cast<std::uint16_t>(ErrorRecordSet(1, ctx::DataFile, err::INTERNALERROR, err::INTERNALERROR));
        }
    }
    if (st != status::READ) clearRecord(table);
    c->lastStatus = st;
    StrRelease(m);
    return st;
}

std::uint16_t findByKey(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t flags) {
    StrMarkT m = StrMark();
    SqlForm form = sqlForm(table, key);
    StrDesc stmt = findStatement(table, key, V, flags, form);
    std::uint16_t st = stmt.isError() ? status::FAILED : stmt.len == 0 ? status::NONE : run(stmt);
    if (st == status::READ) {
        ErrCode e = loadRow(table, 0, baseSlot(), LoadInto::BOTH);
        if (e) st = e;
    }
    if (st != status::READ) clearRecord(table);
    StrRelease(m);
    return st;
}

std::uint32_t countRows(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X) {
    StrMarkT m = StrMark();
    SqlForm form = sqlForm(table, key);
    StrDesc stmt = countStatement(table, key, V, L, X, form);
    if (stmt.isError()) {
        StrRelease(m);
        return COUNT_FAILED;
    }
    std::int16_t saved = sysGet(SysVar::SQLSTK);
    std::uint16_t slot = newResultSlot();
    std::uint32_t n = COUNT_FAILED;
    if (slot != SQL_NOSLOT) {
        ErrCode code = execute(stmt, slot, nullptr);
        if (code == err::OK) {
            StrDesc v = resultValue(0, 0, slot);
            std::uint64_t count = 0;
            for (std::uint16_t i = 0; i < v.len && v.ptr[i] >= '0' && v.ptr[i] <= '9'; ++i)
                count = count * 10 + static_cast<std::uint64_t>(v.ptr[i] - '0');
            n = count >= COUNT_FAILED ? COUNT_FAILED - 1 : static_cast<std::uint32_t>(count);
        } else if (code == status::NONE) {
            n = 0;
        }
        releaseResult(slot);
    }
    sysSet(SysVar::SQLSTK, saved);
    StrRelease(m);
    return n;
}

ErrCode insertRecord(std::uint16_t table) {
    StrMarkT m = StrMark();
    StrDesc stmt = insertStatement(table, recordCopy(table, copy::WORKING));
    ErrCode e = stmt.isError() ? StrError(stmt) : run(stmt);
    StrRelease(m);
    return e;
}

ErrCode updateByKey(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t check) {
    if (V.isError()) return StrError(V);
    if (V.len == 0) return singleRowCheck("UPDATE ONLY ", table, key, V, check);
    StrMarkT m = StrMark();
    StrDesc set = setList(table, recordCopy(table, copy::WORKING), recordCopy(table, copy::ASREAD));
    ErrCode e = StrError(set);
    if (!e && set.len) e = singleRowCheck("UPDATE ONLY ", table, key, V, check);
    if (!e && set.len) {
        StrDesc stmt = updateStatement(table, key, V, set, sqlForm(table, key));
        e = stmt.isError() ? StrError(stmt) : (run(stmt) ? status::FAILED : err::OK);
    }
    StrRelease(m);
    return e;
}

std::uint16_t updateWhere(std::uint16_t table, StrDesc set, StrDesc where) {
    StrMarkT m = StrMark();
    StrDesc stmt = updateWhereStatement(table, set, where);
    std::uint16_t result = 0;
    if (stmt.isError()) {
        if (StrError(stmt) == err::INDEXCMDERROR)
            refuse(err::INDEXCMDERROR, StrConcatN({lit("UPDATE ONLY "), tableIdent(table), lit(": empty WHERE")}));
        result = 0xFFFF;
    } else if (stmt.len) {
        std::uint64_t n = 0;
        result = execute(stmt, -1, &n) ? 0xFFFF : static_cast<std::uint16_t>(n > 0xFFFE ? 0xFFFE : n);
    }
    StrRelease(m);
    return result;
}

ErrCode deleteByKey(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t check) {
    if (V.isError()) return StrError(V);
    StrMarkT m = StrMark();
    ErrCode e = singleRowCheck("DELETE FROM ONLY ", table, key, V, check);
    if (!e) {
        StrDesc stmt = deleteStatement(table, key, V, sqlForm(table, key));
        e = stmt.isError() ? StrError(stmt) : run(stmt);
    }
    StrRelease(m);
    return e;
}

ErrCode deleteAll(std::uint16_t table) {
    StrMarkT m = StrMark();
    StrDesc stmt = deleteAllStatement(table);
    ErrCode e = stmt.isError() ? StrError(stmt) : run(stmt);
    StrRelease(m);
    return e;
}

}  // namespace rt
