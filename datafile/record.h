// Control blocks and record buffers of the data files.
//
// Every table of the dictionary has a control block (current key, last
// status, multi-read and scan state) and a record buffer: one StringArea
// table 6 entry of twice the record length, the working record followed by
// the record as read. The SQL table driver reads and writes records only
// through these operations.
//
// File numbers are table numbers (1..tableCount). Views returned here point
// into the StringArea and are invalidated by the next store into it.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"
#include "data/dictionary.h"

namespace rt {

namespace area {
constexpr std::uint16_t RECORDS = 6;  // record buffers, entry file - 1
}  // namespace area

struct DataFileCtrl {
    std::uint16_t currentKey = 1;
    std::uint16_t lastStatus = 2;  // 0 read, 1 not exact / no previous, 2 none, 3 new, 128+ errors
    std::int16_t diskHandle = -1;
    std::int16_t multiSlot = -1;   // result slot of a multi-read, -1 when none
    std::int16_t multiRow = -1;    // current row of the multi-read, -1 when none
    std::int16_t relupBase = -1;   // first relational-update entry in StringArea table 7, -1 not loaded
    std::uint16_t scanStatus = 0;
    std::uint16_t conditionStatus = 0;
    std::uint32_t scanRow = 0;
    std::uint32_t scanLastRow = 0;
    std::uint16_t pageSlot = 0;
    std::uint16_t outerSlots[2] = {0, 0};
    std::uint16_t openFlags = 0;
};

// Record copies.
namespace copy {
constexpr std::uint16_t WORKING = 1;
constexpr std::uint16_t ASREAD = 2;
constexpr std::uint16_t BOTH = 3;
}  // namespace copy

// The file's control block; null for a file outside the dictionary (the line
// "DataFileCtrl" then goes to the trace log).
DataFileCtrl* controlBlock(std::uint16_t file);
// Back to the reset values (files 1..30).
void resetControlBlock(std::uint16_t file);

// Gives the file a blank record buffer of twice its record length. 168 for a
// bad file, 159 when the StringArea is full.
ErrCode recordInit(std::uint16_t file);
// Drops every record buffer (StringArea table 6).
void recordBuffersClear();
// Both copies blank; mode 2 also sets the first byte to 0x1B. 169 when the
// buffer is missing or not twice the record length.
ErrCode clearRecord(std::uint16_t file, std::uint16_t mode = 1);
// A view of copy 1, 2 or 3 (both); error value 169 for a bad buffer.
StrDesc recordCopy(std::uint16_t file, std::uint16_t which);
// Copies bytes into copy 1, 2 or 3 (cut or blank-padded to the length).
ErrCode setRecordCopy(std::uint16_t file, std::uint16_t which, StrDesc bytes);
// 1: working to as-read; 2: as-read to working.
ErrCode copyRecord(std::uint16_t file, std::uint16_t direction);
// True when the working record differs from the record as read.
bool recordChanged(std::uint16_t file);

// A view of the field's slice of copy 1 or 2; error value 168 (detail
// "(File:%s, Field:%s)") for a field out of range, 169 for a bad buffer.
StrDesc fieldText(std::uint16_t file, std::uint16_t field, std::uint16_t which = copy::WORKING);
// fieldText that also gives the field's record.
StrDesc fieldSlice(std::uint16_t file, std::uint16_t field, std::uint16_t which, FieldDef* def);
// Changes whenever a table is defined or removed or the buffers are dropped:
// what was resolved against the dictionary before must be resolved again.
std::uint32_t recordGeneration();
// Stores text into the field of the working record, made fit for storage:
// text types left-aligned, cut or padded; numbers (NL1-9) trimmed and
// right-aligned, decimals reduced to fit, types 1-9 written with their
// decimals (a blank number stays blank); dates left-aligned, an 8-digit date
// in a 6-wide field without its century, and F fields in the six-character
// layout (_COMPAT 4) written in it. 168 when a number's integer part (or a
// six-character date's year) does not fit, the field unchanged; otherwise
// errors as fieldText. Errors are recorded under the data-file context.
ErrCode setField(std::uint16_t file, std::uint16_t field, StrDesc text);
// setField of `count` fields from `first` on, from values[], stopping at the
// first error; the file's layout and buffer are looked up once. With
// dashedDates, D fields given as YYYY-MM-DD (as the server writes dates)
// are stored without the dashes.
ErrCode setFields(std::uint16_t file, std::uint16_t first, const StrDesc* values, std::uint16_t count,
                  bool dashedDates = false);
// True when the field's working text differs from its text as read.
bool fieldChanged(std::uint16_t file, std::uint16_t field);
// The concatenation of the key's segment slices of copy 1 or 2 (pushed);
// error value 168 for a bad key, 169 for a bad buffer.
StrDesc keyValue(std::uint16_t file, std::uint16_t key, std::uint16_t which = copy::WORKING);
// Fields without the trailing placeholders named NUL, NULL, OTHER or AVOID.
std::uint16_t realFieldCount(std::uint16_t file);

}  // namespace rt
