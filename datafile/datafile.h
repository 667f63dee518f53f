// Data files as the language sees them: the current file, opening and
// closing, field values and assignments, key fields and field references
// 'FIELD{FILE}'.
//
// File numbers are table numbers of the dictionary (1..tableCount). Where an
// operation takes a file argument, 0 or a number outside the tables means
// the current file (_CURFIL). The record buffer and the control block of a
// file are those of datafile/record.h; a file whose buffer was never made
// gets a blank one on first use, a buffer of the wrong length is 169.
//
// Text results are pushed on the string stack (mark/return protocol).
// Errors are recorded under the data-file context.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"
#include "datafile/record.h"

namespace rt {

// Open flags of a file (low byte of the control block's last field).
namespace openflag {
constexpr std::uint16_t ROWBYROW = 2;   // scans read row by row instead of by pages
constexpr std::uint16_t READFIRST = 8;  // read the first record when opened
}  // namespace openflag

// ---- Current file ------------------------------------------------------------------

// A valid file number becomes _CURFIL (anything else is ignored).
void setCurrentFile(std::uint16_t file);
// _CURFIL (0 when no file is current).
std::uint16_t currentFile();
// `file` when it names a table, else the current file; 0 when neither does.
std::uint16_t fileResolve(std::uint16_t file);
// Makes the record buffer when it was never made (both copies blank).
// 161 for a bad file, 169 for a buffer of the wrong length.
ErrCode fileReady(std::uint16_t file);

// ---- Opening and closing -----------------------------------------------------------

// Blank record buffer, control block reset, open flags stored. With
// READFIRST the first record is read (TOP) and the result is that read's
// status (0, 2 or an error); when it fails with 162 while _SYSCOMPAT bit 1
// is clear, the error detail is emptied, the bit set (the server's own NULL
// order) and the read tried once more. 161 for a bad file.
ErrCode openFile(std::uint16_t file, std::uint16_t flags);
// Ends a multi-read, releases the scan pages, closes the disk handle and
// resets the control block.
void closeFile(std::uint16_t file);

// ---- Fields -------------------------------------------------------------------------

// The field of the working record as the language sees it (pushed): an F
// field in the six-character layout read as an 8-character date; an N field
// whose text starts with "D" as the integer after it combined with 10 by
// exclusive-or; any other field its stored text. Error values as fieldText.
StrDesc fieldValue(std::uint16_t file, std::uint16_t field);
// Distributes `text` over the key's fields in order, each taking its width
// (setField); stops when the text is used up.
ErrCode setKeyFields(std::uint16_t file, std::uint16_t key, StrDesc text);

// A resolved field reference.
struct FieldRef {
    std::uint16_t file = 0;
    std::uint16_t field = 0;
    char type = 'A';
};
// 'FIELD{FILE}': FILE a table name or number (empty: the current file),
// FIELD a field name of that table (exact, else ignoring case) or a field
// number. 161 (detail: the reference) for a file outside the tables; 168 for
// a field number out of range (detail "(File:%s, Field:%s)") or an unknown
// field name (detail "Field:" + the reference).
ErrCode fieldRefer(StrDesc ref, FieldRef& out);
// The value of a referenced field (fieldValue, pushed) and its type letter.
ErrCode fieldRefRead(StrDesc ref, char& type);
// Stores text into a referenced field of the working record (setField).
ErrCode fieldRefWrite(StrDesc ref, StrDesc text);
// The stored text of a referenced field from copy 1 or 2 (pushed).
ErrCode fieldRefText(StrDesc ref, std::uint16_t copy);

// Forgets the remembered field references; called when the dictionary is
// cut back (file sets) so that a reference resolves afresh.
void fieldRefForget();

}  // namespace rt
