// Condition translation: the SQL text of conditions, the escaping of values,
// terms that cannot be translated and the NULL rules; and, on the throwaway
// server, that the translated SQL never selects fewer rows than the
// condition accepts when evaluated row by row.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlcond.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "datafile/record.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "tests/support/pg_test.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

constexpr auto env = testsupport::envOr;

// Table 1 "other" and table 2 "sales", whose fields are the columns of the
// server table of the same name.
class Conditions : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(dictionaryReset(), 0);
        ASSERT_EQ(evalInit(), 0);
        ASSERT_EQ(defineTable(0, StrView("other"), StrView("")), 0);
        ASSERT_EQ(addField(StrView("CODE"), 4, 'A'), 0);
        ASSERT_EQ(defineTable(0, StrView("sales"), StrView("")), 0);
        for (auto [name, length, type] : kSalesFields) ASSERT_EQ(addField(StrView(name), length, type), 0);
        ASSERT_EQ(defaultKeysUpTo(2), 0);
    }
    void TearDown() override {
        SqlShutdown();
        evalShutdown();
        varShutdown();
        RuntimeTest::TearDown();
    }
    struct Case {
        const char* condition;
        const char* sql;
    };
    void check(std::initializer_list<Case> cases, std::uint16_t table = 0) {
        for (const Case& c : cases) EXPECT_EQ(sql(c.condition, table), c.sql) << c.condition;
    }
    std::string sql(const std::string& condition, std::uint16_t table = 0) {
        StrScope scope;
        return show(translateCondition(StrView(condition), table));
    }
    void let(const std::string& assignment) {
        StrScope scope;
        ASSERT_LT(evalExpr(StrView(assignment)), 2) << assignment;
    }

    struct SalesField {
        const char* name;
        std::uint16_t length;
        char type;
    };
    static constexpr SalesField kSalesFields[] = {
        {"ID", 6, 'N'}, {"CITY", 12, 'A'}, {"AMOUNT", 10, '2'}, {"QTY", 6, 'N'}, {"CODE", 4, 'A'}, {"FECHA", 8, 'D'},
    };
};

}  // namespace

TEST_F(Conditions, TheDocumentedExamplesComeOutExactly) {
    check({
        {"CITY{2}=='MADRID'", "\"CITY\" = 'MADRID'"},
        {"CITY{2}=='MA*'", "\"CITY\" ILIKE 'MA%'"},
        {"AMOUNT{2}<100", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" < 100)"},
        {"QTY{2}==0&&CODE{2}>'B'", "(\"QTY\" IS NULL OR \"QTY\" = 0) AND \"CODE\" > 'B'"},
        {"X#>2&&CODE{2}=='A'", "\"CODE\" = 'A'"},
        // Spaces next to operators, table by name, field by number, groups.
        {"CITY{sales} == 'MADRID'", "\"CITY\" = 'MADRID'"},
        {"2{2}<='M'", "(\"CITY\" IS NULL OR \"CITY\" <= 'M')"},
        {"(CODE{2}=='A'||CODE{2}=='B')&&QTY{2}>=3", "(\"CODE\" = 'A' OR \"CODE\" = 'B') AND \"QTY\" >= 3"},
        {"AMOUNT{2}<=12.5||AMOUNT{2}>1000", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" <= 12.5) OR \"AMOUNT\" > 1000"},
        {"CITY{2}=='*DRI*'", "\"CITY\" ILIKE '%DRI%'"},
        {"FECHA{2}>='20240301'", "\"FECHA\" >= '20240301'"},
        {"QTY{2}@@CODE{2}", ""},
        {"", ""},
    });
}

