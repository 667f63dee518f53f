// The operating-system boundary of file names.
//
// Inside the runtime, file names keep the conventions of the application's
// files: "\" separates folders, a name may begin with a drive ("C:"), and
// menus, parameter files and dictionaries name files in any case. Every call
// that hands a name to the operating system (the file layer, folder searches,
// folder creation) maps it here first; nothing passes a runtime name to the
// operating system directly.
#pragma once
#include <cstddef>

#include "core/strdesc.h"

namespace rt {

// Room for any mapped name (runtime names of the file layer stay below 384 bytes).
constexpr std::size_t OSNAME_BYTES = 1024;

// Writes into `out` (NUL-terminated) the name the operating system gets for
// the runtime name `name`:
//  - a leading drive prefix (a letter and ":") is dropped; the rest is taken
//    as given, so "C:\APPS\x" is "/APPS/x", "C:x" is "x" and "C:" alone is ".";
//  - every "\" becomes "/";
//  - when that name does not exist, each folder or file component that does
//    not exist as written is replaced by the entry of its folder that equals
//    it ignoring ASCII letter case (the lowest in byte order when several do).
//    From the first component that matches nothing, the rest stays as written
//    (so a file about to be created keeps its own spelling in the folder found).
// 163 (BADINPUTDATA) for an error value, an empty name, a name holding a NUL
// byte, or a result that does not fit `capacity` with its terminator; `out`
// then holds "" (when capacity allows).
ErrCode FileSystemName(StrDesc name, char* out, std::size_t capacity);

}  // namespace rt
