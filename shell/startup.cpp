#include "shell/startup.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "core/errtext.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/macro.h"
#include "core/messages.h"
#include "core/runtime_core.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqlmulti.h"
#include "datafile/dfbind.h"
#include "lang/eval.h"
#include "lang/numbers.h"
#include "lang/varstore.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/environ.h"
#include "shell/options.h"
#include "shell/paths.h"
#include "shell/textfile.h"

namespace rt {
namespace {

constexpr const char* PARAMETER_FILES =
    "%APNAME%PARINI.%DATABASE_HOST%.DAT,"
    "%APNAME%CLCUSR.%DATABASE_HOST%.%DATABASE_DBNAME%.DAT,"
    "%APNAME%CLCUSR.%DATABASE_HOST%.%DATABASE_DBNAME%.%DATABASE_USER%.DAT,"
    "%APNAME%CLCFIX.%DATABASE_HOST%.%DATABASE_DBNAME%.DAT";

// The start-up login: the catalogue with its fields and keys fills an empty
// dictionary; the remembered login is "sqlusrprm.dat".
constexpr std::uint16_t LOGIN_FLAGS = 2;
constexpr const char* LOGIN_SOURCE = "sqlparams.dat";

// _AUXSTAT bits set by start-up.
constexpr std::uint16_t AUX_INITIALISED = 16;
constexpr std::uint16_t AUX_CLOSE_UNCONFIRMED = 32;
// _TRACE bits: the About box at start-up (256) unless 16 is set.
constexpr std::uint16_t TRACE_ABOUT = 256;
constexpr std::uint16_t TRACE_NO_ABOUT = 16;

AppCallbackFn g_taskCallback = nullptr;
AppCallbackFn g_startCallback = nullptr;
void* g_instance = nullptr;
MenuRunFn g_menuRunner = nullptr;

// --- Steps served by modules that are not part of the runtime yet ----------

// The About box (trace bit 256 without 16).
void aboutShow() {}

// The screen field-value hook (host hook 0) of the screen runtime.
void screenFieldHookRegister() {}

// ----------------------------------------------------------------------------

// The per-database folders of the connection's host and database.
ErrCode databaseFolderSelect() {
    StrMarkT m = StrMark();
    // Copies: the folder selection stores into the environment table.
    StrDesc connection = StrPush(EnvGet(envstr::DATABASE)) ? StrView("") : StrTop();
    StrDesc host = StrUnquote(StrTrim(ListItem(connection, ',', 1)));
    StrDesc database = StrUnquote(StrTrim(ListItem(connection, ',', 2)));
    ErrCode e = selectDatabaseFolder(host, database);
    StrRelease(m);
    return e;
}

// The command line of the record, normalised.
StrDesc commandLine(const InitRecord& r) {
    if (r.argc == 65535) return CmdLineNormalize(r.cmdLine);
    return CmdLineNormalizeArgs(r.argc, r.argv);
}

// Environment string 0 (messages 0019 and 0117 and a blank, NUL-separated)
// and the number and date formats read from it.
ErrCode localeStore() {
    StrMarkT m = StrMark();
    StrDesc locale = numLocaleEnvText(MsgText(StrView("0019")), MsgText(StrView("0117")));
    ErrCode e = StrError(locale);
    if (!e) e = EnvSet(envstr::LOCALE, locale);
    if (!e) e = numLocaleInit(EnvGet(envstr::LOCALE));
    StrRelease(m);
    return e;
}

// The dictionary of the application prefix from the data folder.
ErrCode dictionaryLoad(StrDesc prefix) {
    StrMarkT m = StrMark();
    ErrCode e = StrPush(EnvGet(envstr::DOCPATH));
    if (!e) e = loadDictionary(StrTop(), prefix, StrView(""));
    StrRelease(m);
    return e;
}

// Every dictionary table's name (lower-cased) as a variable holding its number.
ErrCode dictionaryTableVariables() {
    ErrCode e = err::OK;
    for (std::uint16_t n = 1; n <= tableCount() && !e; ++n) {
        StrMarkT m = StrMark();
        e = varSetInteger(StrLower(tableName(n)), static_cast<std::int16_t>(n));
        StrRelease(m);
    }
    return e;
}

// Tracing, the application id and description, and the first folders.
ErrCode identityStore(const InitRecord& r) {
    StrMarkT m = StrMark();
    std::int32_t trace = StrToInt(OptionValue(opt::TRACE));
    sysSet(SysVar::TRACE, static_cast<std::int16_t>(trace | 1));
    StrDesc id = OptionValue(opt::APNAME);
    if (id.len == 0) id = r.appName;
    ErrCode e = err::OK;
    if (!id.isError() && id.len) {
        StrDesc previous = EnvGet(envstr::APNAME);
        std::uint16_t colon = StrFindChar(previous, 0, ':', true);
        StrDesc name = colon == STR_NPOS ? StrView("") : StrMid(previous, colon + 1);
        e = EnvSet(envstr::APNAME, StrConcatN({id, StrView(":"), name}));
    }
    if (!e && !r.appDesc.isError() && r.appDesc.len) e = EnvSet(envstr::APDESC, r.appDesc);
    if (!e) e = FolderSetup(1);
    StrRelease(m);
    return e;
}

// The dictionary step: from the data folder, then once more from the
// applications folder.
ErrCode dictionaryStep(const InitRecord& r, StrDesc previousId) {
    StrMarkT m = StrMark();
    StrDesc prefix = AppPrefix();
    bool load = (r.flags & startflag::DICT_LOAD) ||
                ((r.flags & startflag::DICT_ON_CHANGE) && StrCompare(ListItem(EnvGet(envstr::APNAME), ':', 1), previousId) != 0);
    ErrCode e = err::OK;
    if (load) {
        ErrorRecordClear();
        if (prefix.len == 2) {
            StrPush(prefix);
            prefix = StrTop();
            e = dictionaryLoad(prefix);
            if (e) {
                // Once more from the applications folder, without what a
                // failed load may have defined.
                ErrCode set = FolderSetup(2);
                if (!set) set = dictionaryReset();
                e = set ? set : dictionaryLoad(prefix);
            }
        } else {
            e = err::LOADSTRERROR;  // no application id: nothing to load
        }
        if ((r.flags & startflag::DICT_OPTIONAL) && (e == err::LOADSTRERROR || e == err::FILENOTFOUND)) {
            // Accepted: no error remains recorded to be reported with a
            // later failure.
            ErrorRecordClear();
            e = err::OK;
        } else if (!e) {
            e = dictionaryTableVariables();
        }
    }
    StrRelease(m);
    return e;
}

}  // namespace

void AppCallbackRegister(AppCallbackFn callback) { g_taskCallback = callback; }

AppCallbackFn AppCallbackRegistered() { return g_taskCallback; }

ErrCode AppCallback(std::uint32_t code) { return g_startCallback ? g_startCallback(code, StrView("")) : 0; }

void* RuntimeInstance() { return g_instance; }

void RuntimeMenuRunner(MenuRunFn runner) { g_menuRunner = runner; }

ErrCode RuntimeInit(const InitRecord& record) {
    g_instance = record.instance;
    g_startCallback = record.callback;

    ErrCode result = CoreInit();
    if (result) {
        // Without the core there is no catalogue: the box carries the
        // compiled-in texts of messages 0001 and 0013.
        if (result > 121) platform::backend().messageBox("Unable to initialize String area", "Fatal Error Ocurred", 0x10);
        return result;
    }
    result = varInit();
    if (!result) result = dictionaryReset();
    if (!result) result = evalInit();
    if (result) {
        if (result > 121) ErrorShow(result);
        return result;
    }
    sqlMultiInit();
    dataFileBind();
    screenFieldHookRegister();
    MacroHooks hooks = MacroGetHooks();
    hooks.option = &OptionLookup;
    MacroSetHooks(hooks);

    result = localeStore();
    if (!result) {
        StrMarkT m = StrMark();
        StrDesc line = commandLine(record);
        result = StrError(line);
        if (!result) result = EnvSet(envstr::CMDLINE, line);
        StrRelease(m);
    }
    if (!result) result = AppCallback(record.flags * 16u + APPCB_PHASE_BEFORE_CONFIG);
    if (!result && EnvGet(envstr::LANGMODULE).len == 0) result = EnvSet(envstr::LANGMODULE, ListItem(StrView(LANGUAGE_CODES), ',', 1));
    StrMarkT m = StrMark();
    // The id stored before (flag 8 compares the new one with it).
    StrPush(ListItem(EnvGet(envstr::APNAME), ':', 1));
    StrDesc previousId = StrTop();
    if (!result) result = identityStore(record);
    if (!result) result = dictionaryStep(record, previousId);
    StrRelease(m);
    if (!result) FontLoadFile();
    if (sysTest(SysVar::TRACE, TRACE_ABOUT) && !sysTest(SysVar::TRACE, TRACE_NO_ABOUT)) aboutShow();
    if (result == 0 || result == err::LOADSTRERROR) result = AppCallback(record.flags * 16u + APPCB_PHASE_CONFIGURED);
    if (result == 0) ErrorRecordClear();
    if (result > 121) ErrorShow(result);
    return result;
}

ErrCode RuntimeClose() {
    dataFilesShutdown();
    sqlMultiShutdown();
    SqlShutdown();
    FileCloseAll();
    evalShutdown();
    varShutdown();
    FontReset();
    ScreenGeometryReset();
    return CoreShutdown();
}

StrDesc StartMenuFind() {
    StrMarkT m = StrMark();
    StrDesc file = StrConcat(AppPrefix(), StrView("MENU.PMT"));
    StrDesc path = StrView("");
    if (FileExists(file)) {
        path = file;
    } else {
        StrDesc atRun = FolderFile(file, folder::RUNPATH);
        if (FileExists(atRun)) {
            path = atRun;
        } else {
            StrDesc apps = PathJoin(StrView("..\\..\\..\\APPS"), file);
            if (FileExists(apps)) path = apps;
        }
    }
    if (path.len == 0) return StrReturn(m, path);
    return StrReturn(m, PathPart(path, pathpart::DRIVE | pathpart::FOLDER | pathpart::NAME));
}

int ExitCodeOf(ErrCode menu, ErrCode callback, ErrCode shutdown) {
    ErrCode r = menu ? menu : callback ? callback : shutdown;
    return r < 128 ? 0 : r;
}

int RuntimeMain(const InitRecord& record) {
    ErrCode e = RuntimeInit(record);
    if (e) {
        // Start-up ends here; an outcome (a cancelled login) is no failure.
        if (StrStackReady()) AppCallback(APPCB_SHUTDOWN);
        RuntimeClose();
        return ExitCodeOf(e, 0, 0);
    }
    sysFlag(SysVar::AUXSTAT, AUX_INITIALISED, true);

    ErrCode menu = err::OK;
    StrMarkT m = StrMark();
    StrDesc menuFile = StartMenuFind();
    sysFlag(SysVar::AUXSTAT, AUX_CLOSE_UNCONFIRMED, true);
    if (g_menuRunner) menu = g_menuRunner(menuFile, record.startMenu);
    StrRelease(m);

    ErrCode callback = AppCallback(APPCB_SHUTDOWN);
    ErrCode shutdown = RuntimeClose();
    return ExitCodeOf(menu, callback, shutdown);
}

ErrCode AppDatabaseLogin() { return login(StrView(LOGIN_SOURCE), LOGIN_FLAGS); }

ErrCode AppDatabaseStart() {
    ErrCode e = AppDatabaseLogin();
    if (!e) e = databaseFolderSelect();
    if (!e) e = ParamFilesRun();
    return e;
}

const char* ProgramPath(const char* fallback) {
    static char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return fallback;
    self[n] = '\0';
    return self;
}

bool WindowSystemAvailable() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && *qpa) return std::strcmp(qpa, "offscreen") != 0 && std::strcmp(qpa, "minimal") != 0;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

