// Navigation verbs, finds and saves against the throwaway server: statuses
// of every verb, reading past the end and back, NULL and empty key values,
// date fields, FILEFIND's exact and at-or-after forms, rewrites by the old
// key, server codes of failed statements, the transaction bracket.
#include "tests/datafile/df_fixture.h"

#include "datafile/verbs.h"

using namespace rt;
using namespace dftest;
using testsupport::show;

namespace {

class Nav : public DataFileTest {
protected:
    // clients: CODE A6 (key 1), NAME A10, CITY A8, BORN D8, AMOUNT 2 (8 wide);
    // key 2 is CITY + CODE.
    std::uint16_t clients(Admin& admin, const std::vector<std::string>& values) {
        admin.exec("CREATE TABLE clients (\"CODE\" varchar(6) PRIMARY KEY, \"NAME\" varchar(10), \"CITY\" varchar(8), "
                   "\"BORN\" date, \"AMOUNT\" numeric(8,2))");
        for (const std::string& v : values) admin.exec("INSERT INTO clients VALUES (" + v + ")");
        std::uint16_t t = define("clients", {{"CODE", 6, 'A'}, {"NAME", 10, 'A'}, {"CITY", 8, 'A'}, {"BORN", 8, 'D'},
                                             {"AMOUNT", 8, '2'}},
                                 {{{0, 6}}, {{16, 8}, {0, 6}}});
        EXPECT_EQ(openFile(t, 0), 0);
        return t;
    }
    std::string code(std::uint16_t t) { return field(t, 1); }
    std::uint16_t locate(std::uint16_t t, const char* verb) { return navigateVerb(t, StrView(verb)); }
};

TEST(Verbs, CodesAndSynonymsFollowTheVerbList) {
    struct Case {
        const char* word;
        std::uint16_t number, code;
    } cases[] = {
        {"NEW", 1, 0x0F01},  {"top", 2, 0x0F24},      {"Prv", 3, 0x0F16}, {"RLD", 4, 0x0000}, {"NXT", 5, 0x0F12},
        {"next", 5, 0x0F12}, {"PREVIOUS", 3, 0x0F16}, {"bottom", 6, 0x0F20}, {"FND", 7, 0x0040}, {"SVE", 8, 0x0F00},
        {"INS", 9, 0x0D00},  {" DEL ", 10, 0x0642},   {"LST", 11, 0x0042}, {"NLS", 12, 0x00FF}, {"BLS", 13, 0x0046},
        {"TSL", 18, 0x00FF}, {"JUMP", 0, 0x00FF},     {"", 0, 0x00FF},    {"NEXTX", 0, 0x00FF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(verbNumber(StrView(c.word)), c.number) << c.word;
        EXPECT_EQ(verbCode(StrView(c.word)), c.code) << c.word;
    }
}

TEST_F(Nav, VerbsWalkTheKeyOrderWithTheirStatuses) {
    REQUIRE_DATABASE(info, "datafile_nav");
    Admin admin(info);
    std::uint16_t t = clients(admin, {"'C2','Carl','ROMA',NULL,3", "'A1','Ann','MADRID','2024-03-05',12.5",
                                      "'B7','Bob','LIMA',NULL,NULL"});
    ASSERT_EQ(connectTo("datafile_nav"), 0);

    EXPECT_EQ(locate(t, "TOP"), 0);
    EXPECT_EQ(code(t), "A1    ");
    EXPECT_EQ(locate(t, "NXT"), 0);
    EXPECT_EQ(code(t), "B7    ");
    EXPECT_EQ(locate(t, "next"), 0);  // the long form is NXT
    EXPECT_EQ(code(t), "C2    ");
    // Past the end: 2 and a cleared record; PRV then reads the last record.
    EXPECT_EQ(locate(t, "NXT"), 2);
    EXPECT_EQ(working(t), std::string(40, ' '));
    EXPECT_EQ(controlBlock(t)->lastStatus, 2);
    EXPECT_EQ(locate(t, "PRV"), 0);
    EXPECT_EQ(code(t), "C2    ");
    EXPECT_EQ(locate(t, "BOT"), 0);
    EXPECT_EQ(code(t), "C2    ");
    EXPECT_EQ(locate(t, "previous"), 0);
    EXPECT_EQ(code(t), "B7    ");
    EXPECT_EQ(locate(t, "TOP"), 0);
    // Before the first record: 1 (no previous record), the record cleared.
    EXPECT_EQ(locate(t, "PRV"), 1);
    EXPECT_EQ(working(t), std::string(40, ' '));
    // FND re-reads the current key exactly; LST reads at or after it.
    set(t, 1, "B7");
    EXPECT_EQ(locate(t, "FND"), 0);
    EXPECT_EQ(field(t, 2), "Bob       ");
    set(t, 1, "B");
    EXPECT_EQ(locate(t, "FND"), 2);
    set(t, 1, "B");
    EXPECT_EQ(locate(t, "LST"), 0);
    EXPECT_EQ(code(t), "B7    ");
    // NEW and every unknown word clear the record with status 3.
    EXPECT_EQ(locate(t, "NEW"), 3);
    EXPECT_EQ(working(t), std::string(40, ' '));
    EXPECT_EQ(locate(t, "TOP"), 0);
    EXPECT_EQ(locate(t, "IMP"), 3);
    EXPECT_EQ(working(t), std::string(40, ' '));
    // Key 2 (CITY + CODE) orders by city.
    EXPECT_EQ(findKey(t, 2, StrView(""), 2), 0);
    EXPECT_EQ(code(t), "B7    ");
    EXPECT_EQ(locate(t, "NXT"), 0);
    EXPECT_EQ(code(t), "A1    ");
}

TEST_F(Nav, FieldsLoadAsStoredDatesAsYyyymmddNumbersRightAligned) {
    REQUIRE_DATABASE(info, "datafile_nav_fields");
    Admin admin(info);
    std::uint16_t t = clients(admin, {"'A1','Ann','MADRID','2024-03-05',12.5", "'B7',NULL,'',NULL,NULL"});
    ASSERT_EQ(connectTo("datafile_nav_fields"), 0);
    ASSERT_EQ(locate(t, "TOP"), 0);
    EXPECT_EQ(working(t), "A1    Ann       MADRID  20240305   12.50");
    EXPECT_EQ(asRead(t), working(t));
    EXPECT_EQ(eval("BORN{clients}"), "20240305");
    EXPECT_EQ(eval("AMOUNT{clients}*2"), "25");
    ASSERT_EQ(locate(t, "NXT"), 0);
    // NULL and empty values are blank fields; a blank number is 0 to the language.
    EXPECT_EQ(working(t), "B7                                      ");
    EXPECT_EQ(eval("AMOUNT{clients}+1"), "1");

    // A date written back travels as YYYYMMDD and is read by the server as a date.
    set(t, 4, "20231231");
    set(t, 5, "7.5");
    EXPECT_EQ(saveRecord(t, 0), 0);
    EXPECT_EQ(admin.one("SELECT \"BORN\", \"AMOUNT\", \"NAME\" FROM clients WHERE \"CODE\" = 'B7'"), "2023-12-31|7.50|~");
    EXPECT_EQ(asRead(t), working(t));
}

TEST_F(Nav, NullAndEmptyKeyValuesComeFirstAndCompareEqual) {
    REQUIRE_DATABASE(info, "datafile_nav_null");
    Admin admin(info);
    admin.exec("CREATE TABLE parts (\"GRP\" varchar(3), \"NUM\" integer, \"LABEL\" varchar(4))");
    admin.exec("INSERT INTO parts VALUES ('b',1,'b1'),(NULL,1,'n1'),('a',NULL,'a0'),('',2,'e2'),('a',1,'a1')");
    std::uint16_t t = define("parts", {{"GRP", 3, 'A'}, {"NUM", 4, 'N'}, {"LABEL", 4, 'A'}}, {{{0, 3}, {3, 4}}});
    ASSERT_EQ(connectTo("datafile_nav_null"), 0);
    std::vector<std::string> seen;
    for (std::uint16_t st = locate(t, "TOP"); st == 0 && seen.size() < 10; st = locate(t, "NXT"))
        seen.push_back(field(t, 3));
    EXPECT_EQ(seen, (std::vector<std::string>{"n1  ", "e2  ", "a0  ", "a1  ", "b1  "}));
    // A blank key field finds NULL as well as empty values.
    EXPECT_EQ(findKey(t, 1, StrView("      1"), 0), 0);
    EXPECT_EQ(field(t, 3), "n1  ");
    EXPECT_EQ(findKey(t, 1, StrView("      2"), 0), 0);
    EXPECT_EQ(field(t, 3), "e2  ");
    EXPECT_EQ(findKey(t, 1, StrView("a      "), 0), 0);
    EXPECT_EQ(field(t, 3), "a0  ");
    EXPECT_EQ(locate(t, "BOT"), 0);
    EXPECT_EQ(field(t, 3), "b1  ");
}

TEST_F(Nav, FileFindComparesTheFoundKeyOverTheTextLength) {
    REQUIRE_DATABASE(info, "datafile_nav_find");
    Admin admin(info);
    admin.exec("CREATE TABLE codes (\"CODE\" varchar(4) PRIMARY KEY, \"NAME\" varchar(6))");
    admin.exec("INSERT INTO codes VALUES ('ABC','first'),('AC','second'),('B','third')");
    std::uint16_t t = define("codes", {{"CODE", 4, 'A'}, {"NAME", 6, 'A'}}, {{{0, 4}}});
    ASSERT_EQ(connectTo("datafile_nav_find"), 0);
    struct Case {
        const char* text;
        std::uint16_t flags, status;
        const char* record;
    } cases[] = {
        {"AB", 2, 0, "ABC first "},   // at or after: ABC cut to 2 is AB
        {"ABD", 2, 1, "AC  second"},  // the first at or after is AC: not the text
        {"AB", 0, 2, "          "},   // exact: no key is AB
        {"AC", 0, 0, "AC  second"},
        {"9999", 1, 2, "9999      "},  // not found: cleared, the key fields filled
        {"Z", 2, 2, "          "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileFind(t, StrView(c.text), 1, c.flags), c.status) << c.text;
        EXPECT_EQ(working(t), c.record) << c.text;
        EXPECT_EQ(controlBlock(t)->lastStatus, c.status) << c.text;
    }
    // A condition of the language: the record after the first that meets it.
    EXPECT_EQ(fileFind(t, StrView("NAME{codes}=='third'"), 1, findflag::CONDITION), 0);
    EXPECT_EQ(field(t, 1), "B   ");
    // With INSERT a missing key is created with the text.
    EXPECT_EQ(fileFind(t, StrView("Q9"), 1, findflag::INSERT), 2);
    EXPECT_EQ(admin.one("SELECT \"CODE\", \"NAME\" FROM codes WHERE \"CODE\" = 'Q9'"), "Q9|~");
    EXPECT_EQ(asRead(t), working(t));
    EXPECT_EQ(fileFind(t, StrView(""), 1, findflag::INSERT), 2);
    EXPECT_EQ(admin.one("SELECT count(*) FROM codes"), "4");
}

TEST_F(Nav, SavingRewritesByTheKeyAsReadAndSendsNothingWhenUnchanged) {
    REQUIRE_DATABASE(info, "datafile_nav_save");
    Admin admin(info);
    std::uint16_t t = clients(admin, {"'A1','Ann','MADRID',NULL,1", "'B7','Bob','LIMA',NULL,2"});
    ASSERT_EQ(connectTo("datafile_nav_save"), 0);
    traceStatements();
    ASSERT_EQ(findKey(t, 1, StrView("A1"), 0), 0);
    statements();
    EXPECT_EQ(saveRecord(t, 0), 0);
    EXPECT_TRUE(statements().empty());

    // The key field itself changes: the row is found by its old key.
    set(t, 1, "A2");
    set(t, 2, "Anna");
    EXPECT_EQ(saveRecord(t, 2), 0);
    EXPECT_EQ(admin.rows("SELECT \"CODE\", \"NAME\" FROM clients ORDER BY \"CODE\""),
              (std::vector<std::string>{"A2|Anna", "B7|Bob"}));
    EXPECT_EQ(asRead(t), working(t));
    EXPECT_EQ(code(t), "A2    ");
    EXPECT_EQ(controlBlock(t)->lastStatus, 0);  // found again by its current key (mode 2)

    // Rewriting onto an existing key: 183 from the server, the record kept.
    set(t, 1, "B7");
    EXPECT_EQ(saveRecord(t, 0), err::DATAEXIST);
    EXPECT_EQ(code(t), "B7    ");
    EXPECT_NE(asRead(t), working(t));
    EXPECT_EQ(insertCurrent(t), err::DATAEXIST);

    // A value the server refuses: 162 with the server's message, trailing
    // line end removed, and the statement as detail.
    ASSERT_EQ(findKey(t, 1, StrView("B7"), 0), 0);
    admin.exec("ALTER TABLE clients ADD CONSTRAINT positive CHECK (\"AMOUNT\" > 0)");
    set(t, 5, "-4");
    ErrorRecordClear();
    EXPECT_EQ(saveRecord(t, 0), err::SQLERROR);
    std::string detail = show(ErrorDetailGet());
    EXPECT_NE(detail.find("violates check constraint \"positive\""), std::string::npos) << detail;
    EXPECT_NE(detail.find("\r\nUPDATE ONLY \"clients\" SET \"AMOUNT\" = -4.00 WHERE \"CODE\" = 'B7';"),
              std::string::npos)
        << detail;
    EXPECT_EQ(ErrorRecordCode(), err::SQLERROR);

    // DEL deletes the current record and keeps its status.
    ASSERT_EQ(findKey(t, 1, StrView("A2"), 0), 0);
    EXPECT_EQ(locate(t, "DEL"), 0);
    EXPECT_EQ(admin.rows("SELECT \"CODE\" FROM clients"), (std::vector<std::string>{"B7"}));
}

TEST_F(Nav, RowsSharingAKeyValueAreReadSavedAndDeletedOneByOne) {
    REQUIRE_DATABASE(info, "datafile_nav_dup");
    Admin admin(info);
    admin.exec("CREATE TABLE moves (\"REF\" varchar(3), \"NOTE\" varchar(4), \"QTY\" integer)");
    admin.exec("INSERT INTO moves VALUES ('A','a1',1),('K','k1',1),('K','k2',2),('K','k3',3),('Z','z1',1)");
    std::uint16_t t = define("moves", {{"REF", 3, 'A'}, {"NOTE", 4, 'A'}, {"QTY", 3, 'N'}}, {{{0, 3}}});
    ASSERT_EQ(connectTo("datafile_nav_dup"), 0);
    ASSERT_EQ(findKey(t, 1, StrView("K"), 0), 0);
    EXPECT_EQ(field(t, 2), "k1  ");
    EXPECT_GE(controlBlock(t)->multiSlot, 0);
    ASSERT_EQ(locate(t, "NXT"), 0);
    EXPECT_EQ(field(t, 2), "k2  ");
    // A rewrite changes this row only, and the multi-read stays on it.
    set(t, 3, "20");
    ASSERT_EQ(saveRecord(t, 0), 0) << show(ErrorDetailGet());
    EXPECT_EQ(admin.rows("SELECT \"NOTE\", \"QTY\" FROM moves WHERE \"REF\" = 'K' ORDER BY 1"),
              (std::vector<std::string>{"k1|1", "k2|20", "k3|3"}));
    ASSERT_EQ(locate(t, "NXT"), 0);
    EXPECT_EQ(field(t, 2), "k3  ");
    // A delete removes this row only.
    ASSERT_EQ(locate(t, "PRV"), 0);
    EXPECT_EQ(field(t, 2), "k2  ");
    EXPECT_EQ(locate(t, "DEL"), 0);
    EXPECT_EQ(admin.rows("SELECT \"NOTE\" FROM moves ORDER BY 1"),
              (std::vector<std::string>{"a1", "k1", "k3", "z1"}));
    std::vector<std::string> seen;
    for (std::uint16_t st = locate(t, "TOP"); st == 0 && seen.size() < 10; st = locate(t, "NXT"))
        seen.push_back(field(t, 2));
    EXPECT_EQ(seen, (std::vector<std::string>{"a1  ", "k1  ", "k3  ", "z1  "}));
}

TEST_F(Nav, TransactionBracketCommitsAndTracksItsBit) {
    REQUIRE_DATABASE(info, "datafile_nav_tx");
    Admin admin(info);
    std::uint16_t t = clients(admin, {});
    ASSERT_EQ(connectTo("datafile_nav_tx"), 0);
    traceStatements();
    EXPECT_EQ(endTransaction(), 0);  // nothing open: nothing sent
    EXPECT_TRUE(statements().empty());
    ASSERT_EQ(beginTransaction(), 0);
    EXPECT_TRUE(sysTest(SysVar::AUXSTAT, 4096));
    ASSERT_EQ(clearRecord(t), 0);
    set(t, 1, "Z1");
    ASSERT_EQ(insertCurrent(t), 0);
    EXPECT_EQ(admin.one("SELECT count(*) FROM clients"), "0");  // not visible before COMMIT
    EXPECT_EQ(endTransaction(), 0);
    EXPECT_FALSE(sysTest(SysVar::AUXSTAT, 4096));
    EXPECT_EQ(admin.one("SELECT \"CODE\" FROM clients"), "Z1");
    auto sent = statements();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "START TRANSACTION;");
    EXPECT_EQ(sent.back(), "COMMIT;");
}

TEST_F(Nav, OpenWithReadFirstLoadsTheFirstRecord) {
    REQUIRE_DATABASE(info, "datafile_nav_open");
    Admin admin(info);
    std::uint16_t t = clients(admin, {"'K1','Kim','OSLO',NULL,1"});
    ASSERT_EQ(connectTo("datafile_nav_open"), 0);
    set(t, 1, "junk");
    EXPECT_EQ(openFile(t, openflag::READFIRST), 0);
    EXPECT_EQ(code(t), "K1    ");
    EXPECT_EQ(controlBlock(t)->openFlags, openflag::READFIRST);
    closeFile(t);
    EXPECT_EQ(controlBlock(t)->lastStatus, 2);
    admin.exec("DELETE FROM clients");
    EXPECT_EQ(openFile(t, openflag::READFIRST), 2);
}

}  // namespace
