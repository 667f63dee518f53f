#include "data/sqlmulti.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/errors.h"
#include "core/memblocks.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "datafile/record.h"
#include "lang/varstore.h"

namespace rt {
namespace {

// Fetch directions, by position in "LAST,FIRST,NEXT,PRIOR".
constexpr std::string_view kFetchDirections[] = {"LAST", "FIRST", "NEXT", "PRIOR"};

constexpr std::string_view kStartTransaction = "START TRANSACTION;";
constexpr std::string_view kCommit = "COMMIT;";
constexpr std::string_view kRollback = "ROLLBACK;";

// The cursor table: per place the number of the table whose cursor is open
// there, 0 when free. Allocated on first use.
std::uint8_t* g_places = nullptr;
// The cursor transaction was started here (not the bracket's).
bool g_ownTransaction = false;

StrDesc lit(std::string_view s) { return StrView(s); }

StrDesc tableIdent(std::uint16_t table) { return quoteName(tableName(table)); }

bool movesBackward(std::uint16_t flags) {
    return (flags & (nav::RELATIVE | nav::BACKWARD)) == (nav::RELATIVE | nav::BACKWARD) ||
           (flags & (nav::ABSOLUTE | nav::BACKWARD)) == nav::ABSOLUTE;
}

// "... FROM "t" WHERE <key = V> ORDER BY <key>" shared by the multi-read and
// the cursor.
StrDesc selectByKey(std::uint16_t table, std::uint16_t key, StrDesc keyValue, const SqlForm& form) {
    if (keyValue.isError()) return keyValue;
    if (keyValue.len == 0) return StrErrorValue(err::INDEXCMDERROR);
    StrMarkT m = StrMark();
    StrDesc where = keyWhere(keyValue, table, key, cmp::EQ, form);
    StrDesc order = where.isError() ? where : orderBy(table, key, false, form);
    if (!where.isError() && where.len == 0) where = StrErrorValue(err::INDEXCMDERROR);
    return StrReturn(m, StrConcatN({lit("SELECT * FROM "), tableIdent(table), lit(" WHERE "), where, lit(" ORDER BY "),
                                    order}));
}

ErrCode recorded(ErrCode code, StrDesc detail) {
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    ErrorDetail(code, detail);
    return code;
}

std::uint16_t placesInUse() {
    std::uint16_t n = 0;
    if (g_places)
        for (std::uint16_t i = 0; i < CURSOR_PLACES; ++i) n = static_cast<std::uint16_t>(n + (g_places[i] != 0));
    return n;
}

bool sameAsRead(std::uint16_t table, StrDesc kept) {
    StrDesc now = recordCopy(table, copy::ASREAD);
    return !now.isError() && now.len == kept.len && std::memcmp(now.ptr, kept.ptr, kept.len) == 0;
}

// Runs a statement built from pieces; a piece that failed is returned
// unsent.
ErrCode runBuilt(StrDesc statement) {
    StrMarkT m = StrMark();
    ErrCode e = statement.isError() ? StrError(statement) : run(statement);
    StrRelease(m);
    return e;
}

// The positioned delete (set empty) or update.
ErrCode positioned(std::uint16_t table, std::uint16_t key, StrDesc keyValue, bool update) {
    if (keyValue.isError()) return StrError(keyValue);
    if (!controlBlock(table)) return err::DATAOUTBOUND;
    StrMarkT m = StrMark();
    if (keyValue.len == 0) {
        ErrCode e = recorded(err::INDEXCMDERROR,
                             StrConcatN({lit(update ? "UPDATE " : "DELETE "), tableIdent(table), lit(": empty key value")}));
        StrRelease(m);
        return e;
    }
    StrDesc kept = StrConcatN({recordCopy(table, copy::ASREAD)});
    StrDesc set = lit("");
    if (update && !kept.isError()) set = setList(table, recordCopy(table, copy::WORKING), kept);
    if (kept.isError() || set.isError()) {
        StrRelease(m);
        return StrError(kept.isError() ? kept : set);
    }
    if (update && set.len == 0) {
        StrRelease(m);
        return err::OK;
    }
    SqlForm form = sqlForm(table, key);  // may ask the catalogue: before the transaction
    std::uint16_t place = 0;
    ErrCode outcome = cursorPlaceTake(table, place);
    if (outcome) {
        StrRelease(m);
        return outcome;
    }
    StrDesc cursor = cursorName(place);
    outcome = runBuilt(declareStatement(cursor, table, key, keyValue, form));
    if (!outcome) {
        outcome = runBuilt(fetchStatement(lit("FIRST"), cursor));
        while (outcome == err::OK) {
            outcome = loadRow(table, 0, baseSlot(), LoadInto::ASREAD);
            if (outcome || sameAsRead(table, kept)) break;
            outcome = runBuilt(fetchStatement(lit("NEXT"), cursor));
        }
        if (outcome == err::OK)
            outcome = runBuilt(update ? positionedUpdateStatement(table, set, cursor)
                                      : positionedDeleteStatement(table, cursor));
    }
    setRecordCopy(table, copy::ASREAD, kept);
    ErrCode result = cursorPlaceRelease(place, outcome);
    StrRelease(m);
    return result;
}

}  // namespace

// ---- Statement texts ----------------------------------------------------------------------

StrDesc cursorName(std::uint16_t place) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "curs_%u", static_cast<unsigned>(place));
    return StrConcatN({StrMake(buf, static_cast<std::size_t>(n))});
}

