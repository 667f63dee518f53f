// Trendor on the runtime: its identity, its start-up record and its
// application callbacks.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"
#include "shell/startup.h"

namespace rt {

// Environment string 2 after start-up: application id and product name.
constexpr const char* TRENDOR_IDENTITY = "TRW01Q:Trendor";
constexpr const char* TRENDOR_DESCRIPTION = "Graphical SQL viewer for Windows";
constexpr std::uint16_t TRENDOR_FLAGS = startflag::DICT_LOAD | startflag::DICT_OPTIONAL;
// The start menu used when no menu file exists.
constexpr const char* TRENDOR_START_MENU =
    "Graphic Reports\r\n\tCreate New,Report\r\n\tModify Report,Report %APNAME%report.ppn,Edit\r\n"
    "\tUser Reports,Report %APNAME%report.ppn\r\n";

// The start-up and shutdown callback. Phase 2 starts the database (login,
// per-database folders, parameter files), then in any case sets _UPSTAT bit
// 64, the help folder (the executable's folder, used as a format whose "%s"
// receives the lower-cased language code) and the identity; it returns the
// first failure. Shutdown closes the database connection.
ErrCode TrendorCallback(std::uint32_t code, StrDesc args);

// The task callback: Report and Help lines go to the graphic reports and
// the help; every other kind is accepted without action (0).
ErrCode AppTask(std::uint32_t code, StrDesc args);

// The initialisation record of the entry point (command line from argv).
InitRecord TrendorInitRecord(int argc, const char* const* argv);

}  // namespace rt
