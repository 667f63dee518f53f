// The SQL layer's links to runtime modules it needs but that are not in the
// runtime yet: the trace and assertion logs and message defaults (message
// catalogue and logs), option and parameter-file lookups (delimited lists,
// parameter sets), folder creation and change (paths), and the data
// dictionary with the evaluator (catalogue target). Files are read and
// appended through the file layer; the owner-only replacement of a file is
// done here.
//
// Each function is the single place the SQL layer reaches that module; when
// the module joins the runtime the body forwards to it and nothing else in
// the SQL layer changes. Results that need new bytes are pushed on the string
// stack above the caller's mark.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt::sqlbridge {

// Removes the catalogue target (tests).
void reset();

// ---- Logs and messages --------------------------------------------------------
// Appends text (an error value as "Error #code") and CR LF to the trace log
// when `level` has a bit in common with _TRACE. The trace log is StringArea
// table 9 entry 10 when set, else the application prefix + "log.txt".
void traceLine(StrDesc text, std::uint16_t level);
// Appends an entry naming a broken internal check to "assertions.log".
void assertionFailed(const char* check);
// Compiled-in text of the SQL layer's messages ("0021", "0090", "0091").
StrDesc messageText(const char* number);

// ---- Lists and option texts -------------------------------------------------------
// Quote-aware comma lists: number of items and item n (a view, "" outside).
std::uint16_t listCount(StrDesc list);
StrDesc listItem(StrDesc list, std::uint16_t n);
// One pair of matching outer quotes removed (a view).
StrDesc unquote(StrDesc s);
// Trimmed and unquoted; upper-cased (pushed) when neither step shortened it.
StrDesc cleanValue(StrDesc s);
// 1 for a yes word (YES,SI,Y,S,ON), else the leading decimal value.
int toInt(StrDesc s);
// Clean value of key:value or key=value in an option text ("" when absent).
StrDesc keyValueFind(StrDesc text, StrDesc key);
// keyValueFind over the command line (environment string 1), retried once
// with the name's case changed.
StrDesc optionLookup(StrDesc name);

// ---- Files and folders (runtime names, mapped by FileSystemName) ------------------
// The whole content (pushed); error value 164 when the file cannot be read.
StrDesc fileReadAll(StrDesc name);
// Replaces the file with `content` through a temporary file and a rename; the
// file is readable and writable by its owner only (it may hold a password).
// 137 on failure (the old file is then unchanged).
ErrCode fileWriteOwnerOnly(StrDesc name, StrDesc content);
// Appends text and CR LF; 164 when the file cannot be opened. Nothing is recorded.
ErrCode fileAppendLine(StrDesc name, StrDesc text);
// Creates the folder and missing parents; 163 when it cannot be made.
ErrCode folderCreate(StrDesc path);
// Makes path the current folder; 164 when it cannot be entered.
ErrCode folderChange(StrDesc path);
// A parameter set: the non-empty lines of the file (plain name, then the data
// folders of environment string 5) joined with ":" (pushed); error value
// 65535 when nothing was read.
StrDesc paramFileLoad(StrDesc name);

// ---- Catalogue target: the data dictionary and the evaluator ------------------------
struct CatalogueSegment {
    std::uint16_t offset = 0;
    std::uint16_t length = 0;
};
struct CatalogueTarget {
    std::uint16_t (*tableCount)();
    ErrCode (*defineTable)(std::uint8_t attribute, StrDesc name, StrDesc folder);
    ErrCode (*addField)(StrDesc name, std::uint16_t length, char type);
    ErrCode (*defineKey)(std::uint16_t table, std::uint16_t segmentCount, const CatalogueSegment* segments);
    ErrCode (*defaultKeysUpTo)(std::uint16_t table);
    // Evaluates an expression such as "clients=3".
    ErrCode (*evaluate)(StrDesc expression);
};
// Installs the target (null: no dictionary, the catalogue is not loaded).
void catalogueTargetSet(const CatalogueTarget* target);
const CatalogueTarget* catalogueTarget();

}  // namespace rt::sqlbridge
