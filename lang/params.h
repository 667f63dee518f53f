// Task parameters: the named settings (DEVICE$, TITLE$, OPEN$, ...) that a
// task reads from its parameter set, the text on top of StringArea table 31
// (shell/textfile.h), by one-byte codes.
//
// A code selects a group by the first threshold not above it (100, 90, 70,
// 50, 30, 10, 0) and a name of that group (code - threshold, from 1). While
// the integer variable _AUX is not 0, a name is looked up as P.NAME, P being
// item _AUX of the comma list of prefixes in entry 8 of StringArea table 9
// (the bare name when that item is empty).
#pragma once
#include <cstdint>
#include <string_view>

#include "core/strdesc.h"

namespace rt {

namespace param {
constexpr std::uint8_t LOAD = 5;
constexpr std::uint8_t COUNTER = 7;
constexpr std::uint8_t SET = 12;
constexpr std::uint8_t OPEN = 13;
constexpr std::uint8_t DOCSETS = 18;
constexpr std::uint8_t HELP = 19;
constexpr std::uint8_t SAVED = 20;
constexpr std::uint8_t HIDDEN = 21;
constexpr std::uint8_t FD = 51;
constexpr std::uint8_t ALARM = 52;
constexpr std::uint8_t ASSIGN = 53;
constexpr std::uint8_t FILEDEF = 55;
constexpr std::uint8_t PERFORM = 56;
constexpr std::uint8_t WIDTHS = 58;
constexpr std::uint8_t TYPES = 59;
constexpr std::uint8_t CLEAR = 61;
constexpr std::uint8_t ON_CONFIRM = 62;
constexpr std::uint8_t ON_CANCEL = 63;
constexpr std::uint8_t COND = 74;
constexpr std::uint8_t TITLE = 80;
constexpr std::uint8_t DEVICE = 91;
constexpr std::uint8_t DOCNAME = 92;
constexpr std::uint8_t ACBOUND = 93;
constexpr std::uint8_t INDEX = 94;
constexpr std::uint8_t LIMITS = 95;
constexpr std::uint8_t AUXLOAD = 96;
constexpr std::uint8_t RESET = 97;
constexpr std::uint8_t ACCEPT_PRC = 101;
constexpr std::uint8_t WINNAME = 102;
constexpr std::uint8_t PROG_MODE = 103;
constexpr std::uint8_t PARM_FILE = 104;
constexpr std::uint8_t PARM_FILE_WRITE = 105;
constexpr std::uint8_t RD_EXP = 108;
constexpr std::uint8_t RD_COND = 111;
}  // namespace param

// The bare name of a code ("" for a code that names nothing), without prefix.
std::string_view paramBareName(std::uint8_t code);
// The full name with the prefix rule (pushed); "" for a code that names nothing.
StrDesc paramName(std::uint8_t code);
// The clean value of that name in the current parameter set ("" when absent
// or when no set is current).
StrDesc paramValue(std::uint8_t code);
// That value read as a decimal integer (0 when absent).
std::int32_t paramInt(std::uint8_t code);
// A value text: evaluated (evalText) when it is a string expression, that is
// when its first operand is a string (a literal, a string variable, a
// function named with '$') and the operator after it, if any, is '+' or '=';
// otherwise the text as written. 'TITLE$='Sales '+FN$DATE()' is computed
// while 'DEVICE$=PDF' is taken literally. Pushed; an error value carries the
// evaluation's code.
StrDesc evalParam(StrDesc text);

}  // namespace rt
