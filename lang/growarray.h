// The runtime's 24 growable value arrays: fixed-size records in one memory
// block each (tag VALUEARRAYS), taken at start-up by varInit and given back
// at shutdown. The variable store uses the first seven; the other ids are
// claimed by the modules that keep record tables (dictionary, screens,
// scripts), each adding its named constant below.
//
// Pointers from growData are invalidated by growResize and growAppend of the
// same array.
#pragma once
#include <cstdint>

#include "core/errcode.h"

namespace rt {

namespace grow {
constexpr std::uint16_t COUNT = 24;
constexpr std::uint16_t INTEGERS = 0;    // integer variable values (16-bit)
constexpr std::uint16_t NUMBERS = 1;     // number variable values (64-bit)
constexpr std::uint16_t ARRAYS = 2;      // array descriptors
constexpr std::uint16_t ARRAYDATA = 3;   // element bytes of all arrays, in creation order
constexpr std::uint16_t NAMEINDEX = 4;   // variable name index, in creation order
constexpr std::uint16_t NAMEBUCKETS = 5; // hash buckets of the name index
constexpr std::uint16_t NAMEBYTES = 6;   // the names the index compares with
constexpr std::uint16_t FIRSTFREE = 7;   // 7-23 are free for other modules
constexpr std::uint16_t DICTTABLES = 7;  // data dictionary: table records
constexpr std::uint16_t DICTFIELDS = 8;  // data dictionary: field records, all tables in table order
constexpr std::uint16_t DICTKEYS = 9;    // data dictionary: key records, all tables in table order
constexpr std::uint16_t DICTSTATE = 10;  // data dictionary: its counters (one record)
}  // namespace grow

// Takes one block for each of the 24 arrays (each empty, record size 1).
// 176 (StructMemError) when a block cannot be had; nothing is kept then.
ErrCode growInit();
// Gives every block back.
void growShutdown();
bool growReady();

// Empties array `id` and sets its record size (1 or more). 163 for a bad id
// or size, 176 when the arrays are not allocated.
ErrCode growReset(std::uint16_t id, std::uint32_t recordSize);
// Number of records (0 for a bad id).
std::uint32_t growCount(std::uint16_t id);
std::uint32_t growRecordSize(std::uint16_t id);
// Record 0 (null for a bad id or when not allocated).
char* growData(std::uint16_t id);
// Sets the number of records: new records are zero-filled, dropped ones
// are gone. 176 when the memory is refused or the size passes 4 GB (the
// array is then unchanged), 163 for a bad id.
ErrCode growResize(std::uint16_t id, std::uint32_t count);
// One zero-filled record added at the end; null when growResize fails.
char* growAppend(std::uint16_t id);

}  // namespace rt
