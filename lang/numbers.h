// Numbers of the language and the locale table.
//
// A number is a signed 64-bit integer scaled by 10^_PRECIS. The locale table
// (decimal and thousands separators, the characters accepted in numeric
// input, the logical input characters and words, the month names and the
// long date template) comes from environment string 0: the texts of messages
// "0019" and "0117" separated by NUL characters.
//
// Text results are pushed on the string stack: each function takes a mark on
// entry and leaves its result directly above the caller's mark. Error values
// given as text arguments are passed through unchanged.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt {

// --- System variables read by the conversions --------------------------------
// Positions in the variable store. Until the store binds its accessors with
// numSysBind, the values live here with their start-up defaults.
namespace sysvar {
constexpr std::uint16_t AUXSTAT = 0;   // bit 64: an empty date stays empty
constexpr std::uint16_t COMPAT = 20;   // bit 4: six-character dates in files
constexpr std::uint16_t PRECIS = 32;   // decimals of all numbers (default 2)
constexpr std::uint16_t BYEAR = 33;    // base century year (default 2000)
constexpr std::uint16_t BKYEAR = 34;   // two-digit break year (default 80)
}  // namespace sysvar

using NumSysGetFn = std::int16_t (*)(std::uint16_t pos);
using NumSysSetFn = void (*)(std::uint16_t pos, std::int16_t value);
// Routes numSysGet/numSysSet to the variable store; null for either puts
// back the module's own values (reset to their defaults).
void numSysBind(NumSysGetFn get, NumSysSetFn set);
std::int16_t numSysGet(std::uint16_t pos);
void numSysSet(std::uint16_t pos, std::int16_t value);
// _PRECIS limited to 0..4 (the scale 10^_PRECIS is a 16-bit value).
int numPrecision();

// --- Locale table ------------------------------------------------------------
// Reads the locale from an environment-string-0 text ("0019" NUL "0117" NUL
// " "). An empty text or error value, or a missing piece, gives the built-in
// English defaults for what is missing. Always 0.
ErrCode numLocaleInit(StrDesc envText = StrDesc{});
// Pushes the environment-string-0 text built from the two message texts.
// 145 when the string stack is full.
StrDesc numLocaleEnvText(StrDesc msg0019, StrDesc msg0117);

// Views into the module's copy of the table, valid until the next init.
char numDecimalSep();               // display decimal separator
char numThousandsSep();             // display thousands separator
StrDesc numAcceptedChars();         // characters accepted in numeric input
StrDesc numLogicalChars();          // 3 characters: empty, no, yes
StrDesc numLogicalWord(int which);  // 0 empty, 1 no, 2 yes ("" otherwise)
StrDesc monthName(int month);       // 1..12 ("" otherwise)
StrDesc dateLongTemplate();         // "[M] [D],[Y]" in English
// True when the language (environment string 4) is ES, FR or IT.
bool dateDayFirst();

// --- Conversions -------------------------------------------------------------
// Text -> scaled value: blanks and tabs trimmed, "D k" multiplies by 10^k,
// a leading "-" is the sign, reading stops at the first character that is
// not part of the number (a text of letters is 0), decimals beyond `decimals`
// are rounded half away from zero. Values beyond 64 bits saturate. Never
// fails: an error value reads as 0.
std::int64_t textToNum(StrDesc text, int decimals);
std::int64_t textToNum(StrDesc text);  // with _PRECIS decimals

// Scaled value -> text with `decimals` (0..30) decimals: no zero before the
// point, trailing decimal zeros dropped, "." as the point; 0 is "" unless
// decimals is 0. 145 when the string stack is full.
StrDesc numToText(std::int64_t raw, int decimals);
StrDesc numToText(std::int64_t raw);  // with _PRECIS decimals

// User input -> numeric text: trimmed, the leading run of accepted characters
// (or "."), cut at a "-" that is not first, leading zeros dropped unless
// before the decimal separator, that separator made ".", at most 20 characters.
StrDesc cleanNumeric(StrDesc input);

// Windows-1252 upper case of one character.
char charUpper(char c);

}  // namespace rt
