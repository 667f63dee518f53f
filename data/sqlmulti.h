// Duplicate key values, positioned updates and transactions.
//
// Multi-read: while the current key value of a table occurs in several rows,
// all of them are fetched once into a result slot of their own (the
// control block's multi-read slot and row) and the navigation steps through
// them in memory; leaving the run at either end falls back to the driver's
// ordinary query. The driver calls in through its multi-read hooks, which
// sqlMultiInit installs.
//
// Positioned update and delete: one row of a run of duplicates is changed
// through a cursor declared FOR UPDATE over the rows of that key value,
// positioned on the row equal to the record as read, and changed WHERE
// CURRENT OF it. Cursors live in 30 places (curs_0 .. curs_29); the first
// place taken opens the cursor transaction ("START TRANSACTION;") and
// freeing the last one ends it: "COMMIT;" after success, "ROLLBACK;" after a
// failed statement (an aborted transaction would refuse every later
// statement of the connection). Inside the transaction bracket of the
// data-file commands (_AUXSTAT 4096) the cursor works in that transaction
// and neither starts nor ends it, so the bracket is not committed early.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"
#include "data/sqldriver.h"

namespace rt {

constexpr std::uint16_t CURSOR_PLACES = 30;
constexpr std::uint16_t AUX_TRANSACTION = 4096;  // _AUXSTAT: the transaction bracket is open

// ---- Statement texts (pushed) -----------------------------------------------------------

// "curs_<place>".
StrDesc cursorName(std::uint16_t place);
// Item of "LAST,FIRST,NEXT,PRIOR" for a request: relative (0x10) NEXT, or
// PRIOR with 0x04; absolute (0x20) LAST, or FIRST with 0x04. Error value 163
// for a request that is neither.
StrDesc fetchDirection(std::uint16_t flags);
// "SELECT * FROM "t" WHERE <key = V> ORDER BY <key ascending>;" over the
// table's key `key`, in the driver's statement form. Error values of the
// driver's builders pass through; 144 for an empty key value.
StrDesc multiReadStatement(std::uint16_t table, std::uint16_t key, StrDesc keyValue, const SqlForm& form);
// "DECLARE <cursor> CURSOR FOR SELECT * FROM "t" WHERE <key = V> ORDER BY
// <key ascending> FOR UPDATE;". Errors as multiReadStatement.
StrDesc declareStatement(StrDesc cursor, std::uint16_t table, std::uint16_t key, StrDesc keyValue,
                         const SqlForm& form);
// "FETCH <direction> FROM "<cursor>";".
StrDesc fetchStatement(StrDesc direction, StrDesc cursor);
// "DELETE FROM "t" WHERE CURRENT OF <cursor>;".
StrDesc positionedDeleteStatement(std::uint16_t table, StrDesc cursor);
// "UPDATE "t" SET <set> WHERE CURRENT OF <cursor>;".
StrDesc positionedUpdateStatement(std::uint16_t table, StrDesc set, StrDesc cursor);
// "CLOSE <cursor>;".
StrDesc closeStatement(StrDesc cursor);

// ---- Multi-read --------------------------------------------------------------------------

// Installs the multi-read hooks in the table driver and starts with every
// cursor place free.
void sqlMultiInit();
// Removes the hooks and gives the cursor table back (no statement is sent).
void sqlMultiShutdown();

// False when a multi-read row is set or the key value is empty; otherwise
// true when more than one row has that key value (a failed count is false).
bool hasDuplicates(std::uint16_t table, std::uint16_t key, StrDesc keyValue);
// Makes the slot current and gives the number of rows of its stored result.
std::uint32_t rowCount(std::uint16_t slot);
// Ends any multi-read of the table, then fetches every row whose current
// key equals V into a result slot of its own, which becomes current and the
// multi-read slot. The starting row is the last one for a backward request
// (0x14 relative, or 0x20 without 0x04), else row 0; the caller loads it.
// Statement errors (162, 168 no free slot) come back unchanged; fewer than
// two rows give 141 with the detail "sqlMultiRead: key=" and V.
ErrCode startMultiRead(std::uint16_t table, StrDesc keyValue, std::uint16_t flags);
// One step inside the multi-read: 0 the control block's row is the new row
// to load; 1 the multi-read ended (a request that is not relative, or a
// step off either end) and the ordinary navigation must run.
std::uint16_t stepMultiRead(std::uint16_t table, std::uint16_t flags);
// Releases the multi-read's result slot; slot and row become -1.
void endMultiRead(std::uint16_t table);
// After a rewrite of a duplicated record: starts a multi-read over the
// working record's current key value and steps to the row equal to the
// record as read. 0 positioned there; 1 no such row (the multi-read has
// ended); errors of startMultiRead. The record as read is kept.
ErrCode locateInMultiRead(std::uint16_t table);

// Scans read a table in pages of `pageSize` rows. In a full page the rows at
// its end that share the key value of its last row are left for the next
// page: *lastUsable receives the last row whose key value (under `key`)
// differs from that of the page's last row; in a page that is not full
// every row is usable. 168 when a full page holds one key value only.
// Rows are compared through the table's working record, which is kept.
ErrCode pageLastUsableRow(std::uint16_t table, std::uint16_t key, std::uint16_t slot, std::uint32_t rows,
                          std::uint32_t pageSize, std::uint32_t& lastUsable);

// ---- Positioned changes ------------------------------------------------------------------

// Delete or update, through a cursor, of the row of key `key` = V equal to
// the record as read (the data-file layer passes key 1 and the key value of
// the record as read). Results: the code of the positioned
// statement (0 done); 2 when no such row exists any more (nothing changed);
// 0xFFFF when all 30 cursor places are in use (nothing sent); 145 when the
// cursor table cannot be had; 144 for an empty key value (nothing sent);
// otherwise the first statement error. An update in which no field changed
// sends nothing and gives 0. The record copies are left as they were.
ErrCode deleteCurrentDuplicate(std::uint16_t table, std::uint16_t key, StrDesc keyValue);
ErrCode updateCurrentDuplicate(std::uint16_t table, std::uint16_t key, StrDesc keyValue);

// The cursor places as building blocks. Take: the first free place is
// marked with the table and, when it is the only place in use and no
// bracket is open, "START TRANSACTION;" is sent (its failure frees the
// place and is returned). 0xFFFF when none is free, 145 when the table
// cannot be had. Release: "CLOSE <cursor>;" (skipped after a failure, when
// the transaction refuses statements anyway), the place freed, and, when no
// place is left and the cursor opened the transaction, "COMMIT;" when
// `outcome` and the close succeeded, else "ROLLBACK;". Returns outcome when
// it is an error (128 or more, or 0xFFFF), else the first error of these
// statements, else outcome.
ErrCode cursorPlaceTake(std::uint16_t table, std::uint16_t& place);
ErrCode cursorPlaceRelease(std::uint16_t place, ErrCode outcome);
// Places in use.
std::uint16_t cursorPlacesInUse();

// ---- Transaction bracket of the data-file commands ---------------------------------------

// "START TRANSACTION;" and _AUXSTAT 4096 set when it succeeded.
ErrCode beginTransaction();
// "COMMIT;" and _AUXSTAT 4096 cleared; nothing when the bit is clear.
ErrCode endTransaction();

}  // namespace rt