TEST_F(Conditions, ValuesAreEvaluatedOnceAsAWholeAndEscaped) {
    let("MIN#=5");
    let("NAME$=\"O'Brien\"");
    check({
        {"AMOUNT{2}>=MIN#", "\"AMOUNT\" >= 5"},
        {"AMOUNT{2}<MIN#*2", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" < 10)"},
        {"AMOUNT{2}>-1.5", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" > -1.5)"},
        {"QTY{2}<>(MIN#+1)", "(\"QTY\" IS NULL OR \"QTY\" <> 6)"},
        {"CITY{2}==NAME$", "\"CITY\" = E'O\\x27Brien'"},
        {"CITY{2}=='say \"hi\"'", "\"CITY\" = E'say \\x22hi\\x22'"},
        // A backslash is a plain character of the value, in both literal forms.
        {"CITY{2}=='C:\\TMP'", "\"CITY\" = 'C:\\TMP'"},
        {"CITY{2}==\"it's C:\\\"", "\"CITY\" = E'it\\x27s C:\\\\'"},
        // In a pattern, backslash, % and _ are matched literally.
        {"CITY{2}=='50%_a\\b*'", "\"CITY\" ILIKE '50\\%\\_a\\\\b%'"},
        {"CITY{2}=='O''B*'", "\"CITY\" ILIKE E'O\\x27\\x27B%'"},
        // A number compared with a numeric field as text reads as the number.
        {"AMOUNT{2}=='12.5'", "\"AMOUNT\" = 12.5"},
    });
    // The value is taken when the condition is translated.
    std::string before = sql("AMOUNT{2}>=MIN#");
    let("MIN#=7");
    EXPECT_EQ(before, "\"AMOUNT\" >= 5");
    EXPECT_EQ(sql("AMOUNT{2}>=MIN#"), "\"AMOUNT\" >= 7");
}

// NULL reads as the empty value of the field: 0 for numbers, the empty text
// for text. Every comparison that value passes takes the NULL rows.
TEST_F(Conditions, NullRowsAreKeptWheneverTheEmptyValuePasses) {
    check({
        {"AMOUNT{2}>=0", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" >= 0)"},
        {"AMOUNT{2}>0", "\"AMOUNT\" > 0"},
        {"AMOUNT{2}<>5", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" <> 5)"},
        {"AMOUNT{2}<>0", "\"AMOUNT\" <> 0"},
        {"AMOUNT{2}<-3", "(\"AMOUNT\" IS NULL OR \"AMOUNT\" < -3)"},
        {"CODE{2}<'B'", "(\"CODE\" IS NULL OR \"CODE\" < 'B')"},
        {"CODE{2}>='B'", "\"CODE\" >= 'B'"},
        {"CODE{2}<>'B'", "(\"CODE\" IS NULL OR \"CODE\" <> 'B')"},
        {"CODE{2}==''", "(\"CODE\" IS NULL OR \"CODE\" = '')"},
        {"CODE{2}>''", "\"CODE\" > ''"},
        {"CODE{2}<=''", "(\"CODE\" IS NULL OR \"CODE\" <= '')"},
        {"CODE{2}==' *'", "\"CODE\" ILIKE ' %'"},
        {"FECHA{2}==''", "(\"FECHA\" IS NULL OR \"FECHA\"::text = '')"},
        // A pattern that accepts every text restricts nothing; a pattern on a
        // date column cannot be written.
        {"CODE{1}=='*'", ""},
        {"CITY{2}=='**'", ""},
        {"FECHA{2}=='2024*'", ""},
    });
}

