#include "datafile/relations.h"

#include <cstring>

#include "core/errors.h"
#include "core/macro.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "datafile/datafile.h"
#include "datafile/verbs.h"
#include "lang/eval.h"
#include "lang/varstore.h"

namespace rt {
namespace {

constexpr std::uint16_t AUX_CONNECTED = 2048;
constexpr std::uint16_t UPSTAT_RUN = 1;
constexpr std::uint16_t UPSTAT_NOLIMITS = 4;
constexpr std::uint16_t UPSTAT_RUNNING = 32;
constexpr std::uint16_t UPSTAT_EXISTINGKEY = 64;
constexpr std::uint16_t SCRSTAT_PAGEKEY = 64;
constexpr std::int16_t KEY_PGUP = 23;
constexpr std::int16_t KEY_PGDN = 29;

namespace rel {
constexpr std::uint16_t FILL = 0x01, ATORAFTER = 0x02, CREATE = 0x04, CONDITION = 0x08, RELATIVE = 0x10;
}

bool isBlankText(StrDesc s) {
    for (std::uint16_t i = 0; i < s.len; ++i)
        if (s.ptr[i] != ' ') return false;
    return true;
}

ErrCode recordError(ErrCode code, StrDesc detail) {
    ErrorDetail(code, detail);
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    return code;
}

// Loads the table's relational-update entries once.
ErrCode relupLoad(std::uint16_t file, DataFileCtrl* c) {
    if (c->relupBase >= 0) return err::OK;
    StrMarkT m = StrMark();
    StrDesc id = AreaGet(area::ENV, 2);
    StrDesc folders = AreaGet(area::ENV, 5);
    if (id.isError() || folders.isError()) return StrError(id.isError() ? id : folders);
    // The application folder: the first of the data folders.
    std::uint16_t end = 0;
    while (end < folders.len && folders.ptr[end] != ',') ++end;
    StrPush(StrDesc{folders.ptr, end});
    StrDesc folder = StrTop();
    StrPush(StrDesc{id.ptr, static_cast<std::uint16_t>(id.len < 2 ? id.len : 2)});
    StrDesc prefix = StrTop();
    std::uint16_t base = 0;
    ErrCode e = loadRelup(file, folder, prefix, sysTest(SysVar::AUXSTAT, AUX_CONNECTED) != 0, &base);
    if (!e) c->relupBase = static_cast<std::int16_t>(base);
    StrRelease(m);
    return e;
}

// FILEREL while relational updates run: the expression gives the SET text of
// one UPDATE of the related table; a missing row is created when asked.
std::uint16_t relatedUpdate(std::uint16_t related, std::uint16_t key, StrDesc value, std::uint16_t flags,
                            StrDesc expression) {
    if (StrTrim(expression).len == 0) return status::READ;
    StrMarkT m = StrMark();
    StrDesc set = evalText(expression);
    if (!set.isError()) set = MacroExpand(set, 0);
    StrDesc where = set.isError() ? set : keyWhere(value, related, key, cmp::EQ, sqlForm(related, key));
    if (where.isError()) return StrError(StrReturn(m, where));
    if (where.len == 0) {
        StrRelease(m);
        return recordError(err::INDEXCMDERROR, tableName(related));
    }
    // Sent here rather than through updateWhere so that the server's own
    // code reaches the caller.
    StrDesc stmt = updateWhereStatement(related, set, where);
    std::uint64_t rows = 0;
    std::uint16_t st = stmt.isError() ? StrError(stmt) : stmt.len ? execute(stmt, -1, &rows) : err::OK;
    if (!st && stmt.len && rows == 0 && (flags & rel::CREATE)) {
        ErrCode e = clearRecord(related);
        if (!e) e = setKeyFields(related, key, value);
        if (!e) e = insertCurrent(related);
        if (!e) {
            sysSet(SysVar::RELRES, 4);
            e = execute(stmt, -1, &rows);
        }
        st = e;
    }
    StrRelease(m);
    return st;
}

}  // namespace

StrDesc relupEntries(std::uint16_t file, StrDesc list) {
    if (list.isError()) return list;
    DataFileCtrl* c = controlBlock(file);
    if (!c) return StrErrorValue(err::FILEOUTBOUND);
    StrMarkT m = StrMark();
    // The list may lie in the StringArea, which the loading changes.
    if (StrPush(StrTrim(list))) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    StrDesc t = StrTop();
    if (t.len == 0 || StrCompare(StrUpper(t), StrView("NONE")) == 0) return StrReturn(m, StrView(""));
    if (ErrCode e = relupLoad(file, c)) return StrReturn(m, StrErrorValue(e));
    StrDesc out = StrView("");
    StrMarkT om = StrMark();
    for (std::uint16_t at = 0; at <= t.len;) {
        std::uint16_t end = at;
        while (end < t.len && t.ptr[end] != ',') ++end;
        StrDesc item = StrTrim(StrDesc{t.ptr + at, static_cast<std::uint16_t>(end - at)});
        at = static_cast<std::uint16_t>(end + 1);
        if (item.len == 0) continue;
        std::uint32_t n = 0;
        for (std::uint16_t i = 0; i < item.len; ++i) {
            if (item.ptr[i] < '0' || item.ptr[i] > '9' || n > 9999) {
                recordError(err::BADINPUTDATA, list);
                return StrReturn(m, StrErrorValue(err::BADINPUTDATA));
            }
            n = n * 10 + static_cast<std::uint32_t>(item.ptr[i] - '0');
        }
        std::uint32_t index = static_cast<std::uint32_t>(c->relupBase) + n;
        if (index >= AreaCount(area::RELUP)) continue;
        StrDesc text = AreaGet(area::RELUP, static_cast<std::uint16_t>(index));
        if (text.isError() || text.len == 0) continue;
        out = StrReturn(om, StrJoin(out, StrView(";"), text));
        if (out.isError()) return StrReturn(m, out);
    }
    return StrReturn(m, out);
}

ErrCode runRelationalUpdates(std::uint16_t file, StrDesc entries, int sign, StrDesc asRead) {
    if (entries.isError()) return StrError(entries);
    if (entries.len == 0 || !sysTest(SysVar::UPSTAT, UPSTAT_RUN)) return err::OK;
    StrMarkT m = StrMark();
    // The entries may lie in the StringArea, which the evaluation changes.
    if (ErrCode e = StrPush(entries)) return e;
    StrDesc list = StrTop();
    StrDesc kept = StrView("");
    if (sign < 0) {
        kept = recordCopy(file, copy::WORKING);
        if (kept.isError() || StrPush(kept)) return StrError(StrReturn(m, StrErrorValue(err::FILENOTINIT)));
        kept = StrTop();
        setRecordCopy(file, copy::WORKING, asRead);
    }
    bool wasRunning = sysTest(SysVar::UPSTAT, UPSTAT_RUNNING) != 0;
    sysFlag(SysVar::UPSTAT, UPSTAT_RUNNING, sysTest(SysVar::AUXSTAT, AUX_CONNECTED) != 0);
    sysSet(SysVar::SGN, static_cast<std::int16_t>(sign < 0 ? -1 : 1));
    ErrCode e = evalErrors(list);
    sysSet(SysVar::SGN, 0);
    sysFlag(SysVar::UPSTAT, UPSTAT_RUNNING, wasRunning);
    if (sign < 0) setRecordCopy(file, copy::WORKING, kept);
    StrRelease(m);
    return e;
}

ErrCode saveWithRelations(std::uint16_t flags, std::uint16_t file, StrDesc entryList, StrDesc windowExpr) {
    if (!controlBlock(file)) return err::FILEOUTBOUND;
    if (ErrCode e = fileReady(file)) return e;
    if (entryList.isError()) return StrError(entryList);
    StrMarkT m = StrMark();
    // The texts may lie in the StringArea, which the evaluations change.
    StrPush(entryList);
    entryList = StrTop();
    StrPush(windowExpr.isError() ? StrView("") : windowExpr);
    windowExpr = StrTop();
    // The record as read before this save: what the before pass must see.
    StrDesc old = recordCopy(file, copy::ASREAD);
    if (old.isError() || StrPush(old)) return StrError(StrReturn(m, StrErrorValue(err::FILENOTINIT)));
    old = StrTop();
    std::uint16_t action = flags & saveflag::ACTION;
    bool takesPart = true;
    ErrCode e = err::OK;
    if (flags & saveflag::KEYTEST) {
        StrDesc key1 = keyValue(file, 1, copy::WORKING);
        if (key1.isError()) return StrError(StrReturn(m, key1));
        if (isBlankText(key1)) {
            takesPart = false;
        } else if (StrTrim(windowExpr).len) {
            StrDesc working = recordCopy(file, copy::WORKING);
            StrPush(working);
            working = StrTop();
            setRecordCopy(file, copy::WORKING, StrView(""));
            StrDesc blankValue = evalText(windowExpr);
            setRecordCopy(file, copy::WORKING, working);
            StrDesc realValue = evalText(windowExpr);
            if (blankValue.isError() || realValue.isError())
                return StrError(StrReturn(m, blankValue.isError() ? blankValue : realValue));
            if (blankValue.view() == realValue.view()) takesPart = false;
        }
        if (takesPart && (flags & (saveflag::AFTER | saveflag::BEFORE)) == saveflag::AFTER &&
            !sysTest(SysVar::UPSTAT, UPSTAT_EXISTINGKEY)) {
            std::uint32_t n = countRows(file, 1, key1, key1, StrView(""));
            if (n == COUNT_FAILED) e = err::SQLERROR;
            else if (n > 0) e = 5;
            if (e) {
                StrRelease(m);
                return e;
            }
        }
    }
    if (takesPart) {
        if (action == saveflag::INSERT) e = insertCurrent(file);
        else if (action == saveflag::REWRITE) e = saveRecord(file, 0);
    }
    StrDesc entries = StrView("");
    if (!e && !(flags & saveflag::NORELUP)) {
        entries = relupEntries(file, entryList);
        if (entries.isError()) e = StrError(entries);
    }
    if (!e && (flags & saveflag::BEFORE)) {
        if (action == saveflag::DELETE) e = deleteRecord(file, 0);
        if (!e && !(flags & saveflag::NORELUP)) e = runRelationalUpdates(file, entries, -1, old);
    }
    if (!e && takesPart && (flags & saveflag::AFTER) && !(flags & saveflag::NORELUP))
        e = runRelationalUpdates(file, entries, 1, StrView(""));
    StrRelease(m);
    return e;
}

std::uint16_t relationalRead(std::uint16_t file, std::uint16_t related, std::uint16_t relation,
                             std::uint16_t flags, StrDesc expression) {
    file = fileResolve(file);
    if (!controlBlock(file) || !controlBlock(related)) return err::FILEOUTBOUND;
    if (expression.isError()) expression = StrView("");
    StrMarkT m = StrMark();
    // The expression may lie in the StringArea, which the reads change.
    if (ErrCode e = StrPush(expression)) return e;
    expression = StrTop();
    if ((flags & rel::CREATE) && sysTest(SysVar::UPSTAT, UPSTAT_NOLIMITS) && hookGet(hook::RELREAD)) {
        std::uint16_t args[3] = {file, related, relation};
        ErrCode e = hookCall(hook::RELREAD, expression, flags, args);
        StrRelease(m);
        return e;
    }
    flags |= rel::FILL;
    std::int16_t lastKey = sysGet(SysVar::LASTKEY);
    if ((flags & rel::ATORAFTER) && !(flags & rel::RELATIVE) && lastKey != KEY_PGUP && lastKey != KEY_PGDN)
        flags &= static_cast<std::uint16_t>(~rel::ATORAFTER);
    sysSet(SysVar::RELRES, 0);
    if (ErrCode e = fileReady(related)) {
        StrRelease(m);
        return e;
    }
    std::uint16_t key = relationKey(file, related, relation);
    StrDesc relValue = relationValue(file, related, relation);
    if (key == 0 || relValue.isError() || relValue.len == 0) {
        char text[48];
        int n = std::snprintf(text, sizeof text, "%uR%uK", static_cast<unsigned>(related), static_cast<unsigned>(relation));
        ErrCode e = recordError(err::BADINPUTDATA, StrMake(text, static_cast<std::size_t>(n)));
        StrRelease(m);
        return e;
    }
    // The relation value lies in the StringArea.
    StrPush(relValue);
    relValue = StrTop();
    StrDesc value = evalText(relValue);
    if (value.isError()) return StrError(StrReturn(m, value));
    bool haveExpr = StrTrim(expression).len != 0;
    bool deleteMode = (flags & (rel::CREATE | rel::CONDITION)) == (rel::CREATE | rel::CONDITION);

    if (sysTest(SysVar::UPSTAT, UPSTAT_RUNNING) && !deleteMode) {
        std::uint16_t st = relatedUpdate(related, key, value, flags, expression);
        StrRelease(m);
        return st;
    }

    std::uint16_t findFlags = flags;
    if (value.len == 0 && !sysTest(SysVar::SCRSTAT, SCRSTAT_PAGEKEY))
        findFlags &= static_cast<std::uint16_t>(~rel::ATORAFTER);
    std::uint16_t st = findKey(related, key, value, findFlags & (rel::FILL | rel::ATORAFTER));
    if (deleteMode && st == status::READ) {
        sysSet(SysVar::RELRES, 12);
        st = deleteRecord(related, 0);
    } else if (!(flags & rel::CONDITION) &&
               ((st == status::READ && haveExpr) ||
                ((st == status::NOPREVIOUS || st == status::NONE) && (flags & rel::CREATE)))) {
        bool insert = st != status::READ && (flags & rel::CREATE);
        ErrCode e = err::OK;
        if (st == status::NONE) sysSet(SysVar::RELRES, 4);
        if (st == status::NOPREVIOUS && insert) {
            // The record found is another one: the new record starts blank
            // with the relation's key, like a record not found at all.
            e = clearRecord(related);
            if (!e) e = setKeyFields(related, key, value);
        }
        if (!e && haveExpr) e = evalErrors(expression);
        if (!e) e = insert ? insertCurrent(related) : saveRecord(related, 0);
        if (e) st = e;
    }
    if (st <= status::NONE && (flags & rel::ATORAFTER) && sysTest(SysVar::SCRSTAT, SCRSTAT_PAGEKEY)) {
        std::uint16_t step = verbCode(StrView(lastKey == KEY_PGUP ? "PRV" : "NXT"));
        st = readStep(related, step, StrView(""));
        if (flags & rel::CONDITION) {
            while (st == status::READ) {
                ErrCode c = evalCondition(expression);
                if (c == 1) {
                    st = status::NOPREVIOUS;
                    break;
                }
                if (c >= 122) {
                    st = c;
                    break;
                }
                st = readStep(related, step, StrView(""));
            }
        }
        sysSet(SysVar::RELRES, 2);
        sysFlag(SysVar::SCRSTAT, SCRSTAT_PAGEKEY, false);
    }
    StrRelease(m);
    return st;
}

}  // namespace rt
