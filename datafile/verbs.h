// Navigation verbs, finds and saves of data files. (The transaction bracket,
// beginTransaction and endTransaction, is with the positioned changes in
// data/sqlmulti.h.)
//
// Every verb has a 16-bit action code. Its low byte is the navigation
// request of the table driver (0x01 clear, 0x02 at or after, 0x04 backward,
// 0x10 relative, 0x20 absolute); the high byte belongs to the data-capture
// windows. Statuses of reads and finds (kept in the control block, IER):
// 0 read, 1 found but not with the exact key / no previous record, 2 not
// found or end of file, 3 new (cleared) record, 128 and above errors.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

struct VerbDef {
    std::string_view name;
    std::uint16_t code;
};

// The verbs in list order ("NEW,TOP,PRV,RLD,NXT,BOT,FND,SVE,INS,DEL,LST,
// NLS,BLS,IMP,MDE,DDE,PRN,TSL").
inline constexpr VerbDef kVerbs[] = {
    {"NEW", 0x0F01}, {"TOP", 0x0F24}, {"PRV", 0x0F16}, {"RLD", 0x0000}, {"NXT", 0x0F12}, {"BOT", 0x0F20},
    {"FND", 0x0040}, {"SVE", 0x0F00}, {"INS", 0x0D00}, {"DEL", 0x0642}, {"LST", 0x0042}, {"NLS", 0x00FF},
    {"BLS", 0x0046}, {"IMP", 0x00FF}, {"MDE", 0x00FF}, {"DDE", 0x00FF}, {"PRN", 0x00FF}, {"TSL", 0x00FF},
};
struct VerbSynonym {
    std::string_view name;
    std::string_view verb;
};
// Long forms ("NEXT=NXT:PREVIOUS=PRV:BOTTOM=BOT").
inline constexpr VerbSynonym kVerbSynonyms[] = {{"NEXT", "NXT"}, {"PREVIOUS", "PRV"}, {"BOTTOM", "BOT"}};
// The code of any other word.
constexpr std::uint16_t VERB_OTHER = 0x00FF;
constexpr std::uint16_t VERB_COUNT = sizeof(kVerbs) / sizeof(kVerbs[0]);
static_assert(VERB_COUNT == 18 && kVerbs[9].name == "DEL" && kVerbs[9].code == 0x0642);

// 1-based position of the verb in the list (blanks around it ignored, case
// ignored, long forms accepted); 0 for any other word.
std::uint16_t verbNumber(StrDesc verb);
// The action code of the verb; VERB_OTHER for any other word.
std::uint16_t verbCode(StrDesc verb);

// FILEFIND flags.
namespace findflag {
constexpr std::uint16_t FILLKEY = 0x01;    // not found: clear and fill the key fields
constexpr std::uint16_t ATORAFTER = 0x02;  // at or after the key text instead of equal
constexpr std::uint16_t INSERT = 0x04;     // not found: insert a record with the key text
constexpr std::uint16_t CONDITION = 0x08;  // the text is a condition of the language
}  // namespace findflag

// One read by the low byte of `action`, under the file's current key, with
// the SQL condition `sqlCondition` as extra WHERE. A clearing request gives
// 3; after 2 a backward relative read reads the last record; an absolute
// read ends a multi-read first; a duplicated key value starts one. Any
// status but 0 leaves the record cleared. The status goes to the control
// block. 161 for a bad file.
std::uint16_t readStep(std::uint16_t file, std::uint16_t action, StrDesc sqlCondition);
// FILELOCATE: DEL deletes the current record (its code is the status);
// every other word is read with readStep by its action code.
std::uint16_t navigateVerb(std::uint16_t file, StrDesc verb);
// Makes `key` current and finds the key text (equal, or at or after with
// ATORAFTER). Found: both copies loaded; status 1 when the key value cut to
// the text's length differs from the text; a duplicated key value starts a
// multi-read at its first row. Not found (2) with FILLKEY: the record
// cleared and the text distributed over the key fields. 168 for a bad key.
std::uint16_t findKey(std::uint16_t file, std::uint16_t key, StrDesc text, std::uint16_t flags);
// FILEFIND: with CONDITION the first record is read and then the next one
// after it meeting the translated condition; with INSERT a key not found
// (2) with a non-empty text is filled into a cleared record and inserted
// (the status stays 2; an insert failure is the result). Other bits go to
// findKey. keyNo 0 or 65535: the file's current key.
std::uint16_t fileFind(std::uint16_t file, StrDesc text, std::uint16_t keyNo, std::uint16_t flags);

// Inserts the working record; on success it is also the record as read.
ErrCode insertCurrent(std::uint16_t file);
// Rewrites the record when the working copy differs from the record as read:
// found by the key 1 value of the record as read, a duplicated value through
// the positioned form. Then the working record becomes the record as read,
// a multi-read is re-positioned on the row; with mode bit 2 the record is
// found again by its current key (at or after). Nothing changed: 0, nothing sent.
ErrCode saveRecord(std::uint16_t file, std::uint16_t mode);
// Deletes the row of the record as read (key 1; positioned when duplicated),
// then as saveRecord's last steps.
ErrCode deleteRecord(std::uint16_t file, std::uint16_t mode);

}  // namespace rt
