#include "shell/textfile.h"

#include "core/files.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "shell/environ.h"
#include "shell/paths.h"

namespace rt {
namespace {

// Section number and kept text of a line of the given kind.
struct LineParts {
    std::int32_t section = 0;
    StrDesc text;
};

LineParts lineParts(StrDesc line, std::uint16_t kind) {
    switch (kind) {
    case 1: return {StrToInt(StrMid(line, 0, 2)), StrMid(line, 3)};
    case 2: {
        std::uint16_t keep = line.len > 4 ? static_cast<std::uint16_t>(line.len - 4) : 0;
        return {StrToInt(StrMid(line, 1, 2)), StrMid(line, 3, keep)};
    }
    case 3: return {StrToInt(StrMid(line, 0, 4)), StrMid(line, 5)};
    case 4: return {StrToInt(StrMid(line, 0, 2)), StrMid(line, 2)};
    case 6: return {StrToInt(StrMid(line, 0, 5)), line};
    default: return {0, line};
    }
}

// Opens a text file for reading; a bare name that cannot be opened is
// searched in the data folders. 0 when it cannot be opened.
std::uint16_t openText(StrDesc name) {
    std::uint16_t h = FileOpen(name, fileflag::READONLY | fileflag::QUIET);
    if (h < FILE_HANDLES && h > 2) return h;
    StrMarkT m = StrMark();
    std::uint16_t result = 0;
    bool bare = StrFindChar(name, 0, ':', true) == STR_NPOS && StrFindChar(name, 0, '\\', true) == STR_NPOS &&
                StrFindChar(name, 0, '/', true) == STR_NPOS;
    if (bare) {
        StrDesc path = FileSearch(EnvGet(envstr::DOCPATH), name);
        if (!path.isError() && path.len) {
            h = FileOpen(path, fileflag::READONLY | fileflag::QUIET);
            if (h < FILE_HANDLES && h > 2) result = h;
        }
    }
    StrRelease(m);
    return result;
}

// Joins the last `count` entries of table 37 with sep (empty ones add
// nothing), removes them and pushes the result.
StrDesc takeLines(std::uint16_t count, StrDesc sep) {
    StrMarkT m = StrMark();
    std::uint16_t total = AreaCount(area::LINEQUEUE);
    std::uint16_t first = static_cast<std::uint16_t>(total - count);
    StrDesc joined = StrView("");
    for (std::uint16_t i = first; i < total && !joined.isError(); ++i)
        joined = StrReturn(m, StrJoin(joined, sep, AreaGet(area::LINEQUEUE, i)));
    TextLinesRelease(first);
    return StrReturn(m, joined);
}

}  // namespace

std::uint16_t TextFileRead(StrDesc name, std::uint16_t kind, std::uint16_t section, std::uint16_t table) {
    if (name.isError() || name.len == 0) return 65535;
    std::uint16_t h = openText(name);
    if (!h) return 65535;
    StrMarkT m = StrMark();
    std::uint16_t count = 0;
    for (;;) {
        StrScratchArea buf = StrScratch();
        std::uint32_t cap = buf.len > 65535 ? 65535 : buf.len;
        std::uint32_t n = FileRead(h, FILE_NONE, FILE_NONE, buf.ptr, cap);
        if (n == FILE_NONE) break;
        LineParts lp = lineParts(StrMake(buf.ptr, n), kind);
        if (lp.section != section) continue;
        if (AreaPush(table, lp.text)) break;
        ++count;
    }
    FileClose(h);
    StrRelease(m);
    return count ? count : 65535;
}

void TextLinesRelease(std::uint16_t from) {
    while (AreaCount(area::LINEQUEUE) > from)
        AreaRemove(area::LINEQUEUE, static_cast<std::uint16_t>(AreaCount(area::LINEQUEUE) - 1));
}

StrDesc TextFileJoin(StrDesc name, std::uint16_t kind, std::uint16_t section, StrDesc sep) {
    std::uint16_t count = TextFileRead(name, kind, section, area::LINEQUEUE);
    if (count == 65535) return StrErrorValue(err::NOTFOUND);
    return takeLines(count, sep);
}

std::uint16_t ParamLoad(StrDesc name, std::uint16_t kind, std::uint16_t section) {
    std::uint16_t count = TextFileRead(name, kind, section, area::LINEQUEUE);
    if (count == 65535) return 65535;
    StrMarkT m = StrMark();
    StrDesc set = takeLines(count, StrView(":"));
    ErrCode e = set.isError() ? StrError(set) : AreaPush(area::TASKSTACK, set);
    StrRelease(m);
    return e ? 65535 : count;
}

std::uint16_t ParamLoadOrEmpty(StrDesc name, std::uint16_t kind, std::uint16_t section) {
    std::uint16_t count = ParamLoad(name, kind, section);
    if (count != 65535) return count;
    return ParamPush(StrView("")) ? 65535 : 0;
}

ErrCode ParamPush(StrDesc set) { return AreaPush(area::TASKSTACK, set); }

StrDesc ParamGet(StrDesc key) { return KeyValueFind(AreaPeek(area::TASKSTACK), key, 3); }

ErrCode ParamDrop() { return AreaPop(area::TASKSTACK); }

}  // namespace rt
