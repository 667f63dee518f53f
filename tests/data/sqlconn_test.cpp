// The SQL connection against the throwaway server: logins from keys, files and
// the login screen, connection strings, statements and their results, result
// slots, the asynchronous form, the catalogue, literals and messages.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "tests/support/pg_test.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

constexpr auto env = testsupport::envOr;

// The test server's admin connection, able to make login roles.
class Admin : public testsupport::PgAdmin {
public:
    using PgAdmin::PgAdmin;
    // A login role with this password (dropped first when it exists).
    void role(const std::string& name, const std::string& password) {
        exec("DROP ROLE IF EXISTS " + name);
        exec("CREATE ROLE " + name + " LOGIN PASSWORD " + literal(password));
    }
};

class Sql : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(dictionaryReset(), 0);
        ASSERT_EQ(evalInit(), 0);
        loginDialogSet(nullptr);
    }
    void TearDown() override {
        SqlShutdown();
        loginDialogSet(nullptr);
        evalShutdown();
        varShutdown();
        RuntimeTest::TearDown();
    }
    ErrCode connectAs(const std::string& db, const std::string& user, const std::string& password,
                      std::uint16_t flags = 0) {
        std::string host = env("PGHOST");
        return connect(StrView(host), StrView(db), StrView(user), StrView(password), flags);
    }
    ErrCode connectTo(const std::string& db, std::uint16_t flags = 0) {
        return connectAs(db, env("PGUSER"), env("PGPASSWORD"), flags);
    }
    // The first value of a one-row query run through the runtime.
    std::string scalar(const std::string& sql) {
        if (execute(StrView(sql)) != 0) return "<failed: " + show(ErrorDetailGet()) + ">";
        return show(resultValue(0, 0));
    }
    std::uint16_t current() const { return static_cast<std::uint16_t>(sysGet(SysVar::SQLSTK)); }
    bool connectedFlag() const { return sysTest(SysVar::AUXSTAT, 2048); }
    void setCommandLine(const std::string& text) { AreaSet(area::ENV, 1, StrView(text)); }

    testsupport::TempDir dir;
};

// ---- Login -------------------------------------------------------------------------------

TEST_F(Sql, LoginReadsSqlparamsDatAndStoresTheParameterString) {
    REQUIRE_DATABASE(info, "sqlconn_file");
    dir.write("sqlparams.dat", "sqlhost=" + env("PGHOST") + "\r\ndatabase='sqlconn_file'\r\n\r\nuser='" + env("PGUSER") +
                                   "'\nPASSW=wrong\npassw='" + env("PGPASSWORD") + "'\n");
    ASSERT_EQ(login(StrView("sqlparams.dat"), 0), 0) << show(ErrorDetailGet());
    EXPECT_TRUE(connectedFlag());
    EXPECT_EQ(scalar("SELECT current_database()"), "sqlconn_file");
    EXPECT_EQ(show(AreaGet(area::ENV, 11)),
              "'" + env("PGHOST") + "','sqlconn_file','" + env("PGUSER") + "','" + env("PGPASSWORD") + "'");

    // A second login goes to a new slot and to environment string 12; the file
    // is also found in the data folders.
    std::filesystem::create_directory(dir.path() / "conf");
    std::filesystem::rename(dir.path() / "sqlparams.dat", dir.path() / "conf" / "sqlparams.dat");
    AreaSet(area::ENV, 5, StrView("missing,conf"));
    ASSERT_EQ(login(StrView("sqlparams.dat"), 0), 0) << show(ErrorDetailGet());
    EXPECT_EQ(current(), 1);
    EXPECT_EQ(show(AreaGet(area::ENV, 12)), show(AreaGet(area::ENV, 11)));
}

TEST_F(Sql, CommandLineKeysWinOverSqlparamsDat) {
    REQUIRE_DATABASE(info, "sqlconn_keys");
    dir.write("sqlparams.dat", "sqlhost=" + env("PGHOST") + "\ndatabase='no_such_db'\nuser='nobody'\npassw='x'\n");
    // "SQLHOST" is found on the retry with the name's case changed.
    setCommandLine("trendor /SQLHOST=" + env("PGHOST") + " /database='sqlconn_keys' /user='" + env("PGUSER") +
                   "' /passw='" + env("PGPASSWORD") + "'");
    ASSERT_EQ(login(StrView("sqlparams.dat"), 0), 0) << show(ErrorDetailGet());
    EXPECT_EQ(scalar("SELECT current_database()"), "sqlconn_keys");
}

TEST_F(Sql, MissingParameterFileWithoutLoginScreenEndsCancelled) {
    EXPECT_EQ(login(StrView("sqlparams.dat"), 0), err::USERCANCELED);
    EXPECT_EQ(show(ErrorDetailGet()), "sqlparams.dat");
    EXPECT_FALSE(connectedFlag());
}

