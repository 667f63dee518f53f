// apprt-eval: the console of the application language. No windows: the
// runtime starts (options, folders, dictionary, and a database login when
// the command line carries database keys or "sqlparams.dat" is in the
// current folder), then every line of standard input is evaluated as an
// expression and answered with one result line (lang/evalconsole.h).
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/evalconsole.h"
#include "lang/varstore.h"
#include "platform/platform.h"
#include "shell/options.h"
#include "shell/paths.h"
#include "shell/startup.h"

namespace {

// _AUXSTAT bit set once the runtime is initialised.
constexpr std::uint16_t AUX_INITIALISED = 16;

// The database keys of the login on the command line.
constexpr const char* LOGIN_KEYS[] = {"sqlhost", "database", "user", "passw"};

// True when the command line gives a database key or "sqlparams.dat" is in
// the current folder: only then does the console log in.
bool loginWanted() {
    rt::StrScope scope;
    for (const char* key : LOGIN_KEYS) {
        rt::StrDesc value = rt::OptionLookup(rt::StrView(key));
        if (!value.isError() && value.len) return true;
    }
    return rt::FileExists(rt::StrView("sqlparams.dat"));
}

// The start-up callback: the login in the configured phase. The current
// folder stays as it is, so relative file names keep their meaning.
rt::ErrCode EvalConsoleCallback(std::uint32_t code, rt::StrDesc) {
    if (code < 65536 && (code & 15) == rt::APPCB_PHASE_CONFIGURED && loginWanted()) return rt::AppDatabaseLogin();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::install(platform::makeConsoleBackend());

    std::vector<const char*> args(argv, argv + argc);
    if (!args.empty()) args[0] = rt::ProgramPath(args[0]);

    rt::StrStackConfigure(512);

    rt::InitRecord record;
    record.argc = static_cast<std::uint16_t>(args.size());
    record.argv = args.data();
    record.flags = rt::startflag::DICT_LOAD | rt::startflag::DICT_OPTIONAL;
    record.callback = &EvalConsoleCallback;
    rt::ErrCode started = rt::RuntimeInit(record);
    if (started) {
        // Codes above 121 have been shown (on standard error) by start-up.
        if (started <= 121) std::fprintf(stderr, "apprt-eval: start-up failed with code %u\n", started);
        if (rt::StrStackReady()) rt::AppCallback(rt::APPCB_SHUTDOWN);
        rt::RuntimeClose();
        return started;
    }
    rt::sysFlag(rt::SysVar::AUXSTAT, AUX_INITIALISED, true);

    rt::ConsoleRun(stdin, stdout, stderr, isatty(STDIN_FILENO) != 0, &rt::evalExpr);

    rt::AppCallback(rt::APPCB_SHUTDOWN);
    rt::RuntimeClose();
    return 0;
}
