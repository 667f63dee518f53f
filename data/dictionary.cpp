#include "data/dictionary.h"

#include <cstring>

#include "core/errors.h"
#include "core/files.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/sqldriver.h"
#include "datafile/record.h"
#include "lang/growarray.h"
#include "lang/varstore.h"

namespace rt {
namespace {

// ---- Registry storage -----------------------------------------------------------
//
// Four growable record arrays: tables, fields (all tables together, in table
// order), keys (likewise) and one record of counters. Pointers into them are
// taken afresh after every append.

struct DictState {
    std::uint16_t lastKeyed;
};

bool storageReady() { return growReady() && growRecordSize(grow::DICTTABLES) == sizeof(TableDef); }

std::uint16_t tableTotal() { return storageReady() ? static_cast<std::uint16_t>(growCount(grow::DICTTABLES)) : 0; }
std::uint16_t fieldTotal() { return storageReady() ? static_cast<std::uint16_t>(growCount(grow::DICTFIELDS)) : 0; }
std::uint16_t keyTotal() { return storageReady() ? static_cast<std::uint16_t>(growCount(grow::DICTKEYS)) : 0; }
TableDef* tables() { return reinterpret_cast<TableDef*>(growData(grow::DICTTABLES)); }
FieldDef* fields() { return reinterpret_cast<FieldDef*>(growData(grow::DICTFIELDS)); }
KeyDef* keys() { return reinterpret_cast<KeyDef*>(growData(grow::DICTKEYS)); }
DictState& state() { return *reinterpret_cast<DictState*>(growData(grow::DICTSTATE)); }

bool validTable(std::uint16_t t) { return t >= 1 && t <= tableTotal(); }

// Global index of the first field / key of table t.
std::uint16_t firstField(std::uint16_t t) {
    std::uint32_t n = 0;
    for (std::uint16_t i = 1; i < t; ++i) n += tables()[i - 1].fieldCount;
    return static_cast<std::uint16_t>(n);
}

std::uint16_t firstKey(std::uint16_t t) {
    std::uint32_t n = 0;
    for (std::uint16_t i = 1; i < t; ++i) n += tables()[i - 1].keyCount;
    return static_cast<std::uint16_t>(n);
}

// ---- Switches and small text helpers --------------------------------------------------

// _AUXSTAT bit 8: table names keep their case.
bool namesKeepCase() { return sysTest(SysVar::AUXSTAT, 8) != 0; }
// _CURFIL: the current data file.
std::uint16_t currentFile() { return static_cast<std::uint16_t>(sysGet(SysVar::CURFIL)); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }
// Characters that end an entry value of a relation text.
bool isEntryEnd(char c) { return c == ':' || c == ' ' || c == '&' || c == '/'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Value of `n` decimal digits at s[at..]; -1 when any is not a digit.
int digits(StrDesc s, std::uint16_t at, std::uint16_t n) {
    if (at + n > s.len) return -1;
    int v = 0;
    for (std::uint16_t i = 0; i < n; ++i) {
        char c = s.ptr[at + i];
        if (!isDigit(c)) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The name as the registry stores it: lower-cased unless names keep case.
StrDesc foldedName(StrDesc name) { return namesKeepCase() ? name : StrLower(name); }

StrDesc numberText(std::uint32_t n) { return StrFormat(12, StrView("%u"), n); }

StrDesc trim(StrDesc s, bool left, bool right) { return StrTrim(s, kBlankTab, (left ? 1u : 0u) | (right ? 2u : 0u)); }
StrDesc mid(StrDesc s, std::uint16_t start, std::uint16_t count = 65535) { return StrMid(s, start, count); }
std::uint16_t findChar(StrDesc s, char c, std::uint16_t from = 0) { return StrFindChar(s, from, c, true); }

// folder + "\" + name (no separator after an empty folder or one ending in a
// separator or a drive colon). Pushed.
StrDesc joinPath(StrDesc folder, StrDesc name) {
    if (folder.len == 0) return StrConcatN({name});
    char last = folder.ptr[folder.len - 1];
    if (last == '\\' || last == '/' || last == ':') return StrConcatN({folder, name});
    return StrConcatN({folder, StrView("\\"), name});
}

// ---- Default keys -----------------------------------------------------------------------

ErrCode insertKey(std::uint16_t table, const KeyDef& key) {
    std::uint16_t total = keyTotal();
    if (total == 0xFFFF || !growAppend(grow::DICTKEYS)) return err::OUTOFMEMORY;
    std::uint16_t at = static_cast<std::uint16_t>(firstKey(table) + tables()[table - 1].keyCount);
    KeyDef* k = keys();
    std::memmove(&k[at + 1], &k[at], static_cast<std::size_t>(total - at) * sizeof(KeyDef));
    k[at] = key;
    ++tables()[table - 1].keyCount;
    return err::OK;
}

ErrCode giveDefaultKey(std::uint16_t table) {
    const TableDef t = tables()[table - 1];
    const FieldDef* f = fields();
    KeyDef key;
    key.segmentCount = 1;
    std::uint16_t first = firstField(table);
    std::uint16_t length = t.fieldCount ? f[first].length : 0;
    for (std::uint16_t j = 0; j < t.fieldCount; ++j) {
        if (AreaGet(area::DICT_FIELDS, static_cast<std::uint16_t>(first + j)).view() == "N_LINE") {
            length = static_cast<std::uint16_t>(f[first + j].offset + f[first + j].length);
            break;
        }
    }
    key.segments[0] = KeySegment{0, length};
    return insertKey(table, key);
}

// ---- Dictionary files ---------------------------------------------------------------

constexpr std::uint16_t LINE_MAX = 512;
constexpr int INCLUDE_DEPTH = 8;

const char* const kFileItems[] = {"DICC.DAT", "REL.DAT", "RELUP.DAT", "RELUPSQL.DAT", "MENU.PPN"};

struct Loader {
    StrDesc folder;
    StrDesc defaultFolder;
    char prefixes[INCLUDE_DEPTH][2];
    int depth = 0;
};

// Sets the detail "<file>(<line>): <reason>: <line>", records the code and
// returns it.
ErrCode lineError(ErrCode code, StrDesc file, std::uint32_t lineNo, const char* reason, StrDesc line) {
    StrMarkT m = StrMark();
    StrDesc no = numberText(lineNo);
    StrDesc detail = StrConcatN({file, StrView("("), no, StrView("): "), StrFromTerminated(reason), StrView(": "), line});
    ErrorDetail(code, detail);
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    StrRelease(m);
    return code;
}

ErrCode loadDictionaryFiles(Loader& ld, const char prefix[2]);

struct FileState {
    Loader* ld;
    StrDesc file;  // the file's own name, for details
    std::uint32_t lineNo = 0;
    int base = 0;
};

ErrCode tableLine(FileState& fs, StrDesc line) {
    std::uint16_t star1 = findChar(line, '*');
    std::uint16_t star2 = findChar(line, '*', static_cast<std::uint16_t>(star1 + 1));
    if (star2 == STR_NPOS) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "table line without name", line);
    StrDesc item2 = mid(line, static_cast<std::uint16_t>(star1 + 1), static_cast<std::uint16_t>(star2 - star1 - 1));
    std::uint16_t star3 = findChar(line, '*', static_cast<std::uint16_t>(star2 + 1));
    StrDesc item3 = mid(line, static_cast<std::uint16_t>(star2 + 1),
                        star3 == STR_NPOS ? 65535 : static_cast<std::uint16_t>(star3 - star2 - 1));
    item3 = trim(item3, true, false);
    StrDesc name = trim(mid(item3, 2), true, true);
    if (findChar(item2, '$') != STR_NPOS) {
        if (name.len < 2)
            return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "include line without a dictionary prefix", line);
        char prefix[2] = {name.ptr[0], name.ptr[1]};
        ErrCode e = loadDictionaryFiles(*fs.ld, prefix);
        if (e) return e;
        fs.base = static_cast<int>(tableTotal()) - 1;
        return err::OK;
    }
    int attribute = digits(item3, 0, 2);
    if (attribute < 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "table attribute is not two digits", line);
    if (name.len == 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "table line without name", line);
    StrDesc folder = trim(item2, true, true);
    if (folder.len == 0) folder = fs.ld->defaultFolder;
    ErrCode e = defineTable(static_cast<std::uint8_t>(attribute), name, folder);
    if (e) return lineError(e, fs.file, fs.lineNo, e == err::FILEOUTBOUND ? "more than 30 tables" : "table not defined", line);
    return err::OK;
}

ErrCode fieldLine(FileState& fs, StrDesc line) {
    if (line.len < 15)
        return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "field line shorter than 15 characters", line);
    int length = digits(line, 9, 3);
    if (length < 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "field length is not three digits", line);
    StrDesc name = trim(mid(line, 14), false, true);
    if (name.len == 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "field without name", line);
    ErrCode e = addField(name, static_cast<std::uint16_t>(length), line.ptr[13]);
    if (e == err::FILEOUTBOUND) return lineError(e, fs.file, fs.lineNo, "field without a table to belong to", line);
    if (e == err::DATAOUTBOUND) return lineError(e, fs.file, fs.lineNo, "record longer than 65535 bytes", line);
    if (e) return lineError(e, fs.file, fs.lineNo, "field not added", line);
    return err::OK;
}

ErrCode keyLine(FileState& fs, StrDesc line, int table) {
    std::uint16_t lt = findChar(line, '<');
    if (lt == STR_NPOS) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key line without <", line);
    // The line's last character (the closing ">") is never part of a group.
    StrDesc body = trim(line, false, true);
    body = body.len > lt + 1 ? mid(body, static_cast<std::uint16_t>(lt + 1), static_cast<std::uint16_t>(body.len - lt - 2))
                             : StrDesc{line.ptr, 0};
    KeySegment segs[KEY_SEGMENTS];
    std::uint16_t n = 0, at = 0;
    for (; at + 7 <= body.len; at = static_cast<std::uint16_t>(at + 7)) {
        int offset = digits(body, at, 4), length = digits(body, static_cast<std::uint16_t>(at + 4), 3);
        if (offset < 0 || length < 0)
            return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key segment is not seven digits", line);
        if (offset == 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key segment offset 0000", line);
        if (length == 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key segment length 000", line);
        if (n == KEY_SEGMENTS)
            return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key of more than five segments", line);
        segs[n++] = KeySegment{static_cast<std::uint16_t>(offset - 1), static_cast<std::uint16_t>(length)};
    }
    if (trim(mid(body, at), true, true).len)
        return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "incomplete key segment", line);
    if (n == 0) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key without segments", line);
    if (table < 1 || table > tableTotal())
        return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "key for a table not defined", line);
    ErrCode e = defineKey(static_cast<std::uint16_t>(table), n, segs);
    if (e) return lineError(e, fs.file, fs.lineNo, "key not defined", line);
    return err::OK;
}

ErrCode relationLine(FileState& fs, StrDesc line, int table) {
    std::uint16_t colon = findChar(line, ':');
    if (colon == STR_NPOS) return lineError(err::BADINPUTDATA, fs.file, fs.lineNo, "relation line without :", line);
    if (table < 1 || table > tableTotal())
        return lineError(err::BADFILENUMBER, fs.file, fs.lineNo, "relation for a table not defined", line);
    ErrCode e = addRelationText(static_cast<std::uint16_t>(table), mid(line, static_cast<std::uint16_t>(colon + 1)));
    if (e) return lineError(e, fs.file, fs.lineNo, "relation not stored", line);
    return err::OK;
}

// Reads one dictionary file. `item` 0 is DICC.DAT, 1 REL.DAT. *opened tells
// whether the file was there.
ErrCode loadOneFile(Loader& ld, const char prefix[2], int item, bool* opened) {
    StrMarkT m = StrMark();
    StrDesc file = StrConcatN({StrMake(prefix, 2), StrFromTerminated(kFileItems[item])});
    StrDesc path = joinPath(ld.folder, file);
    if (path.isError()) return StrError(StrReturn(m, path));
    std::uint16_t h = FileOpen(path, fileflag::READ | fileflag::READONLY | fileflag::QUIET);
    *opened = h >= 3 && h < FILE_HANDLES;
    if (!*opened) {
        StrRelease(m);
        return err::OK;
    }
    FileState fs{&ld, file};
    int lastKind = -1;
    ErrCode e = err::OK;
    char buf[LINE_MAX + 1];
    for (;;) {
        std::uint32_t n = FileRead(h, FILE_NONE, FILE_NONE, buf, LINE_MAX);
        if (n == FILE_NONE) {
            if (!FileAtEnd(h)) {
                ++fs.lineNo;
                e = lineError(err::BADINPUTDATA, file, fs.lineNo, "line longer than 512 bytes", StrView(""));
            }
            break;
        }
        ++fs.lineNo;
        StrDesc line = StrMake(buf, n);
        if (trim(line, true, true).len == 0) continue;
        int code = digits(line, 0, 2);
        if (code < 1 || code > 90) {
            e = lineError(err::BADINPUTDATA, file, fs.lineNo, "record code is not 01 to 90", line);
            break;
        }
        int kind = (code - 1) / 30, index = (code - 1) % 30 + 1;
        StrMarkT lm = StrMark();
        if (kind == 0)
            e = findChar(line, '*') != STR_NPOS ? tableLine(fs, line) : fieldLine(fs, line);
        else if (kind == 1)
            e = keyLine(fs, line, fs.base + index);
        else
            e = relationLine(fs, line, fs.base + index);
        StrRelease(lm);
        if (e) break;
        lastKind = kind;
    }
    FileClose(h);
    if (!e && item == 0 && lastKind == 0) e = defaultKeysUpTo(tableTotal());
    StrRelease(m);
    return e;
}

ErrCode loadDictionaryFiles(Loader& ld, const char prefix[2]) {
    for (int i = 0; i < ld.depth; ++i) {
        if (std::memcmp(ld.prefixes[i], prefix, 2) == 0) {
            StrMarkT m = StrMark();
            ErrorDetail(err::BADINPUTDATA, StrConcatN({StrView("include loop: "), StrMake(prefix, 2), StrView("DICC.DAT")}));
            ErrorRecordSet(1, ctx::DataFile, err::BADINPUTDATA, 0);
            StrRelease(m);
            return err::BADINPUTDATA;
        }
    }
    if (ld.depth == INCLUDE_DEPTH) {
        StrMarkT m = StrMark();
        ErrorDetail(err::BADINPUTDATA, StrConcatN({StrView("includes nested too deeply: "), StrMake(prefix, 2), StrView("DICC.DAT")}));
        ErrorRecordSet(1, ctx::DataFile, err::BADINPUTDATA, 0);
        StrRelease(m);
        return err::BADINPUTDATA;
    }
    std::memcpy(ld.prefixes[ld.depth++], prefix, 2);
    bool opened = false;
    ErrCode e = loadOneFile(ld, prefix, 0, &opened);
    if (!e && !opened) {
        StrMarkT m = StrMark();
        ErrorDetail(err::FILENOTFOUND, StrConcatN({StrMake(prefix, 2), StrView("DICC.DAT["), ld.folder, StrView("]")}));
        ErrorRecordSet(1, ctx::DataFile, err::FILENOTFOUND, 0);
        StrRelease(m);
        e = err::FILENOTFOUND;
    }
    if (!e) e = loadOneFile(ld, prefix, 1, &opened);
    --ld.depth;
    return e;
}

// Position of `needle` at the start of an entry of `text` (at 0 or after one
// of ": &/"), quoted sections skipped; 0xFFFF when none.
std::uint16_t findEntry(StrDesc text, StrDesc needle) {
    char quote = 0;
    for (std::uint16_t i = 0; i < text.len; ++i) {
        char c = text.ptr[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        bool start = i == 0 || isEntryEnd(text.ptr[i - 1]);
        if (start && text.len - i >= needle.len && std::memcmp(text.ptr + i, needle.ptr, needle.len) == 0) return i;
    }
    return 0xFFFF;
}

// "<T>R<R>K" (pushed).
StrDesc relationName(std::uint16_t T, std::uint16_t R) {
    StrDesc t = numberText(T);
    StrDesc r = numberText(R);
    return StrConcatN({t, StrView("R"), r, StrView("K")});
}

}  // namespace

bool isNumericType(char type) { return type == 'N' || type == 'L' || (type >= '1' && type <= '9'); }

ErrCode dictionaryReset() {
    for (std::uint16_t t = 1; t <= DICT_TABLES; ++t) resetControlBlock(t);
    recordBuffersClear();
    if (AreaReady()) {
        for (std::uint16_t t : {area::DICT_NAMES, area::DICT_FOLDERS, area::DICT_FIELDS, area::DICT_RELATIONS, area::RELUP})
            AreaTruncate(t, 0);
    }
    if (growReset(grow::DICTTABLES, sizeof(TableDef)) || growReset(grow::DICTFIELDS, sizeof(FieldDef)) ||
        growReset(grow::DICTKEYS, sizeof(KeyDef)) || growReset(grow::DICTSTATE, sizeof(DictState)) ||
        !growAppend(grow::DICTSTATE)) {
        growReset(grow::DICTTABLES, 1);
        return err::STRUCTMEMERROR;
    }
    return err::OK;
}

ErrCode loadDictionary(StrDesc folder, StrDesc prefix, StrDesc defaultFolder) {
    if (folder.isError()) return StrError(folder);
    if (prefix.isError()) return StrError(prefix);
    if (prefix.len < 2) {
        ErrorDetail(err::BADINPUTDATA, prefix);
        ErrorRecordSet(1, ctx::DataFile, err::BADINPUTDATA, 0);
        return err::BADINPUTDATA;
    }
    Loader ld;
    ld.folder = folder;
    ld.defaultFolder = defaultFolder.isError() ? StrView("") : defaultFolder;
    return loadDictionaryFiles(ld, prefix.ptr);
}

ErrCode loadRelup(std::uint16_t table, StrDesc folder, StrDesc prefix, bool sqlVariant, std::uint16_t* base) {
    std::uint16_t b = AreaCount(area::RELUP);
    if (base) *base = b;
    if (folder.isError() || prefix.isError() || prefix.len < 2) return err::BADINPUTDATA;
    StrMarkT m = StrMark();
    StrDesc file = StrConcatN({StrMake(prefix.ptr, 2), StrFromTerminated(kFileItems[sqlVariant ? 3 : 2])});
    StrDesc path = joinPath(folder, file);
    if (path.isError()) return StrError(StrReturn(m, path));
    std::uint16_t h = FileOpen(path, fileflag::READ | fileflag::READONLY | fileflag::QUIET);
    if (h < 3 || h >= FILE_HANDLES) {
        StrRelease(m);
        return err::OK;
    }
    ErrCode e = err::OK;
    std::uint32_t lineNo = 0;
    char buf[LINE_MAX + 1];
    for (;;) {
        std::uint32_t n = FileRead(h, FILE_NONE, FILE_NONE, buf, LINE_MAX);
        if (n == FILE_NONE) {
            if (!FileAtEnd(h)) e = lineError(err::BADINPUTDATA, file, lineNo + 1, "line longer than 512 bytes", StrView(""));
            break;
        }
        ++lineNo;
        StrDesc line = StrMake(buf, n);
        if (trim(line, true, true).len == 0) continue;
        int t = digits(line, 0, 2);
        if (line.len < 4 || t < 0) {
            e = lineError(err::BADINPUTDATA, file, lineNo, "line does not start with a table number", line);
            break;
        }
        if (t != table) continue;
        int entry = digits(line, 2, 2);
        if (entry < 0) {
            e = lineError(err::BADINPUTDATA, file, lineNo, "entry number is not two digits", line);
            break;
        }
        StrMarkT lm = StrMark();
        StrDesc text = trim(mid(line, 4), true, false);
        auto index = static_cast<std::uint16_t>(b + entry);
        StrDesc old = index < AreaCount(area::RELUP) ? AreaGet(area::RELUP, index) : StrView("");
        StrDesc joined = old.len ? StrConcatN({old, StrView(";"), text}) : StrConcatN({text});
        e = joined.isError() ? StrError(joined) : AreaSet(area::RELUP, index, joined);
        StrRelease(lm);
        if (e) {
            lineError(e, file, lineNo, "entry not stored", line);
            break;
        }
    }
    FileClose(h);
    StrRelease(m);
    return e;
}

ErrCode defineTable(std::uint8_t attribute, StrDesc name, StrDesc folder) {
    if (name.isError()) return StrError(name);
    if (folder.isError()) return StrError(folder);
    if (!storageReady()) return err::STRUCTMEMERROR;
    std::uint16_t count = tableTotal();
    if (count >= DICT_TABLES) return err::FILEOUTBOUND;
    StrMarkT m = StrMark();
    auto t = static_cast<std::uint16_t>(count + 1);
    StrDesc stored = foldedName(name);
    ErrCode e = StrError(stored);
    if (!e) e = AreaSet(area::DICT_NAMES, static_cast<std::uint16_t>(t - 1), stored);
    if (!e) e = AreaSet(area::DICT_FOLDERS, static_cast<std::uint16_t>(t - 1), folder);
    if (!e) e = AreaSet(area::DICT_RELATIONS, static_cast<std::uint16_t>(t - 1), StrView(""));
    StrRelease(m);
    TableDef* def = e ? nullptr : reinterpret_cast<TableDef*>(growAppend(grow::DICTTABLES));
    if (!def) {
        AreaTruncate(area::DICT_NAMES, count);
        AreaTruncate(area::DICT_FOLDERS, count);
        AreaTruncate(area::DICT_RELATIONS, count);
        return e ? e : err::OUTOFMEMORY;
    }
    *def = TableDef{static_cast<std::uint8_t>(t), attribute, 0, 0, 0};
    resetControlBlock(t);
    sqlDriverForget(t);
    return err::OK;
}

ErrCode addField(StrDesc name, std::uint16_t length, char type) {
    if (name.isError()) return StrError(name);
    std::uint16_t count = tableTotal();
    if (count == 0 || count >= DICT_TABLES) return err::FILEOUTBOUND;
    TableDef t = tables()[count - 1];
    if (static_cast<std::uint32_t>(t.recordLength) + length > 65535) return err::DATAOUTBOUND;
    std::uint16_t total = fieldTotal();
    if (total == 0xFFFF) return err::OUTOFMEMORY;
    ErrCode e = AreaSet(area::DICT_FIELDS, total, name);
    if (e) return e;
    auto* f = reinterpret_cast<FieldDef*>(growAppend(grow::DICTFIELDS));
    if (!f) {
        AreaTruncate(area::DICT_FIELDS, total);
        return err::OUTOFMEMORY;
    }
    *f = FieldDef{static_cast<std::uint8_t>(count), static_cast<std::uint16_t>(t.fieldCount + 1), t.recordLength, length,
                  type};
    TableDef& def = tables()[count - 1];
    ++def.fieldCount;
    def.recordLength = static_cast<std::uint16_t>(def.recordLength + length);
    return err::OK;
}

ErrCode defineKey(std::uint16_t table, std::uint16_t segmentCount, const KeySegment* segments) {
    if (!validTable(table) || segmentCount == 0 || segmentCount > KEY_SEGMENTS || !segments) return err::BADINPUTDATA;
    for (std::uint16_t i = 0; i < segmentCount; ++i)
        if (segments[i].length == 0 || static_cast<std::uint32_t>(segments[i].offset) + segments[i].length > 65535)
            return err::BADINPUTDATA;
    if (table > state().lastKeyed + 1) {
        ErrCode e = defaultKeysUpTo(static_cast<std::uint16_t>(table - 1));
        if (e) return e;
    }
    KeyDef key;
    key.segmentCount = segmentCount;
    for (std::uint16_t i = 0; i < segmentCount; ++i) key.segments[i] = segments[i];
    ErrCode e = insertKey(table, key);
    if (e) return e;
    if (table > state().lastKeyed) state().lastKeyed = table;
    return err::OK;
}

ErrCode defaultKeysUpTo(std::uint16_t n) {
    if (n > tableTotal()) n = tableTotal();
    while (state().lastKeyed < n) {
        ErrCode e = giveDefaultKey(static_cast<std::uint16_t>(state().lastKeyed + 1));
        if (e) return e;
        ++state().lastKeyed;
    }
    return err::OK;
}

ErrCode addRelationText(std::uint16_t table, StrDesc text) {
    if (text.isError()) return StrError(text);
    if (!validTable(table)) return err::BADFILENUMBER;
    StrMarkT m = StrMark();
    StrDesc old = AreaGet(area::DICT_RELATIONS, static_cast<std::uint16_t>(table - 1));
    StrDesc joined = old.len ? StrConcatN({old, StrView(":"), text}) : StrConcatN({text});
    ErrCode e = joined.isError() ? StrError(joined)
                                 : AreaSet(area::DICT_RELATIONS, static_cast<std::uint16_t>(table - 1), joined);
    StrRelease(m);
    return e;
}

DictionaryCounts dictionaryCounts() { return DictionaryCounts{tableTotal(), fieldTotal(), keyTotal()}; }

void dictionaryTruncate(DictionaryCounts counts) {
    std::uint16_t count = tableTotal();
    if (counts.tables >= count) return;
    for (std::uint16_t t = static_cast<std::uint16_t>(counts.tables + 1); t <= count; ++t) {
        resetControlBlock(t);
        sqlDriverForget(t);
    }
    std::uint16_t nFields = firstField(static_cast<std::uint16_t>(counts.tables + 1));
    std::uint16_t nKeys = firstKey(static_cast<std::uint16_t>(counts.tables + 1));
    growResize(grow::DICTTABLES, counts.tables);
    growResize(grow::DICTFIELDS, nFields);
    growResize(grow::DICTKEYS, nKeys);
    if (state().lastKeyed > counts.tables) state().lastKeyed = counts.tables;
    AreaTruncate(area::DICT_NAMES, counts.tables);
    AreaTruncate(area::DICT_FOLDERS, counts.tables);
    AreaTruncate(area::DICT_RELATIONS, counts.tables);
    AreaTruncate(area::DICT_FIELDS, nFields);
}

std::uint16_t tableNumber(StrDesc name) {
    if (name.isError()) return 0;
    if (name.len == 0) return currentFile();
    if (static_cast<unsigned char>(name.ptr[0]) > 64) {
        StrMarkT m = StrMark();
        StrDesc wanted = foldedName(name);
        std::uint16_t found = 0;
        for (std::uint16_t t = 1; t <= tableTotal() && !wanted.isError(); ++t) {
            if (AreaGet(area::DICT_NAMES, static_cast<std::uint16_t>(t - 1)).view() == wanted.view()) {
                found = t;
                break;
            }
        }
        StrRelease(m);
        return found;
    }
    std::uint16_t i = 0;
    while (i < name.len && isBlank(name.ptr[i])) ++i;
    if (i < name.len && name.ptr[i] == '+') ++i;
    std::uint32_t v = 0;
    for (; i < name.len && isDigit(name.ptr[i]); ++i) {
        v = v * 10 + static_cast<std::uint32_t>(name.ptr[i] - '0');
        if (v > 65535) return 0;
    }
    return static_cast<std::uint16_t>(v);
}

StrDesc tableName(std::uint16_t table) {
    return validTable(table) ? AreaGet(area::DICT_NAMES, static_cast<std::uint16_t>(table - 1)) : StrView("");
}

StrDesc tableFolder(std::uint16_t table) {
    return validTable(table) ? AreaGet(area::DICT_FOLDERS, static_cast<std::uint16_t>(table - 1)) : StrView("");
}

StrDesc relationText(std::uint16_t table) {
    return validTable(table) ? AreaGet(area::DICT_RELATIONS, static_cast<std::uint16_t>(table - 1)) : StrView("");
}

StrDesc tableNameList() {
    StrMarkT m = StrMark();
    StrDesc list = StrView("");
    for (std::uint16_t t = 1; t <= tableTotal(); ++t) {
        StrDesc name = AreaGet(area::DICT_NAMES, static_cast<std::uint16_t>(t - 1));
        list = StrReturn(m, t == 1 ? StrConcatN({name}) : StrConcatN({list, StrView(","), name}));
        if (list.isError()) break;
    }
    return StrReturn(m, list);
}

std::uint16_t tableCount() { return tableTotal(); }
std::uint8_t tableAttribute(std::uint16_t table) { return validTable(table) ? tables()[table - 1].attribute : 0; }
std::uint16_t fieldCount(std::uint16_t table) { return validTable(table) ? tables()[table - 1].fieldCount : 0; }
std::uint16_t recordLength(std::uint16_t table) { return validTable(table) ? tables()[table - 1].recordLength : 0; }
std::uint16_t keyCount(std::uint16_t table) { return validTable(table) ? tables()[table - 1].keyCount : 0; }

FieldDef fieldDef(std::uint16_t table, std::uint16_t position) {
    if (!validTable(table) || position == 0 || position > tables()[table - 1].fieldCount) return FieldDef{};
    return fields()[firstField(table) + position - 1];
}

StrDesc fieldName(std::uint16_t table, std::uint16_t position) {
    if (!validTable(table) || position == 0 || position > tables()[table - 1].fieldCount) return StrView("");
    return AreaGet(area::DICT_FIELDS, static_cast<std::uint16_t>(firstField(table) + position - 1));
}

std::uint16_t fieldPosition(std::uint16_t table, StrDesc name) {
    if (!validTable(table) || name.isError()) return DICT_NOFIELD;
    std::uint16_t first = firstField(table);
    for (std::uint16_t j = 0; j < tables()[table - 1].fieldCount; ++j)
        if (AreaGet(area::DICT_FIELDS, static_cast<std::uint16_t>(first + j)).view() == name.view())
            return static_cast<std::uint16_t>(j + 1);
    return DICT_NOFIELD;
}

ErrCode keyDef(std::uint16_t table, std::uint16_t key, KeyDef& out) {
    if (!validTable(table) || key == 0 || key > tables()[table - 1].keyCount) return err::DATAOUTBOUND;
    out = keys()[firstKey(table) + key - 1];
    return err::OK;
}

ErrCode keyFields(std::uint16_t table, std::uint16_t key, KeyFieldList& out) {
    out = KeyFieldList{};
    KeyDef k;
    ErrCode e = keyDef(table, key, k);
    if (e) return e;
    std::uint16_t first = firstField(table), n = tables()[table - 1].fieldCount;
    for (std::uint16_t s = 0; s < k.segmentCount; ++s) {
        std::uint16_t found = 0;
        for (std::uint16_t j = 0; j < n && !found; ++j) {
            const FieldDef& f = fields()[first + j];
            if (static_cast<std::uint32_t>(f.offset) + f.length > k.segments[s].offset) found = f.position;
        }
        if (!found) {
            out = KeyFieldList{};
            return err::INTERNALERROR;
        }
        out.positions[out.count++] = found;
    }
    return err::OK;
}

std::uint16_t keyLength(std::uint16_t table, std::uint16_t key, std::uint16_t n) {
    KeyDef k;
    if (keyDef(table, key, k)) return 0;
    if (n == 0 || n > k.segmentCount) n = k.segmentCount;
    std::uint32_t sum = 0;
    for (std::uint16_t s = 0; s < n; ++s) sum += k.segments[s].length;
    return static_cast<std::uint16_t>(sum > 65535 ? 65535 : sum);
}

std::uint16_t relationKey(std::uint16_t table, std::uint16_t T, std::uint16_t R) {
    StrMarkT m = StrMark();
    StrDesc text = relationText(table);
    StrDesc needle = relationName(T, R);
    std::uint16_t at = needle.isError() ? 0xFFFF : findEntry(text, needle);
    std::uint32_t v = 0;
    if (at != 0xFFFF)
        for (std::uint16_t i = static_cast<std::uint16_t>(at + needle.len); i < text.len && isDigit(text.ptr[i]); ++i)
            v = v * 10 + static_cast<std::uint32_t>(text.ptr[i] - '0');
    StrRelease(m);
    return static_cast<std::uint16_t>(v > 65535 ? 0 : v);
}

StrDesc relationValue(std::uint16_t table, std::uint16_t T, std::uint16_t R) {
    std::uint16_t key = relationKey(table, T, R);
    if (key == 0) return StrView("");
    StrMarkT m = StrMark();
    StrDesc name = StrConcatN({relationName(T, R), numberText(key)});
    StrDesc value = name.isError() ? StrView("") : KeyValueFind(relationText(table), name, 1);
    StrRelease(m);
    return value;
}

}  // namespace rt
