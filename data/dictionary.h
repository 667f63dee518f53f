// The data dictionary (TableRegistry): the tables of the application, the
// fixed-length record layout of each (fields with offset, length and type
// character), the keys that order and find records, the relation texts and
// the relational-update entries. Filled by appending, from the dictionary
// files, from the database catalogue or by a script's structure definition.
//
// Tables are numbered 1..30 in registration order. Texts live in StringArea
// tables 1 (names, index table - 1), 2 (data folders), 3 (field names, by
// global field index) and 4 (relation texts); relational-update entries in
// table 7. Views returned here point into the StringArea and are invalidated
// by the next store into it.
//
// Type characters: 'A' text, 'D' date YYYYMMDD, 'N' number, '1'..'9' number
// with that many decimals, 'L' logical. "NL123456789" are numeric (written to
// SQL unquoted, empty meaning 0); every other character is text.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

constexpr std::uint16_t DICT_TABLES = 30;
constexpr std::uint16_t KEY_SEGMENTS = 5;
constexpr std::uint16_t DICT_NOFIELD = 0xFFFF;

namespace area {
constexpr std::uint16_t DICT_NAMES = 1;
constexpr std::uint16_t DICT_FOLDERS = 2;
constexpr std::uint16_t DICT_FIELDS = 3;
constexpr std::uint16_t DICT_RELATIONS = 4;
constexpr std::uint16_t RELUP = 7;
}  // namespace area

struct TableDef {
    std::uint8_t number = 0;
    std::uint8_t attribute = 0;
    std::uint16_t fieldCount = 0;
    std::uint16_t recordLength = 0;
    std::uint16_t keyCount = 0;
};

struct FieldDef {
    std::uint8_t table = 0;
    std::uint16_t position = 0;  // 1-based within the table
    std::uint16_t offset = 0;    // 0-based within the record
    std::uint16_t length = 0;
    char type = 'A';
};

struct KeySegment {
    std::uint16_t offset = 0;  // 0-based
    std::uint16_t length = 0;
};

struct KeyDef {
    std::uint16_t segmentCount = 0;
    KeySegment segments[KEY_SEGMENTS];
};

// The key's field list: per segment, the field in which it starts.
struct KeyFieldList {
    std::uint16_t count = 0;
    std::uint16_t positions[KEY_SEGMENTS] = {};
};

// True for the numeric type characters "NL123456789".
bool isNumericType(char type);

// Empties the registry (its StringArea tables 1-4 and 7, the control blocks
// and record buffers of the data files too) and claims its growable arrays,
// which the variable store must have taken (varInit). 176 when they are not.
ErrCode dictionaryReset();

// ---- Dictionary files ---------------------------------------------------------

// Reads <prefix>DICC.DAT, then <prefix>REL.DAT, from `folder` (first two
// characters of prefix used). Tables without a folder of their own take
// `defaultFolder`. Stops at the first error; what was defined before stays.
// 164 with the detail <prefix>DICC.DAT[<folder>] when DICC.DAT cannot be
// opened (a missing REL.DAT is no error). A malformed line (bad record code,
// short field line, bad digits, a key of more than five segments, a line
// over 512 bytes, an include loop) gives 163 with the detail
// "<file>(<line number>): <what is wrong>: <line>"; the codes of the define
// operations below keep their meaning and get the same detail.
ErrCode loadDictionary(StrDesc folder, StrDesc prefix, StrDesc defaultFolder);

// The relational-update entries of `table`, read from <prefix>RELUP.DAT (or
// <prefix>RELUPSQL.DAT with `sqlVariant`) in `folder`, appended to StringArea
// table 7: *base receives the table 7 count before the append, entry E of
// the file lands at base + E (texts of one entry joined with ";"). A missing
// file loads nothing (0). A malformed line (shorter than 4 characters, non-
// digit table or entry columns) gives 163 with a detail as loadDictionary.
ErrCode loadRelup(std::uint16_t table, StrDesc folder, StrDesc prefix, bool sqlVariant, std::uint16_t* base);

