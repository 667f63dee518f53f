// VarStore: every named variable of the application language.
//
// A name's kind comes from its characters: the first of '@', '(', '$', '#'
// found anywhere decides (invalid, array, string, number); with none of them
// the variable is an integer (A, A% and _LB alike). Names compare exactly.
// A comma cannot be part of a stored name (the name lists are comma lists),
// so a name with a comma (before its '(' for arrays) is invalid as well.
//
// Storage: StringArea table 12 holds the four name lists (entry 0 integer,
// 1 number, 2 string, 3 array; comma-separated, array names with their '(');
// a variable is its 0-based position in the list of its kind. Table 13
// entry n is the value of string variable n. Integer (16-bit) and number
// (64-bit) values, array descriptors and elements live in the growable value
// arrays; a hash index beside the lists makes a lookup constant-time.
//
// Values travel on the string stack: a number is an 8-byte entry holding
// the value scaled by 10^_PRECIS (12.5 is 1250 with _PRECIS 2), a string is
// its bytes. Nothing here pops the caller's values.
#pragma once
#include <cstdint>

#include "core/strdesc.h"
#include "lang/sysvars.h"

namespace rt {

namespace area {
constexpr std::uint16_t VARNAMES = 12;   // the four name lists
constexpr std::uint16_t VARVALUES = 13;  // string variable values
}  // namespace area

enum class VarKind : std::uint8_t { INTEGER = 0, NUMBER = 1, STRING = 2, ARRAY = 3, INVALID = 255 };

struct VarRef {
    VarKind kind;
    std::int32_t pos;  // -1 when absent
};

// Creates the store: clears tables 12 and 13, takes the 24 growable value
// arrays (176 when they cannot be had), empties the hook table and creates
// the system variables with their defaults. Start-up goes on only on 0.
ErrCode varInit();
// Gives the value arrays back and empties tables 12 and 13.
void varShutdown();

VarKind varClassify(StrDesc name);
// Kind and position; an array reference ('M#(', 'M#(1;2)') finds array 'M#('.
VarRef varLookup(StrDesc name);
// Pushes the value: integers as numbers, absent variables as 0 or "" (not
// created), '.lf$' '.tab$' '.pchr$' '.null$' as their constants, 'NAME(i;j)'
// as that element. A name starting with '_' is first offered to hook slot 0
// (mode 1); only its answer 163 sends it on to the store. 147 invalid name.
ErrCode varGet(StrDesc name);
// Assigns the value on top of the string stack (left there), creating the
// variable when absent. Numbers into integers round half away from zero and
// keep the low 16 bits. '_' names go to hook slot 0 (mode 5) first.
// 147 invalid name or a value that is not of the variable's kind (numeric
// kinds need an 8-byte number); 157 the variable cannot be created; 159 a
// string value does not fit the StringArea. Failures change nothing and are
// recorded (VARNMASSIGN).
ErrCode varSet(StrDesc name);
// value * scale pushed as a number, then varSet. 147 for a string name.
ErrCode varSetInteger(StrDesc name, std::int16_t value);
// Assignment from outside an expression. Numeric targets get the text as a
// number (cleaned as numeric input first unless raw); string targets get the
// text as it is; 'NAME(i)' goes through arraySet.
ErrCode varAssignText(StrDesc name, StrDesc text, bool raw);

// By position. Integer positions beyond the store read 0 and refuse writes
// with 168; so do the other kinds.
std::int16_t sysGet(std::uint16_t pos);
ErrCode sysSet(std::uint16_t pos, std::int16_t value);
// 1 when any bit of mask is set.
int sysTest(std::uint16_t pos, std::uint16_t mask);
// Sets (on) or clears the bits; 1 when any of them is now set.
int sysFlag(std::uint16_t pos, std::uint16_t mask, bool on);
std::int64_t numGet(std::uint16_t pos);
ErrCode numSet(std::uint16_t pos, std::int64_t value);
// A view into the StringArea, valid until the next store into it.
StrDesc strGet(std::uint16_t pos);
ErrCode strSet(std::uint16_t pos, StrDesc value);
inline std::int16_t sysGet(SysVar v) { return sysGet(static_cast<std::uint16_t>(v)); }
inline ErrCode sysSet(SysVar v, std::int16_t value) { return sysSet(static_cast<std::uint16_t>(v), value); }
inline int sysTest(SysVar v, std::uint16_t mask) { return sysTest(static_cast<std::uint16_t>(v), mask); }
inline int sysFlag(SysVar v, std::uint16_t mask, bool on) { return sysFlag(static_cast<std::uint16_t>(v), mask, on); }
inline StrDesc strGet(SysStr v) { return strGet(static_cast<std::uint16_t>(v)); }
inline ErrCode strSet(SysStr v, StrDesc value) { return strSet(static_cast<std::uint16_t>(v), value); }

// 10^_PRECIS computed in 16 bits (meaningful for _PRECIS 0-4; never 0).
std::uint16_t numScale();
// Pushes a scaled number as its 8-byte entry.
ErrCode numPush(std::int64_t value);
// True when v is an 8-byte number entry; its value goes to out.
bool numRead(StrDesc v, std::int64_t& out);

// Number of variables of a kind, and its name list (a view into the area).
std::uint16_t varCount(VarKind kind);
StrDesc varNames(VarKind kind);

// Local scopes: a snapshot, and the restore that drops every variable made
// since (values of older variables stay as they are now). 141 when a list
// is shorter than the mark (nothing is changed then).
struct VarMark {
    std::uint16_t listBytes[4];
    std::uint16_t listItems[4];
    std::uint32_t integers, numbers, arrays;
    std::uint16_t strings;
};
VarMark varSnapshot();
ErrCode varRestore(const VarMark& mark);

// Arrays of 1 to 4 dimensions: 'M#(3;4)' is 4 x 5 numbers, 'N$('ABC';9)' ten
// strings of width 3 holding ABC, 'K(9)' ten integers. The name may be given
// as 'M#' or 'M#('. Arguments are scaled numbers or texts; an index is the
// number's integer part. Indexes fill the last dimensions (row-major, last
// index fastest); only the flat position is checked (168). More than 4
// arguments or more indexes than dimensions: 149. Errors are recorded
// (VarStruct).
struct VarArg {
    bool text = false;
    std::int64_t num = 0;  // scaled number when !text
    StrDesc str{"", 0};    // bytes when text
};
struct ArrayShape {
    VarKind elemKind;
    std::uint16_t width;  // bytes per element
    std::uint8_t dims;
    std::uint32_t extents[4];
    std::uint32_t count;
};
// Creates the array (nothing when it exists): 147 for a bad element kind,
// a string array without its leading string, a count below 2; 176 when the
// elements cannot be had (more than 64 MB); 157 the name cannot be added.
ErrCode arrayCreate(StrDesc name, const VarArg* args, std::uint16_t count);
// Pushes the element (integers as numbers, strings at full width), creating
// the array on the first read.
ErrCode arrayGet(StrDesc name, const VarArg* args, std::uint16_t count);
// Writes an element: integers take value / scale truncated (low 16 bits),
// numbers the 8 bytes, strings the value's bytes over the element's start.
// 149 when the array does not exist, 147 for a value of the wrong kind.
ErrCode arraySet(StrDesc name, const VarArg* args, std::uint16_t count, StrDesc value);
// Writes value into flat positions from..to-1 (to 0 or beyond: to the end).
ErrCode arrayFill(StrDesc name, std::uint32_t from, std::uint32_t to, StrDesc value);
// 149 when the array does not exist.
ErrCode arrayShape(StrDesc name, ArrayShape& out);

// Screen value descriptor n: string variable _V<n>$, a type letter and a
// decimal number. 181 when the variable is absent or empty.
ErrCode varValueDesc(std::uint16_t n, char& letter, std::int32_t& number);

// The 25 host hooks. Slot 0 resolves '_' names for varGet (mode 1, pushes
// the field's text) and varSet (mode 5, reads the top of the string stack
// and leaves it), answering 163 for names it does not know; slot 1 runs
// scripts (EXEC$); slot 2 resolves '_' arrays and functions with arguments;
// slot 3 replaces relational reads; slot 23 is called while an SQL
// statement runs (mode = phase).
using HostHook = ErrCode (*)(StrDesc name, std::uint16_t mode, void* arg);
namespace hook {
constexpr std::uint16_t COUNT = 25;
constexpr std::uint16_t FIELDS = 0;
constexpr std::uint16_t SCRIPT = 1;
constexpr std::uint16_t CALLS = 2;
constexpr std::uint16_t RELREAD = 3;
constexpr std::uint16_t SQLPROGRESS = 23;
}  // namespace hook
// Installs fn (null empties the slot); the hook it replaces goes to
// previous. 168 for a slot above 24.
ErrCode hookSet(std::uint16_t slot, HostHook fn, HostHook* previous = nullptr);
HostHook hookGet(std::uint16_t slot);  // null when empty or above 24
// The hook's answer; 65535 when the slot is empty or above 24.
ErrCode hookCall(std::uint16_t slot, StrDesc name, std::uint16_t mode, void* arg);

}  // namespace rt
