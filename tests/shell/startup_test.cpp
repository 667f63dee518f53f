#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/trendor_app.h"
#include "core/errors.h"
#include "core/macro.h"
#include "core/runtime_core.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/environ.h"
#include "shell/startup.h"
#include "tests/support/pg_test.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

constexpr auto env = testsupport::envOr;

// The login keys of the test server's database `db` as command-line arguments.
std::vector<std::string> loginKeys(const std::string& db, const std::string& password) {
    return {"/sqlhost=" + env("PGHOST"), "/database='" + db + "'", "/user='" + env("PGUSER") + "'",
            "/passw='" + password + "'"};
}

// Runs statements on a database of the test server.
void adminExec(const std::string& info, const std::string& sql) {
    std::unique_ptr<PGconn, decltype(&PQfinish)> c(PQconnectdb(info.c_str()), PQfinish);
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(c.get(), sql.c_str()), PQclear);
    ASSERT_EQ(PQresultStatus(r.get()), PGRES_COMMAND_OK) << sql << ": " << PQerrorMessage(c.get());
}

struct Box {
    std::string text, title;
    unsigned style;
};

// A console-like backend that keeps the boxes it was asked to show.
class RecordingBackend final : public platform::Backend {
public:
    explicit RecordingBackend(std::vector<Box>& boxes) : boxes_(boxes) {}
    const char* name() const override { return "recording"; }
    platform::Answer messageBox(std::string_view text, std::string_view title, unsigned style) override {
        boxes_.push_back(Box{std::string(text), std::string(title), style});
        return platform::Answer::Ok;
    }
    bool hasMainWindow() const override { return false; }
    void discardPendingEvents() override {}
    void pumpEvents() override {}
    platform::FontMetrics systemFontMetrics() const override { return {8, 16}; }
    platform::FontMetrics fontMetrics(const platform::FontSpec& s) const override { return {s.width, s.height}; }
private:
    std::vector<Box>& boxes_;
};

// What a callback saw at one phase.
struct Seen {
    std::uint32_t code;
    std::string cmdline, lang, apname, locale;
    int trace;
};

std::vector<Seen> g_seen;
std::vector<ErrCode> g_answers;  // answers of the recording callback, by call

Seen snapshot(std::uint32_t code) {
    Seen s{code, show(EnvGet(envstr::CMDLINE)), show(EnvGet(envstr::LANGMODULE)), show(EnvGet(envstr::APNAME)),
           show(EnvGet(envstr::LOCALE)), sysGet(SysVar::TRACE)};
    return s;
}

ErrCode recordingCallback(std::uint32_t code, StrDesc) {
    g_seen.push_back(snapshot(code));
    std::size_t i = g_seen.size() - 1;
    return i < g_answers.size() ? g_answers[i] : 0;
}

ErrCode g_menuAnswer = 0;
std::string g_menuFile, g_menuText;
int g_menuAuxstat = 0;
ErrCode recordingMenu(StrDesc menuFile, StrDesc startMenu) {
    g_menuFile = show(menuFile);
    g_menuText = show(startMenu);
    g_menuAuxstat = sysGet(SysVar::AUXSTAT);
    return g_menuAnswer;
}

class Startup : public ::testing::Test {
protected:
    std::vector<Box> boxes;
    testsupport::TempDir dir;

    void SetUp() override {
        CoreReset();
        FontReset();
        StrStackConfigure(512);
        boxes.clear();
        platform::install(std::make_unique<RecordingBackend>(boxes));
        g_seen.clear();
        g_answers.clear();
        g_menuAnswer = 0;
        g_menuFile = g_menuText = "";
        g_menuAuxstat = 0;
    }
    void TearDown() override {
        if (StrStackReady()) RuntimeClose();
        CoreReset();
        RuntimeMenuRunner(nullptr);
        AppCallbackRegister(nullptr);
        platform::install(platform::makeConsoleBackend());
    }

