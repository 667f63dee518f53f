#include "datafile/filesets.h"

#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "datafile/datafile.h"
#include "lang/eval.h"
#include "lang/varstore.h"

namespace rt {
namespace {

struct SetLevel {
    DictionaryCounts counts;
    std::uint16_t current = 0;
};
SetLevel g_sets[FILESET_LEVELS];
std::uint16_t g_depth = 0;

ErrCode recordError(ErrCode code, StrDesc detail) {
    ErrorDetail(code, detail);
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    return code;
}

// The end of the item starting at `at`: the next `sep` outside quotes and
// parentheses, or the end.
std::uint16_t itemEnd(StrDesc s, std::uint16_t at, char sep) {
    char quote = 0;
    int depth = 0;
    for (; at < s.len; ++at) {
        char c = s.ptr[at];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth) --depth;
        } else if (c == sep && depth == 0) {
            break;
        }
    }
    return at;
}

int digitsAt(StrDesc s, std::uint16_t at, std::uint16_t n) {
    int v = 0;
    for (std::uint16_t i = 0; i < n; ++i) {
        if (at + i >= s.len || s.ptr[at + i] < '0' || s.ptr[at + i] > '9') return -1;
        v = v * 10 + (s.ptr[at + i] - '0');
    }
    return v;
}

bool isRestore(StrDesc name) {
    StrDesc t = StrTrim(name);
    static const char kWord[] = "RESTORE";
    if (t.len != sizeof kWord - 1) return false;
    for (std::uint16_t i = 0; i < t.len; ++i) {
        char c = t.ptr[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != kWord[i]) return false;
    }
    return true;
}

// Removes every table beyond the counts, their files closed and buffers dropped.
void cutBack(const DictionaryCounts& counts) {
    for (std::uint16_t t = tableCount(); t > counts.tables; --t) {
        closeFile(t);
        if (static_cast<std::uint16_t>(t - 1) < AreaCount(area::RECORDS))
            AreaSet(area::RECORDS, static_cast<std::uint16_t>(t - 1), StrView(""));
    }
    dictionaryTruncate(counts);
    fieldRefForget();
}

ErrCode addFields(StrDesc fields) {
    for (std::uint16_t at = 0; at < fields.len;) {
        std::uint16_t end = itemEnd(fields, at, ',');
        StrDesc def = StrTrim(StrDesc{fields.ptr + at, static_cast<std::uint16_t>(end - at)});
        at = static_cast<std::uint16_t>(end + 1);
        if (def.len == 0) continue;
        std::uint16_t a = itemEnd(def, 0, ';');
        std::uint16_t b = a < def.len ? itemEnd(def, static_cast<std::uint16_t>(a + 1), ';') : a;
        StrDesc name = StrTrim(StrDesc{def.ptr, a});
        StrDesc width = a < def.len ? StrTrim(StrDesc{def.ptr + a + 1, static_cast<std::uint16_t>(b - a - 1)})
                                    : StrView("");
        StrDesc type = b < def.len ? StrTrim(StrDesc{def.ptr + b + 1, static_cast<std::uint16_t>(def.len - b - 1)})
                                   : StrView("A");
        if (name.len == 0 || width.len == 0 || type.len != 1) return recordError(err::BADINPUTDATA, def);
        StrMarkT m = StrMark();
        StrPush(width);
        std::int64_t w = evalInteger(StrTop());
        StrRelease(m);
        if (w < 1 || w > 65535) return recordError(err::BADINPUTDATA, def);
        char letter = type.ptr[0];
        if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
        if (ErrCode e = addField(name, static_cast<std::uint16_t>(w), letter)) return e;
    }
    return err::OK;
}

ErrCode addKeys(std::uint16_t table, StrDesc keys) {
    bool any = false;
    for (std::uint16_t at = 0; at < keys.len; ++at) {
        if (keys.ptr[at] != '<') continue;
        KeySegment segs[KEY_SEGMENTS];
        std::uint16_t n = 0;
        std::uint16_t p = static_cast<std::uint16_t>(at + 1);
        while (n < KEY_SEGMENTS) {
            int off = digitsAt(keys, p, 4), len = off < 0 ? -1 : digitsAt(keys, static_cast<std::uint16_t>(p + 4), 3);
            if (off < 1 || len < 1) break;
            segs[n].offset = static_cast<std::uint16_t>(off - 1);
            segs[n].length = static_cast<std::uint16_t>(len);
            ++n;
            p = static_cast<std::uint16_t>(p + 7);
        }
        if (n == 0) return recordError(err::BADINPUTDATA, keys);
        if (ErrCode e = defineKey(table, n, segs)) return e;
        any = true;
        at = static_cast<std::uint16_t>(p - 1);
    }
    return any ? err::OK : defaultKeysUpTo(table);
}

}  // namespace

