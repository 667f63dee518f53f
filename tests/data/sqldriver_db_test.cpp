// The SQL table driver against the throwaway server: navigation in key order
// with NULL and empty values, both statement forms over the same data, finds,
// counts, inserts, updates and deletes, and the statements actually sent.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "datafile/record.h"
#include "lang/varstore.h"
#include "tests/support/pg_test.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

constexpr auto env = testsupport::envOr;

StrDesc S(const std::string& s) { return StrMake(s.data(), s.size()); }

using Admin = testsupport::PgAdmin;

class Driver : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(dictionaryReset(), 0);
    }
    void TearDown() override {
        SqlShutdown();
        varShutdown();
        RuntimeTest::TearDown();
    }
    ErrCode connectTo(const std::string& db) {
        std::string host = env("PGHOST"), user = env("PGUSER"), pw = env("PGPASSWORD");
        return connect(StrView(host), StrView(db), StrView(user), StrView(pw), 0);
    }
    // Dictionary table "lines": A A3, B N4, C A5; key 1 A+B.
    void defineLines() {
        ASSERT_EQ(defineTable(0, StrView("lines"), StrView("")), 0);
        ASSERT_EQ(addField(StrView("A"), 3, 'A'), 0);
        ASSERT_EQ(addField(StrView("B"), 4, 'N'), 0);
        ASSERT_EQ(addField(StrView("C"), 5, 'A'), 0);
        KeySegment ab[2] = {{0, 3}, {3, 4}};
        ASSERT_EQ(defineKey(1, 2, ab), 0);
        ASSERT_EQ(recordInit(1), 0);
    }
    std::string working(std::uint16_t t = 1) { return show(recordCopy(t, copy::WORKING)); }
    std::string asRead(std::uint16_t t = 1) { return show(recordCopy(t, copy::ASREAD)); }

    // The working records met from TOP forward (or BOT backward) by readRecord.
    std::vector<std::string> walk(bool forward, std::uint16_t* endStatus = nullptr) {
        std::vector<std::string> seen;
        std::uint16_t st = readRecord(1, forward ? nav::TOP : nav::BOT);
        while (st == 0 && seen.size() < 100) {
            seen.push_back(working());
            st = readRecord(1, forward ? nav::NXT : nav::PRV);
        }
        if (endStatus) *endStatus = st;
        return seen;
    }

    // The same walk with statements built in a given form.
    std::vector<std::string> walkWith(const SqlForm& form, bool forward) {
        std::vector<std::string> seen;
        std::string key;
        for (std::uint16_t flags = forward ? nav::TOP : nav::BOT; seen.size() < 100;
             flags = forward ? nav::NXT : nav::PRV) {
            StrScope scope;
            StrDesc stmt = readStatement(1, 1, flags, S(key), S(""), S(""), form);
            if (run(stmt) != 0) break;
            EXPECT_EQ(loadRow(1, 0, baseSlot(), LoadInto::BOTH), 0);
            seen.push_back(working());
            key = show(keyValue(1, 1));
        }
        return seen;
    }

    // Trace of the statements sent from now on.
    void traceStart() {
        std::string path = (dir.path() / "trace.txt").string();
        AreaSet(area::WORK, area::WORK_LOGPATH, StrView(path));
        sysSet(SysVar::TRACE, 4 | 2 | 1);
        std::remove(path.c_str());
    }
    std::vector<std::string> traced() {
        std::string all = dir.read("trace.txt");
        std::vector<std::string> out;
        for (std::size_t at = 0; at < all.size();) {
            std::size_t end = all.find("\r\n", at);
            if (end == std::string::npos) end = all.size();
            out.push_back(all.substr(at, end - at));
            at = end + 2;
        }
        return out;
    }

    testsupport::TempDir dir;
};

// Field B is a number: stored right-aligned.
std::string rec(const std::string& a, const std::string& b, const std::string& c = "") {
    return (a + "   ").substr(0, 3) + std::string(4 - b.size(), ' ') + b + (c + "     ").substr(0, 5);
}