    InitRecord record(const char* cmdline, std::uint16_t flags = 6) {
        InitRecord r;
        r.cmdLine = StrView(cmdline);
        r.flags = flags;
        r.callback = &recordingCallback;
        r.appDesc = StrView("Test description");
        return r;
    }
};

TEST_F(Startup, CallbackPhasesComeInOrderAroundTheConfiguration) {
    RuntimeMenuRunner(&recordingMenu);
    int code = RuntimeMain(record("prog.exe  -TRACE=8", 6));
    EXPECT_EQ(code, 0);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].code, 6u * 16 + 1);
    EXPECT_EQ(g_seen[1].code, 6u * 16 + 2);
    EXPECT_EQ(g_seen[2].code, 3u);
    // Phase 1: the command line is stored, the language and tracing are not.
    EXPECT_EQ(g_seen[0].cmdline, "prog.exe /TRACE=8");
    EXPECT_EQ(g_seen[0].lang, "");
    EXPECT_EQ(g_seen[0].trace, 1);
    // Phase 2: language, tracing and the locale texts are in place.
    EXPECT_EQ(g_seen[1].lang, "EN");
    EXPECT_EQ(g_seen[1].trace, 9);
    std::string locale = std::string(".,'0123456789.-D',' NY','  ,NO,YES'") + '\0' +
                         "'January,February,March,April,May,June,July,August,September,October,November,December',"
                         "'[M] [D],[Y]'" + '\0' + " ";
    EXPECT_EQ(g_seen[1].locale, locale);
    // The menu ran after initialisation, with closing unconfirmed.
    EXPECT_EQ(g_menuAuxstat & 48, 48);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Startup, TraceDefaultsToOneAndKeepsBitZero) {
    struct Case {
        const char* cmdline;
        int trace;
    };
    const Case cases[] = {{"prog.exe", 1}, {"prog.exe /TRACE=8", 9}, {"prog.exe /TRACE=6", 7}, {"prog.exe /TRACE=x", 1}};
    for (const Case& c : cases) {
        SetUp();
        ASSERT_EQ(RuntimeInit(record(c.cmdline)), 0);
        EXPECT_EQ(sysGet(SysVar::TRACE), c.trace) << c.cmdline;
        RuntimeClose();
    }
}

TEST_F(Startup, CommandLineOptionsAnswerMacroNames) {
    ASSERT_EQ(RuntimeInit(record("prog.exe /TRACE=8 /MODE='Admin'")), 0);
    StrScope s;
    EXPECT_EQ(show(MacroExpand(StrView("t[TRACE]-[MODE]"), MACRO_PLAIN | MACRO_NAMES)), "t8-Admin");
}

TEST_F(Startup, IdentityFromApnameOrTheRecord) {
    InitRecord r = record("prog.exe /APNAME=xyz1", 0);
    ASSERT_EQ(RuntimeInit(r), 0);
    EXPECT_EQ(show(EnvGet(envstr::APNAME)), "XYZ1:");
    EXPECT_EQ(show(EnvGet(envstr::APDESC)), "Test description");
    EXPECT_EQ(show(AppPrefix()), "XY");
    // The first folder set-up made the data and help folders.
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "");  // "prog.exe" has no folder
    RuntimeClose();

    SetUp();
    r = record("\\apps\\bin\\prog.exe", 0);
    r.appName = StrView("AB01");
    ASSERT_EQ(RuntimeInit(r), 0);
    EXPECT_EQ(show(EnvGet(envstr::APNAME)), "AB01:");
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "\\apps\\bin");
    EXPECT_EQ(show(EnvGet(envstr::HELPPATH)), "\\apps\\bin\\Help");
}

TEST_F(Startup, ExitCodeRule) {
    struct Case {
        ErrCode menu, callback, shutdown;
        int exit;
    };
    const Case cases[] = {
        {0, 0, 0, 0},       {130, 0, 0, 130},     {130, 162, 145, 130}, {0, 162, 145, 162},
        {0, 0, 145, 145},   {122, 162, 0, 0},     {127, 0, 0, 0},       {0, 10, 145, 0},
        {0, 0, 10, 0},      {128, 0, 0, 128},     {65535, 0, 0, 65535},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExitCodeOf(c.menu, c.callback, c.shutdown), c.exit) << c.menu << "," << c.callback << "," << c.shutdown;
}

