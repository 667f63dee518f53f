#include "datafile/dfbind.h"

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqldriver.h"
#include "datafile/datafile.h"
#include "datafile/filesets.h"
#include "datafile/relations.h"
#include "datafile/verbs.h"
#include "lang/eval.h"
#include "lang/funcs.h"
#include "lang/varstore.h"

namespace rt {
namespace {

// The file a function argument names: absent, 0 or out of range the current
// file; a text a table name (or number). 0 with 161 recorded when none.
std::uint16_t argFile(const DataFileRef& r, ErrCode& e) {
    std::uint16_t f = 0;
    e = err::OK;
    if (r.given && r.isText && StrTrim(r.name).len) {
        f = tableNumber(StrTrim(r.name));
        if (f == 0 || f > tableCount()) {
            ErrorDetail(err::FILEOUTBOUND, r.name);
            ErrorRecordSet(1, ctx::DataFile, err::FILEOUTBOUND, 0);
            e = err::FILEOUTBOUND;
            return 0;
        }
        return f;
    }
    if (r.given && !r.isText && r.number > 0 && r.number <= 0xFFFF) f = static_cast<std::uint16_t>(r.number);
    f = fileResolve(f);
    if (!f) {
        ErrorRecordSet(1, ctx::DataFile, err::FILEOUTBOUND, 0);
        e = err::FILEOUTBOUND;
    }
    return f;
}

ErrCode fnFind(DataFileRef file, StrDesc key, std::uint16_t keyNo, std::uint16_t flags, std::int64_t& status) {
    ErrCode e;
    std::uint16_t f = argFile(file, e);
    if (e) return e;
    status = fileFind(f, key, keyNo, flags);
    return err::OK;
}

ErrCode fnLocate(DataFileRef file, StrDesc verb, std::int64_t& status) {
    ErrCode e;
    std::uint16_t f = argFile(file, e);
    if (e) return e;
    status = navigateVerb(f, StrTrim(verb).len ? verb : StrView("NXT"));
    return err::OK;
}

ErrCode fnRelate(DataFileRef file, DataFileRef related, std::uint16_t relation, std::uint16_t flags,
                 StrDesc expression, std::int64_t& status) {
    ErrCode e;
    std::uint16_t f = argFile(file, e);
    if (e) return e;
    std::uint16_t t = argFile(related, e);
    if (e) return e;
    status = relationalRead(f, t, relation, flags, expression);
    return err::OK;
}

ErrCode fnKey(DataFileRef file, std::uint16_t keyNo, std::uint16_t buffer, std::uint16_t segments) {
    ErrCode e;
    std::uint16_t f = argFile(file, e);
    if (e || fileReady(f)) return StrPush(StrView(""));
    DataFileCtrl* c = controlBlock(f);
    std::uint16_t key = keyNo == 0 || keyNo == 0xFFFF ? c->currentKey : keyNo;
    StrMarkT m = StrMark();
    StrDesc v = keyValue(f, key, buffer == copy::ASREAD ? copy::ASREAD : copy::WORKING);
    if (v.isError()) {
        StrRelease(m);
        return StrError(v);
    }
    std::uint16_t n = keyLength(f, key, segments == 0 ? 0xFFFF : segments);
    StrReturn(m, StrDesc{v.ptr, static_cast<std::uint16_t>(n < v.len ? n : v.len)});
    return err::OK;
}

ErrCode fnLastStatus(DataFileRef file, std::int64_t& status) {
    ErrCode e;
    std::uint16_t f = argFile(file, e);
    if (e) return e;
    status = controlBlock(f)->lastStatus;
    return err::OK;
}

bool fnRecordCount(StrDesc name, std::int64_t& count) {
    StrDesc t = StrTrim(name);
    if (t.len == 0 || static_cast<unsigned char>(t.ptr[0]) <= 64) return false;
    std::uint16_t f = tableNumber(t);
    if (f == 0 || f > tableCount()) return false;
    std::uint32_t n = countRows(f, 0, StrView(""), StrView(""), StrView(""));
    count = n == COUNT_FAILED ? 0 : n;
    return true;
}

ErrCode fnFieldText(StrDesc reference, std::uint16_t mode) {
    return fieldRefText(reference, mode == 2 ? copy::ASREAD : copy::WORKING);
}

ErrCode fnSelectSet(StrDesc name, std::int64_t& status) {
    std::uint16_t st = selectFileSet(name);
    if (st >= 128) return st;
    status = st;
    return err::OK;
}

}  // namespace

void dataFileBind() {
    FieldAccess access;
    access.read = &fieldRefRead;
    access.write = &fieldRefWrite;
    evalSetFieldAccess(access);
    DataFileFuncs funcs;
    funcs.find = &fnFind;
    funcs.locate = &fnLocate;
    funcs.relate = &fnRelate;
    funcs.key = &fnKey;
    funcs.lastStatus = &fnLastStatus;
    funcs.recordCount = &fnRecordCount;
    funcs.fieldText = &fnFieldText;
    funcs.selectSet = &fnSelectSet;
    funcSetDataFiles(funcs);
}

void dataFilesShutdown() {
    if (AreaReady()) {
        for (std::uint16_t t = 1; t <= tableCount() && t <= DICT_TABLES; ++t) closeFile(t);
        AreaTruncate(area::FILESETS, 0);
        recordBuffersClear();
    }
    fileSetsReset();
    fieldRefForget();
    evalSetFieldAccess(FieldAccess{});
    funcSetDataFiles(DataFileFuncs{});
}

}  // namespace rt