TEST_F(Driver, NavigationOrdersNullAndEmptyFirstAndTreatsThemAsEqual) {
    REQUIRE_DATABASE(info, "driver_nullable");
    Admin admin(info);
    admin.exec("CREATE TABLE lines (\"A\" varchar(3), \"B\" integer, \"C\" varchar(5))");
    admin.exec("INSERT INTO lines VALUES ('b',1,'r1'),('a',2,'r2'),(NULL,5,'r3'),('a',NULL,'r4'),('c',3,'r5'),"
               "('',7,'r6')");
    ASSERT_EQ(connectTo("driver_nullable"), 0) << show(ErrorDetailGet());
    defineLines();
    EXPECT_FALSE(sqlForm(1, 1).indexForm);

    const std::vector<std::string> order = {rec("", "5", "r3"), rec("", "7", "r6"), rec("a", "", "r4"),
                                            rec("a", "2", "r2"), rec("b", "1", "r1"), rec("c", "3", "r5")};
    std::uint16_t end = 0;
    EXPECT_EQ(walk(true, &end), order);
    EXPECT_EQ(end, status::NONE);
    EXPECT_EQ(working(), std::string(12, ' '));  // a failed read clears the record
    // PRV after running off the end reads the last record.
    EXPECT_EQ(readRecord(1, nav::PRV), 0);
    EXPECT_EQ(working(), rec("c", "3", "r5"));
    EXPECT_EQ(asRead(), working());

    std::vector<std::string> back = walk(false, &end);
    EXPECT_EQ(std::vector<std::string>(back.rbegin(), back.rend()), order);
    EXPECT_EQ(end, status::NOPREVIOUS);
    EXPECT_EQ(controlBlock(1)->lastStatus, status::NOPREVIOUS);

    // NULL and the empty value compare equal: the empty key finds the NULL row.
    EXPECT_EQ(findByKey(1, 1, S("      5"), 0), 0);
    EXPECT_EQ(working(), rec("", "5", "r3"));
    EXPECT_EQ(findByKey(1, 1, S("a      "), 0), 0);
    EXPECT_EQ(working(), rec("a", "", "r4"));
    admin.exec("INSERT INTO lines VALUES (NULL,7,'r7')");
    EXPECT_EQ(countRows(1, 1, S("      7"), S("      7"), S("")), 2u);
    EXPECT_EQ(countRows(1, 0, S(""), S(""), S("")), 7u);
    EXPECT_EQ(countRows(1, 1, S("a      "), S("b   999"), S("\"C\" <> 'r2'")), 2u);
    EXPECT_EQ(findByKey(1, 1, S("zz"), 0), status::NONE);
    EXPECT_EQ(findByKey(1, 1, S("ab"), nav::ATORAFTER), 0);
    EXPECT_EQ(working(), rec("b", "1", "r1"));
    EXPECT_EQ(findByKey(1, 1, S(""), 0), status::NONE);
    EXPECT_EQ(findByKey(1, 1, S(""), nav::ATORAFTER), 0);
    EXPECT_EQ(working(), rec("", "5", "r3"));
}