// A term that cannot be translated restricts nothing: it drops out of an
// AND and opens the whole OR group it belongs to; what it wrote is gone.
TEST_F(Conditions, UntranslatableTermsNeverNarrowTheSql) {
    check({
        {"X#>2||CODE{2}=='A'", ""},
        {"CODE{2}=='A'||X#>2", ""},
        {"CODE{2}=='A'||X#>2&&CITY{2}=='M'", "\"CITY\" = 'M'"},
        {"CODE{2}=='A'&&X#>2||CITY{2}=='M'", "\"CODE\" = 'A' OR \"CITY\" = 'M'"},
        {"CODE{2}=='A'@@FN$TRIM(CITY{2})=='M'", ""},
        {"(CODE{2}=='A'||FN$TRIM(CITY{2})=='M')&&QTY{2}>1", "\"QTY\" > 1"},
        {"(CODE{2}=='A'||CITY{2}=='M')||(X#)", ""},
        // Arithmetic on the field, a field on the value side, a row-dependent
        // function, a chained comparison: the term is dropped entirely.
        {"AMOUNT{2}*2>100&&CODE{2}=='A'", "\"CODE\" = 'A'"},
        {"AMOUNT{2}<QTY{2}&&CODE{2}=='A'", "\"CODE\" = 'A'"},
        {"CODE{2}==KEY$(2)&&QTY{2}>1", "\"QTY\" > 1"},
        {"CODE{2}==FN$FLDS('CODE{2}')", ""},
        {"QTY{2}>1>0&&CODE{2}=='A'", "\"CODE\" = 'A'"},
        {"(QTY{2}+1)>5", ""},
        // & and @ join terms as && and @@ do.
        {"CODE{2}=='A'&CITY{2}=='M'", "\"CODE\" = 'A' AND \"CITY\" = 'M'"},
        {"CODE{2}=='A'@CITY{2}=='M'", "\"CODE\" = 'A' OR \"CITY\" = 'M'"},
        // An assignment, or several expressions: not a plain condition.
        {"CODE{2}=='A'&&Y#=1", ""},
        {"Y#=1;CODE{2}=='A'", ""},
        // An unknown field or table is left to the evaluation to report.
        {"NOPE{2}=='A'&&CODE{2}=='B'", "\"CODE\" = 'B'"},
        {"CODE{9}=='A'", ""},
    });
    // A field of another table than the one read is a value of that table's
    // current record, not a column.
    check({{"CODE{1}=='A'&&CITY{2}=='M'", "\"CITY\" = 'M'"}}, 2);
}

TEST_F(Conditions, ConditionsAlreadyInSqlPassUnchanged) {
    sysFlag(SysVar::AUXSTAT, 256, true);
    EXPECT_EQ(sql("amount > 5"), "amount > 5");
    EXPECT_EQ(sql("CITY{2}=='MADRID'"), "CITY{2}=='MADRID'");
}

TEST_F(Conditions, ErrorsAreRecordedWithTheConditionAndReturned) {
    struct Failing {
        const char* condition;
        ErrCode code;
    } cases[] = {
        {"CODE{2}=='A'&&(QTY{2}>1", err::LOOPFAILURE},
        {"CODE{2}=='A' B", err::SINTAXERROR},
        {"AMOUNT{2}>'x'*'y'", err::SINTAXERROR},
        {"AMOUNT{2}>'x'+1", err::TYPEMISMATCH},
    };
    for (const Failing& f : cases) {
        ErrorRecordClear();
        StrScope scope;
        StrDesc r = translateCondition(StrView(f.condition));
        EXPECT_EQ(StrError(r), f.code) << f.condition;
        EXPECT_EQ(ErrorRecordCode(), f.code) << f.condition;
        EXPECT_EQ(show(ErrorDetailGet()), f.condition);
    }
    // The string stack is back where it was.
    StrMarkT before = StrMark();
    { StrDesc r = translateCondition(StrView("AMOUNT{2}>'x'*'y'")); (void)r; }
    EXPECT_EQ(StrMark(), before);
}

TEST_F(Conditions, ComparisonPieceRefusesOperatorsThatAreNotComparisons) {
    StrScope scope;
    CondValue v;
    EXPECT_EQ(StrError(conditionComparison(StrView("\"A\""), 'N', 6, v)), err::SINTAXERROR);
    EXPECT_EQ(show(sqlOperator(11)), "=");
    EXPECT_EQ(show(sqlOperator(17)), "OR");
    EXPECT_EQ(show(sqlOperator(21)), "");
}

// ---- Against the server ----------------------------------------------------------------

