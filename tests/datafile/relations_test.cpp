// Relations against the throwaway server: relational-update entries run
// around a save (the old quantity removed, the new one added), the key test
// of the data-capture save, and relational reads that find, create, change
// or delete the related record, or update it on the server while relational
// updates run.
#include "tests/datafile/df_fixture.h"

#include <fstream>

#include "datafile/relations.h"
#include "datafile/verbs.h"

using namespace rt;
using namespace dftest;
using testsupport::show;

namespace {

class Relations : public DataFileTest {
protected:
    // items: CODE A4 (key 1), STOCK N6. lines: ORD N4 (key 1), ITEM A4, QTY N4,
    // related to items by relation 1 under items' key 1 with the value ITEM{lines}.
    void tables(Admin& admin) {
        admin.exec("CREATE TABLE items (\"CODE\" varchar(4) PRIMARY KEY, \"STOCK\" integer)");
        admin.exec("CREATE TABLE lines (\"ORD\" integer PRIMARY KEY, \"ITEM\" varchar(4), \"QTY\" integer)");
        admin.exec("INSERT INTO items VALUES ('W1', 100), ('W2', 10)");
        admin.exec("INSERT INTO lines VALUES (1, 'W1', 5)");
        items_ = define("items", {{"CODE", 4, 'A'}, {"STOCK", 6, 'N'}}, {{{0, 4}}});
        lines_ = define("lines", {{"ORD", 4, 'N'}, {"ITEM", 4, 'A'}, {"QTY", 4, 'N'}}, {{{0, 4}}});
        ASSERT_EQ(addRelationText(lines_, StrView("1R1K1=ITEM{lines}")), 0);
        ASSERT_EQ(openFile(items_, 0), 0);
        ASSERT_EQ(openFile(lines_, 0), 0);
    }
    // The RELUP files of the application "TR" in a folder of their own.
    void relup(const std::string& name, const std::string& lines) {
        std::ofstream(dir_.path() / name) << lines;
        ASSERT_EQ(AreaSet(area::ENV, 2, StrView("TRW01Q:Trendor")), 0);
        std::string folder = dir_.path().string();
        ASSERT_EQ(AreaSet(area::ENV, 5, S(folder)), 0);
    }
    std::string stock() { return field(items_, 2); }

