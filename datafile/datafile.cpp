#include "datafile/datafile.h"

#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/files.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlmulti.h"
#include "datafile/scan.h"
#include "datafile/verbs.h"
#include "lang/dates.h"
#include "lang/masks.h"
#include "lang/varstore.h"

namespace rt {
namespace {

bool validFile(std::uint16_t file) { return file >= 1 && file <= tableCount(); }

ErrCode record(ErrCode code, StrDesc detail) {
    ErrorDetail(code, detail);
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    return code;
}

// The detail of a field number out of range.
ErrCode fieldRangeError(std::uint16_t file, std::uint16_t field) {
    char text[48];
    int n = std::snprintf(text, sizeof text, "(File:%u, Field:%u)", static_cast<unsigned>(file),
                          static_cast<unsigned>(field));
    return record(err::DATAOUTBOUND, StrMake(text, static_cast<std::size_t>(n)));
}

bool allDigits(StrDesc s) {
    if (s.len == 0) return false;
    for (std::uint16_t i = 0; i < s.len; ++i)
        if (s.ptr[i] < '0' || s.ptr[i] > '9') return false;
    return true;
}

std::uint32_t decimalValue(StrDesc s) {
    std::uint32_t v = 0;
    for (std::uint16_t i = 0; i < s.len && v < 0x10000; ++i) v = v * 10 + static_cast<std::uint32_t>(s.ptr[i] - '0');
    return v;
}

bool sameIgnoringCase(StrDesc a, StrDesc b) {
    if (a.len != b.len) return false;
    for (std::uint16_t i = 0; i < a.len; ++i)
        if (CharUpper(a.ptr[i]) != CharUpper(b.ptr[i])) return false;
    return true;
}

// Remembered references: a reference text evaluated again (a scan condition,
// a report total) resolves without searching the name lists. An entry is
// valid for the current file it was made under, until a table is defined or
// removed (fields are only ever added, which leaves resolved references as
// they are).
struct RefCacheEntry {
    char text[40];
    std::uint8_t len = 0;
    std::uint16_t current = 0;
    std::uint32_t generation = 0, records = 0;
    FieldRef ref;
};
constexpr std::size_t REFCACHE = 32;
RefCacheEntry g_refCache[REFCACHE];
std::size_t g_refNext = 0;
std::uint32_t g_refGeneration = 1;

const FieldRef* refCached(StrDesc ref, std::uint16_t current) {
    if (ref.len > sizeof(RefCacheEntry::text)) return nullptr;
    std::uint32_t records = recordGeneration();
    for (const RefCacheEntry& e : g_refCache)
        if (e.len == ref.len && e.generation == g_refGeneration && e.records == records && e.current == current &&
            std::memcmp(e.text, ref.ptr, ref.len) == 0)
            return &e.ref;
    return nullptr;
}

void refRemember(StrDesc ref, std::uint16_t current, const FieldRef& out) {
    if (ref.len > sizeof(RefCacheEntry::text)) return;
    RefCacheEntry& e = g_refCache[g_refNext];
    g_refNext = (g_refNext + 1) % REFCACHE;
    std::memcpy(e.text, ref.ptr, ref.len);
    e.len = static_cast<std::uint8_t>(ref.len);
    e.current = current;
    e.generation = g_refGeneration;
    e.records = recordGeneration();
    e.ref = out;
}

// The integer of an N field stored as "D<integer>": the integer combined
// with 10 by exclusive-or (pushed).
StrDesc codedInteger(StrDesc stored, std::uint16_t at) {
    long long v = 0;
    bool neg = false;
    std::uint16_t i = static_cast<std::uint16_t>(at + 1);
    while (i < stored.len && stored.ptr[i] == ' ') ++i;
    if (i < stored.len && stored.ptr[i] == '-') {
        neg = true;
        ++i;
    }
    for (; i < stored.len && stored.ptr[i] >= '0' && stored.ptr[i] <= '9' && v < 100000000000000LL; ++i)
        v = v * 10 + (stored.ptr[i] - '0');
    if (neg) v = -v;
    v ^= 10;
    char buf[24];
    int n = std::snprintf(buf, sizeof buf, "%lld", v);
    if (ErrCode e = StrPush(StrMake(buf, static_cast<std::size_t>(n)))) return StrErrorValue(e);
    return StrTop();
}

}  // namespace

// ---- Current file ----------------------------------------------------------------------

void setCurrentFile(std::uint16_t file) {
    if (validFile(file)) sysSet(SysVar::CURFIL, static_cast<std::int16_t>(file));
}

std::uint16_t currentFile() {
    std::int16_t f = sysGet(SysVar::CURFIL);
    return f > 0 ? static_cast<std::uint16_t>(f) : 0;
}

std::uint16_t fileResolve(std::uint16_t file) {
    if (validFile(file)) return file;
    std::uint16_t c = currentFile();
    return validFile(c) ? c : 0;
}

ErrCode fileReady(std::uint16_t file) {
    if (!validFile(file)) return err::FILEOUTBOUND;
    if (!recordCopy(file, copy::WORKING).isError()) return err::OK;
    StrDesc entry = static_cast<std::uint16_t>(file - 1) < AreaCount(area::RECORDS)
                        ? AreaGet(area::RECORDS, static_cast<std::uint16_t>(file - 1))
                        : StrView("");
    if (entry.isError() || entry.len != 0) return record(err::FILENOTINIT, tableName(file));
    return recordInit(file);
}

// ---- Opening and closing -------------------------------------------------------------------

ErrCode openFile(std::uint16_t file, std::uint16_t flags) {
    if (!validFile(file)) return record(err::FILEOUTBOUND, tableName(file));
    closeFile(file);
    if (ErrCode e = recordInit(file)) return e;
    DataFileCtrl* c = controlBlock(file);
    c->openFlags = static_cast<std::uint16_t>(flags & 0xFF);
    if (!(flags & openflag::READFIRST)) return err::OK;
    std::uint16_t st = readStep(file, verbCode(StrView("TOP")), StrView(""));
    if (st == err::SQLERROR && !sysTest(SysVar::SYSCOMPAT, 1)) {
        ErrorDetailClear();
        sysFlag(SysVar::SYSCOMPAT, 1, true);
        st = readStep(file, verbCode(StrView("TOP")), StrView(""));
    }
    return st;
}

void closeFile(std::uint16_t file) {
    DataFileCtrl* c = validFile(file) ? controlBlock(file) : nullptr;
    if (!c) return;
    if (c->multiSlot >= 0) endMultiRead(file);
    scanReleaseAll(file);
    if (c->diskHandle >= 0) FileClose(static_cast<std::uint16_t>(c->diskHandle));
    std::int16_t relup = c->relupBase;
    resetControlBlock(file);
    // The relational-update entries stay loaded in their table for the run.
    c->relupBase = relup;
}

// ---- Fields ------------------------------------------------------------------------------------

StrDesc fieldValue(std::uint16_t file, std::uint16_t field) {
    StrMarkT m = StrMark();
    FieldDef f;
    StrDesc stored = fieldSlice(file, field, copy::WORKING, &f);
    if (stored.isError() && StrError(stored) == err::FILENOTINIT) {
        if (ErrCode e = fileReady(file)) return StrErrorValue(e);
        stored = fieldSlice(file, field, copy::WORKING, &f);
    }
    if (stored.isError()) return stored;
    if (f.type == 'F' && dateSixApplies(f.type, f.length)) return StrReturn(m, dateSixRead(stored));
    if (f.type == 'N') {
        std::uint16_t i = 0;
        while (i < stored.len && stored.ptr[i] == ' ') ++i;
        if (i < stored.len && stored.ptr[i] == 'D') return StrReturn(m, codedInteger(stored, i));
    }
    ErrCode e = StrPush(stored);
    return e ? StrErrorValue(e) : StrTop();
}

ErrCode setKeyFields(std::uint16_t file, std::uint16_t key, StrDesc text) {
    if (text.isError()) return StrError(text);
    KeyFieldList F;
    if (ErrCode e = keyFields(file, key, F)) return e;
    StrMarkT m = StrMark();
    // The text may lie in the record buffer: work on a copy.
    if (ErrCode e = StrPush(text)) return e;
    StrDesc t = StrTop();
    std::uint16_t at = 0;
    ErrCode e = err::OK;
    for (std::uint16_t i = 0; i < F.count && at < t.len && !e; ++i) {
        FieldDef f = fieldDef(file, F.positions[i]);
        std::uint16_t n = static_cast<std::uint16_t>(t.len - at < f.length ? t.len - at : f.length);
        e = setField(file, F.positions[i], StrDesc{t.ptr + at, n});
        at = static_cast<std::uint16_t>(at + n);
    }
    StrRelease(m);
    return e;
}

ErrCode fieldRefer(StrDesc ref, FieldRef& out) {
    if (ref.isError()) return StrError(ref);
    std::uint16_t current = currentFile();
    if (const FieldRef* hit = refCached(ref, current)) {
        out = *hit;
        return err::OK;
    }
    StrMarkT m = StrMark();
    std::uint16_t open = 0;
    while (open < ref.len && ref.ptr[open] != '{') ++open;
    std::uint16_t close = open;
    while (close < ref.len && ref.ptr[close] != '}') ++close;
    if (open >= ref.len || close >= ref.len) {
        ErrCode e = record(err::SINTAXERROR, ref);
        StrRelease(m);
        return e;
    }
    StrDesc fieldPart{ref.ptr, open};
    StrDesc filePart{ref.ptr + open + 1, static_cast<std::uint16_t>(close - open - 1)};
    std::uint16_t file = 0;
    if (filePart.len == 0) file = current;
    else if (allDigits(filePart)) file = static_cast<std::uint16_t>(decimalValue(filePart) > 0xFFFF ? 0 : decimalValue(filePart));
    else file = tableNumber(filePart);
    if (!validFile(file)) {
        ErrCode e = record(err::FILEOUTBOUND, ref);
        StrRelease(m);
        return e;
    }
    std::uint16_t field = DICT_NOFIELD;
    if (allDigits(fieldPart)) {
        std::uint32_t v = decimalValue(fieldPart);
        if (v == 0 || v > fieldCount(file)) {
            ErrCode e = fieldRangeError(file, static_cast<std::uint16_t>(v > 0xFFFF ? 0xFFFF : v));
            StrRelease(m);
            return e;
        }
        field = static_cast<std::uint16_t>(v);
    } else {
        field = fieldPosition(file, fieldPart);
        for (std::uint16_t i = 1; field == DICT_NOFIELD && i <= fieldCount(file); ++i)
            if (sameIgnoringCase(fieldName(file, i), fieldPart)) field = i;
        if (field == DICT_NOFIELD) {
            ErrCode e = record(err::DATAOUTBOUND, StrConcat(StrView("Field:"), ref));
            StrRelease(m);
            return e;
        }
    }
    out.file = file;
    out.field = field;
    out.type = fieldDef(file, field).type;
    refRemember(ref, current, out);
    StrRelease(m);
    return err::OK;
}

ErrCode fieldRefRead(StrDesc ref, char& type) {
    FieldRef r;
    if (ErrCode e = fieldRefer(ref, r)) return e;
    type = r.type;
    // fieldValue leaves its result directly above the caller's mark.
    return StrError(fieldValue(r.file, r.field));
}

ErrCode fieldRefWrite(StrDesc ref, StrDesc text) {
    FieldRef r;
    if (ErrCode e = fieldRefer(ref, r)) return e;
    if (ErrCode e = fileReady(r.file)) return e;
    // The number 0 reaches here as the empty text: a number field stores it
    // as 0, not blank (which the server would receive as NULL).
    if (!text.isError() && text.len == 0 && typeIsNumeric(r.type) && r.type != 'L') text = StrView("0");
    return setField(r.file, r.field, text);
}

ErrCode fieldRefText(StrDesc ref, std::uint16_t which) {
    FieldRef r;
    if (ErrCode e = fieldRefer(ref, r)) return e;
    if (ErrCode e = fileReady(r.file)) return e;
    StrDesc v = fieldText(r.file, r.field, which == copy::ASREAD ? copy::ASREAD : copy::WORKING);
    if (v.isError()) return StrError(v);
    return StrPush(v);
}

void fieldRefForget() { ++g_refGeneration; }

}  // namespace rt