TEST_F(Startup, MenuAndShutdownResultsBecomeTheExitCode) {
    RuntimeMenuRunner(&recordingMenu);
    g_menuAnswer = 131;
    EXPECT_EQ(RuntimeMain(record("prog.exe")), 131);
    SetUp();
    RuntimeMenuRunner(&recordingMenu);
    g_menuAnswer = 122;  // a cancelled menu is no error
    g_answers = {0, 0, 140};
    EXPECT_EQ(RuntimeMain(record("prog.exe")), 0);
    SetUp();
    g_answers = {0, 0, 140};  // no menu runner: the shutdown callback decides
    EXPECT_EQ(RuntimeMain(record("prog.exe")), 140);
    EXPECT_EQ(g_seen.size(), 3u);
}

TEST_F(Startup, FailureAbove121IsShownAndReturned) {
    g_answers = {0, err::SQLERROR};
    RuntimeMenuRunner(&recordingMenu);
    int code = RuntimeMain(record("prog.exe"));
    EXPECT_EQ(code, err::SQLERROR);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Error ", 0), 0u) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("SQLERROR"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].title, "Fatal Error Ocurred");
    EXPECT_EQ(g_menuFile, "");  // no menu ran
    EXPECT_EQ(g_menuAuxstat, 0);
}

ErrCode loginFails(std::uint32_t code, StrDesc) {
    if ((code & 15) != APPCB_PHASE_CONFIGURED || code >= 65536) return 0;
    return ErrorDetail(err::SQLERROR, StrView("no server"));
}

TEST_F(Startup, AnAcceptedMissingDictionaryLeavesNothingForALaterError) {
    InitRecord r = record("prog.exe /APNAME=ZZ01", 6);
    r.callback = &loginFails;
    EXPECT_EQ(RuntimeMain(r), err::SQLERROR);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error SQLERROR: no server");
}

TEST_F(Startup, WarningsEndStartUpWithoutABox) {
    // Start-up ends without a menu; below 128 the exit code is 0.
    RuntimeMenuRunner(&recordingMenu);
    g_answers = {0, 100};
    EXPECT_EQ(RuntimeMain(record("prog.exe")), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(g_menuAuxstat, 0);
    EXPECT_EQ(g_seen.back().code, APPCB_SHUTDOWN);
    // 122 (a cancelled login) is above 121: shown as an information box.
    SetUp();
    RuntimeMenuRunner(&recordingMenu);
    g_answers = {0, err::USERCANCELED};
    EXPECT_EQ(RuntimeMain(record("prog.exe")), 0);
    EXPECT_EQ(g_menuAuxstat, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "User Canceled");
    SetUp();
    g_answers = {err::FILEIO};  // a failing first phase stops before the second
    EXPECT_EQ(RuntimeMain(record("prog.exe")), err::FILEIO);
    ASSERT_GE(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].code, 6u * 16 + 1);
    for (const Seen& s : g_seen) EXPECT_NE(s.code, 6u * 16 + 2);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Startup, TooLongCommandLineFailsStartUp) {
    std::string huge(70000, 'x');
    const char* argv[] = {"prog", huge.c_str()};
    InitRecord r = record("");
    r.argc = 2;
    r.argv = argv;
    EXPECT_EQ(RuntimeMain(r), err::BADCOMMANDLINE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("BADCOMMANDLINE"), std::string::npos) << boxes[0].text;
}

