// The statements of the SQL table driver, compared as text: the general form
// with its NULL rules, and the index form for keys whose columns are all
// NOT NULL.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqldriver.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

StrDesc S(const std::string& s) { return StrMake(s.data(), s.size()); }

// Pads a value to a field width.
std::string pad(const std::string& v, std::size_t n) { return (v + std::string(n, ' ')).substr(0, n); }
std::string rpad(const std::string& v, std::size_t n) { return (std::string(n, ' ') + v).substr(v.size()); }

class Statements : public testsupport::RuntimeTest {
protected:
    // Table 1 "clients": CODE A6, NAME A10, CITY A8, QTY N5, AMOUNT 2 10,
    // SINCE D8, then the placeholders OTHER A4 and AVOID A2. Keys: 1 CODE,
    // 2 CITY+QTY, 3 CODE+NAME+CITY. Table 2 "lines": A A3, B N4, key A+B.
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(dictionaryReset(), 0);
        ASSERT_EQ(defineTable(0, StrView("clients"), StrView("")), 0);
        for (auto [n, len, type] : std::vector<std::tuple<const char*, int, char>>{
                 {"CODE", 6, 'A'}, {"NAME", 10, 'A'}, {"CITY", 8, 'A'}, {"QTY", 5, 'N'},
                 {"AMOUNT", 10, '2'}, {"SINCE", 8, 'D'}, {"OTHER", 4, 'A'}, {"AVOID", 2, 'A'}})
            ASSERT_EQ(addField(StrView(n), static_cast<std::uint16_t>(len), type), 0);
        KeySegment k1{0, 6}, k2[2] = {{16, 8}, {24, 5}}, k3[3] = {{0, 6}, {6, 10}, {16, 8}};
        ASSERT_EQ(defineKey(1, 1, &k1), 0);
        ASSERT_EQ(defineKey(1, 2, k2), 0);
        ASSERT_EQ(defineKey(1, 3, k3), 0);
        ASSERT_EQ(defineTable(0, StrView("lines"), StrView("")), 0);
        ASSERT_EQ(addField(StrView("A"), 3, 'A'), 0);
        ASSERT_EQ(addField(StrView("B"), 4, 'N'), 0);
        KeySegment ab[2] = {{0, 3}, {3, 4}};
        ASSERT_EQ(defineKey(2, 2, ab), 0);
    }
    void TearDown() override {
        varShutdown();
        RuntimeTest::TearDown();
    }

    SqlForm general;
    SqlForm indexForm(std::initializer_list<std::uint16_t> notNull) {
        SqlForm f;
        f.indexForm = true;
        for (std::uint16_t p : notNull) f.notNull.set(p);
        return f;
    }
    // A clients record.
    static std::string client(const std::string& code, const std::string& name, const std::string& city,
                              const std::string& qty, const std::string& amount, const std::string& since) {
        return pad(code, 6) + pad(name, 10) + pad(city, 8) + rpad(qty, 5) + rpad(amount, 10) + pad(since, 8) +
               "xxxx" + "yy";
    }
    const std::string V = "x     7";  // lines key value: A "x", B 7
};

#define SQL(expr) show(expr)

TEST_F(Statements, SqlValueByType) {
    struct Case {
        std::string text;
        char type;
        const char* sql;
    } cases[] = {
        {"  12.50 ", '2', "12.50"},
        {"   \t ", 'N', "NULL"},
        {"-3", 'N', "-3"},
        {"1", 'L', "1"},
        {"1 OR 1=1", 'N', "'1 OR 1=1'"},  // not a number: a literal the server refuses, never SQL
        {"", 'A', "NULL"},
        {"ABC   ", 'A', "'ABC'"},
        {"  ABC", 'A', "'  ABC'"},
        {"O'Brien", 'A', "E'O\\x27Brien'"},
        {std::string("AB\0CD", 5), 'A', "'AB'"},
        {"20240305", 'D', "'20240305'"},
        {"        ", 'D', "NULL"},
    };
    for (const Case& c : cases) {
        StrScope scope;
        EXPECT_EQ(SQL(sqlValue(S(c.text), c.type)), c.sql) << c.text << " " << c.type;
    }
}

