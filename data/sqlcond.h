// Condition translation: a condition of the application language becomes an
// SQL search condition, appended to the WHERE clause of the table driver's
// statements so that the server sends only candidate rows.
//
// A term is a field reference, a comparison operator and a value:
// CITY{2}=='MADRID' becomes "CITY" = 'MADRID'. The value (everything after
// the operator up to the next logical operator) is evaluated once, here,
// and written as an SQL literal; terms are joined by AND (&&, &) and OR
// (||, @@, @). NULL counts as the field's empty value, as in the driver:
// 0 for numbers, the empty text for text, so a comparison that the empty
// value satisfies also takes the NULL rows ("(col IS NULL OR col < 100)").
// A string value with '*' compared by == becomes an ILIKE pattern that
// accepts what the language's wildcard match accepts. Text comparisons are
// those of the language on a field read without its trailing blanks, as the
// data-file layer presents text fields to expressions.
//
// The SQL never accepts fewer rows than the condition does: callers still
// evaluate the condition on every row they load. A term that cannot be
// translated (no field reference at its start, arithmetic on the field, a
// value that depends on the row read, a field of another table) restricts
// nothing: it is left out of an AND, and it makes the whole OR group it
// belongs to unrestricted. A condition holding an assignment or more than one
// expression restricts nothing at all. Every value goes through quoteLiteral.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// The SQL search condition of `condition` (pushed); "" when it restricts
// nothing. With _AUXSTAT bit 256 the text is already SQL and is returned as
// it is. `table`, when not 0, is the table the statement reads: field
// references to other tables are then values of the current record of
// their table, not columns, and their terms restrict nothing. Errors of the
// tokenizer and of the evaluator (129, 147, 128, ...), and 147 for a value
// that is neither number nor text, are recorded with the condition as error
// detail and returned as the error value: the statement is then not sent.
StrDesc translateCondition(StrDesc condition, std::uint16_t table = 0);

// countRows of the table driver (rows from keyValue up to limit under `key`,
// 0 counting every row) with the translated condition. 0xFFFFFFFF when the
// condition cannot be translated (nothing is sent) or the count fails.
std::uint32_t countWhere(std::uint16_t table, std::uint16_t key, StrDesc keyValue, StrDesc limit,
                         StrDesc condition);

// ---- Pieces --------------------------------------------------------------------------

// Language operator codes (positions in the operator list) that translate.
namespace condop {
constexpr std::uint8_t GT = 9, LT = 10, EQ = 11, GE = 12, LE = 13, NE = 14;
constexpr std::uint8_t BITAND = 15, BITOR = 16, BITXOR = 17, AND = 18, OR = 19, XOR = 20;
}  // namespace condop

// The SQL text of language operator `code` (1-20), "" for other codes:
// "*,/,!,%,÷,+,-,=,>,<,=,>=,<=,<>,AND,OR,OR,AND,OR,OR" by position.
StrDesc sqlOperator(std::uint8_t code);

// A value computed for a comparison: a number scaled by 10^_PRECIS, or a text.
struct CondValue {
    bool isText = false;
    std::int64_t number = 0;
    StrDesc text{"", 0};
};

// The comparison of the column (written as given, already quoted) of a field
// of type `type` with `value` under comparison operator `op` (9-14), pushed. Numeric types ("NL123456789") take a text value as the
// number it reads as; the number is written with _PRECIS decimals ("0" for
// zero). "" when the comparison restricts nothing (a pattern that accepts
// every text, a pattern on a date field). Error value 147 for another op.
StrDesc conditionComparison(StrDesc column, char type, std::uint8_t op, const CondValue& value);

}  // namespace rt
