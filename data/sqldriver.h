// The SQL table driver: indexed-file navigation over PostgreSQL tables.
//
// Each request becomes one statement over the table of the same name, built
// from the dictionary and the record buffer and sent through `execute`. Key
// order is an ORDER BY over the key's columns; a next or previous step is a
// fresh LIMIT 1 query whose WHERE says "key greater (or smaller) than the
// current key" as a lexicographic comparison. NULL counts as the smallest
// value and as equal to the empty value.
//
// Two forms of every statement. The general form writes the NULL rules into
// the statement ("IS NULL" branches, NULLS FIRST), which no ordinary index
// can serve. When every column of the key is declared NOT NULL on the
// server, the index form says the same without them: plain comparisons,
// the lexicographic comparison as one row-value comparison, ORDER BY without
// NULL placement (kept only on nullable tie-break columns). The builders
// take the form as an argument and are pure (dictionary and values in, SQL
// text out); the operations choose the form with `sqlForm`.
//
// Builders push their text (string stack protocol) and return error values
// when a statement cannot be built: 168 bad table or key, 141 a key that
// cannot be mapped onto fields, 163 a request without a statement, 144 an
// UPDATE or DELETE whose key value is empty (never sent unrestricted).
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// Comparison codes: bit 1 equal, 2 greater, 4 less.
namespace cmp {
constexpr std::uint16_t EQ = 1, GT = 2, GE = 3, LT = 4, LE = 5, NE = 6;
}  // namespace cmp

// Navigation requests (low byte of a verb's action code).
namespace nav {
constexpr std::uint16_t CLEAR = 0x01;     // clear the record, no query (NEW)
constexpr std::uint16_t ATORAFTER = 0x02; // at or after the key value instead of equal to it
constexpr std::uint16_t BACKWARD = 0x04;
constexpr std::uint16_t RELATIVE = 0x10;  // from the current key
constexpr std::uint16_t ABSOLUTE = 0x20;  // first or last record
constexpr std::uint16_t TOP = 0x24, BOT = 0x20, NXT = 0x12, PRV = 0x16, RLD = 0x00;
}  // namespace nav

// Read statuses.
namespace status {
constexpr std::uint16_t READ = 0;
constexpr std::uint16_t NOPREVIOUS = 1;
constexpr std::uint16_t NONE = 2;
constexpr std::uint16_t NEWRECORD = 3;
constexpr std::uint16_t FAILED = 0xFFFF;  // a statement that could not be built
}  // namespace status

// A set of columns by position 1..256 (a column beyond 256 is never in it).
struct ColumnSet {
    std::uint64_t bits[4] = {0, 0, 0, 0};
    bool test(std::uint16_t pos) const { return pos >= 1 && pos <= 256 && (bits[(pos - 1) / 64] >> ((pos - 1) % 64)) & 1u; }
    void set(std::uint16_t pos) {
        if (pos >= 1 && pos <= 256) bits[(pos - 1) / 64] |= std::uint64_t{1} << ((pos - 1) % 64);
    }
    bool empty() const { return (bits[0] | bits[1] | bits[2] | bits[3]) == 0; }
    bool within(const ColumnSet& o) const {
        for (int i = 0; i < 4; ++i)
            if (bits[i] & ~o.bits[i]) return false;
        return true;
    }
};

struct SqlForm {
    bool serverNullOrder = false;  // _SYSCOMPAT bit 1: ORDER BY without NULLS FIRST / NULLS LAST
    bool indexForm = false;        // every key column is NOT NULL: the index form
    // The index form, and a unique index of the table lies within the key's
    // columns: no two rows share a key value, so there is nothing to count.
    bool uniqueKey = false;
    ColumnSet notNull;             // the table's columns declared NOT NULL
};

// ---- Pure builders ----------------------------------------------------------------

// A field value as SQL: cut at its first NUL; numeric types trimmed on both
// sides ("NULL" when empty; a text that is not a plain number goes through
// quoteLiteral, so the server refuses it rather than reading it as SQL);
// other types trimmed on the right, "NULL" when empty, else quoteLiteral.
StrDesc sqlValue(StrDesc text, char type);
// The key's columns, quoted, joined by ","; a key on field 1 alone orders by
// fields 1, 2 and 3. Suffix " NULLS FIRST" / " DESC NULLS LAST", or "" /
// " DESC" with serverNullOrder and, in the index form, on NOT NULL columns.
StrDesc orderBy(std::uint16_t table, std::uint16_t key, bool descending, const SqlForm& form);
// `"column" op value` with the NULL rules: a NULL value is compared as 0
// ('' for text) and widened with "(... OR "column" IS NULL)" when the code has
// the equal bit; a given value is widened when the code has the less bit.
// With notNull the plain comparison (NULL still compared as 0 or '').
StrDesc compareField(StrDesc column, std::uint16_t code, StrDesc value, char type, bool notNull = false);
// The key comparison of the key value with code 1..6 over the key's fields
// (only the fields the value reaches; a last field reached partly compares
// the part there). "" for an empty value.
StrDesc keyWhere(StrDesc keyValue, std::uint16_t table, std::uint16_t key, std::uint16_t code, const SqlForm& form);
// a + connector + b (connector " AND " or " OR "); an operand holding the
// other connector outside parentheses and quotes is put in parentheses
// first. An empty operand gives the other.
StrDesc joinConditions(StrDesc a, StrDesc connector, StrDesc b);
// The navigation WHERE from the current key value V up to the limit L (0xFF
// alone or empty: none) with the extra condition X; mode 2 forward, 3
// forward inclusive, 4 backward.
StrDesc navWhere(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X, std::uint16_t mode,
                 const SqlForm& form);

