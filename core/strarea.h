// The StringArea: one 65535-byte block of 39 numbered tables of packed
// strings (2048 entries in all). Tables up to 36 behave as stacks through
// Push/Peek/Pop, tables 37 and 38 as queues.
//
// Table roles: 0 environment strings; 1-4 dictionary; 5 menu task lines;
// 6, 7 data access; 8 script/device texts; 9 runtime work strings (2 message
// texts, 9 error detail, 10 log path); 12, 13 variable names and values;
// 30-36 work stacks (31 menu and task text); 37, 38 work queues (37 lines
// read from text files).
//
// Views returned by AreaGet/AreaPeek point into the area and are invalidated
// by the next store into any table.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt {

constexpr std::uint16_t AREA_TABLES = 39;
constexpr std::uint16_t AREA_ENTRIES = 2048;
constexpr std::uint32_t AREA_BYTES = 65535;

namespace area {
constexpr std::uint16_t ENV = 0;
constexpr std::uint16_t WORK = 9;
constexpr std::uint16_t WORK_MESSAGES = 2;  // entry of table 9: catalogue texts
constexpr std::uint16_t WORK_DETAIL = 9;    // entry of table 9: error detail
constexpr std::uint16_t WORK_LOGPATH = 10;  // entry of table 9: log path
constexpr std::uint16_t TASKSTACK = 31;
constexpr std::uint16_t LINEQUEUE = 37;
}  // namespace area

// Sizing before initialisation (65535 keeps the current setting).
void AreaConfigure(std::uint16_t tables, std::uint16_t entries, std::uint32_t bytes);
// 159 (recorded with STRINGINIT) when the settings are inconsistent; 145
// when the block cannot be had.
ErrCode AreaInit();
void AreaShutdown();
bool AreaReady();

// The entry; "" (pointer at the text start) when the index is beyond the count;
// error value 159 (recorded with DynStrings) when the table is out of range.
StrDesc AreaGet(std::uint16_t table, std::uint16_t index);
// Stores a copy (v may point into the area). An index beyond the count first
// appends empty entries. 159 on overflow (recorded as 156/STRINGASSIGN);
// nothing changes then.
ErrCode AreaSet(std::uint16_t table, std::uint16_t index, StrDesc v);
ErrCode AreaRemove(std::uint16_t table, std::uint16_t index);
ErrCode AreaPush(std::uint16_t table, StrDesc v);
StrDesc AreaPeek(std::uint16_t table);
ErrCode AreaPop(std::uint16_t table);
// Peek copied onto the string stack, then Pop.
StrDesc AreaTake(std::uint16_t table);
ErrCode AreaTruncate(std::uint16_t table, std::uint16_t n);
std::uint16_t AreaCount(std::uint16_t table);

struct AreaStats {
    std::uint16_t entriesUsed, entriesMax;
    std::uint32_t bytesUsed, bytesMax;
};
AreaStats AreaInfo();

}  // namespace rt
