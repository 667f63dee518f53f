// The trace log, entry logs with a date/time header, line appends and
// assertion failures.
//
// The trace log is StringArea table 9 entry 10 when set, otherwise the
// application prefix (the first two characters of the application id,
// environment string 2) followed by "log.txt" in the current folder.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// The trace flags (the system variable _TRACE, default 1): LogLine writes a
// line when its flags share a bit with them. Until the variable store binds
// its accessors with TraceFlagsBind, the flags live here.
std::uint16_t TraceFlags();
void TraceFlagsSet(std::uint16_t flags);
using TraceGetFn = std::uint16_t (*)();
using TraceSetFn = void (*)(std::uint16_t flags);
// Routes TraceFlags/TraceFlagsSet to the variable store; null for either
// puts back the module's own value (reset to 1).
void TraceFlagsBind(TraceGetFn get, TraceSetFn set);

// The trace log's file name (pushed).
StrDesc LogPath();
// Makes `path` the trace log and deletes that file. Returns the store's code.
ErrCode LogRestart(StrDesc path);
// When flags & TraceFlags(), appends the text and CR LF to the trace log; an
// error value is written as "Error #" and its code. Returns 0, or 164 when the
// log cannot be written (nothing is recorded).
ErrCode LogLine(StrDesc text, std::uint16_t flags);
// Appends an entry to `file` (the trace log when empty):
// "*****************************\r\n Date:%s - Time:%s - User:0\r\n" with
// today's date (dateFormat 2: MM-DD-YYYY, day first for ES, FR, IT) and the
// time (timeFormat 1: HH:MM), then the text, then
// "\r\n**********************\r\n\r\n".
// 164 with the file name as error detail when the file cannot be written.
ErrCode LogEntry(StrDesc text, StrDesc file);
// Appends text and CR LF to a file (created when missing); 164 with the file
// name as error detail when it cannot be written.
ErrCode AppendLine(StrDesc path, StrDesc text);

// When condition is false: an error box with the check name titled
// "Assertion Fail", an entry in "assertions.log", then the process ends with
// exit code 3. Returns condition (when the ending step returns, see below).
bool Assert(bool condition, StrDesc check);
// Replaces the step that ends the process (tests); null restores the default.
void AssertSetExit(void (*exitFn)(int code));

}  // namespace rt