namespace {

// Local evaluation reads fields from the record buffer as the data-file
// layer presents them to expressions: without their trailing blanks.
ErrCode readField(StrDesc ref, char& type) {
    std::string r = ref.str();
    std::size_t open = r.find('{');
    std::uint16_t table = tableNumber(StrView(std::string_view(r).substr(open + 1, r.size() - open - 2)));
    std::uint16_t pos = fieldPosition(table, StrView(std::string_view(r).substr(0, open)));
    if (table == 0 || pos == DICT_NOFIELD) return err::FILEOUTBOUND;
    type = fieldDef(table, pos).type;
    StrDesc text = fieldText(table, pos);
    while (text.len && text.ptr[text.len - 1] == ' ') --text.len;
    return StrPush(text);
}

using Admin = testsupport::PgAdmin;

class ConditionsOnServer : public Conditions {
protected:
    // Ids of the rows of "sales" selected by the statement.
    std::set<int> ids(const std::string& statement) {
        std::set<int> out;
        StrScope scope;
        std::uint64_t n = 0;
        ErrCode e = execute(StrView(statement), -1, &n);
        EXPECT_TRUE(e == 0 || e == 2) << statement << ": " << show(ErrorDetailGet());
        if (e) return out;
        for (std::uint32_t r = 0; r < n; ++r) out.insert(std::atoi(show(resultValue(r, 0)).c_str()));
        releaseResult(-1);
        return out;
    }
    // Ids of the rows that the condition accepts, evaluated row by row.
    std::set<int> accepted(const std::string& condition) {
        std::set<int> out;
        StrScope scope;
        std::uint64_t n = 0;
        EXPECT_EQ(execute(StrView("SELECT * FROM \"sales\" ORDER BY \"ID\";"), -1, &n), 0);
        std::uint16_t slot = static_cast<std::uint16_t>(sysGet(SysVar::SQLSTK));
        for (std::uint32_t r = 0; r < n; ++r) {
            EXPECT_EQ(loadRow(2, r, slot, LoadInto::BOTH), 0);
            ErrCode v = evalCondition(StrView(condition));
            EXPECT_LT(v, 2) << condition << " row " << r;
            if (v == 1) out.insert(std::atoi(show(fieldText(2, 1)).c_str()));
        }
        releaseResult(slot);
        return out;
    }
};

}  // namespace