TEST_F(Sql, WithoutLoginScreenARefusedConnectionEndsTheLogin) {
    REQUIRE_DATABASE(info, "sqlconn_refused");
    const std::string wrong = "'" + env("PGHOST") + "','sqlconn_refused','" + env("PGUSER") + "','wrong'";
    setCommandLine("trendor /sqlhost=" + env("PGHOST") + " /database='sqlconn_refused' /user='" + env("PGUSER") +
                   "' /passw='wrong'");
    for (const std::string& source : {wrong, std::string("sqlparams.dat")}) {
        SCOPED_TRACE(source);
        ErrorRecordClear();
        EXPECT_EQ(login(StrView(source), 0), err::SQLERROR);
        EXPECT_EQ(ErrorRecordContext(), ctx::SQLCONNECT);
        EXPECT_NE(show(ErrorDetailGet()).find("password authentication failed"), std::string::npos)
            << show(ErrorDetailGet());
        EXPECT_FALSE(connectedFlag());
    }
}

// The login screen stand-in: records what it was shown and answers from a script.
struct ScreenScript {
    std::vector<std::string> shown;
    std::vector<std::string> answers;  // "" = cancel
};
ScreenScript g_screen;

ErrCode scriptedScreen(StrDesc title, StrDesc spec, StrDesc* answer) {
    g_screen.shown.push_back(title.str() + "|" + spec.str());
    std::size_t n = g_screen.shown.size() - 1;
    if (n >= g_screen.answers.size() || g_screen.answers[n].empty()) return err::USERCANCELED;
    StrPush(StrView(g_screen.answers[n]));
    *answer = StrTop();
    return 0;
}

TEST_F(Sql, FailedLoginAsksTheScreenAndTriesEachAnswer) {
    REQUIRE_DATABASE(info, "sqlconn_screen");
    g_screen = {};
    std::string good = "'" + env("PGHOST") + "','sqlconn_screen','" + env("PGUSER") + "','" + env("PGPASSWORD") + "'";
    g_screen.answers = {"'" + env("PGHOST") + "','sqlconn_screen','" + env("PGUSER") + "','wrong'", good};
    loginDialogSet(scriptedScreen);
    StrMarkT m = StrMark();
    ASSERT_EQ(login(StrView("sqlparams.dat"), 12), 0) << show(ErrorDetailGet());
    EXPECT_EQ(StrMark(), m);
    ASSERT_EQ(g_screen.shown.size(), 2u);
    EXPECT_EQ(g_screen.shown[0],
              "Database access|'Host:':'A30'::'localhost','Database:':'A30'::,'User:':'A30'::,"
              "'Password:':'P30'::,'Remember (Y/N):':'L1'");
    EXPECT_EQ(show(AreaGet(area::ENV, 11)), good);
    EXPECT_EQ(scalar("SELECT current_database()"), "sqlconn_screen");
}

struct RememberCase {
    std::uint16_t flags;
    const char* file;  // null: no remembered login
};

class SqlRemember : public Sql, public ::testing::WithParamInterface<RememberCase> {};

TEST_P(SqlRemember, RememberedLoginIsWrittenForItsOwnerAndOfferedNextTime) {
    const RememberCase& c = GetParam();
    const std::string db = "sqlconn_remember" + std::to_string(c.flags);  // cases run in parallel
    REQUIRE_DATABASE(info, db);
    for (const char* name : {"sqlusrprm.dat", "sqladmprm.dat", "slqusrpr2.dat"}) {
        dir.write(name, "'old','values'");
        ::chmod((dir.path() / name).c_str(), 0644);
    }
    g_screen = {};
    loginDialogSet(scriptedScreen);
    std::string answer = "'" + env("PGHOST") + "','" + db + "','" + env("PGUSER") + "','bad pw','Y'";
    EXPECT_EQ(login(StrView(answer), c.flags), err::USERCANCELED);
    ASSERT_EQ(g_screen.shown.size(), 1u);
    if (!c.file) {
        EXPECT_NE(g_screen.shown[0].find("'Host:':'A30'::'localhost','Database:':'A30'::,"), std::string::npos)
            << g_screen.shown[0];
        EXPECT_EQ(dir.read("sqlusrprm.dat"), "'old','values'");
        return;
    }
    EXPECT_EQ(dir.read(c.file), answer);
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / c.file).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(g_screen.shown[0], "Database access|'Host:':'A30'::'" + env("PGHOST") +
                                     "','Database:':'A30'::'" + db + "','User:':'A30'::'" + env("PGUSER") +
                                     "','Password:':'P30'::'bad pw','Remember (Y/N):':'L1'");
}

INSTANTIATE_TEST_SUITE_P(FilesByFlags, SqlRemember,
                         ::testing::Values(RememberCase {0, "sqlusrprm.dat"}, RememberCase {4, "sqladmprm.dat"},
                                           RememberCase {8, "slqusrpr2.dat"}, RememberCase {12, nullptr}),
                         [](const auto& info) { return "Flags" + std::to_string(info.param.flags); });

TEST_F(Sql, LoginNotRememberedLeavesTheFileAlone) {
    REQUIRE_DATABASE(info, "sqlconn_noremember");
    dir.write("sqlusrprm.dat", "'keep'");
    std::string p = "'" + env("PGHOST") + "','sqlconn_noremember','" + env("PGUSER") + "','" + env("PGPASSWORD") + "','N'";
    ASSERT_EQ(login(StrView(p), 0), 0);
    EXPECT_EQ(dir.read("sqlusrprm.dat"), "'keep'");
    EXPECT_EQ(show(AreaGet(area::ENV, 11)), p);
}

// ---- Connections ---------------------------------------------------------------------------