TEST_F(Startup, DictionaryFailureWithoutTheOptionalFlag) {
    // Flag 2 alone: no dictionary file for the id, also not in the
    // applications folder (DPATH), ends start-up with 164.
    int code = RuntimeMain(record("prog.exe /APNAME=ZZ01 /DPATH=apps", 2));
    EXPECT_EQ(code, err::FILENOTFOUND);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("ZZDICC.DAT"), std::string::npos) << boxes[0].text;
    for (const Seen& s : g_seen) EXPECT_NE(s.code, 2u * 16 + 2);
    // Without an id nothing is loaded (156), the second phase still runs and
    // its result is the result.
    SetUp();
    EXPECT_EQ(RuntimeInit(record("prog.exe", 2)), 0);
    EXPECT_EQ(g_seen.back().code, 2u * 16 + 2);
    RuntimeClose();
    // With flag 4 both are no error; the retry switched to the applications folder.
    SetUp();
    EXPECT_EQ(RuntimeInit(record("prog.exe /APNAME=ZZ01 /DPATH='D:\\apps'", 6)), 0);
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "D:\\apps");
    EXPECT_TRUE(boxes.empty());
}

// A dictionary file: two tables with one field each.
std::string dictionaryText() {
    return "01**00Clients\r\n"
           "01       010 AC_NAME\r\n"
           "01**00ORDERS\r\n"
           "01       008 DO_DATE\r\n";
}

// The value of an integer variable (0 when absent).
std::int64_t integerVariable(const char* name) {
    StrScope s;
    std::int64_t v = 0;
    if (varGet(StrView(name)) || !numRead(StrTop(), v)) return -1;
    return v / numScale();
}

TEST_F(Startup, DictionaryTablesBecomeVariablesHoldingTheirNumbers) {
    dir.write("ZZDICC.DAT", dictionaryText());
    ASSERT_EQ(RuntimeInit(record("prog.exe /APNAME=ZZ01", 2)), 0);
    EXPECT_EQ(tableCount(), 2);
    EXPECT_EQ(integerVariable("clients"), 1);
    EXPECT_EQ(integerVariable("orders"), 2);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Startup, DictionaryIsTriedOnceMoreInTheApplicationsFolder) {
    dir.write("apps/ZZDICC.DAT", dictionaryText());
    ASSERT_EQ(RuntimeInit(record("prog.exe /APNAME=ZZ01 /DPATH='apps'", 2)), 0);
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "apps");
    EXPECT_EQ(tableCount(), 2);
    EXPECT_EQ(integerVariable("orders"), 2);
}

TEST_F(Startup, MalformedDictionaryIsAnErrorWhenItIsTheLastTry) {
    // Malformed in the applications folder: the final failure is 163, shown
    // and returned even with the optional flag.
    dir.write("apps/ZZDICC.DAT", "01**00Clients\r\n01 bad\r\n");
    EXPECT_EQ(RuntimeMain(record("prog.exe /APNAME=ZZ01 /DPATH='apps'", 6)), err::BADINPUTDATA);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("ZZDICC.DAT"), std::string::npos) << boxes[0].text;
    for (const Seen& seen : g_seen) EXPECT_NE(seen.code, 6u * 16 + 2);
    // Malformed in the data folder only: the retry finds no file (164), which
    // the optional flag accepts; what the failed load defined is gone.
    SetUp();
    dir.write("ZZDICC.DAT", "01**00Clients\r\n01 bad\r\n");
    EXPECT_EQ(RuntimeInit(record("prog.exe /APNAME=ZZ01 /DPATH='none'", 6)), 0);
    EXPECT_EQ(tableCount(), 0);
}

TEST_F(Startup, FontFileDefinesTheFontInUse) {
    FontDefine(24, 12, 400, StrView("Lucida Console"));
    dir.write("VKFONT.PPN", "20;10;Bold Italic;  Courier New  \r\n16;8;;Other\r\n");  // any case of "BOLD"
    ASSERT_EQ(RuntimeInit(record("prog.exe")), 0);
    FontEntry e;
    ASSERT_TRUE(FontCurrent(e));
    EXPECT_EQ(FontCount(), 2);
    EXPECT_EQ(e.height, 20);
    EXPECT_EQ(e.width, 10);
    EXPECT_EQ(e.weight, 700);
    EXPECT_STREQ(e.face, "Courier New");
    RuntimeClose();
    // Without the file only the entry point's font exists.
    SetUp();
    std::filesystem::remove(dir.path() / "VKFONT.PPN");
    FontDefine(24, 12, 400, StrView("Lucida Console"));
    ASSERT_EQ(RuntimeInit(record("prog.exe")), 0);
    EXPECT_EQ(FontCount(), 1);
}

