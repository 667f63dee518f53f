// The program's spine: start-up from the process entry, the application
// callbacks, shutdown and the process exit code.
//
// The entry point sizes the string stack, registers its task callback, sets
// the default screen geometry and font, fills an InitRecord and calls
// RuntimeMain, which runs RuntimeInit, the start menu (the main loop) and
// the shutdown, and returns the exit code.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// The application callback. During start-up code is (start-up flags * 16) +
// phase (1 before the language and configuration are set, 2 after
// configuration, dictionary, fonts and tracing), 3 at shutdown; for task
// lines it is (task kind * 65536) + parse result, with the arguments.
using AppCallbackFn = ErrCode (*)(std::uint32_t code, StrDesc args);

constexpr std::uint32_t APPCB_PHASE_BEFORE_CONFIG = 1;
constexpr std::uint32_t APPCB_PHASE_CONFIGURED = 2;
constexpr std::uint32_t APPCB_SHUTDOWN = 3;

// Start-up flags of the initialisation record.
namespace startflag {
constexpr std::uint16_t DICT_LOAD = 2;      // load the dictionary of the application id
constexpr std::uint16_t DICT_OPTIONAL = 4;  // 156 or 164 from the dictionary is no error
constexpr std::uint16_t DICT_ON_CHANGE = 8; // load it when the id differs from the stored one
}  // namespace startflag

// What the entry point passes to RuntimeInit.
struct InitRecord {
    void* instance = nullptr;         // kept for window creation
    StrDesc cmdLine{"", 0};           // the raw command line, when argc is 65535
    std::uint16_t argc = 65535;       // otherwise the argument count ...
    const char* const* argv = nullptr;  // ... and vector (program name first)
    StrDesc appName{"", 0};           // default for the APNAME option
    StrDesc appDesc{"", 0};           // stored as environment string 3
    std::uint16_t flags = 0;          // startflag bits
    AppCallbackFn callback = nullptr; // start-up and shutdown phases
    StrDesc startMenu{"", 0};         // compiled-in start menu text ("" = none)
};

// The task callback of the application (task dispatch hands every task line
// to it); null leaves the runtime's default dispatcher in charge.
void AppCallbackRegister(AppCallbackFn callback);
AppCallbackFn AppCallbackRegistered();

// Calls the start-up record's callback with `code` (0 when there is none).
ErrCode AppCallback(std::uint32_t code);

// Start-up steps: the core, the variable store, the locale texts
// (environment string 0), the normalised command line (1), the language (4),
// tracing, the identity (2, 3) and folders, the dictionary, the font of
// VKFONT.PPN, then the application's configured phase. Returns the first
// failure; a code above 121 has already been shown with the error dialog.
ErrCode RuntimeInit(const InitRecord& record);

// The module instance of the record (for window creation).
void* RuntimeInstance();

// Closes the runtime (data files, value arrays, the core). Returns 0, or the
// owner tag of a block still held (which does not change the exit code).
ErrCode RuntimeClose();

// The runner of the start menu (the main loop), installed by the menu
// layer. `menuFile` is the menu file found by StartMenuFind ("" when none);
// without one the runner takes the APSTART or the application's own menu,
// else turns `startMenu` (the record's compiled-in text) into a temporary
// menu. Returns the menu's result. Without a runner no menu runs and
// start-up goes straight to shutdown.
using MenuRunFn = ErrCode (*)(StrDesc menuFile, StrDesc startMenu);
void RuntimeMenuRunner(MenuRunFn runner);

// The start menu: the prefix's "MENU.PMT" file under its plain name, in the
// executable's folder or in "..\..\..\APPS", as the path without extension;
// "" when none exists. Pushed on the string stack.
StrDesc StartMenuFind();

// The exit code: the menu's result if non-zero, else the callback's, else
// the shutdown's; any of these below 128 gives 0.
int ExitCodeOf(ErrCode menu, ErrCode callback, ErrCode shutdown);

// True when a window system can show windows: QT_QPA_PLATFORM names a
// platform other than "offscreen" or "minimal", or, when it is unset,
// DISPLAY or WAYLAND_DISPLAY is non-empty. The entry points install the
// console backend otherwise.
bool WindowSystemAvailable();

// The running program's full path as the system knows it (the executable's
// folder is taken from the command line's first item), or `fallback`.
const char* ProgramPath(const char* fallback);

// The process from RuntimeInit to the exit code. A non-zero RuntimeInit
// result ends the process (after the runtime is closed), its exit code by
// the rule of ExitCodeOf: a cancelled login (122) exits with 0, a refused
// one with 162.
int RuntimeMain(const InitRecord& record);

// The start-up login: keys from the command line ("sqlhost", "database",
// "user", "passw"), else "sqlparams.dat", else the login screen (without one:
// 122, or 162 when the server refused the connection). An empty dictionary
// is filled from the catalogue (tables, fields, keys; each table's name a
// variable holding its number). The current folder stays as it is.
ErrCode AppDatabaseLogin();

// The database start of the configured phase, as the applications of this
// runtime do it: AppDatabaseLogin, and on success the per-database folders
// and, when they are set, the parameter files. Returns the first failure.
ErrCode AppDatabaseStart();

// The application's parameter files, run after the database connection:
// "%APNAME%PARINI.%DATABASE_HOST%.DAT" and the CLCUSR and CLCFIX files of the
// host, database and user, each expanded, searched in the data folders and
// evaluated as one expression list; then the language variables file. A
// missing file is skipped; the first failure stops the list and is returned.
ErrCode ParamFilesRun();

}  // namespace rt