// The navigation query of readRecord for request `flags`; 163 for a backward
// request that is neither relative nor absolute.
StrDesc readStatement(std::uint16_t table, std::uint16_t key, std::uint16_t flags, StrDesc V, StrDesc L, StrDesc X,
                      const SqlForm& form);
// The query of findByKey; "" when there is nothing to send (an empty key
// value without ATORAFTER).
StrDesc findStatement(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t flags, const SqlForm& form);
// "SELECT COUNT (*) FROM ..." over navWhere mode 3; key 0 (or no WHERE at
// all) counts every row.
StrDesc countStatement(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X, const SqlForm& form);
// One page of a scan: rows from V (inclusive) up to L meeting X, ascending,
// at most pageSize.
StrDesc pageStatement(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X, std::uint32_t pageSize,
                      const SqlForm& form);
// "INSERT INTO ... VALUES (...);" from the record bytes (working copy),
// leaving out trailing placeholder fields (NUL, NULL, OTHER, AVOID).
StrDesc insertStatement(std::uint16_t table, StrDesc record);
// `"name" = value` of every field (placeholders left out) whose working text
// differs from its text as read, joined by ","; "" when none.
StrDesc setList(std::uint16_t table, StrDesc working, StrDesc asRead);
// "UPDATE ONLY ... SET set WHERE keyWhere(V, 1);"; 144 for an empty key value;
// "" for an empty SET text.
StrDesc updateStatement(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc set, const SqlForm& form);
// "DELETE FROM ONLY ... WHERE keyWhere(V, 1);"; 144 for an empty key value.
StrDesc deleteStatement(std::uint16_t table, std::uint16_t key, StrDesc V, const SqlForm& form);
// "UPDATE ONLY ... SET set WHERE where;"; "" for an empty SET, 144 for an
// empty WHERE.
StrDesc updateWhereStatement(std::uint16_t table, StrDesc set, StrDesc where);
StrDesc deleteAllStatement(std::uint16_t table);
// A table or column name between double quotes (inner double quotes doubled).
StrDesc quoteName(StrDesc name);

// ---- Operations on the server -------------------------------------------------------

// The form for the table's key: _SYSCOMPAT bit 1, and the NOT NULL columns,
// read from the catalogue the first time the table is used while connected.
SqlForm sqlForm(std::uint16_t table, std::uint16_t key);
// Forgets what the catalogue said about the table (0: all tables).
void sqlDriverForget(std::uint16_t table);

// Reads by request `flags` under the table's current key, from the working
// record's key value, with scan condition X and limit L. Status 0 loaded
// into both copies, 1 no previous record, 2 none, 3 cleared (CLEAR), a code
// of 128 or more from `execute`, 0xFFFF when no statement could be built.
// Any status but 0 clears the record. The status goes to the control block.
std::uint16_t readRecord(std::uint16_t table, std::uint16_t flags, StrDesc X = StrDesc{"", 0},
                         StrDesc L = StrDesc{"", 0});
// First record equal to the key value (at or after it with ATORAFTER),
// loaded into both copies. 2 without sending anything for an empty value
// without ATORAFTER.
std::uint16_t findByKey(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t flags);

enum class LoadInto : std::uint8_t { BOTH, ASREAD, WORKING };
// Copies row `row` of the slot's stored result into the record (date fields
// lose their "-"). ASREAD leaves the working record as it was.
ErrCode loadRow(std::uint16_t table, std::uint32_t row, std::uint16_t slot, LoadInto into);

constexpr std::uint32_t COUNT_FAILED = 0xFFFFFFFF;
// Rows from V up to L meeting X (navWhere mode 3); key 0 counts every row.
// Runs in a result slot of its own; the current slot is kept. COUNT_FAILED
// when the count could not be had.
std::uint32_t countRows(std::uint16_t table, std::uint16_t key, StrDesc V, StrDesc L, StrDesc X);

// Inserts the working record; the code of `execute` (183 for a duplicate key).
ErrCode insertRecord(std::uint16_t table);
// Rewrites the fields changed since the read in the row whose key equals V.
// Unless `check` is non-zero or _UPSTAT bit 16 is set, the rows with that
// key value are counted first and anything but exactly one refuses the
// update with 144. 0 when nothing changed (nothing sent) or the statement
// ran, 0xFFFF when it failed, 144 for an empty key value or a failed check.
ErrCode updateByKey(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t check);
// Rows changed by "UPDATE ONLY ... SET set WHERE where;"; 0 without sending
// for an empty SET, 0xFFFF when it failed or the WHERE is empty.
std::uint16_t updateWhere(std::uint16_t table, StrDesc set, StrDesc where);
// Deletes the row whose key equals V (single-row check as updateByKey); the
// code of `execute`, or 144.
ErrCode deleteByKey(std::uint16_t table, std::uint16_t key, StrDesc V, std::uint16_t check);
ErrCode deleteAll(std::uint16_t table);

// Duplicate key values: the multi-read layer plugs in here. Without it every
// key value is read as unique.
struct MultiReadHooks {
    // Starts a multi-read over key value V after a read with `flags`; the
    // control block then names the slot and the starting row.
    ErrCode (*start)(std::uint16_t table, StrDesc V, std::uint16_t flags);
    // Steps inside the multi-read: 0 a row to load (control block row), 1 the
    // multi-read ended and the ordinary query runs.
    std::uint16_t (*step)(std::uint16_t table, std::uint16_t flags);
    void (*end)(std::uint16_t table);
};
void multiReadHooksSet(const MultiReadHooks* hooks);

}  // namespace rt