TEST_F(Startup, StartMenuFileUnderItsPlainName) {
    dir.write("TRMENU.PMT", "Menu\r\n\tItem,Help\r\n");
    RuntimeMenuRunner(&recordingMenu);
    InitRecord r = record("prog.exe /APNAME=TRW01Q");
    r.startMenu = StrView("Compiled\r\n");
    EXPECT_EQ(RuntimeMain(r), 0);
    EXPECT_EQ(g_menuFile, "TRMENU");
    EXPECT_EQ(g_menuText, "Compiled\r\n");
    SetUp();
    RuntimeMenuRunner(&recordingMenu);
    EXPECT_EQ(RuntimeMain(record("prog.exe /APNAME=XY")), 0);
    EXPECT_EQ(g_menuFile, "");
}

TEST_F(Startup, DatabaseStartLogsInSelectsTheFoldersAndRunsTheParameterFiles) {
    REQUIRE_DATABASE(info, "startup_dbstart");
    adminExec(info, "CREATE TABLE \"Sales\" (region char(4), month integer, amount numeric(12,2), "
                    "PRIMARY KEY (region, month))");
    const std::string host = env("PGHOST");
    dir.write(host + "/startup_dbstart/data/TRPARINI." + host + ".DAT", "A#=7\r\nB$='parini'\r\n");
    dir.write(host + "/startup_dbstart/data/TRCLCFIX." + host + ".startup_dbstart.DAT", "C#=A#*2\r\n");
    std::string line = "prog.exe /APNAME=TRW01Q";
    for (const std::string& key : loginKeys("startup_dbstart", env("PGPASSWORD"))) line += " " + key;
    ASSERT_EQ(RuntimeInit(record(line.c_str())), 0);
    EXPECT_EQ(AppDatabaseStart(), 0) << show(ErrorDetailGet());
    EXPECT_TRUE(sysTest(SysVar::AUXSTAT, 2048));
    EXPECT_EQ(show(EnvGet(envstr::DATABASE)),
              "'" + host + "','startup_dbstart','" + env("PGUSER") + "','" + env("PGPASSWORD") + "'");
    EXPECT_EQ(std::filesystem::current_path(), dir.path() / host / "startup_dbstart" / "datas");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / host / "startup_dbstart" / "data"));
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "..\\data");
    // The catalogue filled the empty dictionary.
    ASSERT_EQ(tableCount(), 1u);
    EXPECT_EQ(show(tableName(1)), "Sales");
    EXPECT_EQ(evalInteger(StrView("Sales")), 1);
    EXPECT_EQ(keyLength(1, 1, 0), 4 + 32);
    // The parameter files ran in the data folder.
    EXPECT_EQ(evalInteger(StrView("C#")), 14);
    StrScope scope;
    EXPECT_EQ(show(evalText(StrView("B$"))), "parini");
}

TEST_F(Startup, DatabaseStartWithoutLoginSelectsNoFolder) {
    ASSERT_EQ(RuntimeInit(record("prog.exe")), 0);
    // No keys and no "sqlparams.dat": nothing to log in with, and no screen.
    EXPECT_EQ(AppDatabaseStart(), err::USERCANCELED);
    EXPECT_EQ(std::filesystem::current_path(), dir.path());
    EXPECT_FALSE(sysTest(SysVar::AUXSTAT, 2048 | 1024));
}

