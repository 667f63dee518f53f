// The command line: its normalisation and the option lookups.
//
// Options are written /NAME:value or /NAME=value ("-" and "--" prefixes work
// after normalisation); a value ends at the next ":", blank, "&" or "/"
// outside quotes; unquoted values are upper-cased when read.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// Option numbers: 1-based positions in the option table.
namespace opt {
constexpr std::uint16_t HELP = 1;  // "?;HELP"
constexpr std::uint16_t APNAME = 2;
constexpr std::uint16_t APSTART = 3;
constexpr std::uint16_t DPATH = 4;
constexpr std::uint16_t SCRWID = 5;
constexpr std::uint16_t SCRHIG = 6;
constexpr std::uint16_t INPUT = 7;
constexpr std::uint16_t OUTPUT = 8;
constexpr std::uint16_t FILE = 9;
constexpr std::uint16_t INDEX = 10;
constexpr std::uint16_t DEVICE = 11;
constexpr std::uint16_t RUN = 12;
constexpr std::uint16_t MODE = 13;
constexpr std::uint16_t TRACE = 14;
constexpr std::uint16_t CONFIG = 15;
constexpr std::uint16_t HOST = 16;
constexpr std::uint16_t DATABASE = 17;
constexpr std::uint16_t USER = 18;
constexpr std::uint16_t PASSW = 19;
constexpr std::uint16_t COUNT = 19;
}  // namespace opt

// The normalised raw command line: trimmed of blanks and tabs, runs of
// blanks outside quotes reduced to one, " --" and then " -" outside quotes
// turned into " /". Pushed; 158 (BADCOMMANDLINE) when it does not fit in a
// string value.
StrDesc CmdLineNormalize(StrDesc raw);
// The argument-vector form: the arguments (program name first, quoted when
// it holds a blank or tab) joined with single blanks, a last character of
// code 13 or less dropped, then normalised as above.
StrDesc CmdLineNormalizeArgs(int argc, const char* const* argv);

// Item n of the option table (a view); "" outside 1..19.
StrDesc OptionName(std::uint16_t n);
// The value of /name in the normalised command line (environment string 1):
// unquoted values upper-cased, quoted ones kept. When absent, tried once
// more with the name lower-cased (first character at or below "`") or
// upper-cased. "" when absent. Pushed.
StrDesc OptionLookup(StrDesc name);
// OptionLookup(OptionName(n)); "" for n 0 or beyond the table. Pushed.
StrDesc OptionValue(std::uint16_t n);
// 1-based index of OptionValue(n) in a comma list, 0 if absent.
std::uint16_t OptionIndexIn(std::uint16_t n, StrDesc list);

}  // namespace rt