ErrCode openFileSet(StrDesc name, StrDesc fields, StrDesc keys) {
    if (name.isError() || fields.isError() || keys.isError())
        return StrError(name.isError() ? name : fields.isError() ? fields : keys);
    if (g_depth >= FILESET_LEVELS) return recordError(err::DATAOUTBOUND, name);
    StrMarkT m = StrMark();
    // The texts may lie in the StringArea, which the definitions change.
    StrPush(name);
    name = StrTop();
    StrPush(fields);
    fields = StrTop();
    StrPush(keys);
    keys = StrTop();
    SetLevel level{dictionaryCounts(), currentFile()};
    ErrCode e = defineTable(0, StrTrim(name), StrView(""));
    std::uint16_t table = tableCount();
    if (!e) e = addFields(fields);
    if (!e) e = addKeys(table, keys);
    if (!e) e = openFile(table, 0);
    if (e) {
        cutBack(level.counts);
        StrRelease(m);
        return e;
    }
    g_sets[g_depth++] = level;
    fieldRefForget();
    setCurrentFile(table);
    StrRelease(m);
    return err::OK;
}

ErrCode restoreFileSet() {
    if (g_depth == 0) {
        cutBack(DictionaryCounts{});
        sysSet(SysVar::CURFIL, 0);
        return err::OK;
    }
    const SetLevel& level = g_sets[--g_depth];
    cutBack(level.counts);
    sysSet(SysVar::CURFIL, static_cast<std::int16_t>(level.current));
    return err::OK;
}

std::uint16_t fileSetDepth() { return g_depth; }

std::uint16_t selectFileSet(StrDesc name) {
    if (name.isError()) return StrError(name);
    StrMarkT m = StrMark();
    if (isRestore(name)) {
        if (AreaCount(area::FILESETS) == 0) return recordError(err::INTERNALERROR, StrView("FILESEL(RESTORE)"));
        // "<current file>;<file>:<open flags>,..."
        StrDesc entry = AreaTake(area::FILESETS);
        if (entry.isError()) return StrError(StrReturn(m, entry));
        std::uint16_t at = 0;
        int current = 0;
        while (at < entry.len && entry.ptr[at] >= '0' && entry.ptr[at] <= '9')
            current = current * 10 + (entry.ptr[at++] - '0');
        ++at;
        while (at < entry.len) {
            int file = 0, flags = 0;
            while (at < entry.len && entry.ptr[at] >= '0' && entry.ptr[at] <= '9') file = file * 10 + (entry.ptr[at++] - '0');
            ++at;
            while (at < entry.len && entry.ptr[at] >= '0' && entry.ptr[at] <= '9') flags = flags * 10 + (entry.ptr[at++] - '0');
            ++at;
            if (DataFileCtrl* c = file > 0 && file <= tableCount() ? controlBlock(static_cast<std::uint16_t>(file)) : nullptr) {
                closeFile(static_cast<std::uint16_t>(file));
                c->openFlags = static_cast<std::uint16_t>(flags);
            }
        }
        sysSet(SysVar::CURFIL, static_cast<std::int16_t>(current));
        StrRelease(m);
        return err::OK;
    }
    StrPush(name);
    StrDesc list = StrTop();
    // Resolve every table first: an unknown one activates nothing.
    std::uint16_t files[DICT_TABLES];
    std::uint16_t count = 0;
    for (std::uint16_t at = 0; at <= list.len && count < DICT_TABLES;) {
        std::uint16_t end = itemEnd(list, at, ',');
        StrDesc item = StrTrim(StrDesc{list.ptr + at, static_cast<std::uint16_t>(end - at)});
        at = static_cast<std::uint16_t>(end + 1);
        if (item.len == 0) continue;
        std::uint16_t t = tableNumber(item);
        if (t == 0 || t > tableCount()) {
            ErrCode e = recordError(err::FILENOTFOUND, item);
            StrRelease(m);
            return e;
        }
        files[count++] = t;
    }
    if (count == 0) {
        ErrCode e = recordError(err::FILENOTFOUND, name);
        StrRelease(m);
        return e;
    }
    char text[16 + DICT_TABLES * 12];
    int n = std::snprintf(text, sizeof text, "%u;", static_cast<unsigned>(currentFile()));
    for (std::uint16_t i = 0; i < count; ++i)
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%s%u:%u", i ? "," : "",
                           static_cast<unsigned>(files[i]), static_cast<unsigned>(controlBlock(files[i])->openFlags));
    if (ErrCode e = AreaPush(area::FILESETS, StrMake(text, static_cast<std::size_t>(n)))) {
        StrRelease(m);
        return e;
    }
    // The result is the first file's read, unless a later open fails.
    std::uint16_t st = err::OK;
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint16_t r = openFile(files[i], static_cast<std::uint16_t>(controlBlock(files[i])->openFlags | 8));
        if (i == 0) st = r;
        else if (r >= 128 && st < 128) st = r;
    }
    setCurrentFile(files[0]);
    StrRelease(m);
    return st;
}

void fileSetsReset() { g_depth = 0; }

}  // namespace rt
