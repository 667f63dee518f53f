// The console of the application language (the apprt-eval program): reads
// lines, evaluates each one as an expression and prints one result line per
// input line. Variables persist from line to line.
//
// Result lines (each ends with LF):
//   "N <raw>"  a number: the scaled 64-bit value in signed decimal
//              (with _PRECIS 2, 12.5 prints "N 1250");
//   "S <text>" a string: its bytes, a backslash written "\\" and every byte
//              below 0x20 written "\xHH" (upper-case hex); "" prints "S ";
//   "E <code>" the evaluation's code (122 or more) in decimal.
//
// This is an edge of the runtime: it talks to C streams, and holds one
// line buffer of its own (the longest line a string value can carry).
#pragma once
#include <cstddef>
#include <cstdio>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// The longest input line evaluated; a longer one gives "E 146".
constexpr std::size_t CONSOLE_LINE_MAX = 65535;

enum class ConsoleLine { Text, TooLong, End };

// Reads the next line of `in` into buf (capacity `cap`); a line ends at
// CR LF, LF or CR, or at the end of the input, and the end is not stored.
// Text: len bytes were read. TooLong: the line had more than cap bytes; len
// is cap and the rest of the line was passed over. End: no line is left
// (an input that ends right after a line end holds no further empty line).
ConsoleLine ConsoleReadLine(std::FILE* in, char* buf, std::size_t cap, std::size_t& len);

// Writes the result line (with its LF) of one evaluation: `code` is what the
// evaluator returned and `value` its result (the top of the string stack;
// not read for a code of 2 or more). A code of 0 whose value is not an
// 8-byte number entry prints "E 141" (INTERNALERROR).
void ConsoleWriteResult(std::FILE* out, ErrCode code, StrDesc value);

// Evaluates a text, leaving its result on the string stack (evalExpr).
using ConsoleEvalFn = ErrCode (*)(StrDesc text);

// Reads `in` to its end and writes one result line per input line on `out`
// (flushed line by line). Each line is evaluated exactly as read; the
// string stack is released and the error record cleared after each line.
// Interactive (a terminal): a prompt goes to `err` before each line and,
// after an "E" line, the error's text (name, context, detail) to `err`.
void ConsoleRun(std::FILE* in, std::FILE* out, std::FILE* err, bool interactive, ConsoleEvalFn eval);

}  // namespace rt
