// Scanning a data file with a condition: the next record, in the order of
// the file's current key, from the current key value up to an upper limit,
// that satisfies a condition of the language.
//
// Rows are fetched in pages of 512 in one statement each ("SELECT * FROM
// ... ORDER BY <key> LIMIT 512;"), the condition translated to SQL narrowing
// them on the server and evaluated again on every row loaded. The rows at
// the end of a full page that share the last row's key value are left out
// and fetched again at the head of the next page, so that every row is
// loaded exactly once and a run of equal key values is never split; a full
// page of one key value fails with 168. The page lives in a result slot of
// the SQL layer between steps (control block field 12); a scan may nest
// over an outer one on the same file (fields 13-14, three levels).
//
// A file opened with openflag::ROWBYROW is scanned record by record with
// single-row reads instead.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

namespace scanflag {
constexpr std::uint16_t BACKWARD = 0x04;  // row-by-row scans only
constexpr std::uint16_t ADVANCE = 0x80;   // move on from the current record
}  // namespace scanflag

constexpr std::uint32_t SCAN_PAGE = 512;

// Called for every record read with the stored text of its first key field;
// a result of 122 or more ends the step with that code (the scan stays
// where it is).
using ScanProgress = ErrCode (*)(StrDesc firstKeyField, void* context);

// Without ADVANCE a current record that satisfies the condition is kept;
// with it, or when it does not, the scan moves to the next record that
// does. Status 0 (the record is loaded), 2 at the end (the page released,
// the record cleared), or an error (the page released, the record cleared).
// An empty limit (or the single character 0xFF) means none. The condition
// text of the running scan is kept in StringArea table 9 entry 11.
std::uint16_t scanStep(std::uint16_t file, std::uint16_t flags, StrDesc condition, StrDesc limit,
                       ScanProgress progress = nullptr, void* context = nullptr);
// Abandons the current scan of the file: its page is released and an outer
// scan's page becomes current again.
void scanEnd(std::uint16_t file);
// Makes room for a scan nested in the current one: the next scanStep starts
// afresh, and when it ends the current scan goes on where it was (nothing to
// do while no page is loaded). 168 when three page levels are in use.
ErrCode scanNest(std::uint16_t file);
// Releases every page level of the file.
void scanReleaseAll(std::uint16_t file);

}  // namespace rt
