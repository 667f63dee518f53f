// File names and folders with the system's Windows conventions (backslash
// separators, drive prefixes); the file layer maps them to the operating
// system's names. Every text result is pushed on the string stack.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// Every "/" replaced by "\".
StrDesc PathNormalize(StrDesc path);
// a + "\" + b (both normalised); the backslash only when a is non-empty and
// does not end with "\" and b is non-empty and does not start with "\".
StrDesc PathJoin(StrDesc a, StrDesc b);
// a + "." + b when both are non-empty, else the non-empty one.
StrDesc PathJoinExt(StrDesc a, StrDesc b);

namespace pathpart {
constexpr std::uint16_t DRIVE = 1;
constexpr std::uint16_t FOLDER = 2;
constexpr std::uint16_t NAME = 4;
constexpr std::uint16_t EXT = 8;
}  // namespace pathpart
// The parts of path selected by the pathpart bits, joined back together.
StrDesc PathPart(StrDesc path, std::uint16_t parts);
// relative resolved against base: each leading ".." takes base to its
// drive and folder; then joined; every "\.\" becomes "\".
StrDesc PathResolve(StrDesc base, StrDesc relative);

// The names (without folder) of the files matching a pattern ("*" and "?"
// in the name part), separated by NUL; 164 when none matches.
ErrCode FileFind(StrDesc pattern);
// True when the file (or folder) exists.
bool FileExists(StrDesc path);
// The plain name, then each folder of the comma list joined with it: the
// first existing path, or "".
StrDesc FileSearch(StrDesc folders, StrDesc name);
// Size in bytes (0 when the file does not exist).
std::uint32_t FileSize(StrDesc path);
// A time of the file in local time: which 0 creation, 1 last access, 2 last
// write; as 0 gives the date (YYYYMMDD), 1 the time of day in milliseconds.
// 0 when the file does not exist.
std::int32_t FileTime(StrDesc path, int which, int as);
// Creates the folder, its missing parents first; 163 with the path as
// detail for a path without folder or name, 166 when the system refuses.
ErrCode FolderCreate(StrDesc path);
// Makes path the current folder; 164 with the path as detail on failure.
ErrCode FolderChange(StrDesc path);
// The current folder (at most 384 characters), in the runtime's form.
StrDesc CurrentFolder();
// A unique name (no "." in its name part) + "." + extension in the folder
// named by TEMP; an existing file of that name is deleted first.
StrDesc TempFileName(StrDesc extension);

}  // namespace rt
