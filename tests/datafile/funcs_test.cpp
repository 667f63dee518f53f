// The data-file functions of the language against the throwaway server:
// FILELOCATE, FILEFIND, IER, KEY$, FN#FLEN, FN$FLDS, FILEREL and FILESEL of
// a set, reached through the evaluator, and SQLCHILD around data-file reads.
#include "tests/datafile/df_fixture.h"

#include "datafile/filesets.h"

using namespace rt;
using namespace dftest;
using testsupport::show;

namespace {

// Statuses are numbers: the language writes 0 as the empty text.
class Funcs : public DataFileTest {
protected:
    // 1 clients (CODE A4 key 1, CITY A5; key 2 CITY+CODE), 2 items (CODE A4,
    // STOCK N6), 3 codes (CODE A4, NAME A6); lines relate to items (relation 1).
    void tables(Admin& admin) {
        admin.exec("CREATE TABLE clients (\"CODE\" varchar(4) PRIMARY KEY, \"CITY\" varchar(5))");
        admin.exec("CREATE TABLE items (\"CODE\" varchar(4) PRIMARY KEY, \"STOCK\" integer)");
        admin.exec("CREATE TABLE codes (\"CODE\" varchar(4) PRIMARY KEY, \"NAME\" varchar(6))");
        admin.exec("INSERT INTO clients VALUES ('C1','ROMA'),('C2','LIMA'),('C3','OSLO')");
        admin.exec("INSERT INTO items VALUES ('W1', 100)");
        admin.exec("INSERT INTO codes VALUES ('ABC','first'),('AC','second')");
        define("clients", {{"CODE", 4, 'A'}, {"CITY", 5, 'A'}}, {{{0, 4}}, {{4, 5}, {0, 4}}});
        define("items", {{"CODE", 4, 'A'}, {"STOCK", 6, 'N'}}, {{{0, 4}}});
        define("codes", {{"CODE", 4, 'A'}, {"NAME", 6, 'A'}}, {{{0, 4}}});
        ASSERT_EQ(addRelationText(3, StrView("2R1K1=NAME{codes}")), 0);
    }
};

TEST_F(Funcs, NavigationAndFindsThroughTheLanguage) {
    REQUIRE_DATABASE(info, "datafile_funcs");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_funcs"), 0);
    setCurrentFile(1);
    struct Case {
        const char* expr;
        const char* value;
    } cases[] = {
        {"FILELOCATE('TOP')", ""},
        {"CODE{}", "C1  "},
        {"FILELOCATE('next';1)+FILELOCATE('NXT';'clients')", ""},
        {"CODE{clients}", "C3  "},
        {"FILELOCATE()", "2"},  // past the end
        {"IER(1)", "2"},
        {"FILELOCATE('PRV')+IER()", ""},
        {"CODE{}", "C3  "},
        {"KEY$()", "C3  "},
        {"KEY$(1;2)", "OSLO C3  "},
        {"KEY$(1;2;1;1)", "OSLO "},
        {"FILEFIND('LIMA';1;2)", ""},  // exact over the first segment of key 2: LIMA C2 cut to 4 is LIMA
        {"CODE{}", "C2  "},
        {"FILEFIND('LIMA C2';1;2)", ""},
        {"FILEFIND('AB';3;1;2)", ""},
        {"CODE{codes}", "ABC "},
        {"IER(3)", ""},
        {"FILEFIND('ABD';3;1;2)", "1"},
        {"FILEFIND('AB';3;1)", "2"},
        {"FILEFIND('9999';3;1;1)", "2"},
        {"CODE{3}+'|'+NAME{3}", "9999|      "},
        {"FILEFIND('Q1';'codes';1;4)", "2"},
        {"FN#FLEN('codes')", "3"},
        {"IER(99)", ""},  // out of range: the current file
        {"FILELOCATE('TOP';'nowhere')", "<error 161>"},
    };
    for (const Case& c : cases) EXPECT_EQ(eval(c.expr), c.value) << c.expr;
    EXPECT_EQ(admin.one("SELECT \"CODE\" FROM codes WHERE \"CODE\" = 'Q1'"), "Q1");
    // FN$FLDS reads the stored text of either copy.
    EXPECT_EQ(eval("FILELOCATE('TOP';3)"), "");
    EXPECT_EQ(eval("NAME{codes}='edited'"), "edited");
    EXPECT_EQ(eval("FN$FLDS(NAME{codes})+'/'+FN$FLDS(NAME{codes};2)"), "edited/first ");
}

TEST_F(Funcs, FileRelCreatesTheMissingRelatedRecord) {
    REQUIRE_DATABASE(info, "datafile_funcs_rel");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_funcs_rel"), 0);
    ASSERT_EQ(eval("FILEFIND('AC';3;1)"), "");
    ASSERT_EQ(eval("NAME{codes}='W9'"), "W9");
    // The related record (items W9) is missing: created, the expression applied.
    EXPECT_EQ(eval("FILEREL(3;2;1;4;STOCK{items}=STOCK{items}+7)"), "2");
    EXPECT_EQ(sysGet(SysVar::RELRES), 4);
    EXPECT_EQ(admin.one("SELECT \"STOCK\" FROM items WHERE \"CODE\" = 'W9'"), "7");
    // Found now: changed and rewritten.
    EXPECT_EQ(eval("FILEREL(3;2;1;4;STOCK{items}=STOCK{items}+7)"), "");
    EXPECT_EQ(admin.one("SELECT \"STOCK\" FROM items WHERE \"CODE\" = 'W9'"), "14");
    EXPECT_EQ(eval("FILEREL(3;2;2)"), "163");  // no relation: the code as the status
}

TEST_F(Funcs, SqlChildRunsReadsOneSlotUpAndRestoresTheState) {
    REQUIRE_DATABASE(info, "datafile_funcs_child");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_funcs_child"), 0);
    sysSet(SysVar::CURROW, 5);
    sysSet(SysVar::IER, 9);
    // Reads inside SQLCHILD run on the slot above, which takes the connection
    // below it, and see the same data; the slot, _CURROW and _IER come back
    // afterwards.
    EXPECT_EQ(eval("SQLCHILD(Y#=_SQLSTK;FILELOCATE('TOP';1);X$=CODE{1};_CURROW=3;_IER=4)"), "");
    EXPECT_EQ(eval("Y#"), "1");
    EXPECT_EQ(eval("X$"), "C1  ");
    EXPECT_EQ(sysGet(SysVar::SQLSTK), 0);
    EXPECT_EQ(sysGet(SysVar::CURROW), 5);
    EXPECT_EQ(sysGet(SysVar::IER), 9);
    // Nested: each level one slot further up.
    EXPECT_EQ(eval("SQLCHILD(SQLCHILD(W#=_SQLSTK;FILELOCATE('BOT';1);Z$=CODE{1}))"), "");
    EXPECT_EQ(eval("W#"), "2");
    EXPECT_EQ(eval("Z$"), "C3  ");
    EXPECT_EQ(sysGet(SysVar::SQLSTK), 0);
    // Eight levels deep: 159, nothing evaluated at that level.
    EXPECT_EQ(eval("SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(SQLCHILD(V#=1))))))))"),
              "<error 159>");
    EXPECT_EQ(eval("V#"), "");
    EXPECT_EQ(sysGet(SysVar::SQLSTK), 0);
    // A statement error inside: the code, the state restored all the same.
    EXPECT_EQ(eval("SQLCHILD(FILELOCATE('TOP';'nowhere'))"), "<error 161>");
    EXPECT_EQ(sysGet(SysVar::SQLSTK), 0);
}

TEST_F(Funcs, FileSelActivatesANamedSetAndRestoresIt) {
    REQUIRE_DATABASE(info, "datafile_funcs_sets");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_funcs_sets"), 0);
    setCurrentFile(1);
    ASSERT_EQ(eval("FILEFIND('C2';1;1)"), "");
    EXPECT_EQ(eval("FILESEL('codes,items')"), "");
    EXPECT_EQ(currentFile(), 3);
    EXPECT_EQ(eval("CODE{}+CODE{items}"), "ABC W1  ");
    EXPECT_EQ(eval("FILESEL('RESTORE')"), "");
    EXPECT_EQ(currentFile(), 1);
    EXPECT_EQ(eval("FILESEL('RESTORE')"), "<error 141>");
    EXPECT_EQ(eval("FILESEL('nosuch')"), "<error 164>");
    admin.exec("DELETE FROM codes");
    EXPECT_EQ(eval("FILESEL('codes')"), "2");  // an empty first file
    EXPECT_EQ(eval("FILESEL('restore')"), "");
}

}  // namespace