// ---- Define operations ------------------------------------------------------------

// 161 when 30 tables exist; else appends the table with no fields or keys,
// its name (lower-cased unless _AUXSTAT bit 8) and folder; resets the
// table's data-file control block and the driver's knowledge of it.
ErrCode defineTable(std::uint8_t attribute, StrDesc name, StrDesc folder);
// Appends a field to the last table: position fieldCount + 1, offset
// recordLength. 161 when no table or 30 tables are defined; 168 when the
// record would pass 65535 bytes.
ErrCode addField(StrDesc name, std::uint16_t length, char type);
// 163 when table is 0 or beyond the table count, or segmentCount is 0 or
// above 5. Otherwise gives the default key to the tables after the last
// keyed table and before this one, appends the key to `table` and makes it
// the last keyed table.
ErrCode defineKey(std::uint16_t table, std::uint16_t segmentCount, const KeySegment* segments);
// Gives the default key (one segment from offset 0 through the field
// N_LINE, else through field 1) to every table after the last keyed table up
// to table n.
ErrCode defaultKeysUpTo(std::uint16_t n);
// 151 when table is 0 or beyond the table count; else appends ":" and text
// to the table's relation text (just text when it is empty).
ErrCode addRelationText(std::uint16_t table, StrDesc text);

// Counts of the registry (used by file sets, which cut the registry back).
struct DictionaryCounts {
    std::uint16_t tables = 0, fields = 0, keys = 0;
};
DictionaryCounts dictionaryCounts();
// Removes every table, field and key beyond `counts`.
void dictionaryTruncate(DictionaryCounts counts);

// ---- Lookups ---------------------------------------------------------------------------

// Empty name: _CURFIL. A name starting with a letter (code above 64): its
// position among the table names (folded as defineTable folds), 0 when
// absent. Otherwise its decimal value.
std::uint16_t tableNumber(StrDesc name);
StrDesc tableName(std::uint16_t table);    // "" for a bad number
StrDesc tableFolder(std::uint16_t table);  // "" for a bad number
StrDesc relationText(std::uint16_t table);
// All names joined by "," (pushed).
StrDesc tableNameList();
std::uint16_t tableCount();
// Counts of one table; 0 for a bad number.
std::uint8_t tableAttribute(std::uint16_t table);
std::uint16_t fieldCount(std::uint16_t table);
std::uint16_t recordLength(std::uint16_t table);
std::uint16_t keyCount(std::uint16_t table);

// Field operations expect a valid table and position (1..fieldCount); others
// give an empty record or text.
FieldDef fieldDef(std::uint16_t table, std::uint16_t position);
StrDesc fieldName(std::uint16_t table, std::uint16_t position);
// First field named exactly `name`; DICT_NOFIELD when none.
std::uint16_t fieldPosition(std::uint16_t table, StrDesc name);

// Key operations: 168 for table 0 or beyond the count, key 0 or beyond the
// table's keyCount.
ErrCode keyDef(std::uint16_t table, std::uint16_t key, KeyDef& out);
// 141 when a segment starts beyond the last field.
ErrCode keyFields(std::uint16_t table, std::uint16_t key, KeyFieldList& out);
// Sum of the lengths of the first n segments (0 or 0xFFFF: all); 0 for a
// bad table or key.
std::uint16_t keyLength(std::uint16_t table, std::uint16_t key, std::uint16_t n);

// The number written right after "<T>R<R>K" at the start of an entry of the
// table's relation text; 0 when absent.
std::uint16_t relationKey(std::uint16_t table, std::uint16_t T, std::uint16_t R);
// The value of the entry "<T>R<R>K<key>" (after its "=" or ":", up to the
// next ":", blank, "&" or "/" outside quotes, outer quotes removed); a view,
// "" when absent.
StrDesc relationValue(std::uint16_t table, std::uint16_t T, std::uint16_t R);

}  // namespace rt
