// The built-in function library of the language.
//
// A call 'NAME(a; b; c)' reaches its implementation through the evaluator
// (lang/eval.h): the evaluator evaluates as many arguments as the function
// takes evaluated, pushes them on the function-argument stack (StringArea
// table 35, last on top; a number as its 8 bytes, a string as its bytes, an
// empty argument as the byte 0x1B with kind 0) and calls the entry of
// kFuncTable below, which checks the argument count (147 outside the range)
// and leaves the result on top of the string stack. A result code of 122 or
// more is an error of the call; numbers are pushed as scaled values, so a
// status such as 2 is the number 2.
//
// Functions that reach data files go through one seam, DataFileFuncs, that
// the data-file layer fills; until it does they answer as with no open data
// file.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"
#include "lang/eval.h"
#include "lang/funclist.h"

namespace rt {

// --- The function table --------------------------------------------------------

struct FuncRule {
    std::string_view name;
    std::uint8_t minArgs;  // counted over the evaluated arguments
    std::uint8_t maxArgs;
    FuncImpl impl;         // takes the call after the count check
};

// In function-number order (kFunctions of lang/funclist.h); defined in
// lang/funcs.cpp.
extern const FuncRule kFuncTable[FUNC_COUNT];

// Registers every function of the table with the evaluator (each through a
// wrapper that checks the argument count first).
void funcBind();

// --- Argument access (for implementations) ---------------------------------------

// Argument n (1-based) of a call, read from the function-argument stack. The
// text of a string argument is a view into the StringArea: it is invalidated
// by the next store into any StringArea table (copy it to the string stack
// first when the function stores).
struct FuncArg {
    bool present = false;  // given, and not the empty marker
    bool isText = false;
    std::int64_t num = 0;  // scaled number when !isText
    StrDesc text{"", 0};   // bytes when isText; "" for an empty argument
};
FuncArg funcArg(const FuncCall& call, std::uint8_t n);
// Integer argument: an omitted or empty argument gives dflt; a number is
// rounded half away from zero to an integer; a string gives 128.
ErrCode funcArgInt(const FuncCall& call, std::uint8_t n, std::int64_t dflt, std::int64_t& out);
// String argument: an omitted or empty argument gives dflt; a number gives 128.
ErrCode funcArgStr(const FuncCall& call, std::uint8_t n, StrDesc dflt, StrDesc& out);
// Argument of either type as text: a number formatted with _PRECIS decimals
// (pushed), a string as it is; omitted or empty gives "".
StrDesc funcArgText(const FuncCall& call, std::uint8_t n);

// --- The data-file seam --------------------------------------------------------------

// A file argument: absent means the current file (_CURFIL); a number is a
// file number, a text a file name.
struct DataFileRef {
    bool given = false;
    bool isText = false;
    std::int64_t number = 0;  // integer file number when given and !isText
    StrDesc name{"", 0};
};

// What the data-file layer supplies to the functions. A null member answers as
// with no open data file: FILEFIND, FILELOCATE, FILEREL, IER and field
// references give 161 (FILEOUTBOUND); KEY$ gives ""; FN#FLEN measures the disk
// file; FILESEL of a set gives 141 for "RESTORE" (the stack of sets is empty)
// and 164 with the name for any other set. Every member that returns a status
// pushes nothing; the text members push their text.
struct DataFileFuncs {
    // FILEFIND: positions the file at the key (flags 8: the key is a
    // condition; 4: insert a missing key). keyNo 65535: the file's current key.
    ErrCode (*find)(DataFileRef file, StrDesc key, std::uint16_t keyNo, std::uint16_t flags,
                    std::int64_t& status) = nullptr;
    // FILELOCATE: one navigation step by verb name.
    ErrCode (*locate)(DataFileRef file, StrDesc verb, std::int64_t& status) = nullptr;
    // FILEREL: relational read of `related` from `file` by relation number,
    // the expression text applied to the related record.
    ErrCode (*relate)(DataFileRef file, DataFileRef related, std::uint16_t relation, std::uint16_t flags,
                      StrDesc expression, std::int64_t& status) = nullptr;
    // KEY$: pushes the key value (keyNo 65535: current key; segments 0: all).
    ErrCode (*key)(DataFileRef file, std::uint16_t keyNo, std::uint16_t buffer, std::uint16_t segments) = nullptr;
    // IER: the last result code of the file.
    ErrCode (*lastStatus)(DataFileRef file, std::int64_t& status) = nullptr;
    // FN#FLEN: true with the record count when `name` is an open data file.
    bool (*recordCount)(StrDesc name, std::int64_t& count) = nullptr;
    // FN$FLDS of 'FIELD{FILE}': pushes the stored text from buffer `mode`.
    ErrCode (*fieldText)(StrDesc reference, std::uint16_t mode) = nullptr;
    // FILESEL of a set name ("RESTORE" pops the stack of sets).
    ErrCode (*selectSet)(StrDesc name, std::int64_t& status) = nullptr;
};
// Installs the data-file layer's members (a copy is kept).
void funcSetDataFiles(const DataFileFuncs& funcs);
const DataFileFuncs& funcDataFiles();

// --- Life cycle --------------------------------------------------------------------------

// Frees every sorted list of SORT$ and forgets the data-file seam.
void funcShutdown();

}  // namespace rt