TEST_F(Sql, PasswordsAreEscapedAndNeverInjectKeywords) {
    REQUIRE_DATABASE(info, "sqlconn_pw");
    Admin admin(info);
    ASSERT_TRUE(admin.ok());
    struct Case {
        const char* role;
        std::string password;
    };
    const Case cases[] = {{"sqlconn_odd", "a'b\\c d"}, {"sqlconn_inject", "x' dbname='postgres"}, {"sqlconn_tail", "pw\\"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.role);
        admin.role(c.role, c.password);
        ASSERT_EQ(connectAs("sqlconn_pw", c.role, c.password), 0) << show(ErrorDetailGet());
        EXPECT_EQ(scalar("SELECT current_user || ' ' || current_database()"), std::string(c.role) + " sqlconn_pw");
        disconnect();
    }
    // The same password through a parameter string and through "sqlparams.dat".
    std::string p = "'" + env("PGHOST") + "','sqlconn_pw','sqlconn_odd',\"a'b\\c d\"";
    ASSERT_EQ(login(StrView(p), 0), 0) << show(ErrorDetailGet());
    disconnect();
    dir.write("sqlparams.dat", "sqlhost=" + env("PGHOST") + "\ndatabase='sqlconn_pw'\nuser='sqlconn_odd'\npassw=\"a'b\\c d\"\n");
    ASSERT_EQ(login(StrView(""), 0), err::USERCANCELED);  // an empty source goes to the screen
    ASSERT_EQ(login(StrView("sqlparams.dat"), 0), 0) << show(ErrorDetailGet());
    EXPECT_EQ(scalar("SELECT current_user"), "sqlconn_odd");
}

TEST_F(Sql, EmptyUserConnectsAsGuest) {
    REQUIRE_DATABASE(info, "sqlconn_guest");
    Admin admin(info);
    admin.role("guest", "guest pw");
    ASSERT_EQ(connectAs("sqlconn_guest", "", "guest pw"), 0) << show(ErrorDetailGet());
    EXPECT_EQ(scalar("SELECT current_user"), "guest");
}

TEST_F(Sql, FailedConnectIsSqlErrorWithTheServerMessage) {
    REQUIRE_DATABASE(info, "sqlconn_fail");
    EXPECT_EQ(connectAs("sqlconn_fail", env("PGUSER"), "not the password"), err::SQLERROR);
    EXPECT_EQ(ErrorRecordCode(), err::SQLERROR);
    EXPECT_EQ(ErrorRecordContext(), ctx::SQLCONNECT);
    EXPECT_NE(show(ErrorDetailGet()).find("password authentication failed"), std::string::npos)
        << show(ErrorDetailGet());
    EXPECT_FALSE(slotConnected(0));
    EXPECT_FALSE(connectedFlag());
    EXPECT_EQ(run(StrView("SELECT 1")), err::SQLERROR);
    EXPECT_NE(show(ErrorDetailGet()).find("SQL Connection Fail"), std::string::npos);
}

TEST_F(Sql, ConnectionsTakeFreeSlotsAndDisconnectMovesDown) {
    REQUIRE_DATABASE(info, "sqlconn_slots8");
    for (std::uint16_t i = 0; i < SQL_SLOTS; ++i) {
        ASSERT_EQ(connectTo("sqlconn_slots8"), 0);
        EXPECT_EQ(current(), i);
    }
    EXPECT_EQ(connectTo("sqlconn_slots8"), err::OUTOFMEMORY);
    disconnect();  // slot 7
    EXPECT_EQ(current(), 6);
    sysSet(SysVar::SQLSTK, 3);
    disconnect();  // slot 3: down to 2
    EXPECT_EQ(current(), 2);
    EXPECT_FALSE(slotConnected(3));
    ASSERT_EQ(connectTo("sqlconn_slots8"), 0);  // slot 2 is taken: the first free one
    EXPECT_EQ(current(), 3);
    for (std::uint16_t s = 0; s < SQL_SLOTS; ++s) {
        if (!slotConnected(s)) continue;
        sysSet(SysVar::SQLSTK, static_cast<std::int16_t>(s));
        disconnect();
    }
    EXPECT_FALSE(connectedFlag());

    // A result slot holds a copy of the connection: closing it there closes it everywhere.
    ASSERT_EQ(connectTo("sqlconn_slots8"), 0);
    ASSERT_EQ(run(StrView("SELECT generate_series(1,3)")), 0);
    EXPECT_EQ(current(), 1);
    disconnect();
    EXPECT_FALSE(slotConnected(0));
    EXPECT_FALSE(slotConnected(1));
    EXPECT_EQ(current(), 0);
    EXPECT_FALSE(connectedFlag());
    EXPECT_EQ(run(StrView("SELECT 1")), err::SQLERROR);
}

TEST_F(Sql, RowsAndMessagesArriveAsWindows1252) {
    REQUIRE_DATABASE(info, "sqlconn_enc");
    Admin admin(info);
    ASSERT_EQ(connectTo("sqlconn_enc"), 0);
    ASSERT_EQ(run(StrView("CREATE TABLE t(v text)")), 0);
    ASSERT_EQ(run(StrView("INSERT INTO t VALUES ('caf\xE9')")), 0) << show(ErrorDetailGet());
    EXPECT_EQ(scalar("SELECT v FROM t"), "caf\xE9");
    EXPECT_EQ(admin.column("SELECT v FROM t"), std::vector<std::string> {"caf\xC3\xA9"});  // stored as UTF-8
    EXPECT_EQ(run(StrView("SELECT * FROM \"tabl\xE9\"")), err::SQLERROR);
    EXPECT_NE(show(ErrorDetailGet()).find("\"tabl\xE9\""), std::string::npos) << show(ErrorDetailGet());
}