TEST_F(Driver, BothFormsReadTheSameRowsInTheSameOrderOnANotNullKey) {
    REQUIRE_DATABASE(info, "driver_notnull");
    Admin admin(info);
    admin.exec("CREATE TABLE lines (\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5), PRIMARY KEY (\"A\", \"B\"))");
    admin.exec("INSERT INTO lines VALUES ('',2,'e2'),('a',10,'a10'),('',1,'e1'),('a',1,NULL),('b',-1,'bm'),"
               "('ab',5,''),('a',2,'a2'),('b',0,'b0')");
    ASSERT_EQ(connectTo("driver_notnull"), 0) << show(ErrorDetailGet());
    defineLines();
    SqlForm chosen = sqlForm(1, 1);
    ASSERT_TRUE(chosen.indexForm);
    EXPECT_TRUE(chosen.notNull.test(1) && chosen.notNull.test(2) && !chosen.notNull.test(3));

    const std::vector<std::string> order = {rec("", "1", "e1"), rec("", "2", "e2"),   rec("a", "1", ""),
                                            rec("a", "2", "a2"), rec("a", "10", "a10"), rec("ab", "5", ""),
                                            rec("b", "-1", "bm"), rec("b", "0", "b0")};
    SqlForm general;
    for (bool forward : {true, false}) {
        std::vector<std::string> a = walkWith(general, forward), b = walkWith(chosen, forward);
        if (!forward) std::reverse(a.begin(), a.end()), std::reverse(b.begin(), b.end());
        EXPECT_EQ(a, order) << forward;
        EXPECT_EQ(b, order) << forward;
    }
    EXPECT_EQ(walk(true), order);

    // Pages and counts over a range with a condition agree too.
    for (const auto& [from, to, cond] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"a     2", "b     0", ""}, {"", "\xFF", "\"C\" <> ''"}, {"      2", "a     1", ""}, {"a", "ab", ""}}) {
        std::vector<std::string> pages[2];
        std::uint32_t counts[2];
        int i = 0;
        for (const SqlForm* form : {&general, &chosen}) {
            StrScope scope;
            StrDesc stmt = pageStatement(1, 1, S(from), S(to), S(cond), 512, *form);
            std::uint16_t slot = newResultSlot();
            ErrCode code = execute(stmt, slot);
            ASSERT_TRUE(code == 0 || code == 2) << show(stmt);
            for (std::uint32_t r = 0; code == 0 && r < resultRows(slot); ++r) {
                ASSERT_EQ(loadRow(1, r, slot, LoadInto::WORKING), 0);
                pages[i].push_back(working());
            }
            releaseResult(slot);
            StrDesc count = countStatement(1, 1, S(from), S(to), S(cond), *form);
            ASSERT_EQ(execute(count), 0);
            counts[i] = static_cast<std::uint32_t>(std::atoi(show(resultValue(0, 0)).c_str()));
            ++i;
        }
        EXPECT_EQ(pages[0], pages[1]) << from << ".." << to;
        EXPECT_EQ(counts[0], pages[0].size());
        EXPECT_EQ(counts[1], pages[1].size());
    }
}