StrDesc fetchDirection(std::uint16_t flags) {
    std::uint16_t item;
    if (flags & nav::RELATIVE)
        item = (flags & nav::BACKWARD) ? 4 : 3;
    else if (flags & nav::ABSOLUTE)
        item = (flags & nav::BACKWARD) ? 2 : 1;
    else
        return StrErrorValue(err::BADINPUTDATA);
    return lit(kFetchDirections[item - 1]);
}

StrDesc multiReadStatement(std::uint16_t table, std::uint16_t key, StrDesc keyValue, const SqlForm& form) {
    StrMarkT m = StrMark();
    return StrReturn(m, StrConcatN({selectByKey(table, key, keyValue, form), lit(";")}));
}

StrDesc declareStatement(StrDesc cursor, std::uint16_t table, std::uint16_t key, StrDesc keyValue,
                         const SqlForm& form) {
    StrMarkT m = StrMark();
    return StrReturn(m, StrConcatN({lit("DECLARE "), cursor, lit(" CURSOR FOR "), selectByKey(table, key, keyValue, form),
                                    lit(" FOR UPDATE;")}));
}

StrDesc fetchStatement(StrDesc direction, StrDesc cursor) {
    return StrConcatN({lit("FETCH "), direction, lit(" FROM \""), cursor, lit("\";")});
}

StrDesc positionedDeleteStatement(std::uint16_t table, StrDesc cursor) {
    StrMarkT m = StrMark();
    return StrReturn(m, StrConcatN({lit("DELETE FROM "), tableIdent(table), lit(" WHERE CURRENT OF "), cursor, lit(";")}));
}

StrDesc positionedUpdateStatement(std::uint16_t table, StrDesc set, StrDesc cursor) {
    StrMarkT m = StrMark();
    return StrReturn(m, StrConcatN({lit("UPDATE "), tableIdent(table), lit(" SET "), set, lit(" WHERE CURRENT OF "), cursor,
                                    lit(";")}));
}

StrDesc closeStatement(StrDesc cursor) { return StrConcatN({lit("CLOSE "), cursor, lit(";")}); }

// ---- Multi-read ---------------------------------------------------------------------------

void sqlMultiInit() {
    static const MultiReadHooks hooks{startMultiRead, stepMultiRead, endMultiRead};
    multiReadHooksSet(&hooks);
    g_places = nullptr;  // the blocks of an earlier runtime are gone
    g_ownTransaction = false;
}