// ---- Statements -------------------------------------------------------------------------------

TEST_F(Sql, ExecuteGivesDoneNoRowSqlErrorAndDataExist) {
    REQUIRE_DATABASE(info, "sqlconn_exec");
    ASSERT_EQ(connectTo("sqlconn_exec"), 0);
    using namespace std::string_literals;
    struct Case {
        std::string statement;
        ErrCode code;
        std::uint64_t rows;
        const char* message;  // expected start of the repaired message, null: not checked
    };
    const Case cases[] = {
        {"CREATE TABLE k(id int PRIMARY KEY, name text)", 0, 0, nullptr},
        {"INSERT INTO k VALUES (1,'a'),(2,'b'),(3,'c')", 0, 3, nullptr},
        {"UPDATE k SET name='z' WHERE id>1", 0, 2, nullptr},
        {"SELECT * FROM k WHERE id=1", 0, 1, nullptr},
        {"SELECT * FROM k WHERE id=9", 2, 0, nullptr},
        {"DELETE FROM k WHERE id=9", 0, 0, nullptr},
        {"INSERT INTO k VALUES (2,'again')", err::DATAEXIST, 0,
         "ERROR:  duplicate key value violates unique constraint \"k_pkey\"\nDETAIL:  Key (id)=(2) already exists\r\n"},
        {"CREATE TYPE mood AS ENUM ('up')", 0, 0, nullptr},
        {"CREATE TYPE mood AS ENUM ('down')", err::DATAEXIST, 0, "ERROR:  type \"mood\" already exists\r\n"},
        {"CREATE TABLE k(id int)", err::SQLERROR, 0, "ERROR:  relation \"k\" already exists\r\n"},
        {"SELECT nothing FROM k", err::SQLERROR, 0, "ERROR:  column \"nothing\" does not exist"},
        // A NUL would cut the statement short: it is refused, never sent.
        {"INSERT INTO k VALUES (5, 'x\0y')"s, err::SQLERROR, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        ErrorRecordClear();
        std::uint64_t rows = 99;
        EXPECT_EQ(execute(StrView(c.statement), -1, &rows), c.code);
        EXPECT_EQ(rows, c.rows);
        if (c.code >= 128) {
            EXPECT_EQ(ErrorRecordCode(), c.code);
            EXPECT_EQ(ErrorRecordContext(), ctx::SQLEXEC);
            std::string detail = show(ErrorDetailGet());
            EXPECT_EQ(detail.rfind(c.message, 0), 0u) << detail;
            EXPECT_EQ(detail.substr(detail.size() - std::min(detail.size(), c.statement.size())), c.statement);
        }
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM k"), "3");  // the NUL statement was never sent
}

struct TraceCase {
    std::int16_t trace;
    bool done, failed;
};

class SqlTrace : public Sql, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(SqlTrace, StatementsAreTracedAtLevelFourAndFailuresAtSix) {
    const std::string db = "sqlconn_trace" + std::to_string(GetParam().trace);  // cases run in parallel
    REQUIRE_DATABASE(info, db);
    AreaSet(area::WORK, area::WORK_LOGPATH, StrView("trace.txt"));
    sysSet(SysVar::TRACE, GetParam().trace);
    ASSERT_EQ(connectTo(db), 0);
    run(StrView("SELECT 1"));
    run(StrView("SELECT broken"));
    std::string log = dir.read("trace.txt");
    std::string connectLine = "dbname = '" + db + "' host = '" + env("PGHOST") + "' user = '" + env("PGUSER") +
                              "' password = '********' 0\r\n";
    EXPECT_EQ(log, (GetParam().done ? connectLine + "SELECT 1\r\n" : "") +
                       (GetParam().failed ? "SELECT broken\r\n" : std::string()));
}

INSTANTIATE_TEST_SUITE_P(TraceBits, SqlTrace,
                         ::testing::Values(TraceCase {1, false, false}, TraceCase {2, false, true},
                                           TraceCase {4, true, true}, TraceCase {5, true, true}),
                         [](const auto& info) { return "Trace" + std::to_string(info.param.trace); });

TEST_F(Sql, ResultSlotsKeepMultiRowResultsApart) {
    REQUIRE_DATABASE(info, "sqlconn_results");
    ASSERT_EQ(connectTo("sqlconn_results"), 0);
    ASSERT_EQ(run(StrView("CREATE TABLE n AS SELECT g AS v FROM generate_series(1,5) g")), 0);

    EXPECT_EQ(scalar("SELECT 'base'"), "base");
    EXPECT_EQ(current(), 0);
    std::uint64_t rows = 0;
    ASSERT_EQ(execute(StrView("SELECT v FROM n ORDER BY v"), -1, &rows), 0);
    EXPECT_EQ(rows, 5u);
    EXPECT_EQ(current(), 1);
    EXPECT_EQ(resultRows(), 5u);

    // A single row replaces the base slot's result, not the five rows.
    EXPECT_EQ(scalar("SELECT 'single'"), "single");
    EXPECT_EQ(current(), 0);
    EXPECT_EQ(show(resultValue(4, 0, 1)), "5");
    EXPECT_EQ(current(), 1);
    EXPECT_EQ(baseSlot(), 0);

    // No row: code 2 and the base slot keeps its result.
    EXPECT_EQ(run(StrView("SELECT v FROM n WHERE v > 10")), 2);
    EXPECT_EQ(show(resultValue(0, 0, 0)), "single");
    EXPECT_EQ(show(resultValue(7, 0, 0)), "");
    EXPECT_EQ(show(resultValue(0, 3, 0)), "");

    // Slots 2..7 take further multi-row results, then there is no room.
    for (std::uint16_t s = 2; s < SQL_SLOTS; ++s) {
        ASSERT_EQ(run(StrView("SELECT v FROM n")), 0);
        EXPECT_EQ(current(), s);
    }
    EXPECT_EQ(newResultSlot(), SQL_NOSLOT);
    EXPECT_EQ(run(StrView("SELECT v FROM n")), err::DATAOUTBOUND);
    releaseResult(3);
    EXPECT_FALSE(slotHasResult(3));
    EXPECT_EQ(newResultSlot(), 3);
    ASSERT_EQ(run(StrView("SELECT v FROM n")), 0);
    EXPECT_EQ(current(), 3);

    // An explicit slot receives even a single row.
    releaseResult(6);
    ASSERT_EQ(execute(StrView("SELECT 'six'"), 6, nullptr), 0);
    EXPECT_EQ(current(), 6);
    EXPECT_EQ(show(resultValue(0, 0)), "six");
    EXPECT_EQ(show(resultValue(0, 0, 0)), "single");
}

TEST_F(Sql, SlotNumbersOfEightOrMoreAreRefusedAndLogged) {
    REQUIRE_DATABASE(info, "sqlconn_badslot");
    ASSERT_EQ(connectTo("sqlconn_badslot"), 0);
    for (std::int16_t bad : {8, 200, -1}) {
        sysSet(SysVar::SQLSTK, bad);
        EXPECT_EQ(run(StrView("SELECT 1")), err::INTERNALERROR);
        EXPECT_EQ(StrError(resultValue(0, 0)), err::INTERNALERROR);
        EXPECT_EQ(newResultSlot(), SQL_NOSLOT);
    }
    EXPECT_NE(dir.read("assertions.log").find("sqlControlFailure"), std::string::npos);
    sysSet(SysVar::SQLSTK, 0);
    EXPECT_EQ(scalar("SELECT 'still fine'"), "still fine");
}

TEST_F(Sql, AStatementReadAheadIsTakenOnceAndAnyOtherStatementDropsIt) {
    REQUIRE_DATABASE(info, "sqlconn_ahead");
    ASSERT_EQ(connectTo("sqlconn_ahead"), 0);
    ASSERT_EQ(run(StrView("CREATE SEQUENCE s")), 0);
    ASSERT_EQ(run(StrView("CREATE TABLE r AS SELECT 1 AS v")), 0);
    // Taken by the same text: the server ran it once, ahead of time.
    readAhead(StrView("SELECT nextval('s')"));
    EXPECT_EQ(scalar("SELECT nextval('s')"), "1");
    EXPECT_EQ(scalar("SELECT nextval('s')"), "2");
    // Any other statement waits for it and throws it away: the change shows.
    readAhead(StrView("SELECT v FROM r"));
    ASSERT_EQ(run(StrView("UPDATE r SET v = 2")), 0);
    EXPECT_EQ(scalar("SELECT v FROM r"), "2");
    // A second read-ahead replaces the first.
    readAhead(StrView("SELECT v + 10 FROM r"));
    readAhead(StrView("SELECT v + 20 FROM r"));
    EXPECT_EQ(scalar("SELECT v + 10 FROM r"), "12");
    // A failing statement fails when it is taken, with its message and text.
    readAhead(StrView("SELECT broken FROM r"));
    ErrorRecordClear();
    EXPECT_EQ(run(StrView("SELECT broken FROM r")), err::SQLERROR);
    std::string detail = show(ErrorDetailGet());
    EXPECT_NE(detail.find("column \"broken\" does not exist"), std::string::npos) << detail;
    EXPECT_NE(detail.find("SELECT broken FROM r"), std::string::npos) << detail;
    // Nothing is sent ahead into a failed transaction; the failure is reported as before.
    ASSERT_EQ(run(StrView("BEGIN")), 0);
    EXPECT_EQ(run(StrView("SELECT broken FROM r")), err::SQLERROR);
    readAhead(StrView("SELECT v FROM r"));
    EXPECT_EQ(run(StrView("SELECT v FROM r")), err::SQLERROR);
    ASSERT_EQ(run(StrView("ROLLBACK")), 0);
    // Closing the connection forgets it; a new connection works.
    readAhead(StrView("SELECT v FROM r"));
    disconnect();
    ASSERT_EQ(connectTo("sqlconn_ahead"), 0);
    EXPECT_EQ(scalar("SELECT v FROM r"), "2");
}

// ---- Asynchronous form --------------------------------------------------------------------------

std::vector<std::uint16_t> g_hookCalls;
int g_hookCancelAfter = -1;  // answer 122 on this poll (-1: never)

ErrCode recordingHook(StrDesc, std::uint16_t mode, void*) {
    g_hookCalls.push_back(mode);
    if (mode == 2 && g_hookCancelAfter >= 0 &&
        std::count(g_hookCalls.begin(), g_hookCalls.end(), 2) > g_hookCancelAfter)
        return err::USERCANCELED;
    return 0;
}

TEST_F(Sql, AsynchronousFormPollsTheHookUntilTheResultArrives) {
    REQUIRE_DATABASE(info, "sqlconn_async");
    ASSERT_EQ(connectTo("sqlconn_async"), 0);
    g_hookCalls.clear();
    g_hookCancelAfter = -1;
    ASSERT_EQ(hookSet(hook::SQLPROGRESS, recordingHook), 0);

    ASSERT_EQ(scalar("SELECT 'done' FROM pg_sleep(0.2)"), "done");
    ASSERT_GE(g_hookCalls.size(), 4u);
    EXPECT_EQ(g_hookCalls.front(), 0);
    EXPECT_EQ(g_hookCalls.back(), 1);
    EXPECT_TRUE(std::all_of(g_hookCalls.begin() + 1, g_hookCalls.end() - 1, [](std::uint16_t m) { return m == 2; }));

    std::uint64_t rows = 0;
    EXPECT_EQ(execute(StrView("CREATE TABLE a AS SELECT generate_series(1,4) AS v"), -1, &rows), 0);
    EXPECT_EQ(rows, 4u);
    EXPECT_EQ(run(StrView("SELECT v FROM a WHERE v > 9")), 2);
    EXPECT_EQ(run(StrView("INSERT INTO a VALUES ('text')")), err::SQLERROR);
    EXPECT_NE(show(ErrorDetailGet()).find("invalid input syntax"), std::string::npos);

    // The hook's answer ends the statement; the connection takes the next one.
    g_hookCalls.clear();
    g_hookCancelAfter = 1;
    EXPECT_EQ(run(StrView("SELECT pg_sleep(5)")), err::USERCANCELED);
    EXPECT_EQ(std::count(g_hookCalls.begin(), g_hookCalls.end(), 1), 0);
    g_hookCancelAfter = -1;
    EXPECT_EQ(scalar("SELECT 'next'"), "next");
    // A statement read ahead is waited for through the hook as well.
    g_hookCalls.clear();
    readAhead(StrView("SELECT 'ahead' FROM pg_sleep(0.1)"));
    EXPECT_EQ(scalar("SELECT 'ahead' FROM pg_sleep(0.1)"), "ahead");
    ASSERT_GE(g_hookCalls.size(), 2u);
    EXPECT_EQ(g_hookCalls.front(), 0);
    EXPECT_EQ(g_hookCalls.back(), 1);
    hookSet(hook::SQLPROGRESS, nullptr);
    EXPECT_EQ(scalar("SELECT 'sync'"), "sync");
}

// ---- Catalogue --------------------------------------------------------------------------------------

// What the dictionary holds of a table: "name type length" per field,
// "offset:length ..." per key.
struct DictTable {
    std::string name;
    std::vector<std::string> fields;
    std::vector<std::string> keys;
};

DictTable dictTable(std::uint16_t t) {
    DictTable out {show(tableName(t)), {}, {}};
    for (std::uint16_t f = 1; f <= fieldCount(t); ++f) {
        FieldDef d = fieldDef(t, f);
        out.fields.push_back(show(fieldName(t, f)) + " " + d.type + " " + std::to_string(d.length));
    }
    for (std::uint16_t k = 1; k <= keyCount(t); ++k) {
        KeyDef def;
        if (keyDef(t, k, def)) continue;
        std::string key;
        for (std::uint16_t i = 0; i < def.segmentCount; ++i)
            key += (i ? " " : "") + std::to_string(def.segments[i].offset) + ":" + std::to_string(def.segments[i].length);
        out.keys.push_back(key);
    }
    return out;
}

// The value of an integer variable (0 when absent).
std::int64_t variable(const std::string& name) { return evalInteger(StrView(name)); }

using SqlCatalogue = Sql;

TEST_F(SqlCatalogue, ThirtyFiveTablesRegisterTheFirstTwentyNineWithTypesAndKeys) {
    REQUIRE_DATABASE(info, "sqlconn_catalogue");
    Admin admin(info);
    std::string ddl;
    for (int i = 0; i < 35; ++i) {
        std::string t = "T" + std::to_string(100 + i);
        ddl += "CREATE TABLE \"" + t + "\" (code character(6) PRIMARY KEY, fecha character varying(8), amount numeric(10,2), "
               "qty integer, born date, note text, ratio double precision, \"Fec.x\" timestamp, small smallint);"
               "CREATE UNIQUE INDEX ON \"" + t + "\" (qty, amount);";
    }
    ddl += "CREATE TABLE plain (k integer);";  // no index: the default key
    admin.exec(ddl);
    std::vector<std::string> order =
        admin.column("SELECT table_name FROM information_schema.tables WHERE table_schema='public'");
    ASSERT_EQ(order.size(), 36u);

    ASSERT_EQ(connectTo("sqlconn_catalogue", 2), 0) << show(ErrorDetailGet());
    ASSERT_EQ(tableCount(), 29u);
    EXPECT_TRUE(sysTest(SysVar::AUXSTAT, 8));
    EXPECT_EQ(current(), 0);
    const std::vector<std::string> fields = {"code A 6",  "fecha D 8", "amount 2 10", "qty N 32", "born D 8",
                                             "note A 0",  "ratio N 53", "Fec.x D 0",  "small N 16"};
    for (std::uint16_t n = 1; n <= tableCount(); ++n) {
        DictTable t = dictTable(n);
        SCOPED_TRACE(t.name);
        EXPECT_EQ(t.name, order[n - 1u]);  // server order, case kept
        EXPECT_EQ(variable(t.name), n);
        if (t.name == "plain") {
            EXPECT_EQ(t.fields, std::vector<std::string> {"k N 32"});
            EXPECT_EQ(t.keys, std::vector<std::string> {"0:32"});  // the default key
            continue;
        }
        EXPECT_EQ(t.fields, fields);
        std::vector<std::string> keys = t.keys;
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, (std::vector<std::string> {"0:6", "24:32 14:10"}));
    }
    // Tables past the 29th are not registered.
    for (std::size_t i = 29; i < order.size(); ++i) EXPECT_EQ(tableNumber(StrView(order[i])), 0) << order[i];

    // Loaded only into an empty dictionary; flags 1 registers the tables alone.
    EXPECT_EQ(loadCatalogue(2), 0);
    EXPECT_EQ(tableCount(), 29u);
    ASSERT_EQ(dictionaryReset(), 0);
    EXPECT_EQ(loadCatalogue(1), 0);
    ASSERT_EQ(tableCount(), 29u);
    for (std::uint16_t n = 1; n <= tableCount(); ++n) EXPECT_EQ(fieldCount(n), 0u) << n;

    std::string list = show(tableList());
    std::string expected;
    for (const std::string& n : order) expected += (expected.empty() ? "" : ",") + n;
    EXPECT_EQ(list, expected);
}

TEST_F(SqlCatalogue, AnEvaluatorErrorEndsTheLoadKeepingEarlierTables) {
    REQUIRE_DATABASE(info, "sqlconn_catbad");
    Admin admin(info);
    admin.exec("CREATE TABLE one (k int); CREATE TABLE \"a-b\" (k int); CREATE TABLE \"it's\" (k int);"
               "CREATE TABLE three (k int);");
    ASSERT_EQ(connectTo("sqlconn_catbad"), 0);
    EXPECT_EQ(loadCatalogue(2), err::SINTAXERROR);  // "a-b=2" cannot be assigned
    ASSERT_GT(tableCount(), 0u);
    EXPECT_EQ(show(tableName(tableCount())), "a-b");
    for (std::uint16_t n = 1; n <= tableCount(); ++n) {
        DictTable t = dictTable(n);
        EXPECT_EQ(t.fields, std::vector<std::string> {"k N 32"}) << t.name;
        if (n < tableCount()) {
            EXPECT_EQ(variable(t.name), n) << t.name;
        }
    }

    // A name with an apostrophe still finds its columns.
    admin.exec("DROP TABLE \"a-b\"");
    ASSERT_EQ(dictionaryReset(), 0);
    EXPECT_EQ(loadCatalogue(2), 0) << show(ErrorDetailGet());
    ASSERT_EQ(tableCount(), 3u);
    EXPECT_NE(tableNumber(StrView("it's")), 0);
    for (std::uint16_t n = 1; n <= tableCount(); ++n) EXPECT_EQ(dictTable(n).fields, std::vector<std::string> {"k N 32"}) << n;
}

TEST_F(SqlCatalogue, LoginFillsAnEmptyDictionaryOnly) {
    REQUIRE_DATABASE(info, "sqlconn_catlogin");
    Admin admin(info);
    std::string ddl;
    for (int i = 0; i < 35; ++i) ddl += "CREATE TABLE \"Sales" + std::to_string(i) + "\" (id integer PRIMARY KEY);";
    admin.exec(ddl);
    std::vector<std::string> order =
        admin.column("SELECT table_name FROM information_schema.tables WHERE table_schema='public'");
    setCommandLine("trendor /sqlhost=" + env("PGHOST") + " /database='sqlconn_catlogin' /user='" + env("PGUSER") +
                   "' /passw='" + env("PGPASSWORD") + "'");
    ASSERT_EQ(login(StrView("sqlparams.dat"), 2), 0) << show(ErrorDetailGet());
    ASSERT_EQ(tableCount(), 29u);
    for (std::uint16_t n = 1; n <= tableCount(); ++n) {
        EXPECT_EQ(show(tableName(n)), order[n - 1u]);
        EXPECT_EQ(variable(order[n - 1u]), n);
        EXPECT_EQ(dictTable(n).fields, std::vector<std::string> {"id N 32"});
    }
    EXPECT_EQ(variable(order[29]), 0);

    // A dictionary that already holds tables stays as it is.
    ASSERT_EQ(dictionaryReset(), 0);
    ASSERT_EQ(defineTable(0, StrView("own"), StrView("")), 0);
    ASSERT_EQ(login(StrView("sqlparams.dat"), 2), 0);
    EXPECT_EQ(tableCount(), 1u);
}

TEST_F(SqlCatalogue, ConnectWithoutTheCatalogueFlagsLeavesTheDictionaryEmpty) {
    REQUIRE_DATABASE(info, "sqlconn_catnone");
    Admin admin(info);
    admin.exec("CREATE TABLE one (k int)");
    ASSERT_EQ(connectTo("sqlconn_catnone", 0), 0);
    EXPECT_EQ(tableCount(), 0u);
    ASSERT_EQ(connectTo("", 2), 0);  // no database name: no catalogue either
    EXPECT_EQ(tableCount(), 0u);
}

// ---- Texts ------------------------------------------------------------------------------------------

struct LiteralCase {
    const char* text;
    const char* literal;
};
const LiteralCase kLiterals[] = {
    {"ABC", "'ABC'"},
    {"O'Brien", "E'O\\x27Brien'"},
    {"", "''"},
    {"say \"hi\"", "E'say \\x22hi\\x22'"},
    {"C:\\dir", "'C:\\dir'"},
    {"it's C:\\dir", "E'it\\x27s C:\\\\dir'"},
    {"a\"\\x41", "E'a\\x22\\\\x41'"},
    {"caf\xE9 '", "E'caf\xE9 \\x27'"},
};

TEST_F(Sql, QuoteLiteralWritesPlainOrEscapedForms) {
    for (const LiteralCase& c : kLiterals) {
        StrScope scope;
        EXPECT_EQ(show(quoteLiteral(StrView(c.text))), c.literal) << c.text;
    }
    EXPECT_EQ(StrError(quoteLiteral(StrErrorValue(err::OUTOFMEMORY))), err::OUTOFMEMORY);
}

TEST_F(Sql, QuotedLiteralsComeBackUnchangedFromTheServer) {
    REQUIRE_DATABASE(info, "sqlconn_quote");
    ASSERT_EQ(connectTo("sqlconn_quote"), 0);
    ASSERT_EQ(run(StrView("CREATE TABLE q(v text)")), 0);
    for (const LiteralCase& c : kLiterals) {
        SCOPED_TRACE(c.text);
        StrScope scope;
        StrDesc lit = quoteLiteral(StrView(c.text));
        std::string insert = "INSERT INTO q VALUES (" + lit.str() + ")";
        ASSERT_EQ(run(StrView(insert)), 0) << show(ErrorDetailGet());
        EXPECT_EQ(scalar("SELECT v FROM q"), c.text);
        ASSERT_EQ(run(StrView("DELETE FROM q")), 0);
    }
}

TEST_F(Sql, RepairMessageTrimsTheEndAndMendsUtf8Pairs) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"ERROR:  relation does not exist\n", "ERROR:  relation does not exist"},
        {"Key (id)=(2) already exists.  \r\n", "Key (id)=(2) already exists"},
        {"value 123", "value"},
        {"ends with \xE9", "ends with"},
        {"\xC2\xABname\xC2\xBB is here", "\"name\" is here"},
        {"Conexi\xC3\xB3n a\xC3\xB1o x", "Conexi\xF3n a\xF1o x"},
        {"x\xC3\xA9t", "x\xC3\xA9t"},
        {"...\n", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(repairMessage(StrView(c.in))), c.out) << c.in;
    }
}