TEST_F(ConditionsOnServer, TranslatedSqlSelectsEveryRowTheConditionAccepts) {
    REQUIRE_DATABASE(info, "sqlcond");
    Admin admin(info);
    admin.exec(
        "CREATE TABLE sales (\"ID\" integer, \"CITY\" varchar(12), \"AMOUNT\" numeric(10,2), \"QTY\" integer, "
        "\"CODE\" varchar(4), \"FECHA\" date)");
    admin.exec(
        "INSERT INTO sales VALUES "
        "(1, 'MADRID', 150, 2, 'A', '2024-03-05'),"
        "(2, 'madrileno', 50, 0, 'B', NULL),"
        "(3, 'BARCELONA', NULL, NULL, NULL, '2023-12-31'),"
        "(4, NULL, -20, 7, 'C', '2024-01-01'),"
        "(5, 'O''Brien', 0, 1, '', NULL),"
        "(6, 'C:\\TMP', 99.99, 3, 'A', '2024-02-29'),"
        "(7, '50%_off', 1000, NULL, 'B', NULL),"
        "(8, 'SEVILLA', 12.5, 0, 'D', '2024-03-01'),"
        "(9, U&'m\\00E1laga', 3, 3, 'E', NULL)");
    std::string host = env("PGHOST");
    ASSERT_EQ(connect(StrView(host), StrView("sqlcond"), StrView(env("PGUSER")), StrView(env("PGPASSWORD")), 0), 0)
        << show(ErrorDetailGet());
    ASSERT_EQ(recordInit(2), 0);
    FieldAccess access;
    access.read = readField;
    evalSetFieldAccess(access);
    let("MIN#=50");
    let("NAME$=\"O'Brien\"");

    const char* conditions[] = {
        // Rows that match only through the dropped term (a function of the
        // field) must still come back.
        "AMOUNT{2}*2>250||CODE{2}=='Z'",
        "CODE{2}=='Z'||QTY{2}+1==8",
        "AMOUNT{2}>QTY{2}*100||CODE{2}=='Z'",
        "(CODE{2}=='Z'||AMOUNT{2}*2>150)&&QTY{2}<5",
        "CODE{2}=='A'&&X#>2||CITY{2}=='SEVILLA'",
        // NULL read as 0 or the empty text.
        "AMOUNT{2}>=0", "AMOUNT{2}<>50", "QTY{2}==0", "AMOUNT{2}<MIN#", "CODE{2}<'B'", "CODE{2}==''",
        "CODE{2}<>'A'", "CITY{2}<='M'",
        // Patterns and escaping.
        "CITY{2}=='MA*'", "CITY{2}=='*DRI*'", "CITY{2}=='M*D'", "CITY{2}=='*'", "CITY{2}=='50%*'",
        "CITY{2}==NAME$", "CITY{2}=='C:\\TMP'", "CITY{2}=='C:\\*'", "CITY{2}=='M\xC1L*'", "CITY{2}=='*\xC1LA*'",
        // Dates and mixed terms.
        "FECHA{2}>='20240101'&&FECHA{2}<'20240301'", "FECHA{2}==''",
        "QTY{2}==0&&CODE{2}>'B'", "AMOUNT{2}>MIN#-60&CODE{2}<>'C'",
    };
    for (const char* c : conditions) {
        std::string where = sql(c, 2);
        ASSERT_EQ(where.rfind("<error", 0), std::string::npos) << c << ": " << where;
        std::set<int> selected =
            ids("SELECT * FROM \"sales\"" + (where.empty() ? "" : " WHERE " + where) + " ORDER BY \"ID\";");
        std::set<int> local = accepted(c);
        for (int id : local) EXPECT_TRUE(selected.count(id)) << c << " loses row " << id << " (SQL: " << where << ")";
    }
    // The first condition matches nothing through its translated term: the
    // whole OR group restricts nothing.
    EXPECT_EQ(sql(conditions[0], 2), "");
    EXPECT_EQ(accepted(conditions[0]), std::set<int>({1, 7}));
    // Case does not matter in patterns, beyond ASCII too.
    EXPECT_EQ(accepted("CITY{2}=='M\xC1L*'"), std::set<int>({9}));
    EXPECT_EQ(ids("SELECT * FROM \"sales\" WHERE " + sql("CITY{2}=='M\xC1L*'", 2) + ";"), std::set<int>({9}));
    evalSetFieldAccess(FieldAccess{});
}

TEST_F(Conditions, CountWhereCountsWithTheTranslatedCondition) {
    REQUIRE_DATABASE(info, "sqlcond_count");
    Admin admin(info);
    admin.exec(
        "CREATE TABLE sales (\"ID\" integer, \"CITY\" varchar(12), \"AMOUNT\" numeric(10,2), \"QTY\" integer, "
        "\"CODE\" varchar(4), \"FECHA\" date)");
    admin.exec("INSERT INTO sales (\"ID\", \"CODE\", \"AMOUNT\") VALUES (1,'A',5),(2,'A',NULL),(3,'B',7),(4,'C',1)");
    std::string host = env("PGHOST");
    ASSERT_EQ(connect(StrView(host), StrView("sqlcond_count"), StrView(env("PGUSER")), StrView(env("PGPASSWORD")), 0), 0);
    StrScope scope;
    // Key 1 is field ID; from 000002 up to 000004.
    EXPECT_EQ(countWhere(2, 1, StrView("     2"), StrView("     4"), StrView("AMOUNT{2}<6")), 2u);
    EXPECT_EQ(countWhere(2, 0, StrView(""), StrView(""), StrView("")), 4u);
    EXPECT_EQ(countWhere(2, 1, StrView(""), StrView("\xFF"), StrView("CODE{2}=='A'")), 2u);
    EXPECT_EQ(countWhere(2, 1, StrView(""), StrView("\xFF"), StrView("CODE{2}=='A'&&(")), COUNT_FAILED);
}
