#include "app/trendor_app.h"

#include "core/strfuncs.h"
#include "data/sqlconn.h"
#include "core/strstack.h"
#include "lang/varstore.h"
#include "shell/environ.h"

namespace rt {
namespace {

constexpr std::uint16_t UPSTAT_SAVE_EXISTING_KEY = 64;
constexpr std::uint32_t TASK_REPORT = 11;
constexpr std::uint32_t TASK_HELP = 15;

// --- Steps served by modules that are not part of the runtime yet ----------

// A Report task line: the graphic reports.
ErrCode graphReportTask(StrDesc args) {
    (void)args;
    return err::OK;
}

// A Help task line.
ErrCode helpShow(StrDesc args) {
    (void)args;
    return err::OK;
}

// ----------------------------------------------------------------------------

ErrCode configured() {
    ErrCode result = AppDatabaseStart();
    sysFlag(SysVar::UPSTAT, UPSTAT_SAVE_EXISTING_KEY, true);
    StrMarkT m = StrMark();
    StrDesc folder = FolderPath(folder::RUNPATH);
    FmtArg lang(StrLower(EnvGet(envstr::LANGMODULE)));
    StrDesc help = StrFormatV(static_cast<std::uint16_t>(folder.len + 16), folder, &lang, 1);
    ErrCode e = help.isError() ? StrError(help) : EnvSet(envstr::HELPPATH, help);
    if (!e) e = EnvSet(envstr::APNAME, StrView(TRENDOR_IDENTITY));
    StrRelease(m);
    return result ? result : e;
}

}  // namespace

ErrCode TrendorCallback(std::uint32_t code, StrDesc args) {
    (void)args;
    if (code == APPCB_SHUTDOWN) {
        disconnect();
        return err::OK;
    }
    if (code < 65536 && (code & 15) == APPCB_PHASE_CONFIGURED) return configured();
    return err::OK;
}

ErrCode AppTask(std::uint32_t code, StrDesc args) {
    switch (code >> 16) {
    case TASK_REPORT: return graphReportTask(args);
    case TASK_HELP: return helpShow(args);
    default: return err::OK;
    }
}

InitRecord TrendorInitRecord(int argc, const char* const* argv) {
    InitRecord r;
    r.argc = static_cast<std::uint16_t>(argc);
    r.argv = argv;
    r.appDesc = StrView(TRENDOR_DESCRIPTION);
    r.flags = TRENDOR_FLAGS;
    r.callback = &TrendorCallback;
    r.startMenu = StrView(TRENDOR_START_MENU);
    return r;
}

}  // namespace rt