    testsupport::TempDir dir_;
    std::uint16_t items_ = 0, lines_ = 0;
};

TEST_F(Relations, ARewriteRemovesTheOldQuantityThenAddsTheNewOne) {
    REQUIRE_DATABASE(info, "datafile_rel_update");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_rel_update"), 0);
    // Connected: the entries come from the SQL variant of the file.
    relup("TRRELUPSQL.DAT", "0201STOCK{items}=STOCK{items}+_SGN*QTY{lines}\r\n"
                            "0202STOCK{items}=0\r\n"
                            "0101STOCK{items}=-1\r\n");
    ASSERT_EQ(findKey(items_, 1, StrView("W1"), 0), 0);
    ASSERT_EQ(findKey(lines_, 1, StrView("   1"), 0), 0);
    set(lines_, 3, "7");
    ASSERT_EQ(saveWithRelations(saveflag::REWRITE, lines_, StrView("1"), StrView("")), 0)
        << show(ErrorDetailGet());
    EXPECT_EQ(stock(), "   102");  // 100 - 5 + 7
    EXPECT_EQ(admin.one("SELECT \"QTY\" FROM lines"), "7");
    EXPECT_EQ(sysGet(SysVar::SGN), 0);
    EXPECT_FALSE(sysTest(SysVar::UPSTAT, 32));
    EXPECT_EQ(field(lines_, 3), "   7");  // the working record is back after the before pass

    // An insertion runs the after pass only, a deletion the before pass only.
    ASSERT_EQ(clearRecord(lines_), 0);
    set(lines_, 1, "2");
    set(lines_, 2, "W1");
    set(lines_, 3, "3");
    ASSERT_EQ(saveWithRelations(saveflag::INSERT, lines_, StrView("1"), StrView("")), 0);
    EXPECT_EQ(stock(), "   105");
    ASSERT_EQ(findKey(lines_, 1, StrView("   1"), 0), 0);
    ASSERT_EQ(saveWithRelations(saveflag::DELETE, lines_, StrView("1"), StrView("")), 0);
    EXPECT_EQ(stock(), "    98");
    EXPECT_EQ(admin.rows("SELECT \"ORD\" FROM lines"), (std::vector<std::string>{"2"}));
    // No relational updates: the save alone; NONE: no entries; _UPSTAT bit 1
    // clear: the entries do not run.
    ASSERT_EQ(findKey(lines_, 1, StrView("   2"), 0), 0);
    set(lines_, 3, "4");
    ASSERT_EQ(saveWithRelations(saveflag::REWRITE | saveflag::NORELUP, lines_, StrView("1"), StrView("")), 0);
    set(lines_, 3, "6");
    ASSERT_EQ(saveWithRelations(saveflag::REWRITE, lines_, StrView("NONE"), StrView("")), 0);
    sysFlag(SysVar::UPSTAT, 1, false);
    set(lines_, 3, "8");
    ASSERT_EQ(saveWithRelations(saveflag::REWRITE, lines_, StrView("1,2"), StrView("")), 0);
    sysFlag(SysVar::UPSTAT, 1, true);
    EXPECT_EQ(stock(), "    98");
    EXPECT_EQ(admin.one("SELECT \"QTY\" FROM lines"), "8");
    // Two entries joined: the second one runs after the first.
    set(lines_, 3, "9");
    ASSERT_EQ(saveWithRelations(saveflag::REWRITE, lines_, StrView("1, 2"), StrView("")), 0);
    EXPECT_EQ(stock(), "     0");
    EXPECT_EQ(show(relupEntries(lines_, StrView("2,1"))), "STOCK{items}=0;STOCK{items}=STOCK{items}+_SGN*QTY{lines}");
    EXPECT_EQ(show(relupEntries(lines_, StrView("1,x"))), "<error 163>");
    // The file is read once per table: a later change of the file is not seen.
    relup("TRRELUPSQL.DAT", "0201STOCK{items}=1\r\n");
    EXPECT_EQ(show(relupEntries(lines_, StrView("1"))), "STOCK{items}=STOCK{items}+_SGN*QTY{lines}");
}

TEST_F(Relations, TheKeyTestLeavesOutBlankOrUnchangedRecordsAndRefusesExistingKeys) {
    REQUIRE_DATABASE(info, "datafile_rel_keytest");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_rel_keytest"), 0);
    relup("TRRELUPSQL.DAT", "0201STOCK{items}=STOCK{items}+_SGN*QTY{lines}\r\n");
    ASSERT_EQ(findKey(items_, 1, StrView("W1"), 0), 0);
    const std::uint16_t insert = saveflag::INSERT | saveflag::KEYTEST;
    // A blank key: neither saved nor counted.
    ASSERT_EQ(clearRecord(lines_), 0);
    set(lines_, 3, "4");
    EXPECT_EQ(saveWithRelations(insert, lines_, StrView("1"), StrView("")), 0);
    EXPECT_EQ(admin.one("SELECT count(*) FROM lines"), "1");
    EXPECT_EQ(stock(), "   100");
    // An existing key is refused with 5, unless _UPSTAT bit 64 allows it.
    set(lines_, 1, "1");
    EXPECT_EQ(saveWithRelations(insert, lines_, StrView("1"), StrView("")), 5);
    sysFlag(SysVar::UPSTAT, 64, true);
    EXPECT_EQ(saveWithRelations(insert, lines_, StrView("1"), StrView("")), err::DATAEXIST);
    sysFlag(SysVar::UPSTAT, 64, false);
    // The window expression gives the same value for a blank record: left out.
    set(lines_, 1, "3");
    EXPECT_EQ(saveWithRelations(insert, lines_, StrView("1"), StrView("ORD{items}*0+1")), err::DATAOUTBOUND);
    EXPECT_EQ(saveWithRelations(insert, lines_, StrView("1"), StrView("'same'")), 0);
    EXPECT_EQ(admin.one("SELECT count(*) FROM lines"), "1");
    EXPECT_EQ(saveWithRelations(insert, lines_, StrView("1"), StrView("QTY{lines}")), 0);
    EXPECT_EQ(admin.rows("SELECT \"ORD\", \"QTY\" FROM lines ORDER BY 1"), (std::vector<std::string>{"1|5", "3|4"}));
    EXPECT_EQ(stock(), "   104");
}

TEST_F(Relations, ARelationalReadFindsCreatesChangesOrDeletesTheRelatedRecord) {
    REQUIRE_DATABASE(info, "datafile_rel_read");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_rel_read"), 0);
    ASSERT_EQ(findKey(lines_, 1, StrView("   1"), 0), 0);
    // Found: status 0, nothing changed without an expression.
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("")), 0);
    EXPECT_EQ(stock(), "   100");
    EXPECT_EQ(sysGet(SysVar::RELRES), 0);
    // Found with an expression: applied and rewritten.
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("STOCK{items}=STOCK{items}-QTY{lines}")), 0);
    EXPECT_EQ(admin.one("SELECT \"STOCK\" FROM items WHERE \"CODE\" = 'W1'"), "95");
    // Missing: the record is left cleared with its key filled, status 2 ...
    set(lines_, 2, "Z9");
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("")), 2);
    EXPECT_EQ(working(items_), "Z9        ");
    // ... and created with flag 4: _RELRES 4, the expression applied first.
    EXPECT_EQ(relationalRead(lines_, items_, 1, 4, StrView("STOCK{items}=50")), 2);
    EXPECT_EQ(sysGet(SysVar::RELRES), 4);
    EXPECT_EQ(admin.one("SELECT \"STOCK\" FROM items WHERE \"CODE\" = 'Z9'"), "50");
    EXPECT_EQ(asRead(items_), working(items_));
    // Flags 4 and 8 together delete a found record: _RELRES 12.
    EXPECT_EQ(relationalRead(lines_, items_, 1, 4 | 8, StrView("")), 0);
    EXPECT_EQ(sysGet(SysVar::RELRES), 12);
    EXPECT_EQ(admin.one("SELECT count(*) FROM items WHERE \"CODE\" = 'Z9'"), "0");
    // During a page-key recomputation the related file moves one record on
    // (forward for PgDn), or with flag 8 on to the first record meeting the
    // expression (backward for PgUp).
    set(lines_, 2, "W1");
    sysSet(SysVar::LASTKEY, 29);
    sysFlag(SysVar::SCRSTAT, 64, true);
    EXPECT_EQ(relationalRead(lines_, items_, 1, 2, StrView("")), 0);
    EXPECT_EQ(field(items_, 1), "W2  ");
    EXPECT_EQ(sysGet(SysVar::RELRES), 2);
    EXPECT_FALSE(sysTest(SysVar::SCRSTAT, 64));
    set(lines_, 2, "W2");
    sysSet(SysVar::LASTKEY, 23);
    sysFlag(SysVar::SCRSTAT, 64, true);
    EXPECT_EQ(relationalRead(lines_, items_, 1, 2 | 8, StrView("STOCK{items}>50")), 1);
    EXPECT_EQ(field(items_, 1), "W1  ");
    // Without the page key the at-or-after flag is dropped: an exact find.
    sysSet(SysVar::LASTKEY, 4);
    set(lines_, 2, "W");
    EXPECT_EQ(relationalRead(lines_, items_, 1, 2, StrView("")), 2);
    EXPECT_EQ(working(items_), "W         ");
    // No relation entry: 163.
    EXPECT_EQ(relationalRead(lines_, items_, 2, 0, StrView("")), err::BADINPUTDATA);
    EXPECT_EQ(relationalRead(items_, lines_, 1, 0, StrView("")), err::BADINPUTDATA);
}

