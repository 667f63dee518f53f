// String functions over StrDesc values.
//
// Every function passes an error value it receives through unchanged (the
// first error argument wins). Functions that need new bytes follow the string
// stack protocol: they take a mark on entry and leave their result directly
// above it. Views (StrMid, StrTrim, StrUnquote, ...) point into their source
// and push nothing. Positions are 0-based; STR_NPOS (65535) means not found.
//
// Quote-aware searches ("plain" false) skip sections opened by an apostrophe
// or a double quote and closed by the same character; an unterminated quote
// hides the rest of the text. A quote character itself is never found by a
// quote-aware search.
#pragma once
#include <array>
#include <concepts>
#include <cstdint>
#include <initializer_list>

#include "core/memblocks.h"
#include "core/strdesc.h"

namespace rt {

constexpr std::uint16_t STR_NPOS = 65535;
constexpr StrDesc kBlankTab{" \t", 2};

// --- Views and searches (no copy) -------------------------------------------

// Substring view. start < 0 counts from the end (clamped to 0) and takes the
// rest; count 65535 = the rest; both clamped to the string.
StrDesc StrMid(StrDesc s, int start, std::uint16_t count = 65535);
// First position of ch at or after `from`.
std::uint16_t StrFindChar(StrDesc s, std::uint16_t from, char ch, bool plain);
std::uint16_t StrFindLastChar(StrDesc s, char ch, bool plain);
// Smallest position of any character of `set`.
std::uint16_t StrFindAny(StrDesc s, StrDesc set, bool plain);
// First position of `text` (candidates found as by StrFindChar); STR_NPOS when
// text is longer than s. An empty text is found at 0.
std::uint16_t StrFindText(StrDesc s, StrDesc text, bool plain);
// Number of non-overlapping occurrences (0 for an empty text).
std::uint16_t StrCountText(StrDesc s, StrDesc text, bool plain);
// Removes the characters of `set` from the left (sides bit 1) and/or the
// right (bit 2).
StrDesc StrTrim(StrDesc s, StrDesc set = kBlankTab, unsigned sides = 3);
// Drops the first and last character when s has at least 2, starts with an
// apostrophe or double quote and ends with the same one.
StrDesc StrUnquote(StrDesc s);
// Trim both sides, unquote; upper-cased (pushed) when neither step shortened it.
StrDesc StrCleanValue(StrDesc s);

// --- Building new text (pushed) ----------------------------------------------

// The concatenation of the parts; error value 146 when it would pass 65535
// bytes, 145 when the stack is full.
StrDesc StrConcatN(std::initializer_list<StrDesc> parts);
StrDesc StrConcat(StrDesc a, StrDesc b);
// a + sep + b when both are non-empty, else the non-empty one (or "").
StrDesc StrJoin(StrDesc a, StrDesc sep, StrDesc b);
// a + "=" + b; error value 163 when either is empty.
StrDesc StrJoinPair(StrDesc a, StrDesc b);
// Every non-overlapping occurrence replaced, left to right. A single
// apostrophe or double quote is searched plainly. When the result cannot be
// pushed, 160/STRCONCAT is recorded and the push failure returned.
StrDesc StrReplaceAll(StrDesc s, StrDesc text, StrDesc replacement, bool plain);
// Windows-1252 case mapping.
StrDesc StrUpper(StrDesc s);
StrDesc StrLower(StrDesc s);
char CharUpper(char c);
char CharLower(char c);
// ch + s + closer ("[" "(" "{" "<" close with "]" ")" "}" ">", others with themselves).
StrDesc StrWrap(StrDesc s, char ch);
// StrWrap in the first of ch, its alternative, the alternative of that which
// does not occur in s (a double quote's alternative is an apostrophe, any
// other character's a double quote); error value 163 when all three occur.
StrDesc StrQuote(StrDesc s, char ch);
// s repeated n times ("" for n <= 0).
StrDesc StrRepeat(StrDesc s, int n);
// Each run of ch reduced to one ch.
StrDesc StrCollapse(StrDesc s, char ch);
// Only the characters that belong to set.
StrDesc StrKeepChars(StrDesc s, StrDesc set);
// Each character found in `from` replaced by the one at the same position in
// `to` (kept when `to` is shorter).
StrDesc StrTranslate(StrDesc s, StrDesc from, StrDesc to);
// `patterns` holds len(chars) fixed-width patterns packed together; each
// occurrence of pattern k becomes chars[k]. An empty chars list or a zero
// pattern width returns s unchanged.
StrDesc StrReplaceSet(StrDesc s, StrDesc patterns, StrDesc chars);
// A pushed copy with a NUL appended; an error value gives "" (a static text).
const char* StrTerminated(StrDesc s);
// A one-character string.
StrDesc StrChar(char ch);
// StrWriteAt on a pushed copy of s.
StrDesc StrOverlay(StrDesc s, int pos, StrDesc data);

// --- Tests and conversions ---------------------------------------------------

// Byte comparison over the shorter length, then the longer is greater:
// 1, 0 or 65535 (-1); 159 when either pointer is null.
std::uint16_t StrCompare(StrDesc a, StrDesc b);
// s starts with ch and ends with its closer (at least 2 characters).
bool StrIsEnclosed(StrDesc s, char ch);
// The upper-cased value is one of YES, SI, Y, S, ON.
bool StrIsYes(StrDesc s);
// 1 for a yes word, else the decimal value of the leading part (blanks, an
// optional sign, digits; no digits give 0), saturated to 32 bits.
std::int32_t StrToInt(StrDesc s);
// The same reading to 64 bits (no yes words).
std::int64_t StrToInt64(StrDesc s);

constexpr std::int16_t MaxValue(std::int16_t a, std::int16_t b) { return a > b ? a : b; }
constexpr std::int16_t MinValue(std::int16_t a, std::int16_t b) { return a < b ? a : b; }
inline StrDesc StrDefault(StrDesc a, StrDesc b) { return (a.isError() || a.len) ? a : b; }
constexpr int IntDefault(int a, int b) { return a ? a : b; }

// --- In place ------------------------------------------------------------------

// Overwrites inside s at pos (pos < 0 counts from the end, clamped to 0),
// copying only what fits; returns s. s must be writable memory.
StrDesc StrWriteAt(StrDesc s, int pos, StrDesc data);
// Index of the first of `count` records of `width` bytes equal to value's
// first `width` bytes; 65535 when none (or value is shorter than width).
std::uint16_t ArrayFind(const void* records, std::uint16_t count, StrDesc value, std::uint16_t width);
// s as an array of 16- or 64-bit elements (native byte order). The length must
// be a multiple of the width and i below the count: otherwise a get gives 0
// and a set 65535 (0 on success). Set writes in place.
std::uint16_t ElemGet16(StrDesc s, std::uint16_t i);
std::uint16_t ElemSet16(StrDesc s, std::uint16_t i, std::uint16_t v);
std::int64_t ElemGet64(StrDesc s, std::uint16_t i);
// Writes data into the buffer at pos (65535 = at the used length), raises the
// used length (a gap is zero-filled) and returns a view of the written part.
// A buffer in error gives ""; writing past the capacity sets error 153 and
// gives the error value 153.
StrDesc BufWrite(MemBuffer& buffer, StrDesc data, std::uint16_t pos = 65535);

// --- Formatting ------------------------------------------------------------------

// One argument of StrFormat: a text or an integer.
struct FmtArg {
    StrDesc text{};
    std::int64_t number = 0;
    bool isText = true;
    FmtArg(StrDesc s) : text(s) {}
    FmtArg(const char* s) : text(StrFromTerminated(s)) {}
    template <std::integral T>
    FmtArg(T v) : number(static_cast<std::int64_t>(v)), isText(false) {}
};

// Applies the %-placeholders of `format` (%s, %i, %d, %u, %c, %x, %X, %%, with
// optional "-", "0", width and precision) into a fresh buffer of max + 1
// bytes. Error value 146 (recorded with FormatStrings) when the text would
// need more than max bytes. An error-value argument is returned unchanged.
StrDesc StrFormatV(std::uint16_t max, StrDesc format, const FmtArg* args, std::size_t count);
template <class... A>
StrDesc StrFormat(std::uint16_t max, StrDesc format, A&&... args) {
    std::array<FmtArg, sizeof...(A)> a{FmtArg(args)...};
    return StrFormatV(max, format, a.data(), a.size());
}

// --- Option texts ------------------------------------------------------------------

// The value of `key` in an option text ("/HOST:srv /USER=me"): key + ":" is
// tried over the whole text before key + "="; an occurrence counts at the
// start or after one of ": &/" (flag 4: after a NUL, in a NUL-separated block
// searched plainly). The value ends at the first of ": &/" outside quotes
// (flag 4: at the next NUL). Flag 1 unquotes it, flags 1+2 give its clean
// value. "" when not found.
StrDesc KeyValueFind(StrDesc text, StrDesc key, unsigned flags);

}  // namespace rt
