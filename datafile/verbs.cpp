#include "datafile/verbs.h"

#include <cstring>

#include "core/errors.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlcond.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "data/sqlmulti.h"
#include "datafile/datafile.h"
#include "lang/varstore.h"

namespace rt {
namespace {

constexpr std::uint16_t DEL_VERB = 10;
constexpr std::uint16_t UPSTAT_NOCHECK = 16;

bool sameWord(StrDesc a, std::string_view b) {
    if (a.len != b.size()) return false;
    for (std::uint16_t i = 0; i < a.len; ++i)
        if (CharUpper(a.ptr[i]) != b[i]) return false;
    return true;
}

std::uint16_t setStatus(std::uint16_t file, std::uint16_t st) {
    if (DataFileCtrl* c = controlBlock(file)) c->lastStatus = st;
    return st;
}

// The code of a failed count (the server's message is the error detail).
ErrCode countFailure() { return err::SQLERROR; }

// Loads the starting row of a multi-read just started into both copies.
ErrCode loadMultiRow(std::uint16_t file) {
    DataFileCtrl* c = controlBlock(file);
    if (!c || c->multiSlot < 0 || c->multiRow < 0) return err::INTERNALERROR;
    return loadRow(file, static_cast<std::uint32_t>(c->multiRow), static_cast<std::uint16_t>(c->multiSlot),
                   LoadInto::BOTH);
}

// What saveRecord and deleteRecord do after the statement ran.
ErrCode afterSave(std::uint16_t file, std::uint16_t mode, bool duplicated) {
    ErrCode e = copyRecord(file, 1);
    // Not finding the row again (1) leaves the multi-read ended: no error.
    if (!e && duplicated && (e = locateInMultiRead(file)) < 128) e = err::OK;
    if (!e && (mode & 2)) {
        DataFileCtrl* c = controlBlock(file);
        StrMarkT m = StrMark();
        StrDesc v = keyValue(file, c->currentKey, copy::WORKING);
        std::uint16_t st = v.isError() ? StrError(v) : findKey(file, c->currentKey, v, findflag::ATORAFTER);
        StrRelease(m);
        if (st >= 128) e = st;
    }
    return e;
}

}  // namespace

std::uint16_t verbNumber(StrDesc verb) {
    if (verb.isError()) return 0;
    StrDesc w = StrTrim(verb);
    for (const VerbSynonym& s : kVerbSynonyms)
        if (sameWord(w, s.name)) w = StrView(s.verb);
    for (std::uint16_t i = 0; i < VERB_COUNT; ++i)
        if (sameWord(w, kVerbs[i].name)) return static_cast<std::uint16_t>(i + 1);
    return 0;
}

std::uint16_t verbCode(StrDesc verb) {
    std::uint16_t n = verbNumber(verb);
    return n ? kVerbs[n - 1].code : VERB_OTHER;
}

std::uint16_t readStep(std::uint16_t file, std::uint16_t action, StrDesc sqlCondition) {
    if (!controlBlock(file)) return err::FILEOUTBOUND;
    if (ErrCode e = fileReady(file)) return setStatus(file, e);
    if (sqlCondition.isError()) {
        clearRecord(file);
        return setStatus(file, StrError(sqlCondition));
    }
    return readRecord(file, static_cast<std::uint16_t>(action & 0xFF), sqlCondition, StrView(""));
}

std::uint16_t navigateVerb(std::uint16_t file, StrDesc verb) {
    std::uint16_t n = verbNumber(verb);
    if (n == DEL_VERB) {
        if (!controlBlock(file)) return err::FILEOUTBOUND;
        return setStatus(file, deleteRecord(file, 0));
    }
    return readStep(file, n ? kVerbs[n - 1].code : VERB_OTHER, StrView(""));
}

std::uint16_t findKey(std::uint16_t file, std::uint16_t key, StrDesc text, std::uint16_t flags) {
    DataFileCtrl* c = controlBlock(file);
    if (!c) return err::FILEOUTBOUND;
    if (text.isError()) return setStatus(file, StrError(text));
    StrMarkT m = StrMark();
    // The text may lie in the StringArea or in the record buffer, which the
    // find changes.
    if (ErrCode e = StrPush(text)) return setStatus(file, e);
    StrDesc t = StrTop();
    if (ErrCode e = fileReady(file)) {
        StrRelease(m);
        return setStatus(file, e);
    }
    if (c->multiSlot >= 0) endMultiRead(file);
    if (key == 0 || key > keyCount(file)) {
        StrRelease(m);
        ErrorRecordSet(1, ctx::DataFile, err::DATAOUTBOUND, 0);
        return setStatus(file, err::DATAOUTBOUND);
    }
    c->currentKey = key;
    std::uint16_t st = findByKey(file, key, t, static_cast<std::uint16_t>(flags & findflag::ATORAFTER));
    if (st == status::READ) {
        StrDesc found = keyValue(file, key, copy::WORKING);
        if (found.isError()) {
            st = StrError(found);
        } else {
            // Over the text's length; blanks of the text beyond the key
            // (a key value taken from a wider field) compare as equal.
            std::uint16_t n = found.len < t.len ? found.len : t.len;
            bool same = std::memcmp(found.ptr, t.ptr, n) == 0;
            for (std::uint16_t i = n; same && i < t.len; ++i) same = t.ptr[i] == ' ';
            if (!same) st = status::NOPREVIOUS;
            if (hasDuplicates(file, key, found)) {
                ErrCode e = startMultiRead(file, found, 0);
                if (!e) e = loadMultiRow(file);
                if (e) st = static_cast<std::uint16_t>(ErrorRecordSet(1, ctx::DataFile, err::INTERNALERROR, err::INTERNALERROR));
            }
        }
        if (st >= 128) clearRecord(file);
    } else if (st == status::NONE && (flags & findflag::FILLKEY)) {
        clearRecord(file);
        if (ErrCode e = setKeyFields(file, key, t)) st = e;
    }
    StrRelease(m);
    return setStatus(file, st);
}

std::uint16_t fileFind(std::uint16_t file, StrDesc text, std::uint16_t keyNo, std::uint16_t flags) {
    DataFileCtrl* c = controlBlock(file);
    if (!c) return err::FILEOUTBOUND;
    if (text.isError()) return setStatus(file, StrError(text));
    std::uint16_t key = keyNo == 0 || keyNo == 0xFFFF ? c->currentKey : keyNo;
    StrMarkT m = StrMark();
    // The text may lie in the StringArea, which the reads change.
    if (ErrCode e = StrPush(text)) return setStatus(file, e);
    StrDesc t = StrTop();
    std::uint16_t st = status::NONE;
    if (flags & findflag::CONDITION) {
        if (key == 0 || key > keyCount(file)) {
            StrRelease(m);
            return setStatus(file, err::DATAOUTBOUND);
        }
        c->currentKey = key;
        StrDesc sql = translateCondition(t, file);
        st = readStep(file, verbCode(StrView("TOP")), StrView(""));
        if (st == status::READ) st = readStep(file, nav::RELATIVE, sql);
        StrRelease(m);
        return st;
    }
    st = findKey(file, key, t, static_cast<std::uint16_t>(flags & ~(findflag::INSERT | findflag::CONDITION)));
    if (st == status::NONE && (flags & findflag::INSERT) && t.len) {
        ErrCode e = clearRecord(file);
        if (!e) e = setKeyFields(file, key, t);
        if (!e) e = insertCurrent(file);
        if (e) st = setStatus(file, e);
    }
    StrRelease(m);
    return st;
}

ErrCode insertCurrent(std::uint16_t file) {
    if (!controlBlock(file)) return err::FILEOUTBOUND;
    if (ErrCode e = fileReady(file)) return e;
    ErrCode e = insertRecord(file);
    if (!e) e = copyRecord(file, 1);
    return e;
}

ErrCode saveRecord(std::uint16_t file, std::uint16_t mode) {
    if (!controlBlock(file)) return err::FILEOUTBOUND;
    if (ErrCode e = fileReady(file)) return e;
    if (!recordChanged(file)) return err::OK;
    StrMarkT m = StrMark();
    StrDesc v = keyValue(file, 1, copy::ASREAD);
    if (v.isError()) return StrError(StrReturn(m, v));
    StrDesc set = setList(file, recordCopy(file, copy::WORKING), recordCopy(file, copy::ASREAD));
    if (set.isError()) return StrError(StrReturn(m, set));
    std::uint32_t n = set.len ? countRows(file, 1, v, v, StrView("")) : 1;
    ErrCode e = err::OK;
    if (set.len == 0) {
        // Only placeholder fields changed: there is nothing to send.
    } else if (n == COUNT_FAILED) {
        e = countFailure();
    } else if (n > 1) {
        e = updateCurrentDuplicate(file, 1, v);
    } else if (n == 0 && !sysTest(SysVar::UPSTAT, UPSTAT_NOCHECK)) {
        // Refused by the driver's single-row check, with its detail.
        e = updateByKey(file, 1, v, 0);
        if (!e) e = err::INDEXCMDERROR;
    } else {
        // Sent here rather than through updateByKey so that the server's
        // code (183 for a duplicate key) reaches the caller.
        StrDesc stmt = updateStatement(file, 1, v, set, sqlForm(file, 1));
        e = stmt.isError() ? StrError(stmt) : stmt.len ? run(stmt) : err::OK;
    }
    if (!e) e = afterSave(file, mode, n > 1 && n != COUNT_FAILED);
    StrRelease(m);
    return e;
}

ErrCode deleteRecord(std::uint16_t file, std::uint16_t mode) {
    if (!controlBlock(file)) return err::FILEOUTBOUND;
    if (ErrCode e = fileReady(file)) return e;
    StrMarkT m = StrMark();
    StrDesc v = keyValue(file, 1, copy::ASREAD);
    if (v.isError()) return StrError(StrReturn(m, v));
    std::uint32_t n = countRows(file, 1, v, v, StrView(""));
    ErrCode e = err::OK;
    if (n == COUNT_FAILED) e = countFailure();
    else if (n > 1) e = deleteCurrentDuplicate(file, 1, v);
    else e = deleteByKey(file, 1, v, n == 1 ? 1 : 0);
    if (!e) e = afterSave(file, mode, n > 1 && n != COUNT_FAILED);
    StrRelease(m);
    return e;
}

}  // namespace rt
