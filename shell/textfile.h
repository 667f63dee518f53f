// Line-oriented reading of text files into StringArea tables, and parameter
// sets (a file's KEY=value lines joined with ":" on StringArea table 31).
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// How a line carries its section number (columns counted from 1, L = line
// length): 0, 5, 7 and above: none (section 0), the whole line; 1: columns
// 1-2, text from column 4; 2: columns 2-3, text from column 4 without the
// last character; 3: columns 1-4, text from column 6; 4: columns 1-2, text
// from column 3; 6: columns 1-5, the whole line.
// Pushes the kept text of every line whose section number equals `section`
// on StringArea table `table` (first line first) and returns how many; 65535
// when the file cannot be read or no line matched. A name without drive or
// folder that cannot be opened is searched in the data folders.
std::uint16_t TextFileRead(StrDesc name, std::uint16_t kind, std::uint16_t section,
                           std::uint16_t table = 37);

// Removes the entries of the line queue (table 37) from index `from` on:
// lines a caller read with TextFileRead and has used.
void TextLinesRelease(std::uint16_t from);

// TextFileRead, then the lines read joined with `sep` (empty lines add
// nothing) and pushed; the lines do not stay in table 37. Error value 65535
// when the file cannot be read or no line matched.
StrDesc TextFileJoin(StrDesc name, std::uint16_t kind, std::uint16_t section, StrDesc sep);

// TextFileRead into table 37, then the lines joined with ":" pushed on table
// 31 as the current parameter set. 65535 when nothing was read (nothing is
// pushed then).
std::uint16_t ParamLoad(StrDesc name, std::uint16_t kind, std::uint16_t section);
// As ParamLoad, but a missing file or section pushes an empty set (result 0).
std::uint16_t ParamLoadOrEmpty(StrDesc name, std::uint16_t kind, std::uint16_t section);
// Pushes a set given as text (for callers that build one).
ErrCode ParamPush(StrDesc set);
// KeyValueFind(current set, key, 3): the clean value, "" when absent (a view).
StrDesc ParamGet(StrDesc key);
// Drops the current set.
ErrCode ParamDrop();

}  // namespace rt