TEST_F(Relations, WhileRelationalUpdatesRunTheRelatedRowIsUpdatedOnTheServer) {
    REQUIRE_DATABASE(info, "datafile_rel_sql");
    Admin admin(info);
    tables(admin);
    ASSERT_EQ(connectTo("datafile_rel_sql"), 0);
    ASSERT_EQ(findKey(lines_, 1, StrView("   1"), 0), 0);
    sysFlag(SysVar::UPSTAT, 32, true);
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("'\"STOCK\"=\"STOCK\"+'+ITEM{lines}")), err::SQLERROR);
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("'\"STOCK\"=\"STOCK\"+5'")), 0);
    EXPECT_EQ(admin.one("SELECT \"STOCK\" FROM items WHERE \"CODE\" = 'W1'"), "105");
    // A missing row: created with the key and then updated (flag 4).
    set(lines_, 2, "N1");
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("'\"STOCK\"=7'")), 0);
    EXPECT_EQ(admin.one("SELECT count(*) FROM items WHERE \"CODE\" = 'N1'"), "0");
    EXPECT_EQ(relationalRead(lines_, items_, 1, 4, StrView("'\"STOCK\"=7'")), 0);
    EXPECT_EQ(sysGet(SysVar::RELRES), 4);
    EXPECT_EQ(admin.one("SELECT \"STOCK\" FROM items WHERE \"CODE\" = 'N1'"), "7");
    // A SET text the server refuses: its code.
    EXPECT_EQ(relationalRead(lines_, items_, 1, 0, StrView("'\"NOSUCH\"=1'")), err::SQLERROR);
    sysFlag(SysVar::UPSTAT, 32, false);
}

}  // namespace
