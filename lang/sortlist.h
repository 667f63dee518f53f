// In-memory sorted lists (SORT$) and the sorting of delimited lists.
//
// A list keeps fixed-length records in key order (the first keyLen bytes,
// compared byte for byte); it is named by a 24-byte handle string that the
// application keeps in a variable. The records live in guarded memory blocks
// (tags SORTLISTS and SORTRECORDS); a handle is checked against the live lists before use, so
// a stale or forged handle gives 147 and never reaches freed memory.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

namespace tag {
constexpr std::uint16_t SORTLISTS = 12;    // a list's state (the block a handle names)
constexpr std::uint16_t SORTRECORDS = 13;  // a list's records
}  // namespace tag

constexpr std::uint16_t SORT_HANDLE_BYTES = 24;
// Lists alive at once (each takes two memory blocks).
constexpr std::uint16_t SORT_MAX_LISTS = 8;

namespace sortflag {
constexpr std::uint16_t UNIQUE = 1;      // an equal key is not inserted (outcome 5)
constexpr std::uint16_t DESCENDING = 2;
constexpr std::uint16_t NULSEP = 64;     // SortText: items separated by NUL
constexpr std::uint16_t TRIMRIGHT = 128; // SortText: trailing blanks of each item dropped
}  // namespace sortflag

// Creates an empty list and pushes its handle. 147 for a key length of 0 or
// above the record length; 145 when SORT_MAX_LISTS lists are alive or no
// memory block can be had.
StrDesc SortNew(std::uint16_t keyLen, std::uint16_t recLen, std::uint16_t flags);
// Inserts the record, padded with blanks to the record length, before the
// first record whose key it does not follow (after it, descending). outcome
// is 0, or 5 when the list has unique keys and the key is there already
// (nothing inserted). 147 bad handle, 163 a record longer than the record
// length, 145 no memory (the list is unchanged then).
ErrCode SortAdd(StrDesc handle, StrDesc record, std::int64_t& outcome);
// Moves the cursor by TOP, NXT (NEXT), PRV (PREVIOUS) or BOT (BOTTOM).
// outcome 0, or 2 when the move runs past either end (the cursor stays).
// 147 for a bad handle or another verb.
ErrCode SortMove(StrDesc handle, StrDesc verb, std::int64_t& outcome);
// Pushes the record at the cursor ("" when the cursor is on none); error
// value 147 for a bad handle.
StrDesc SortGet(StrDesc handle);
// Frees the list; 147 for a bad handle.
ErrCode SortKill(StrDesc handle);
// Number of records; 65535 for a bad handle.
std::uint16_t SortCount(StrDesc handle);
// Frees every list.
void SortFreeAll();

// The items of a comma list (quote-aware; NULSEP: a NUL-separated list)
// sorted byte for byte and joined again with the same separator (pushed);
// TRIMRIGHT drops the trailing blanks of every item first.
StrDesc SortText(StrDesc list, std::uint16_t flags);

}  // namespace rt