TEST_F(Startup, TrendorConfiguredPhaseStoresItsIdentity) {
    // Without database keys the login is cancelled; the rest is done in any case.
    const char* argv[] = {"/opt/trendor/bin/trendor", "/TRACE=8"};
    InitRecord r = TrendorInitRecord(2, argv);
    EXPECT_EQ(RuntimeInit(r), err::USERCANCELED);
    EXPECT_EQ(show(EnvGet(envstr::APNAME)), "TRW01Q:Trendor");
    EXPECT_EQ(show(AppPrefix()), "TR");
    EXPECT_EQ(show(EnvGet(envstr::APDESC)), "Graphical SQL viewer for Windows");
    EXPECT_EQ(show(EnvGet(envstr::HELPPATH)), "\\opt\\trendor\\bin");
    EXPECT_EQ(sysTest(SysVar::UPSTAT, 64), 1);
    EXPECT_EQ(sysGet(SysVar::TRACE), 9);
    EXPECT_EQ(TrendorCallback(APPCB_SHUTDOWN, StrView("")), 0);
    EXPECT_EQ(AppTask((19u << 16) + 0, StrView("A#=1")), 0);  // other kinds are accepted without action
}

TEST_F(Startup, TrendorLogsInAtStartUpAndDisconnectsAtShutdown) {
    REQUIRE_DATABASE(info, "startup_trendor");
    adminExec(info, "CREATE TABLE clients (code integer PRIMARY KEY)");
    struct Case {
        std::string password;
        ErrCode result;
    };
    const Case cases[] = {{env("PGPASSWORD"), 0}, {"wrong", err::SQLERROR}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        SetUp();
        std::vector<std::string> keys = loginKeys("startup_trendor", c.password);
        std::vector<const char*> argv = {"/opt/trendor/bin/trendor"};
        for (const std::string& key : keys) argv.push_back(key.c_str());
        InitRecord r = TrendorInitRecord(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(RuntimeInit(r), c.result) << show(ErrorDetailGet());
        EXPECT_EQ(show(EnvGet(envstr::APNAME)), "TRW01Q:Trendor");
        EXPECT_EQ(sysTest(SysVar::UPSTAT, 64), 1);
        EXPECT_EQ(sysTest(SysVar::AUXSTAT, 2048) != 0, c.result == 0);
        EXPECT_EQ(tableCount(), c.result == 0 ? 1u : 0u);
        if (c.result) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_NE(boxes[0].text.find("password authentication failed"), std::string::npos) << boxes[0].text;
            EXPECT_EQ(std::filesystem::current_path(), dir.path());
        } else {
            EXPECT_TRUE(boxes.empty()) << boxes[0].text;
            EXPECT_EQ(std::filesystem::current_path(), dir.path() / env("PGHOST") / "startup_trendor" / "datas");
        }
        EXPECT_EQ(TrendorCallback(APPCB_SHUTDOWN, StrView("")), 0);
        EXPECT_FALSE(sysTest(SysVar::AUXSTAT, 2048));
        RuntimeClose();
        std::filesystem::current_path(dir.path());
    }
}

}  // namespace

namespace {

TEST(WindowSystem, ChosenFromThePlatformVariables) {
    struct Case {
        const char* qpa;
        const char* display;
        const char* wayland;
        bool windows;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, false}, {nullptr, "", "", false},       {nullptr, ":0", nullptr, true},
        {nullptr, nullptr, "wayland-0", true}, {"offscreen", ":0", nullptr, false}, {"minimal", nullptr, nullptr, false},
        {"xcb", nullptr, nullptr, true},    {"", ":1", nullptr, true},
    };
    auto put = [](const char* name, const char* v) { v ? setenv(name, v, 1) : unsetenv(name); };
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    std::string saved[3];
    bool had[3];
    for (int i = 0; i < 3; ++i) {
        const char* v = std::getenv(names[i]);
        had[i] = v != nullptr;
        saved[i] = v ? v : "";
    }
    for (const Case& c : cases) {
        put("QT_QPA_PLATFORM", c.qpa);
        put("DISPLAY", c.display);
        put("WAYLAND_DISPLAY", c.wayland);
        EXPECT_EQ(WindowSystemAvailable(), c.windows)
            << (c.qpa ? c.qpa : "-") << " " << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-");
    }
    for (int i = 0; i < 3; ++i) put(names[i], had[i] ? saved[i].c_str() : nullptr);
}

}  // namespace
