// Masks and the field conversions: internal value <-> stored field text
// (fixed width, by type letter) <-> displayed text.
//
// Mask characters: "\" a character position (a run "\  \" of backslash,
// blanks, backslash is that many positions), "?" a character position taken
// from the value's same position, "#" a digit left blank when empty, "0" a
// digit always printed, "." the decimal point, "," the thousands separator;
// anything else prints as written. The first of "\", "?", "#", "0" in the mask
// decides whether it is a string mask or a numeric mask. A formatted text is
// always as long as its mask.
//
// Type letters: "123456789ABCDFLNTV" (A text, B digits and blanks, C digits
// zero-filled, D date, F date that may be empty, L logical, N integer, 1-9
// number with that many decimals, T text, V virtual; P, a password, is stored
// like A).
//
// Text results are pushed on the string stack (mark/return protocol); error
// values given as arguments are passed through.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt {

namespace maskmode {
constexpr std::uint8_t SAMEPOS = 1;  // "?" takes the value's character at its own position
constexpr std::uint8_t DISPLAY = 2;  // "." and "," print the locale's separators
constexpr std::uint8_t ALL = 255;    // as FN$MASK uses
}  // namespace maskmode

// True for the letters of numeric fields, "NL123456789".
bool typeIsNumeric(char type);

// Mask preparation: a type letter followed by a decimal width ("N10", "28" =
// type 2, width 8) becomes defaultMask; otherwise a ",." followed by digits n
// inside the number part is resolved (d = n, or item n + 1 of the decimal-
// places list of environment string 10 when that is set): "###,##0,.02"
// becomes "####,##0.00", with d = 0 "###,###,##0". Other masks are copied.
StrDesc maskPrepare(StrDesc mask);

// Formats a value by a mask (prepared first). A numeric mask with a value
// made of ".-1234567890,D" and blanks places the number: rounded half away
// from zero to the mask's decimals, a "-" left of the first digit; when the
// integer digits do not fit, the separators and then the decimal positions
// are given up; when even that fails, the number's positions are filled with
// "*". A numeric mask with any other value gives the mask itself, unless the
// mask holds "\" or "?", when the string rule applies: "\" positions take the
// value's characters in turn, "?" as mode SAMEPOS says, blanks past the value.
StrDesc maskFormat(StrDesc mask, StrDesc value, std::uint8_t mode = maskmode::ALL);

// A, B, D, L and the other text types: width "\"; N: width "#"; a digit type
// n: width "#" with the point n + 1 positions from the right ("#####.##").
StrDesc defaultMask(char type, std::uint16_t width);

// Stored field text -> display text of `width` characters: dates in format 1
// (width 8) or 2 (width 10), blanks for other widths and for an empty F date;
// L as the locale's words for blank, "0", "1" (anything else "NO"); numbers by
// defaultMask with the locale's separators; other types cut or padded.
StrDesc toDisplay(char type, StrDesc stored, std::uint16_t width);

// Display text -> stored text of `width` characters (then fitWidth): B and C
// keep digits and blanks (C: blanks become "0" unless all blank); D by
// dateParse; F likewise, a blank entry staying blank; L by the locale's
// input characters to " ", "0", "1"; numbers by cleanNumeric and defaultMask
// with "." as the point. Error value 168 when a number does not fit.
StrDesc toStored(char type, StrDesc display, std::uint16_t width);

// Text -> exactly `width` characters: V blanks; text types left-aligned, cut
// or padded; D and F left-aligned, an 8-digit date in a 6-wide field losing
// its century; N, L and 1-9 trimmed and right-aligned, decimals reduced
// (rounded) to fit. Error value 168 when the integer part alone is too wide.
StrDesc fitWidth(char type, StrDesc text, std::uint16_t width);

}  // namespace rt