// ---- Per-database folders -------------------------------------------------------------------------

TEST_F(Sql, DatabaseFolderIsCreatedAndEntered) {
    namespace fs = std::filesystem;
    ASSERT_EQ(selectDatabaseFolder(StrView("srv"), StrView("db")), 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()) / "srv" / "db" / "datas");
    EXPECT_TRUE(fs::is_directory(dir.path() / "srv" / "db" / "data"));
    EXPECT_EQ(show(AreaGet(area::ENV, 5)), "..\\data");
    EXPECT_TRUE(sysTest(SysVar::AUXSTAT, 1024));

    // Entering an existing folder again; names cannot leave the working folder.
    fs::current_path(dir.path());
    ASSERT_EQ(selectDatabaseFolder(StrView("srv"), StrView("db")), 0);
    fs::current_path(dir.path());
    ASSERT_EQ(selectDatabaseFolder(StrView("/tmp/x:y"), StrView("..")), 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()) / "_tmp_x_y" / "__" / "datas");
    fs::current_path(dir.path());
    ASSERT_EQ(selectDatabaseFolder(StrView(""), StrView("only")), 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()) / "only" / "datas");
}

TEST_F(Sql, DatabaseFolderThatCannotBeEnteredLeavesTheWorkingFolder) {
    namespace fs = std::filesystem;
    dir.write("srv", "a file where the folder should be");
    AreaSet(area::ENV, 5, StrView("apps"));
    EXPECT_EQ(selectDatabaseFolder(StrView("srv"), StrView("db")), 0xFFFF);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()));
    EXPECT_EQ(show(AreaGet(area::ENV, 5)), "..\\data");
    EXPECT_FALSE(sysTest(SysVar::AUXSTAT, 1024));

    AreaSet(area::ENV, 5, StrView("apps"));
    EXPECT_EQ(selectDatabaseFolder(StrView(""), StrView("")), 0);
    EXPECT_EQ(show(AreaGet(area::ENV, 5)), "apps");
}

}  // namespace
