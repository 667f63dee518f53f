// Dates and times.
//
// The internal date is the number YYYYMMDD or its 8-character text; the empty
// date is 8 blanks. A date is valid for years 0-9999, months 1-12 and days up
// to the month's length; February has 29 days in every year divisible by 4.
// Times are milliseconds since midnight. Display order follows the language
// (environment string 4): day first for ES, FR and IT, month first otherwise.
//
// Text results are pushed on the string stack (mark/return protocol); error
// values given as arguments are passed through. An invalid date is never an
// error: it formats as blanks and parses to the empty string.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt {

bool dateValid(int year, int month, int day);
int monthLength(int year, int month);  // 0 for a month outside 1..12
// An 8-digit text (blanks around it allowed) that is a valid date ->
// YYYYMMDD; anything else -> 0.
std::int32_t dateFromText(StrDesc text);

// Today from the local clock as YYYYMMDD, and the time of day in
// milliseconds. dateClockPin fixes both (tests); date 0 releases the pin.
std::int32_t today();
std::int32_t timeNow();
void dateClockPin(std::int32_t date, std::int32_t ms);

// Two-digit year -> four digits: below _BKYEAR it is _BYEAR + y, otherwise
// _BYEAR - 100 + y (79 -> 2079, 80 -> 1980 with the defaults).
int expandYear(int yy);

// Formats: 0 the internal text, 1 MM-DD-YY, 2 MM-DD-YYYY (day first in
// ES/FR/IT), 3 "[M] [Y]" with a 3-letter month, 4 the language's long
// template; any other format gives "". An empty (or blank) date is today
// unless _AUXSTAT bit 64 is set. An invalid or empty date gives 8 blanks
// (format 1), 10 blanks (format 2) or "".
StrDesc dateFormat(StrDesc date, int format);

// Display text -> 8-character date text or "". Six characters without a
// separator ("-", ".", "/") are DDMMYY; other texts without separators are
// returned when they are a valid 8-digit date ("" otherwise; an empty text
// is today unless _AUXSTAT bit 64 is set); otherwise three numbers split at
// the first separator, in the language's order, a 2-character year expanded.
StrDesc dateParse(StrDesc text);

// Date arithmetic on YYYYMMDD numbers. unit 'D' adds days through month and
// year ends, 'M' months (the day reduced to the target month's length), 'Y'
// years (29 February becomes the 28th in a short year), 'V' only normalises
// (a day or month past its end carries over). A date before year 0 or after
// 9999, or an input that is not a date (month or day 0), gives 0.
std::int32_t dateShift(std::int32_t date, char unit, std::int32_t amount);
// to - from in days ('D', calendar days), months ('M': 12 x years + months)
// or years ('Y'); 0 when either is not a valid date.
std::int32_t dateDiff(std::int32_t from, std::int32_t to, char unit);

// Six-character dates of files of the older layout (_COMPAT bit 4, fields of
// type F and width 6): YYMMDD with blanks for the leading zeros of month and
// day, years 2000-2099 written with a letter A-J for the tens digit.
bool dateSixApplies(char type, std::uint16_t width);
// The 6 stored characters -> 8-character date, or 8 blanks for an empty or
// unreadable field.
StrDesc dateSixRead(StrDesc six);
// 8-character date -> 6 characters; an empty or invalid date gives 6 blanks.
// Error value 168 for a year outside 1900-2099 (it cannot be read back).
StrDesc dateSixWrite(StrDesc date);

// Flags: 1 ":" between fields (HH:MM, else HHMM), 2 seconds, 4 "." and three
// digits of milliseconds. The time is taken modulo one day.
StrDesc timeFormat(std::int32_t ms, int flags);
// "h:m:s", "m:s" or "s", the last field being the seconds, optionally
// followed by "." and a fraction (its first three digits are milliseconds);
// an empty text is the current time of day.
std::int32_t timeParse(StrDesc text);

}  // namespace rt