TEST_F(Statements, CompareFieldNullRules) {
    struct Case {
        std::uint16_t code;
        const char* value;
        char type;
        bool notNull;
        const char* sql;
    } cases[] = {
        {cmp::EQ, "5", 'N', false, "\"K\" = 5"},
        {cmp::EQ, "NULL", 'N', false, "(\"K\" = 0 OR \"K\" IS NULL)"},
        {cmp::GT, "5", 'N', false, "\"K\" > 5"},
        {cmp::GT, "NULL", 'N', false, "\"K\" > 0"},
        {cmp::GE, "5", 'N', false, "\"K\" >= 5"},
        {cmp::GE, "NULL", 'N', false, "(\"K\" >= 0 OR \"K\" IS NULL)"},
        {cmp::LT, "5", 'N', false, "(\"K\" < 5 OR \"K\" IS NULL)"},
        {cmp::LT, "NULL", 'N', false, "\"K\" < 0"},
        {cmp::LE, "5", 'N', false, "(\"K\" <= 5 OR \"K\" IS NULL)"},
        {cmp::LE, "NULL", 'N', false, "(\"K\" <= 0 OR \"K\" IS NULL)"},
        {cmp::NE, "5", 'N', false, "(\"K\" <> 5 OR \"K\" IS NULL)"},
        {cmp::NE, "NULL", 'N', false, "\"K\" <> 0"},
        {cmp::EQ, "NULL", 'A', false, "(\"K\" = '' OR \"K\" IS NULL)"},
        {cmp::LT, "'b'", 'A', false, "(\"K\" < 'b' OR \"K\" IS NULL)"},
        {cmp::LT, "'b'", 'A', true, "\"K\" < 'b'"},
        {cmp::EQ, "NULL", 'A', true, "\"K\" = ''"},
        {cmp::GE, "NULL", 'N', true, "\"K\" >= 0"},
    };
    for (const Case& c : cases) {
        StrScope scope;
        EXPECT_EQ(SQL(compareField(StrView("K"), c.code, StrFromTerminated(c.value), c.type, c.notNull)), c.sql)
            << c.code << " " << c.value;
    }
    StrScope scope;
    EXPECT_EQ(StrError(compareField(StrView("K"), 7, StrView("1"), 'N')), err::BADINPUTDATA);
}

TEST_F(Statements, OrderByKeyColumnsWithNullPlacement) {
    StrScope scope;
    // A key on field 1 alone orders by fields 1, 2 and 3.
    EXPECT_EQ(SQL(orderBy(1, 1, false, general)), "\"CODE\" NULLS FIRST,\"NAME\" NULLS FIRST,\"CITY\" NULLS FIRST");
    EXPECT_EQ(SQL(orderBy(1, 1, true, general)),
              "\"CODE\" DESC NULLS LAST,\"NAME\" DESC NULLS LAST,\"CITY\" DESC NULLS LAST");
    EXPECT_EQ(SQL(orderBy(1, 2, false, general)), "\"CITY\" NULLS FIRST,\"QTY\" NULLS FIRST");
    SqlForm server;
    server.serverNullOrder = true;
    EXPECT_EQ(SQL(orderBy(1, 1, false, server)), "\"CODE\",\"NAME\",\"CITY\"");
    EXPECT_EQ(SQL(orderBy(1, 2, true, server)), "\"CITY\" DESC,\"QTY\" DESC");
    // Index form: NOT NULL columns lose the placement, nullable tie-breakers keep it.
    EXPECT_EQ(SQL(orderBy(1, 1, false, indexForm({1}))), "\"CODE\",\"NAME\" NULLS FIRST,\"CITY\" NULLS FIRST");
    EXPECT_EQ(SQL(orderBy(2, 1, true, indexForm({1, 2}))), "\"A\" DESC,\"B\" DESC");
    EXPECT_EQ(StrError(orderBy(1, 4, false, general)), err::DATAOUTBOUND);
    EXPECT_EQ(StrError(orderBy(3, 1, false, general)), err::DATAOUTBOUND);
}