ErrCode ParamFilesRun() {
    StrMarkT m = StrMark();
    StrDesc list = StrView(PARAMETER_FILES);
    std::uint16_t count = ListCount(list, ',');
    ErrCode result = err::OK;
    for (std::uint16_t i = 1; i <= count && !result; ++i) {
        StrDesc item = ListItem(list, ',', i);
        StrDesc name = EnvExpand(ListItem(item, ';', 1));
        std::int32_t flags = StrToInt(ListItem(item, ';', 2));
        StrDesc path = FileSearch(EnvGet(envstr::DOCPATH), name);
        if (path.isError()) {
            result = StrError(path);
        } else if (path.len == 0) {
            if (flags & 1) result = ErrorDetail(err::FILENOTFOUND, name);
        } else {
            StrDesc text = TextFileJoin(path, 0, 0, StrView(";"));
            if (!text.isError()) result = evalErrors(text);
            else if (StrError(text) != err::NOTFOUND) result = StrError(text);
        }
        StrRelease(m);
    }
    ErrCode lang = LangVarsLoad();
    return result ? result : lang;
}

ErrCode LangVarsLoad() {
    StrMarkT m = StrMark();
    StrDesc path = FileSearch(EnvGet(envstr::DOCPATH), StrConcat(AppPrefix(), StrView("LANGVARS.DAT")));
    std::uint16_t before = AreaCount(area::LINEQUEUE);
    std::uint16_t lines = path.isError() || path.len == 0 ? 65535 : TextFileRead(path, 0, 0, area::LINEQUEUE);
    ErrCode result = err::OK;
    if (lines != 65535) {
        // Each line NAME=NNNN assigns the text of message NNNN to NAME.
        for (std::uint16_t l = 0; l < lines; ++l) {
            StrMarkT lm = StrMark();
            // A copy: looking up the message may load the catalogue into the area.
            StrDesc line = StrPush(AreaGet(area::LINEQUEUE, static_cast<std::uint16_t>(before + l))) ? StrView("") : StrTop();
            StrDesc name = StrTrim(ListItem(line, '=', 1));
            StrDesc text = StrQuote(MsgText(StrTrim(ListItem(line, '=', 2))), '\'');
            StrDesc assignment = StrConcatN({name, StrView("="), text});
            result = assignment.isError() ? StrError(assignment) : evalErrors(assignment);
            StrRelease(lm);
        }
        TextLinesRelease(before);
    }
    StrRelease(m);
    return result;
}

}  // namespace rt
