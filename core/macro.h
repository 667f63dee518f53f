// Text macros: sections in square brackets whose content is a name or an
// expression, replaced by its value, innermost first.
//
// The expression evaluator and the command-line options live in later
// layers; they reach the expansion through hooks registered at start-up.
// Without an evaluator a content that is not resolved as a name stays as
// written, brackets included.
//
// The escapes "\{" and "\}" stand for a literal "[" and "]" (resolved at the
// end with MACRO_ESCAPES); a doubled brace after the backslash ("\{{") gives
// the two characters backslash and brace.
#pragma once
#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// Flag bits of MacroExpand.
constexpr unsigned MACRO_PLAIN = 1;       // brackets found by plain search (else quote-aware)
constexpr unsigned MACRO_NOTRIM = 2;      // the value is not trimmed of blanks and tabs
constexpr unsigned MACRO_NAMES = 4;       // content looked up as a name first
constexpr unsigned MACRO_EMPTYNUM = 16;   // an empty numeric result stays empty (else "0")
constexpr unsigned MACRO_QUOTE = 32;      // the value is quoted with StrQuote
constexpr unsigned MACRO_DQUOTE = 64;     // ... with a double quote (else an apostrophe)
constexpr unsigned MACRO_RESCAN = 128;    // after a replacement the scan restarts at the same place
constexpr unsigned MACRO_ESCAPES = 256;   // "\{" "\}" become "[" "]" at the end

struct MacroHooks {
    // Evaluates an expression. On success `result` is the value's text and
    // `numeric` tells whether it was a number; a non-zero code ends the
    // expansion with that error.
    ErrCode (*eval)(StrDesc expr, StrDesc& result, bool& numeric) = nullptr;
    // The value of a command-line option, "" when it is not given.
    StrDesc (*option)(StrDesc name) = nullptr;
};

// Replaces the registered hooks (a null member means "not available").
void MacroSetHooks(const MacroHooks& hooks);
MacroHooks MacroGetHooks();

// Expands the bracket macros of `text` (flags above). With MACRO_NAMES a
// content is looked up in `names` (name:value or name=value pairs, as
// KeyValueFind with flags 3), then as a command-line option, then as a
// process environment variable, and evaluated only when none gives a value.
// A content ending with "%" is kept as it is (without MACRO_NAMES) or gives
// "" (with it). Returns the pushed result, or the evaluator's error value
// (nothing of the expansion is kept then); 163 when no quote character is
// free for MACRO_QUOTE; 146 when the text would pass 65535 bytes; 129 when
// values keep producing new macros (more than 4096 replacements).
StrDesc MacroExpand(StrDesc text, unsigned flags, StrDesc names = StrDesc{"", 0});

}  // namespace rt
