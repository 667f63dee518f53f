#include "datafile/scan.h"

#include <cstring>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlcond.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "data/sqlmulti.h"
#include "datafile/datafile.h"
#include "lang/eval.h"
#include "lang/varstore.h"

namespace rt {
namespace {

constexpr std::uint16_t SCAN_CONDITION_ENTRY = 11;  // StringArea table 9: condition of the running scan
constexpr std::uint16_t OUTER_LEVELS = 2;

// Where the translated condition of a page level is kept between pages:
// StringArea table 6 after the record buffers, three entries per file.
std::uint16_t sqlEntry(std::uint16_t file, std::uint16_t level) {
    return static_cast<std::uint16_t>(DICT_TABLES + (file - 1) * (OUTER_LEVELS + 1) + level);
}

// The rows of the pages of outer scans, while a nested one runs. The levels
// in use are the outer page slots of the control block (fields 13-14), the
// most recent first, so a reset control block has none.
struct OuterRows {
    std::uint32_t row = 0, lastRow = 0;
    std::uint16_t pageStatus = 0, conditionStatus = 0;
};
OuterRows g_outer[DICT_TABLES][OUTER_LEVELS];

std::uint16_t outerDepth(const DataFileCtrl* c) {
    return static_cast<std::uint16_t>((c->outerSlots[0] != 0) + (c->outerSlots[1] != 0));
}

// The SQL layer's current slot moves to every slot it reads; a scan puts it back.
class SlotKeeper {
public:
    SlotKeeper() : saved_(sysGet(SysVar::SQLSTK)) {}
    ~SlotKeeper() { sysSet(SysVar::SQLSTK, saved_); }
    SlotKeeper(const SlotKeeper&) = delete;
    SlotKeeper& operator=(const SlotKeeper&) = delete;

private:
    std::int16_t saved_;
};

bool noLimit(StrDesc limit) { return limit.len == 0 || (limit.len == 1 && static_cast<unsigned char>(limit.ptr[0]) == 0xFF); }

ErrCode recordError(ErrCode code, StrDesc detail) {
    ErrorDetail(code, detail);
    ErrorRecordSet(1, ctx::DataFile, code, 0);
    return code;
}

std::uint16_t finish(std::uint16_t file, DataFileCtrl* c, std::uint16_t st) {
    if (st != status::READ) {
        scanEnd(file);
        clearRecord(file);
    }
    c->scanStatus = st;
    c->lastStatus = st;
    return st;
}

// Calls the progress callback with the first key field of the record.
ErrCode report(std::uint16_t file, std::uint16_t key, ScanProgress progress, void* context) {
    if (!progress) return err::OK;
    KeyFieldList F;
    if (keyFields(file, key, F) || F.count == 0) return progress(StrView(""), context);
    StrDesc v = fieldText(file, F.positions[0], copy::WORKING);
    ErrCode e = progress(v.isError() ? StrView("") : v, context);
    return e >= 122 ? e : err::OK;
}

// Sends the statement of the page after a full one ahead (it starts at the
// key value of the page's last row), so that the server reads it while this
// page is worked through. The working record is kept.
void readNextPageAhead(std::uint16_t file, std::uint16_t key, std::uint16_t slot, std::uint32_t rows, StrDesc limit,
                       StrDesc sql) {
    StrMarkT m = StrMark();
    StrDesc working = StrConcatN({recordCopy(file, copy::WORKING)});
    if (!working.isError() && loadRow(file, rows - 1, slot, LoadInto::WORKING) == err::OK) {
        StrDesc V = keyValue(file, key, copy::WORKING);
        StrDesc stmt = V.isError() ? V : pageStatement(file, key, V, limit, sql, SCAN_PAGE, sqlForm(file, key));
        if (!stmt.isError()) readAhead(stmt);
    }
    if (!working.isError()) setRecordCopy(file, copy::WORKING, working);
    StrRelease(m);
}

// Fetches a page from key value V (inclusive) up to the limit; the slot
// goes to field 12. 2 when no row is left.
std::uint16_t fetchPage(std::uint16_t file, DataFileCtrl* c, StrDesc V, StrDesc limit, StrDesc sql) {
    StrMarkT m = StrMark();
    std::uint16_t key = c->currentKey;
    StrDesc stmt = pageStatement(file, key, V, limit, sql, SCAN_PAGE, sqlForm(file, key));
    if (stmt.isError()) return StrError(StrReturn(m, stmt));
    std::uint16_t slot = newResultSlot();
    if (slot == SQL_NOSLOT || slot == 0) {
        StrRelease(m);
        return recordError(err::DATAOUTBOUND, StrView("scan: no result slot free"));
    }
    ErrCode e = execute(stmt, slot, nullptr);
    StrRelease(m);
    if (e) return e;
    std::uint32_t rows = resultRows(slot);
    c->pageSlot = slot;
    c->scanRow = 0;
    std::uint32_t lastUsable = 0;
    e = pageLastUsableRow(file, key, slot, rows, SCAN_PAGE, lastUsable);
    c->scanLastRow = lastUsable;
    if (!e && rows == SCAN_PAGE) readNextPageAhead(file, key, slot, rows, limit, sql);
    return e;
}

// The scan of a file opened to be read row by row.
std::uint16_t rowScan(std::uint16_t file, DataFileCtrl* c, std::uint16_t flags, StrDesc condition, StrDesc limit,
                      ScanProgress progress, void* context) {
    StrMarkT m = StrMark();
    bool backward = flags & scanflag::BACKWARD;
    std::uint16_t key = c->currentKey;
    StrDesc sql = translateCondition(condition, file);
    if (sql.isError()) return StrError(StrReturn(m, sql));
    bool tryCurrent = !(flags & scanflag::ADVANCE) && c->lastStatus == status::READ;
    std::uint16_t st = status::READ;
    for (;;) {
        StrMarkT rm = StrMark();
        if (!tryCurrent) {
            st = readRecord(file, backward ? nav::PRV : nav::NXT, sql, StrView(""));
            if (st == status::NOPREVIOUS) st = status::NONE;
            if (st != status::READ) break;
            if (ErrCode e = report(file, key, progress, context)) {
                StrRelease(m);
                return e;
            }
        }
        tryCurrent = false;
        if (!noLimit(limit)) {
            StrDesc k = keyValue(file, key, copy::WORKING);
            if (k.isError()) {
                st = StrError(k);
                break;
            }
            std::uint16_t n = k.len < limit.len ? k.len : limit.len;
            int order = std::memcmp(k.ptr, limit.ptr, n);
            if (order == 0 && k.len != limit.len) order = k.len < limit.len ? -1 : 0;
            if (backward ? order < 0 : order > 0) {
                st = status::NONE;
                break;
            }
        }
        ErrCode holds = evalCondition(condition);
        c->conditionStatus = holds;
        StrRelease(rm);
        if (holds == 1) break;
        if (holds >= 122) {
            st = holds;
            break;
        }
    }
    StrRelease(m);
    if (st != status::READ) clearRecord(file);
    c->scanStatus = st;
    c->lastStatus = st;
    return st;
}

}  // namespace

std::uint16_t scanStep(std::uint16_t file, std::uint16_t flags, StrDesc condition, StrDesc limit,
                       ScanProgress progress, void* context) {
    DataFileCtrl* c = controlBlock(file);
    if (!c) return err::FILEOUTBOUND;
    if (condition.isError()) return StrError(condition);
    if (limit.isError()) return StrError(limit);
    // Within a page the rows are loaded into a buffer already checked.
    if (c->pageSlot == 0)
        if (ErrCode e = fileReady(file)) return e;
    SlotKeeper slotKeeper;
    StrMarkT m = StrMark();
    // Both texts may lie in the StringArea, which the scan changes.
    StrPush(condition);
    condition = StrTop();
    StrPush(limit);
    limit = StrTop();
    if (noLimit(limit)) limit = StrView("");
    if (c->openFlags & openflag::ROWBYROW) {
        std::uint16_t st = rowScan(file, c, flags, condition, limit, progress, context);
        StrRelease(m);
        return st;
    }
    std::uint16_t key = c->currentKey;
    std::uint16_t level = outerDepth(c);
    std::uint32_t row = 0;
    StrDesc skip = StrView("");  // a row equal to this record as read is passed over once
    if (c->pageSlot == 0) {
        // The scan positions the file anew: a multi-read in progress ends.
        if (c->multiSlot >= 0) endMultiRead(file);
        StrDesc V = keyValue(file, key, copy::WORKING);
        if (V.isError()) return finish(file, c, StrError(StrReturn(m, V)));
        if (flags & scanflag::ADVANCE) {
            skip = recordCopy(file, copy::ASREAD);
            if (skip.isError() || StrPush(skip)) {
            StrRelease(m);
            return finish(file, c, err::FILENOTINIT);
        }
            skip = StrTop();
        }
        StrDesc sql = translateCondition(condition, file);
        if (sql.isError()) {
            std::uint16_t e = StrError(sql);
            StrRelease(m);
            return finish(file, c, e);
        }
        AreaSet(area::WORK, SCAN_CONDITION_ENTRY, condition);
        if (ErrCode e = AreaSet(area::RECORDS, sqlEntry(file, level), sql)) {
            StrRelease(m);
            return finish(file, c, e);
        }
        std::uint16_t st = fetchPage(file, c, V, limit, sql);
        if (st != status::READ) {
            StrRelease(m);
            return finish(file, c, st);
        }
    } else {
        row = c->scanRow + ((flags & scanflag::ADVANCE) ? 1 : 0);
    }
    std::uint16_t st = status::READ;
    for (;;) {
        StrMarkT rm = StrMark();
        if (row > c->scanLastRow) {
            std::uint32_t rows = resultRows(c->pageSlot);
            if (rows < SCAN_PAGE || row >= rows) {
                st = status::NONE;
                break;
            }
            // Past the last usable row of a full page: the next page starts
            // at the first row left out.
            ErrCode e = loadRow(file, row, c->pageSlot, LoadInto::WORKING);
            StrDesc V = e ? StrErrorValue(e) : keyValue(file, key, copy::WORKING);
            if (V.isError()) {
                st = StrError(V);
                break;
            }
            StrDesc sql = AreaGet(area::RECORDS, sqlEntry(file, level));
            if (sql.isError() || StrPush(sql)) {
                st = err::OUTOFMEMORY;
                break;
            }
            sql = StrTop();
            releaseResult(c->pageSlot);
            c->pageSlot = 0;
            st = fetchPage(file, c, V, limit, sql);
            StrRelease(rm);
            if (st != status::READ) break;
            row = 0;
            continue;
        }
        ErrCode e = loadRow(file, row, c->pageSlot, LoadInto::BOTH);
        if (e) {
            st = e;
            break;
        }
        if (skip.len) {
            StrDesc now = recordCopy(file, copy::ASREAD);
            bool same = now.view() == skip.view();
            skip = StrView("");
            if (same) {
                ++row;
                StrRelease(rm);
                continue;
            }
        }
        c->scanRow = row;
        if ((e = report(file, key, progress, context))) {
            StrRelease(m);
            c->lastStatus = e;
            return e;
        }
        ErrCode holds = evalCondition(condition);
        c->conditionStatus = holds;
        StrRelease(rm);
        if (holds == 1) break;
        if (holds >= 122) {
            st = holds;
            break;
        }
        ++row;
    }
    StrRelease(m);
    return finish(file, c, st);
}

void scanEnd(std::uint16_t file) {
    DataFileCtrl* c = controlBlock(file);
    if (!c) return;
    SlotKeeper slotKeeper;
    if (c->pageSlot) releaseResult(c->pageSlot);
    std::uint16_t depth = outerDepth(c);
    c->pageSlot = c->outerSlots[0];
    c->outerSlots[0] = c->outerSlots[1];
    c->outerSlots[1] = 0;
    OuterRows o = depth ? g_outer[file - 1][depth - 1] : OuterRows{};
    c->scanRow = o.row;
    c->scanLastRow = o.lastRow;
    c->scanStatus = o.pageStatus;
    c->conditionStatus = o.conditionStatus;
}

ErrCode scanNest(std::uint16_t file) {
    DataFileCtrl* c = controlBlock(file);
    if (!c) return err::FILEOUTBOUND;
    // Without a page there is nothing to come back to.
    if (c->pageSlot == 0) return err::OK;
    std::uint16_t depth = outerDepth(c);
    if (depth >= OUTER_LEVELS) return recordError(err::DATAOUTBOUND, StrView("scan: more than three page levels"));
    g_outer[file - 1][depth] = OuterRows{c->scanRow, c->scanLastRow, c->scanStatus, c->conditionStatus};
    c->outerSlots[1] = c->outerSlots[0];
    c->outerSlots[0] = c->pageSlot;
    c->pageSlot = 0;
    c->scanRow = c->scanLastRow = 0;
    return err::OK;
}

void scanReleaseAll(std::uint16_t file) {
    DataFileCtrl* c = controlBlock(file);
    if (!c) return;
    while (c->pageSlot || outerDepth(c)) scanEnd(file);
}

}  // namespace rt