void sqlMultiShutdown() {
    multiReadHooksSet(nullptr);
    if (g_places) MemFree(tag::SQLLISTS, g_places);
    g_places = nullptr;
    g_ownTransaction = false;
}

bool hasDuplicates(std::uint16_t table, std::uint16_t key, StrDesc keyValue) {
    const DataFileCtrl* c = controlBlock(table);
    if (!c || c->multiRow >= 0 || keyValue.isError() || keyValue.len == 0) return false;
    // Under a unique index no two rows share the key value.
    if (sqlForm(table, key).uniqueKey) return false;
    std::uint32_t n = countRows(table, key, keyValue, keyValue, lit(""));
    return n != COUNT_FAILED && n > 1;
}

std::uint32_t rowCount(std::uint16_t slot) { return resultRows(slot); }

ErrCode startMultiRead(std::uint16_t table, StrDesc keyValue, std::uint16_t flags) {
    DataFileCtrl* c = controlBlock(table);
    if (!c) return err::DATAOUTBOUND;
    endMultiRead(table);
    StrMarkT m = StrMark();
    StrDesc stmt = multiReadStatement(table, c->currentKey, keyValue, sqlForm(table, c->currentKey));
    std::uint64_t rows = 0;
    ErrCode e = stmt.isError() ? StrError(stmt) : execute(stmt, -1, &rows);
    if (e == err::OK && rows >= 2) {
        c->multiSlot = sysGet(SysVar::SQLSTK);
        c->multiRow = static_cast<std::int16_t>(movesBackward(flags) ? rows - 1 : 0);
    } else if (e == err::OK || e == status::NONE) {
        e = recorded(err::INTERNALERROR, StrConcatN({lit("sqlMultiRead: key="), keyValue}));
    }
    StrRelease(m);
    return e;
}

std::uint16_t stepMultiRead(std::uint16_t table, std::uint16_t flags) {
    DataFileCtrl* c = controlBlock(table);
    if (!c || c->multiSlot < 0) return 1;
    std::int32_t next = c->multiRow + ((flags & nav::BACKWARD) ? -1 : 1);
    std::uint32_t n = rowCount(static_cast<std::uint16_t>(c->multiSlot));
    if (!(flags & nav::RELATIVE) || next < 0 || static_cast<std::uint32_t>(next) >= n) {
        endMultiRead(table);
        return 1;
    }
    c->multiRow = static_cast<std::int16_t>(next);
    return 0;
}

void endMultiRead(std::uint16_t table) {
    DataFileCtrl* c = controlBlock(table);
    if (!c) return;
    if (c->multiSlot >= 0) releaseResult(c->multiSlot);
    c->multiSlot = -1;
    c->multiRow = -1;
}

ErrCode locateInMultiRead(std::uint16_t table) {
    DataFileCtrl* c = controlBlock(table);
    if (!c) return err::DATAOUTBOUND;
    StrMarkT m = StrMark();
    StrDesc kept = StrConcatN({recordCopy(table, copy::ASREAD)});
    StrDesc V = kept.isError() ? kept : keyValue(table, c->currentKey, copy::WORKING);
    ErrCode e = V.isError() ? StrError(V) : startMultiRead(table, V, nav::RELATIVE);
    while (!e) {
        e = loadRow(table, static_cast<std::uint32_t>(c->multiRow), static_cast<std::uint16_t>(c->multiSlot),
                    LoadInto::ASREAD);
        if (e || sameAsRead(table, kept)) break;
        e = stepMultiRead(table, nav::RELATIVE);
    }
    if (!kept.isError()) setRecordCopy(table, copy::ASREAD, kept);
    StrRelease(m);
    return e;
}

