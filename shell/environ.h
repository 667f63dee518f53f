// The environment strings of the running application (StringArea table 0),
// %NAME% expansion, the application folders and the language modules.
//
// Views returned by EnvGet point into the StringArea and are invalidated by
// the next store into any table. Functions that build text push it on the
// string stack (one result above the caller's mark).
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// Entries of the environment table.
namespace envstr {
constexpr std::uint16_t LOCALE = 0;      // messages 0019 and 0117 and a blank, NUL-separated
constexpr std::uint16_t CMDLINE = 1;     // the normalised command line
constexpr std::uint16_t APNAME = 2;      // "id:name"; the prefix is the id's first two characters
constexpr std::uint16_t APDESC = 3;      // application description
constexpr std::uint16_t LANGMODULE = 4;  // language code
constexpr std::uint16_t DOCPATH = 5;     // data folder, or a comma list of them
constexpr std::uint16_t DOCS = 6;        // documents folder
constexpr std::uint16_t HELPPATH = 7;    // help folder
constexpr std::uint16_t FUNCLIST = 8;    // cached built-in function names
constexpr std::uint16_t BUTLABELS = 9;   // report window button labels
constexpr std::uint16_t MASKPARMS = 10;  // decimal places of numeric masks
constexpr std::uint16_t DATABASE = 11;   // host, database, user, password
constexpr std::uint16_t DATABASE2 = 12;  // second database connection
}  // namespace envstr

// The entry (a view; "" when never set).
StrDesc EnvGet(std::uint16_t entry);
// Stores a copy (the value may point into the StringArea).
ErrCode EnvSet(std::uint16_t entry, StrDesc value);
// The application prefix: the first two characters of the id (a view).
StrDesc AppPrefix();

// Value of a process environment variable, "" when absent (pushed).
StrDesc EnvVar(StrDesc name);

// Expands the %NAME% references of text: folder kinds, operating-system
// variables, then the environment names (COMMANDLINE, APNAME, ...,
// DATABASE_HOST ...); unknown names become "". Pushed.
StrDesc EnvExpand(StrDesc text);

// Folder kinds 1-7: APPPATH_RUNPATH, APPPATH_DEFAULT, APPPATH_DATA,
// APPPATH_DOCS, APPPATH_HELP, APPPATH_BACKUP, APPPATH_BACKREL.
namespace folder {
constexpr std::uint16_t RUNPATH = 1;
constexpr std::uint16_t DEFAULT = 2;
constexpr std::uint16_t DATA = 3;
constexpr std::uint16_t DOCS = 4;
constexpr std::uint16_t HELP = 5;
constexpr std::uint16_t BACKUP = 6;
constexpr std::uint16_t BACKREL = 7;
}  // namespace folder

// The folder of kind n; "" for other n. Pushed.
StrDesc FolderPath(std::uint16_t n);
// PathJoin(FolderPath(n), name). Pushed.
StrDesc FolderFile(StrDesc name, std::uint16_t n);
// Mode bit 1: first set-up (data folder = executable's folder unless set,
// help folder unless set); bit 2: second set-up (data folder = DPATH or
// "..\APPS" resolved against the current folder, help folder from it);
// bit 8: create the backup folder when missing. 163 with neither 1 nor 2.
ErrCode FolderSetup(std::uint16_t mode);

// The language codes, in language index order, and their file-name suffixes.
constexpr const char* LANGUAGE_CODES = "EN,ES,FR,DE,IT";
constexpr const char* LANGUAGE_SUFFIXES = "_en,_es,_fr,_de,_it";

// Language index of environment string 4 in "EN,ES,FR,DE,IT" (1-5), 0 if none.
std::uint16_t LangIndex();
// The name with the language suffix ("_en" ...) before its first extension;
// index 65535 = LangIndex(), index 0 (or beyond 5) leaves it unchanged. Pushed.
StrDesc LangFileName(StrDesc name, std::uint16_t index);
// Runs the prefix's "LANGVARS.DAT" (lines NAME=NNNN: NAME gets the text of
// message NNNN). Result of the last line; 0 for a missing file.
ErrCode LangVarsLoad();

}  // namespace rt