TEST_F(Statements, KeyWhereIsALexicographicComparisonWithNullRules) {
    StrScope scope;
    std::string pqr = pad("p", 6) + pad("q", 10) + pad("r", 8);
    EXPECT_EQ(SQL(keyWhere(S(V), 2, 1, cmp::GT, general)), "\"A\" > 'x' OR (\"A\" = 'x' AND \"B\" > 7)");
    EXPECT_EQ(SQL(keyWhere(S(pqr), 1, 3, cmp::GE, general)),
              "\"CODE\" > 'p' OR (\"CODE\" = 'p' AND \"NAME\" > 'q') OR "
              "(\"CODE\" = 'p' AND \"NAME\" = 'q' AND \"CITY\" >= 'r')");
    EXPECT_EQ(SQL(keyWhere(S(pqr), 1, 3, cmp::EQ, general)), "\"CODE\" = 'p' AND \"NAME\" = 'q' AND \"CITY\" = 'r'");
    EXPECT_EQ(SQL(keyWhere(S(V), 2, 1, cmp::LT, general)),
              "(\"A\" < 'x' OR \"A\" IS NULL) OR (\"A\" = 'x' AND (\"B\" < 7 OR \"B\" IS NULL))");
    // An empty text field compares as NULL.
    EXPECT_EQ(SQL(keyWhere(S("      7"), 2, 1, cmp::GT, general)),
              "\"A\" > '' OR ((\"A\" = '' OR \"A\" IS NULL) AND \"B\" > 7)");
    // A shorter value: only the fields it reaches, the last one partly.
    EXPECT_EQ(SQL(keyWhere(S("p     qu"), 1, 3, cmp::GE, general)),
              "\"CODE\" > 'p' OR (\"CODE\" = 'p' AND \"NAME\" >= 'qu')");
    EXPECT_EQ(SQL(keyWhere(S("x"), 2, 1, cmp::GT, general)), "\"A\" > 'x'");
    EXPECT_EQ(SQL(keyWhere(S(""), 2, 1, cmp::GT, general)), "");
    // Index form: one row-value comparison; equality stays a conjunction.
    SqlForm idx = indexForm({1, 2});
    EXPECT_EQ(SQL(keyWhere(S(V), 2, 1, cmp::GT, idx)), "(\"A\",\"B\") > ('x',7)");
    EXPECT_EQ(SQL(keyWhere(S("      7"), 2, 1, cmp::LE, idx)), "(\"A\",\"B\") <= ('',7)");
    EXPECT_EQ(SQL(keyWhere(S("x  "), 2, 1, cmp::LT, idx)), "\"A\" < 'x'");
    EXPECT_EQ(SQL(keyWhere(S("      "), 2, 1, cmp::EQ, idx)), "\"A\" = '' AND \"B\" = 0");
    EXPECT_EQ(SQL(keyWhere(S(pqr), 1, 3, cmp::GE, indexForm({1, 2, 3}))),
              "(\"CODE\",\"NAME\",\"CITY\") >= ('p','q','r')");
}

