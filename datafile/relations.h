// Relations between data files: the relational-update entries run when a
// record is saved, and the relational reads of FILEREL.
//
// Relational-update entries come from the RELUP file (<prefix>RELUPSQL.DAT
// while connected) of the application folder, loaded once per table into
// StringArea table 7 (the control block remembers where). They run only
// while _UPSTAT bit 1 is set: _UPSTAT bit 32 then holds the connection flag
// (_AUXSTAT 2048) and _SGN is -1 for the before pass (which sees the record
// as it was read) and 1 for the after pass. An entry such as
// 'STOCK{ITEMS}=STOCK{ITEMS}+_SGN*QTY{LINES}' thus removes the old quantity
// and adds the new one.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// saveWithRelations action flags.
namespace saveflag {
constexpr std::uint16_t AFTER = 0x0100;    // run the after pass
constexpr std::uint16_t BEFORE = 0x0200;   // run the before pass
constexpr std::uint16_t ACTION = 0x0700;   // mask of the action:
constexpr std::uint16_t INSERT = 0x0500;   //   insert the working record
constexpr std::uint16_t DELETE = 0x0600;   //   delete the record as read
constexpr std::uint16_t REWRITE = 0x0700;  //   rewrite the record
constexpr std::uint16_t KEYTEST = 0x0800;  // only a record whose key is given and changed takes part
constexpr std::uint16_t NORELUP = 0x1000;  // no relational updates
}  // namespace saveflag

// The joined texts (";") of the listed entries of the table (a comma list of
// entry numbers; "NONE" or "" none), pushed. Loads the table's entries on
// first need. 163 for an item that is not a number.
StrDesc relupEntries(std::uint16_t file, StrDesc list);
// Evaluates an entry list as the before (sign -1) or after (sign 1) pass.
// For the before pass the working record is replaced by `asRead` meanwhile.
ErrCode runRelationalUpdates(std::uint16_t file, StrDesc entries, int sign, StrDesc asRead);

// The save of the data-capture windows: key test (KEYTEST: a blank key 1
// value, or a window expression giving the same value for a blank and for
// the real working record, leaves the record out; an insertion of an
// existing key 1 value is refused with 5 unless _UPSTAT bit 64), insert or
// rewrite, then, unless NORELUP, the delete and before pass (BEFORE) and the
// after pass (AFTER). The before pass sees the record as it was read before
// this save.
ErrCode saveWithRelations(std::uint16_t flags, std::uint16_t file, StrDesc entryList, StrDesc windowExpr);

// FILEREL: finds (creates, changes, deletes, pages) the record of `related`
// named by relation `relation` of `file`; `expression` is applied to it.
// Flags: 0x01 added always (a missing record leaves the key fields filled);
// 0x02 at or after (kept with 0x10 or _LASTKEY 23 or 29); 0x04 create when
// missing; 0x08 with 0x04 delete, alone a condition to page to; 0x10. While
// relational updates run (_UPSTAT 32) the expression is the SET text of one
// UPDATE of the related table. _RELRES: 0, 2 paged, 4 inserted, 12 deleted.
// The result is the status of the last operation; 163 without relation.
std::uint16_t relationalRead(std::uint16_t file, std::uint16_t related, std::uint16_t relation,
                             std::uint16_t flags, StrDesc expression);

}  // namespace rt
