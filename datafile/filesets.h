// File sets: the tables a script or task defines for itself, and the named
// sets of FILESEL.
//
// Defined sets: openFileSet pushes the dictionary's counts (at most 7
// levels) and defines a table with its fields and keys; restoreFileSet
// removes everything defined since the last push. Named sets: a set name is
// a comma list of tables (names or numbers); activating it opens them,
// reading the first record of each, and keeps what to undo on StringArea
// stack table 33, which "RESTORE" pops.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

namespace area {
constexpr std::uint16_t FILESETS = 33;  // stack of the activated named sets
}  // namespace area

constexpr std::uint16_t FILESET_LEVELS = 7;

// Pushes the counts (168 beyond 7 levels) and defines table `name` with its
// fields and keys; the table becomes the current file with a blank record.
// Fields: a comma list (quotes and parentheses respected) of
// "NAME;width expression;TYPE" (the width evaluated as an integer, 1-65535).
// Keys: every "<" starts a key of up to five groups of a 4-digit 1-based
// offset and a 3-digit length; no key gives the default key. A failure
// removes what the call defined (and pops the counts). 163 for a bad field
// or key text; the codes of the dictionary otherwise.
ErrCode openFileSet(StrDesc name, StrDesc fields, StrDesc keys);
// Removes the tables, fields and keys defined since the last push and
// restores the current file; with no push left everything is removed.
ErrCode restoreFileSet();
// Levels pushed by openFileSet.
std::uint16_t fileSetDepth();

// FILESEL of a set name: activates it (status of the first file's read, 0 or
// 2; 164 with the name for a table that does not exist), or with "RESTORE"
// undoes the last activation (141 when none is left).
std::uint16_t selectFileSet(StrDesc name);

// Forgets every set level (shutdown and tests); the dictionary is not touched.
void fileSetsReset();

}  // namespace rt