TEST_F(Statements, JoinConditionsWrapsOperandsHoldingTheOtherConnector) {
    StrScope scope;
    struct Case {
        const char *a, *conn, *b, *sql;
    } cases[] = {
        {"a OR b", " AND ", "c", "(a OR b) AND c"},
        {"a", " AND ", "x or (y AND z)", "a AND (x or (y AND z))"},
        {"(a OR b)", " AND ", "c", "(a OR b) AND c"},
        {"k = ' OR '", " AND ", "c", "k = ' OR ' AND c"},
        {"a AND b", " OR ", "c", "(a AND b) OR c"},
        {"", " AND ", "c OR d", "c OR d"},
        {"a OR b", " AND ", "", "a OR b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SQL(joinConditions(StrFromTerminated(c.a), StrFromTerminated(c.conn), StrFromTerminated(c.b))), c.sql);
}

TEST_F(Statements, NavWhereKeepsTheEqualityPrefixAndTheLimit) {
    StrScope scope;
    const std::string noLimit = "\xFF";
    EXPECT_EQ(SQL(navWhere(2, 1, S(V), S(noLimit), S(""), 2, general)), "\"A\" > 'x' OR (\"A\" = 'x' AND \"B\" > 7)");
    // V and L agree on A: A becomes an equality; the last field never does in mode 2.
    std::string L = "x    20";
    EXPECT_EQ(SQL(navWhere(2, 1, S(V), S(L), S(""), 2, general)),
              "\"A\" = 'x' AND \"B\" > 7 AND (\"B\" <= 20 OR \"B\" IS NULL)");
    EXPECT_EQ(SQL(navWhere(2, 1, S(V), S(L), S(""), 2, indexForm({1, 2}))), "\"A\" = 'x' AND \"B\" > 7 AND \"B\" <= 20");
    // Backward to a lower limit, with a condition holding OR.
    EXPECT_EQ(SQL(navWhere(2, 1, S(V), S("a     0"), S("\"A\" = 'm' OR \"B\" = 1"), 4, general)),
              "((\"A\" < 'x' OR \"A\" IS NULL) OR (\"A\" = 'x' AND (\"B\" < 7 OR \"B\" IS NULL))) AND "
              "(\"A\" > 'a' OR (\"A\" = 'a' AND \"B\" >= 0)) AND (\"A\" = 'm' OR \"B\" = 1)");
    // Mode 3 with V as value and limit: the rows holding exactly V.
    EXPECT_EQ(SQL(navWhere(2, 1, S(V), S(V), S(""), 3, general)), "\"A\" = 'x' AND \"B\" = 7");
    // A limit shorter than a field is no equality prefix.
    EXPECT_EQ(SQL(navWhere(2, 1, S(V), S("x"), S(""), 3, general)),
              "(\"A\" > 'x' OR (\"A\" = 'x' AND \"B\" >= 7)) AND (\"A\" <= 'x' OR \"A\" IS NULL)");
    EXPECT_EQ(SQL(navWhere(2, 1, S(""), S(""), S("q > 1"), 2, general)), "q > 1");
}

TEST_F(Statements, NavigationQueriesForEveryRequest) {
    StrScope scope;
    const std::string order = " ORDER BY \"A\" NULLS FIRST,\"B\" NULLS FIRST LIMIT 1;";
    const std::string orderDesc = " ORDER BY \"A\" DESC NULLS LAST,\"B\" DESC NULLS LAST LIMIT 1;";
    struct Case {
        std::uint16_t flags;
        std::string v;
        std::string sql;
    } cases[] = {
        {nav::TOP, V, "SELECT * FROM \"lines\"" + order},
        {nav::BOT, V, "SELECT * FROM \"lines\"" + orderDesc},
        {nav::NXT, V, "SELECT * FROM \"lines\" WHERE \"A\" > 'x' OR (\"A\" = 'x' AND \"B\" > 7)" + order},
        {nav::PRV, V,
         "SELECT * FROM \"lines\" WHERE (\"A\" < 'x' OR \"A\" IS NULL) OR (\"A\" = 'x' AND (\"B\" < 7 OR \"B\" IS NULL))" +
             orderDesc},
        {nav::RLD, V, "SELECT * FROM \"lines\" WHERE \"A\" = 'x' AND \"B\" = 7" + order},
        {nav::ATORAFTER, V, "SELECT * FROM \"lines\" WHERE \"A\" > 'x' OR (\"A\" = 'x' AND \"B\" >= 7)" + order},
        {nav::RLD, "", "SELECT * FROM \"lines\"" + order},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SQL(readStatement(2, 1, c.flags, S(c.v), S(""), S(""), general)), c.sql) << c.flags;
    EXPECT_EQ(StrError(readStatement(2, 1, nav::BACKWARD, S(V), S(""), S(""), general)), err::BADINPUTDATA);
    EXPECT_EQ(StrError(readStatement(2, 2, nav::TOP, S(V), S(""), S(""), general)), err::DATAOUTBOUND);

    SqlForm idx = indexForm({1, 2});
    EXPECT_EQ(SQL(readStatement(2, 1, nav::NXT, S(V), S(""), S(""), idx)),
              "SELECT * FROM \"lines\" WHERE (\"A\",\"B\") > ('x',7) ORDER BY \"A\",\"B\" LIMIT 1;");
    EXPECT_EQ(SQL(readStatement(2, 1, nav::PRV, S(V), S(""), S(""), idx)),
              "SELECT * FROM \"lines\" WHERE (\"A\",\"B\") < ('x',7) ORDER BY \"A\" DESC,\"B\" DESC LIMIT 1;");
    EXPECT_EQ(SQL(readStatement(2, 1, nav::TOP, S(V), S(""), S(""), idx)),
              "SELECT * FROM \"lines\" ORDER BY \"A\",\"B\" LIMIT 1;");
    EXPECT_EQ(SQL(readStatement(2, 1, nav::NXT, S(V), S("\xFF"), S("\"B\" > 2"), idx)),
              "SELECT * FROM \"lines\" WHERE (\"A\",\"B\") > ('x',7) AND \"B\" > 2 ORDER BY \"A\",\"B\" LIMIT 1;");
    // _SYSCOMPAT bit 1: the server's own NULL order, the NULL rules stay.
    SqlForm server;
    server.serverNullOrder = true;
    EXPECT_EQ(SQL(readStatement(2, 1, nav::NXT, S(V), S(""), S(""), server)),
              "SELECT * FROM \"lines\" WHERE \"A\" > 'x' OR (\"A\" = 'x' AND \"B\" > 7) ORDER BY \"A\",\"B\" LIMIT 1;");
}

TEST_F(Statements, FindCountAndPageStatements) {
    StrScope scope;
    const std::string order = " ORDER BY \"A\" NULLS FIRST,\"B\" NULLS FIRST";
    EXPECT_EQ(SQL(findStatement(2, 1, S(V), 0, general)),
              "SELECT * FROM \"lines\" WHERE \"A\" = 'x' AND \"B\" = 7" + order + " LIMIT 1;");
    EXPECT_EQ(SQL(findStatement(2, 1, S("x"), nav::ATORAFTER, general)),
              "SELECT * FROM \"lines\" WHERE \"A\" >= 'x'" + order + " LIMIT 1;");
    EXPECT_EQ(SQL(findStatement(2, 1, S(""), 0, general)), "");
    EXPECT_EQ(SQL(findStatement(2, 1, S(""), nav::ATORAFTER, general)), "SELECT * FROM \"lines\"" + order + " LIMIT 1;");

    EXPECT_EQ(SQL(countStatement(2, 0, S(V), S(V), S("x = 1"), general)), "SELECT COUNT (*) FROM \"lines\";");
    EXPECT_EQ(SQL(countStatement(2, 1, S(V), S(V), S(""), general)),
              "SELECT COUNT (*) FROM \"lines\" WHERE \"A\" = 'x' AND \"B\" = 7;");
    EXPECT_EQ(SQL(countStatement(2, 1, S(V), S(V), S("\"B\" > 1   "), indexForm({1, 2}))),
              "SELECT COUNT (*) FROM \"lines\" WHERE \"A\" = 'x' AND \"B\" = 7 AND \"B\" > 1;");
    EXPECT_EQ(SQL(countStatement(2, 1, S(""), S(""), S(""), general)), "SELECT COUNT (*) FROM \"lines\";");

    EXPECT_EQ(SQL(pageStatement(2, 1, S(V), S("\xFF"), S(""), 512, general)),
              "SELECT * FROM \"lines\" WHERE  \"A\" > 'x' OR (\"A\" = 'x' AND \"B\" >= 7)" + order + " LIMIT 512;");
    EXPECT_EQ(SQL(pageStatement(2, 1, S(""), S(""), S(""), 512, general)), "SELECT * FROM \"lines\"  " + order + " LIMIT 512;");
    EXPECT_EQ(SQL(pageStatement(2, 1, S(V), S("y     0"), S(""), 512, indexForm({1, 2}))),
              "SELECT * FROM \"lines\" WHERE  (\"A\",\"B\") >= ('x',7) AND (\"A\",\"B\") <= ('y',0) ORDER BY \"A\",\"B\" "
              "LIMIT 512;");
}

TEST_F(Statements, InsertLeavesOutTrailingPlaceholdersAndSendsDatesAsText) {
    StrScope scope;
    std::string rec = client("C1", "O'Brien", "", "12", "1234.50", "20240305");
    EXPECT_EQ(SQL(insertStatement(1, S(rec))),
              "INSERT INTO \"clients\" VALUES ('C1',E'O\\x27Brien',NULL,12,1234.50,'20240305');");
    EXPECT_EQ(SQL(insertStatement(2, S("abc   9"))), "INSERT INTO \"lines\" VALUES ('abc',9);");
    EXPECT_EQ(StrError(insertStatement(3, S(rec))), err::DATAOUTBOUND);
}

TEST_F(Statements, UpdateAndDeleteByKeyNeverGoUnrestricted) {
    StrScope scope;
    std::string before = client("C1", "Old", "MADRID", "1", "", "20240305");
    std::string after = client("C1", "New", "MADRID", "3", "", "20240305");
    after.replace(after.size() - 6, 6, "zzzzzz");  // placeholders changed: not sent
    StrDesc set = setList(1, S(after), S(before));
    EXPECT_EQ(SQL(set), "\"NAME\" = 'New',\"QTY\" = 3");
    EXPECT_EQ(SQL(setList(1, S(before), S(before))), "");
    EXPECT_EQ(SQL(updateStatement(1, 1, S("C1    "), set, general)),
              "UPDATE ONLY \"clients\" SET \"NAME\" = 'New',\"QTY\" = 3 WHERE \"CODE\" = 'C1';");
    EXPECT_EQ(SQL(updateStatement(1, 1, S("      "), set, general)),
              "UPDATE ONLY \"clients\" SET \"NAME\" = 'New',\"QTY\" = 3 WHERE (\"CODE\" = '' OR \"CODE\" IS NULL);");
    EXPECT_EQ(SQL(updateStatement(1, 1, S("C1"), S(""), general)), "");
    EXPECT_EQ(StrError(updateStatement(1, 1, S(""), set, general)), err::INDEXCMDERROR);
    EXPECT_EQ(SQL(deleteStatement(2, 1, S(V), general)), "DELETE FROM ONLY \"lines\" WHERE \"A\" = 'x' AND \"B\" = 7;");
    EXPECT_EQ(SQL(deleteStatement(2, 1, S(V), indexForm({1, 2}))),
              "DELETE FROM ONLY \"lines\" WHERE \"A\" = 'x' AND \"B\" = 7;");
    EXPECT_EQ(StrError(deleteStatement(2, 1, S(""), general)), err::INDEXCMDERROR);

    EXPECT_EQ(SQL(updateWhereStatement(2, S("\"B\" = \"B\" + 1"), S("\"A\" = 'x'"))),
              "UPDATE ONLY \"lines\" SET \"B\" = \"B\" + 1 WHERE \"A\" = 'x';");
    EXPECT_EQ(SQL(updateWhereStatement(2, S(""), S("\"A\" = 'x'"))), "");
    EXPECT_EQ(StrError(updateWhereStatement(2, S("\"B\" = 1"), S("  "))), err::INDEXCMDERROR);
    EXPECT_EQ(SQL(deleteAllStatement(2)), "DELETE FROM ONLY \"lines\";");
}

TEST_F(Statements, NamesAreQuotedWithInnerQuotesDoubled) {
    StrScope scope;
    EXPECT_EQ(SQL(quoteName(StrView("plain"))), "\"plain\"");
    EXPECT_EQ(SQL(quoteName(StrView("we\"ird"))), "\"we\"\"ird\"");
}

}  // namespace
