// Delimited lists: texts whose items are separated by one character and
// numbered from 1.
//
// Separators inside a section opened by an apostrophe or a double quote (and
// closed by the same character) do not count; with a NUL separator the search
// is plain. An empty text has 0 items; any other text has one item more than
// it has separators outside quotes, so a trailing separator ends the list
// with an empty item ("a,b," has 3). Items are taken as written.
//
// Error values pass through unchanged. Item views point into the list;
// functions that build a new list push it (string stack protocol).
#pragma once
#include <cstdint>

#include "core/strdesc.h"
#include "core/strstack.h"

namespace rt {

std::uint16_t ListCount(StrDesc list, char sep);
// Item n as a view; "" when n is 0 or beyond the count.
StrDesc ListItem(StrDesc list, char sep, std::uint16_t n);
// StrCleanValue of item n.
StrDesc ListItemValue(StrDesc list, char sep, std::uint16_t n);
// StrToInt of item n's clean value.
std::int32_t ListItemNumber(StrDesc list, char sep, std::uint16_t n);
// 1-based index of the first item equal to `item` (exact, case-sensitive);
// 0 when none or when item is longer than the list.
std::uint16_t ListIndexOf(StrDesc list, StrDesc item, char sep);
// n > 0: item n replaced (missing items first added as empty items);
// n = 0: value appended as a new last item; n < 0: item -n deleted together
// with the separator before it (after it for item 1); a missing item leaves
// the list unchanged. A failure is recorded (no context) and returned as an
// error value.
StrDesc ListSetItem(StrDesc list, char sep, int n, StrDesc value);
// a (as written) followed by the non-empty items of b not already in the
// result, joined with sepA.
StrDesc ListUnion(StrDesc a, char sepA, StrDesc b, char sepB);
// The items of a not found in b, joined with sepA (empty items are dropped).
StrDesc ListMinus(StrDesc a, char sepA, StrDesc b, char sepB);
// Longest and shortest unquoted item (0 for an empty list).
std::uint16_t ListMaxItemLength(StrDesc list, char sep);
std::uint16_t ListMinItemLength(StrDesc list, char sep);
// A StrArray on the string stack holding views of the items (count 0 and no
// array for an empty list or an error value).
StrArrayT ListSplit(StrDesc list, char sep);
// `list` is comma items "lo-hi" or single numbers; the 1-based index of the
// first range that holds value, 0 when none. Items without digits hold nothing.
std::uint16_t RangeListFind(StrDesc list, std::int64_t value);

}  // namespace rt
