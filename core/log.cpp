#include "core/log.h"

#include <cstdio>
#include <cstdlib>

#include "core/errors.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/messages.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "lang/dates.h"

namespace rt {
namespace {

std::uint16_t g_trace = 1;  // _TRACE while the variable store is not bound
TraceGetFn g_traceGet = nullptr;
TraceSetFn g_traceSet = nullptr;

void defaultExit(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}
void (*g_exit)(int) = defaultExit;

constexpr StrDesc kCrLf{"\r\n", 2};

// Appends the concatenated parts to a file in one write, creating the file
// when missing; false when it cannot be opened or written. Not recorded.
bool appendParts(StrDesc name, std::initializer_list<StrDesc> parts) {
    StrMarkT m = StrMark();
    StrDesc all = StrConcatN(parts);
    bool ok = false;
    if (!all.isError()) {
        std::uint16_t h = FileOpen(name, fileflag::APPEND | fileflag::QUIET);
        if (h < FILE_HANDLES) {
            ok = all.len == 0 || FileWrite(h, FILE_NONE, all.ptr, all.len) == all.len;
            FileClose(h);
        }
    }
    StrRelease(m);
    return ok;
}

// "Error #" and the code for an error value, else the text itself (pushed or a view).
StrDesc printable(StrDesc text) {
    if (!text.isError()) return text;
    return StrFormat(32, StrView("Error #%u"), static_cast<unsigned>(StrError(text)));
}

}  // namespace

std::uint16_t TraceFlags() { return g_traceGet ? g_traceGet() : g_trace; }

void TraceFlagsSet(std::uint16_t flags) {
    if (g_traceSet) g_traceSet(flags);
    else g_trace = flags;
}

void TraceFlagsBind(TraceGetFn get, TraceSetFn set) {
    if (get && set) {
        g_traceGet = get;
        g_traceSet = set;
    } else {
        g_traceGet = nullptr;
        g_traceSet = nullptr;
        g_trace = 1;
    }
}

StrDesc LogPath() {
    StrMarkT m = StrMark();
    StrDesc set = AreaReady() ? AreaGet(area::WORK, area::WORK_LOGPATH) : StrDesc{"", 0};
    if (!set.isError() && set.len) return StrReturn(m, set);
    StrDesc id = AreaReady() ? ListItem(AreaGet(area::ENV, 2), ':', 1) : StrDesc{"", 0};
    if (id.isError()) id = StrDesc{"", 0};
    return StrReturn(m, StrConcat(StrMid(id, 0, 2), StrView("log.txt")));
}

ErrCode LogRestart(StrDesc path) {
    if (path.isError()) return StrError(path);
    ErrCode e = AreaSet(area::WORK, area::WORK_LOGPATH, path);
    if (e) return e;
    StrMarkT m = StrMark();
    FileDelete(LogPath());
    StrRelease(m);
    return err::OK;
}

ErrCode LogLine(StrDesc text, std::uint16_t flags) {
    if (!(flags & TraceFlags())) return err::OK;
    StrMarkT m = StrMark();
    StrDesc line = printable(text);
    StrDesc path = LogPath();
    ErrCode e = (!line.isError() && appendParts(path, {line, kCrLf})) ? err::OK : err::FILENOTFOUND;
    StrRelease(m);
    return e;
}

ErrCode LogEntry(StrDesc text, StrDesc file) {
    if (file.isError()) return StrError(file);
    StrMarkT m = StrMark();
    if (file.len == 0) file = LogPath();
    StrDesc date = dateFormat(StrFormat(8, StrView("%08i"), today()), 2);
    StrDesc time = timeFormat(timeNow(), 1);
    StrDesc header = StrFormat(384, StrView("*****************************\r\n Date:%s - Time:%s - User:%s\r\n"), date,
                               time, "0");
    StrDesc body = printable(text);
    bool ok = !header.isError() && !body.isError() &&
              appendParts(file, {header, body, StrView("\r\n**********************\r\n\r\n")});
    ErrCode e = ok ? err::OK : ErrorDetail(err::FILENOTFOUND, file);
    StrRelease(m);
    return e;
}

ErrCode AppendLine(StrDesc path, StrDesc text) {
    if (path.isError()) return StrError(path);
    if (text.isError()) return StrError(text);
    if (appendParts(path, {text, kCrLf})) return err::OK;
    return ErrorDetail(err::FILENOTFOUND, path);
}

bool Assert(bool condition, StrDesc check) {
    if (condition) return true;
    StrMarkT m = StrMark();
    MsgBox(check, StrView("Assertion Fail"), MSGBOX_ERROR);
    LogEntry(check, StrView("assertions.log"));
    StrRelease(m);
    g_exit(3);
    return false;
}

void AssertSetExit(void (*exitFn)(int)) { g_exit = exitFn ? exitFn : defaultExit; }

}  // namespace rt