TEST_F(Driver, StatementsSentFollowTheKeyColumnsNullability) {
    REQUIRE_DATABASE(info, "driver_trace");
    Admin admin(info);
    admin.exec("CREATE TABLE lines (\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5), PRIMARY KEY (\"A\", \"B\"))");
    admin.exec("CREATE TABLE other (\"A\" varchar(3) NOT NULL, \"B\" integer, \"C\" varchar(5))");
    admin.exec("INSERT INTO lines VALUES ('x',7,'q'),('y',1,'r')");
    admin.exec("INSERT INTO other VALUES ('x',7,'q'),('y',1,'r')");
    ASSERT_EQ(connectTo("driver_trace"), 0) << show(ErrorDetailGet());
    defineLines();
    ASSERT_EQ(defineTable(0, StrView("other"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("A"), 3, 'A'), 0);
    ASSERT_EQ(addField(StrView("B"), 4, 'N'), 0);
    ASSERT_EQ(addField(StrView("C"), 5, 'A'), 0);
    KeySegment ab[2] = {{0, 3}, {3, 4}};
    ASSERT_EQ(defineKey(2, 2, ab), 0);
    ASSERT_EQ(recordInit(2), 0);
    sqlForm(1, 1);
    sqlForm(2, 1);  // catalogue lookups done before the trace starts

    traceStart();
    ASSERT_EQ(readRecord(1, nav::TOP), 0);
    ASSERT_EQ(readRecord(1, nav::NXT), 0);
    ASSERT_EQ(readRecord(2, nav::TOP), 0);
    ASSERT_EQ(readRecord(2, nav::NXT), 0);
    EXPECT_EQ(traced(), (std::vector<std::string>{
                            "SELECT * FROM \"lines\" ORDER BY \"A\",\"B\" LIMIT 1;",
                            "SELECT * FROM \"lines\" WHERE (\"A\",\"B\") > ('x',7) ORDER BY \"A\",\"B\" LIMIT 1;",
                            "SELECT * FROM \"other\" ORDER BY \"A\" NULLS FIRST,\"B\" NULLS FIRST LIMIT 1;",
                            "SELECT * FROM \"other\" WHERE \"A\" > 'x' OR (\"A\" = 'x' AND \"B\" > 7) ORDER BY \"A\" "
                            "NULLS FIRST,\"B\" NULLS FIRST LIMIT 1;",
                        }));
}

TEST_F(Driver, InsertSkipsPlaceholdersAndDatesTravelAsYyyymmdd) {
    REQUIRE_DATABASE(info, "driver_insert");
    Admin admin(info);
    admin.exec("CREATE TABLE clients (code varchar(6) PRIMARY KEY, name varchar(10), since date, amount numeric(10,2))");
    ASSERT_EQ(connectTo("driver_insert"), 0) << show(ErrorDetailGet());
    ASSERT_EQ(defineTable(0, StrView("clients"), StrView("")), 0);
    for (auto [n, len, type] : std::vector<std::tuple<const char*, int, char>>{
             {"code", 6, 'A'}, {"name", 10, 'A'}, {"since", 8, 'D'}, {"amount", 10, '2'}, {"OTHER", 3, 'A'},
             {"AVOID", 2, 'A'}})
        ASSERT_EQ(addField(StrView(n), static_cast<std::uint16_t>(len), type), 0);
    ASSERT_EQ(defaultKeysUpTo(1), 0);
    ASSERT_EQ(recordInit(1), 0);

    ASSERT_EQ(setRecordCopy(1, copy::WORKING, S("C1    O'Brien   20240305   1234.50abcde")), 0);
    ASSERT_EQ(insertRecord(1), 0) << show(ErrorDetailGet());
    EXPECT_EQ(admin.rows("SELECT code, name, since, amount FROM clients"),
              (std::vector<std::string>{"C1|O'Brien|2024-03-05|1234.50"}));
    EXPECT_EQ(insertRecord(1), err::DATAEXIST);

    ASSERT_EQ(clearRecord(1), 0);
    ASSERT_EQ(readRecord(1, nav::TOP), 0);
    EXPECT_EQ(working(), "C1    O'Brien   20240305   1234.50     ");
}

TEST_F(Driver, UpdateAndDeleteChangeOneRowAndRefuseAnEmptyOrSharedKey) {
    REQUIRE_DATABASE(info, "driver_update");
    Admin admin(info);
    admin.exec("CREATE TABLE lines (\"A\" varchar(3), \"B\" integer, \"C\" varchar(5))");
    admin.exec("INSERT INTO lines VALUES ('x',7,'q'),('y',1,'r'),('d',2,'s'),('d',2,'t')");
    ASSERT_EQ(connectTo("driver_update"), 0) << show(ErrorDetailGet());
    defineLines();
    const std::vector<std::string> all = {"d|2|s", "d|2|t", "x|7|q", "y|1|r"};
    auto table = [&] { return admin.rows("SELECT * FROM lines ORDER BY 1, 2, 3"); };

    ASSERT_EQ(findByKey(1, 1, S("x     7"), 0), 0);
    traceStart();
    // Nothing changed: nothing sent.
    EXPECT_EQ(updateByKey(1, 1, keyValue(1, 1, copy::ASREAD), 0), 0);
    EXPECT_EQ(dir.read("trace.txt"), "");
    // An empty key value is refused and nothing is sent.
    ASSERT_EQ(setField(1, 3, StrView("new")), 0);
    EXPECT_EQ(updateByKey(1, 1, S(""), 1), err::INDEXCMDERROR);
    EXPECT_EQ(show(ErrorDetailGet()), "UPDATE ONLY \"lines\": empty key value");
    EXPECT_EQ(deleteByKey(1, 1, S(""), 1), err::INDEXCMDERROR);
    EXPECT_EQ(show(ErrorDetailGet()), "DELETE FROM ONLY \"lines\": empty key value");
    EXPECT_EQ(updateWhere(1, S("\"C\" = 'z'"), S("")), 0xFFFF);
    EXPECT_EQ(dir.read("trace.txt"), "");
    EXPECT_EQ(table(), all);

    // The changed field goes by the key value as read.
    ASSERT_EQ(setField(1, 1, StrView("w")), 0);
    EXPECT_EQ(updateByKey(1, 1, keyValue(1, 1, copy::ASREAD), 0), 0) << show(ErrorDetailGet());
    EXPECT_EQ(table(), (std::vector<std::string>{"d|2|s", "d|2|t", "w|7|new", "y|1|r"}));
    EXPECT_EQ(traced().back(), "UPDATE ONLY \"lines\" SET \"A\" = 'w',\"C\" = 'new' WHERE \"A\" = 'x' AND \"B\" = 7;");

    // A key value held by two rows is refused unless the check is skipped.
    ASSERT_EQ(findByKey(1, 1, S("d     2"), 0), 0);
    ASSERT_EQ(setField(1, 3, StrView("u")), 0);
    EXPECT_EQ(updateByKey(1, 1, keyValue(1, 1, copy::ASREAD), 0), err::INDEXCMDERROR);
    EXPECT_EQ(deleteByKey(1, 1, keyValue(1, 1, copy::ASREAD), 0), err::INDEXCMDERROR);
    EXPECT_EQ(table(), (std::vector<std::string>{"d|2|s", "d|2|t", "w|7|new", "y|1|r"}));
    sysFlag(SysVar::UPSTAT, 16, true);
    EXPECT_EQ(updateByKey(1, 1, keyValue(1, 1, copy::ASREAD), 0), 0);
    EXPECT_EQ(table(), (std::vector<std::string>{"d|2|u", "d|2|u", "w|7|new", "y|1|r"}));
    sysFlag(SysVar::UPSTAT, 16, false);

    EXPECT_EQ(deleteByKey(1, 1, S("y     1"), 0), 0);
    EXPECT_EQ(deleteByKey(1, 1, S("y     1"), 0), err::INDEXCMDERROR);  // gone: held by 0 rows
    EXPECT_EQ(updateWhere(1, S("\"C\" = 'v'"), S("\"A\" = 'd'")), 2);
    EXPECT_EQ(updateWhere(1, S(""), S("\"A\" = 'd'")), 0);
    EXPECT_EQ(updateWhere(1, S("\"NOPE\" = 1"), S("\"A\" = 'd'")), 0xFFFF);
    EXPECT_EQ(table(), (std::vector<std::string>{"d|2|v", "d|2|v", "w|7|new"}));
    EXPECT_EQ(deleteAll(1), 0);
    EXPECT_EQ(table(), std::vector<std::string>{});
}

TEST_F(Driver, FailedAndRefusedReadsClearTheRecord) {
    REQUIRE_DATABASE(info, "driver_fail");
    ASSERT_EQ(connectTo("driver_fail"), 0) << show(ErrorDetailGet());
    defineLines();  // no such table on the server
    ASSERT_EQ(setRecordCopy(1, copy::BOTH, S(std::string(24, 'k'))), 0);
    EXPECT_EQ(readRecord(1, nav::TOP), err::SQLERROR);
    EXPECT_EQ(working(), std::string(12, ' '));
    EXPECT_EQ(ErrorRecordCode(), err::SQLERROR);
    EXPECT_EQ(readRecord(1, nav::BACKWARD), status::FAILED);
    EXPECT_EQ(readRecord(1, nav::CLEAR), status::NEWRECORD);
    EXPECT_EQ(readRecord(2, nav::TOP), err::DATAOUTBOUND);
}

// A stand-in for the duplicate-key layer: records the starts and serves row 0.
std::vector<std::string> g_starts;
ErrCode fakeStart(std::uint16_t table, StrDesc V, std::uint16_t) {
    g_starts.push_back(V.str());
    controlBlock(table)->multiSlot = static_cast<std::int16_t>(baseSlot());
    controlBlock(table)->multiRow = 0;
    return 0;
}
std::uint16_t fakeStep(std::uint16_t table, std::uint16_t) {
    controlBlock(table)->multiSlot = -1;
    return 1;
}
void fakeEnd(std::uint16_t table) { controlBlock(table)->multiSlot = -1; }

TEST_F(Driver, ADuplicatedKeyValueHandsTheReadToTheMultiReadLayer) {
    REQUIRE_DATABASE(info, "driver_dup");
    Admin admin(info);
    admin.exec("CREATE TABLE lines (\"A\" varchar(3), \"B\" integer, \"C\" varchar(5))");
    admin.exec("INSERT INTO lines VALUES ('a',1,'x'),('b',2,'y'),('b',2,'z')");
    ASSERT_EQ(connectTo("driver_dup"), 0) << show(ErrorDetailGet());
    defineLines();
    static const MultiReadHooks hooks{fakeStart, fakeStep, fakeEnd};
    multiReadHooksSet(&hooks);
    g_starts.clear();
    EXPECT_EQ(readRecord(1, nav::TOP), 0);
    EXPECT_TRUE(g_starts.empty());
    EXPECT_EQ(readRecord(1, nav::NXT), 0);
    EXPECT_EQ(g_starts, (std::vector<std::string>{"b     2"}));
    multiReadHooksSet(nullptr);
}

TEST_F(Driver, AUniqueIndexWithinANotNullKeyLeavesNothingToCount) {
    REQUIRE_DATABASE(info, "driver_unique");
    Admin admin(info);
    ASSERT_EQ(connectTo("driver_unique"), 0) << show(ErrorDetailGet());
    defineLines();
    static const MultiReadHooks hooks{fakeStart, fakeStep, fakeEnd};
    multiReadHooksSet(&hooks);
    struct Case {
        const char* columns;  // of table lines, whose key 1 is A+B
        const char* index;    // run after the table is made ("" none)
        bool unique;
    } cases[] = {
        {"\"A\" varchar(3), \"B\" integer, \"C\" varchar(5), PRIMARY KEY (\"A\", \"B\")", "", true},
        {"\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5) UNIQUE", "", false},
        {"\"A\" varchar(3) NOT NULL UNIQUE, \"B\" integer NOT NULL, \"C\" varchar(5)", "", true},
        {"\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5), UNIQUE (\"A\", \"C\")", "", false},
        {"\"A\" varchar(3), \"B\" integer NOT NULL UNIQUE, \"C\" varchar(5)", "", false},  // A may be NULL
        {"\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5), "
         "UNIQUE (\"A\", \"B\") DEFERRABLE INITIALLY DEFERRED", "", false},
        {"\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5)",
         "CREATE UNIQUE INDEX ON lines (\"A\", \"B\") WHERE \"C\" IS NOT NULL", false},
        {"\"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5)",
         "CREATE UNIQUE INDEX ON lines (lower(\"A\"), \"B\")", false},
        // Positions count the columns left after a drop.
        {"\"X\" integer UNIQUE, \"A\" varchar(3) NOT NULL, \"B\" integer NOT NULL, \"C\" varchar(5), "
         "UNIQUE (\"B\", \"A\")", "ALTER TABLE lines DROP COLUMN \"X\"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columns + std::string(" / ") + c.index);
        admin.exec("DROP TABLE IF EXISTS lines");
        admin.exec(std::string("CREATE TABLE lines (") + c.columns + ")");
        if (*c.index) admin.exec(c.index);
        admin.exec("INSERT INTO lines (\"A\", \"B\", \"C\") VALUES ('a',1,'x'),('b',2,'y')");
        sqlDriverForget(1);
        EXPECT_EQ(sqlForm(1, 1).uniqueKey, c.unique);
        // Where the key is unique the read sends no count; elsewhere it does.
        traceStart();
        EXPECT_EQ(readRecord(1, nav::TOP), 0);
        std::vector<std::string> sent = traced();
        sent.erase(std::remove_if(sent.begin(), sent.end(),
                                  [](const std::string& s) { return s.find("pg_attribute") != std::string::npos || s.empty(); }),
                   sent.end());
        ASSERT_EQ(sent.size(), c.unique ? 1u : 2u);
        EXPECT_EQ(sent.back().rfind(c.unique ? "SELECT * FROM" : "SELECT COUNT (*)", 0), 0u) << sent.back();
        EXPECT_EQ(working(), rec("a", "1", "x"));
    }
    multiReadHooksSet(nullptr);
}

}  // namespace