ErrCode pageLastUsableRow(std::uint16_t table, std::uint16_t key, std::uint16_t slot, std::uint32_t rows,
                          std::uint32_t pageSize, std::uint32_t& lastUsable) {
    lastUsable = rows ? rows - 1 : 0;
    if (rows == 0 || rows < pageSize) return err::OK;
    StrMarkT m = StrMark();
    StrDesc working = StrConcatN({recordCopy(table, copy::WORKING)});
    ErrCode e = working.isError() ? StrError(working) : loadRow(table, rows - 1, slot, LoadInto::WORKING);
    StrDesc last = e ? StrErrorValue(e) : keyValue(table, key, copy::WORKING);
    e = StrError(last);
    std::uint32_t row = rows - 1;
    bool found = false;
    while (!e && row > 0 && !found) {
        --row;
        e = loadRow(table, row, slot, LoadInto::WORKING);
        StrMarkT km = StrMark();
        StrDesc v = e ? StrErrorValue(e) : keyValue(table, key, copy::WORKING);
        e = StrError(v);
        found = !e && (v.len != last.len || std::memcmp(v.ptr, last.ptr, v.len) != 0);
        StrRelease(km);
    }
    if (!working.isError()) setRecordCopy(table, copy::WORKING, working);
    StrRelease(m);
    if (e) return e;
    if (!found) return recorded(err::DATAOUTBOUND, StrConcatN({tableIdent(table), lit(": a full page of one key value")}));
    lastUsable = row;
    return err::OK;
}

// ---- Positioned changes -----------------------------------------------------------------

ErrCode deleteCurrentDuplicate(std::uint16_t table, std::uint16_t key, StrDesc keyValue) {
    return positioned(table, key, keyValue, false);
}

ErrCode updateCurrentDuplicate(std::uint16_t table, std::uint16_t key, StrDesc keyValue) {
    return positioned(table, key, keyValue, true);
}

ErrCode cursorPlaceTake(std::uint16_t table, std::uint16_t& place) {
    if (table == 0 || table > 255) return err::DATAOUTBOUND;
    if (!g_places) {
        g_places = reinterpret_cast<std::uint8_t*>(MemAllocPtr(tag::SQLLISTS, CURSOR_PLACES));
        if (!g_places) return static_cast<ErrCode>(ErrorRecordSet(1, ctx::DataFile, err::OUTOFMEMORY, err::OUTOFMEMORY));
    }
    std::uint16_t n = 0;
    while (n < CURSOR_PLACES && g_places[n]) ++n;
    if (n == CURSOR_PLACES) return err::NOTFOUND;
    if (placesInUse() == 0) {
        g_ownTransaction = !sysTest(SysVar::AUXSTAT, AUX_TRANSACTION);
        if (g_ownTransaction) {
            ErrCode e = run(lit(kStartTransaction));
            if (e) {
                g_ownTransaction = false;
                return e;
            }
        }
    }
    g_places[n] = static_cast<std::uint8_t>(table);
    place = n;
    return err::OK;
}

ErrCode cursorPlaceRelease(std::uint16_t place, ErrCode outcome) {
    if (!g_places || place >= CURSOR_PLACES || !g_places[place]) return err::DATAOUTBOUND;
    bool failed = outcome >= 128;
    ErrCode first = err::OK;
    if (!failed) {
        StrMarkT m = StrMark();
        first = runBuilt(closeStatement(cursorName(place)));
        StrRelease(m);
    }
    g_places[place] = 0;
    if (placesInUse() == 0 && g_ownTransaction) {
        g_ownTransaction = false;
        ErrCode e = run(lit(failed || first ? kRollback : kCommit));
        if (!first) first = e;
    }
    if (failed) return outcome;
    return first ? first : outcome;
}

std::uint16_t cursorPlacesInUse() { return placesInUse(); }

// ---- Transaction bracket -----------------------------------------------------------------

ErrCode beginTransaction() {
    ErrCode e = run(lit(kStartTransaction));
    if (!e) sysFlag(SysVar::AUXSTAT, AUX_TRANSACTION, true);
    return e;
}

ErrCode endTransaction() {
    if (!sysTest(SysVar::AUXSTAT, AUX_TRANSACTION)) return err::OK;
    ErrCode e = run(lit(kCommit));
    sysFlag(SysVar::AUXSTAT, AUX_TRANSACTION, false);
    return e;
}

}  // namespace rt
