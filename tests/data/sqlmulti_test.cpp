// Duplicate key values: the statements of multi-reads and cursors, stepping
// through runs of duplicates with the driver's navigation, positioned
// deletes and updates with their exact statement sequence (read back from
// the trace log), the cursor transaction and the transaction bracket.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/memblocks.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "data/sqlmulti.h"
#include "datafile/record.h"
#include "lang/varstore.h"
#include "tests/support/pg_test.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

constexpr auto env = testsupport::envOr;

constexpr const char* kOrder = "\"CODE\" NULLS FIRST,\"N_LINE\" NULLS FIRST,\"NAME\" NULLS FIRST";

// Table 1 "dups": CODE (the key), N_LINE, NAME.
class DuplicateKeys : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(dictionaryReset(), 0);
        sqlMultiInit();
        ASSERT_EQ(defineTable(0, StrView("dups"), StrView("")), 0);
        ASSERT_EQ(addField(StrView("CODE"), 4, 'A'), 0);
        ASSERT_EQ(addField(StrView("N_LINE"), 4, 'N'), 0);
        ASSERT_EQ(addField(StrView("NAME"), 10, 'A'), 0);
        KeySegment code{0, 4};
        ASSERT_EQ(defineKey(1, 1, &code), 0);
        ASSERT_EQ(recordInit(1), 0);
    }
    void TearDown() override {
        sqlMultiShutdown();
        SqlShutdown();
        varShutdown();
        RuntimeTest::TearDown();
    }
    std::string text(StrDesc s) { return show(s); }
};

}  // namespace

TEST_F(DuplicateKeys, StatementTextsAreTheDocumentedOnes) {
    StrScope scope;
    SqlForm form;
    StrDesc cursor = cursorName(0);
    EXPECT_EQ(text(cursor), "curs_0");
    EXPECT_EQ(text(cursorName(29)), "curs_29");
    EXPECT_EQ(text(multiReadStatement(1, 1, StrView("X   "), form)),
              std::string("SELECT * FROM \"dups\" WHERE \"CODE\" = 'X' ORDER BY ") + kOrder + ";");
    EXPECT_EQ(text(declareStatement(cursor, 1, 1, StrView("X   "), form)),
              std::string("DECLARE curs_0 CURSOR FOR SELECT * FROM \"dups\" WHERE \"CODE\" = 'X' ORDER BY ") + kOrder +
                  " FOR UPDATE;");
    EXPECT_EQ(text(fetchStatement(StrView("FIRST"), cursor)), "FETCH FIRST FROM \"curs_0\";");
    EXPECT_EQ(text(positionedDeleteStatement(1, cursor)), "DELETE FROM \"dups\" WHERE CURRENT OF curs_0;");
    EXPECT_EQ(text(positionedUpdateStatement(1, StrView("\"NAME\" = 'B'"), cursor)),
              "UPDATE \"dups\" SET \"NAME\" = 'B' WHERE CURRENT OF curs_0;");
    EXPECT_EQ(text(closeStatement(cursor)), "CLOSE curs_0;");
    // A quote in the key value goes through the literal form.
    EXPECT_EQ(text(multiReadStatement(1, 1, StrView("O'B "), form)),
              std::string("SELECT * FROM \"dups\" WHERE \"CODE\" = E'O\\x27B' ORDER BY ") + kOrder + ";");
    // No statement for an empty key value or a bad key.
    EXPECT_EQ(StrError(multiReadStatement(1, 1, StrView(""), form)), err::INDEXCMDERROR);
    EXPECT_EQ(StrError(declareStatement(cursor, 1, 2, StrView("X"), form)), err::DATAOUTBOUND);

    struct Direction {
        std::uint16_t flags;
        const char* text;
    } directions[] = {{nav::NXT, "NEXT"}, {nav::PRV, "PRIOR"}, {nav::BOT, "LAST"}, {nav::TOP, "FIRST"}};
    for (const Direction& d : directions) EXPECT_EQ(text(fetchDirection(d.flags)), d.text) << d.flags;
    EXPECT_EQ(StrError(fetchDirection(0x02)), err::BADINPUTDATA);
}

TEST_F(DuplicateKeys, WithoutMemoryForTheCursorTableNothingIsSent) {
    StrScope scope;
    std::vector<MemHandle> taken;
    for (MemHandle h; (h = MemAlloc(tag::DATAFILES, 8, 0)) != MEM_NOSLOT;) taken.push_back(h);
    std::uint16_t place = 0;
    ErrorRecordClear();
    EXPECT_EQ(cursorPlaceTake(1, place), err::OUTOFMEMORY);
    EXPECT_EQ(ErrorRecordCode(), err::OUTOFMEMORY);
    EXPECT_EQ(deleteCurrentDuplicate(1, 1, StrView("X   ")), err::OUTOFMEMORY);
    EXPECT_EQ(cursorPlacesInUse(), 0);
    for (MemHandle h : taken) {
        MemSlot slot;
        ASSERT_EQ(MemResolve(h, slot), 0);
        EXPECT_EQ(MemFree(tag::DATAFILES, slot.ptr), 0);
    }
    // With memory again, the table is had (no connection: START fails).
    EXPECT_EQ(cursorPlaceTake(1, place), err::SQLERROR);
    EXPECT_EQ(cursorPlacesInUse(), 0);
}

// ---- Against the server ------------------------------------------------------------------

namespace {

using Admin = testsupport::PgAdmin;

class DuplicatesOnServer : public DuplicateKeys {
protected:
    // A fresh database with "dups": A (two rows), X (three rows), Z (two rows).
    bool open(const std::string& db) {
        info_ = testsupport::freshDatabase(db);
        if (info_.empty()) return false;
        admin_ = std::make_unique<Admin>(info_);
        admin_->exec("CREATE TABLE dups (\"CODE\" varchar(4), \"N_LINE\" integer, \"NAME\" varchar(10))");
        admin_->exec(
            "INSERT INTO dups VALUES ('A',1,'a1'),('A',2,'a2'),('X',1,'x1'),('X',2,'x2'),('X',3,'x3'),"
            "('Z',1,'z1'),('Z',2,'z2')");
        std::string host = env("PGHOST");
        EXPECT_EQ(connect(StrView(host), StrView(db), StrView(env("PGUSER")), StrView(env("PGPASSWORD")), 0), 0)
            << show(ErrorDetailGet());
        log_ = (dir_.path() / "trace.txt").string();
        AreaSet(area::WORK, area::WORK_LOGPATH, StrView(log_));
        return true;
    }
    // Statements sent from now on are written to the trace log.
    void trace() {
        std::remove(log_.c_str());
        sysSet(SysVar::TRACE, 6);
    }
    std::vector<std::string> traced() {
        sysSet(SysVar::TRACE, 1);
        std::ifstream in(log_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    std::string name() { return show(StrTrim(fieldText(1, 3), StrView(" "))); }
    std::string step(std::uint16_t flags) {
        std::uint16_t st = readRecord(1, flags);
        return st ? "status " + std::to_string(st) : name();
    }
    DataFileCtrl& ctrl() { return *controlBlock(1); }
    // Moves onto the row named `target` with NXT from the top.
    void moveTo(const std::string& target) {
        ASSERT_EQ(step(nav::TOP), "a1");
        for (int i = 0; i < 10 && name() != target; ++i) ASSERT_EQ(readRecord(1, nav::NXT), 0);
        ASSERT_EQ(name(), target);
    }
    StrDesc asReadKey() { return keyValue(1, 1, copy::ASREAD); }
    std::string table() {
        std::string out;
        for (const std::string& name : admin_->column("SELECT \"NAME\" FROM dups ORDER BY \"CODE\",\"N_LINE\""))
            out += (out.empty() ? "" : ",") + name;
        return out;
    }

    std::string info_;
    std::unique_ptr<Admin> admin_;
    testsupport::TempDir dir_;
    std::string log_;
};

std::string decl(const char* code) {
    return std::string("DECLARE curs_0 CURSOR FOR SELECT * FROM \"dups\" WHERE \"CODE\" = '") + code + "' ORDER BY " +
           kOrder + " FOR UPDATE;";
}

}  // namespace

TEST_F(DuplicatesOnServer, NavigationStepsThroughEveryRowOfARun) {
    if (!open("sqlmulti_nav")) return;
    StrScope scope;
    // TOP onto a duplicated first key value starts at row 0 of its run.
    EXPECT_EQ(step(nav::TOP), "a1");
    EXPECT_EQ(ctrl().multiRow, 0);
    EXPECT_GE(ctrl().multiSlot, 1);
    EXPECT_EQ(step(nav::NXT), "a2");
    // Leaving the run reads the next key value, itself a run of three.
    EXPECT_EQ(step(nav::NXT), "x1");
    EXPECT_EQ(step(nav::NXT), "x2");
    EXPECT_EQ(step(nav::NXT), "x3");
    EXPECT_EQ(ctrl().multiRow, 2);
    EXPECT_EQ(step(nav::NXT), "z1");
    // PRV onto a run starts at its last row and steps backward.
    EXPECT_EQ(step(nav::PRV), "x3");
    EXPECT_EQ(step(nav::PRV), "x2");
    EXPECT_EQ(step(nav::PRV), "x1");
    EXPECT_EQ(step(nav::PRV), "a2");
    // BOT onto a duplicated last key value starts at its last row.
    EXPECT_EQ(step(nav::BOT), "z2");
    EXPECT_EQ(step(nav::PRV), "z1");
    EXPECT_EQ(step(nav::NXT), "z2");
    EXPECT_EQ(step(nav::NXT), "status 2");
    EXPECT_EQ(ctrl().multiSlot, -1);
    EXPECT_EQ(ctrl().multiRow, -1);

    // hasDuplicates counts; not while a multi-read row is set.
    EXPECT_TRUE(hasDuplicates(1, 1, StrView("X   ")));
    EXPECT_FALSE(hasDuplicates(1, 1, StrView("Q   ")));
    EXPECT_FALSE(hasDuplicates(1, 1, StrView("")));
    EXPECT_EQ(step(nav::TOP), "a1");
    EXPECT_FALSE(hasDuplicates(1, 1, StrView("X   ")));
    EXPECT_EQ(rowCount(static_cast<std::uint16_t>(ctrl().multiSlot)), 2u);
    EXPECT_EQ(sysGet(SysVar::SQLSTK), ctrl().multiSlot);
    endMultiRead(1);
    EXPECT_EQ(ctrl().multiSlot, -1);
}

TEST_F(DuplicatesOnServer, MultiReadStepsAndEndsAsRequested) {
    if (!open("sqlmulti_step")) return;
    StrScope scope;
    ASSERT_EQ(startMultiRead(1, StrView("X   "), nav::PRV), 0);
    EXPECT_EQ(ctrl().multiRow, 2);
    ASSERT_EQ(startMultiRead(1, StrView("X   "), nav::NXT), 0);
    EXPECT_EQ(ctrl().multiRow, 0);
    EXPECT_EQ(stepMultiRead(1, nav::NXT), 0);
    EXPECT_EQ(ctrl().multiRow, 1);
    EXPECT_EQ(stepMultiRead(1, nav::PRV), 0);
    EXPECT_EQ(stepMultiRead(1, nav::PRV), 1);  // off the start
    EXPECT_EQ(ctrl().multiSlot, -1);
    ASSERT_EQ(startMultiRead(1, StrView("X   "), nav::BOT), 0);
    EXPECT_EQ(ctrl().multiRow, 2);
    EXPECT_EQ(stepMultiRead(1, nav::RLD), 1);  // not relative: ends
    EXPECT_EQ(ctrl().multiRow, -1);

    // The duplicates vanished meanwhile: 141 with the key value as detail.
    admin_->exec("DELETE FROM dups WHERE \"NAME\" IN ('x2','x3')");
    ErrorRecordClear();
    EXPECT_EQ(startMultiRead(1, StrView("X   "), nav::NXT), err::INTERNALERROR);
    EXPECT_EQ(show(ErrorDetailGet()), "sqlMultiRead: key=X   ");
    EXPECT_EQ(startMultiRead(1, StrView("Q   "), nav::NXT), err::INTERNALERROR);
    EXPECT_EQ(ctrl().multiSlot, -1);

    // With every result slot holding a result, the rows have nowhere to go:
    // 168 from the connection, unchanged; the driver's read makes it 141.
    for (int i = 0; i < 7; ++i) ASSERT_EQ(execute(StrView("SELECT * FROM generate_series(1,3);")), 0);
    EXPECT_EQ(startMultiRead(1, StrView("A   "), nav::NXT), err::DATAOUTBOUND);
    EXPECT_EQ(readRecord(1, nav::TOP), err::INTERNALERROR);
}

TEST_F(DuplicatesOnServer, DeletingTheSecondOfThreeSendsTheCursorSequence) {
    if (!open("sqlmulti_delete")) return;
    StrScope scope;
    moveTo("x2");
    trace();
    EXPECT_EQ(deleteCurrentDuplicate(1, 1, asReadKey()), 0) << show(ErrorDetailGet());
    std::vector<std::string> expected = {
        "START TRANSACTION;", decl("X"),   "FETCH FIRST FROM \"curs_0\";", "FETCH NEXT FROM \"curs_0\";",
        "DELETE FROM \"dups\" WHERE CURRENT OF curs_0;", "CLOSE curs_0;", "COMMIT;",
    };
    EXPECT_EQ(traced(), expected);
    EXPECT_EQ(table(), "a1,a2,x1,x3,z1,z2");
    EXPECT_EQ(cursorPlacesInUse(), 0);
    EXPECT_EQ(name(), "x2");  // the record is left as it was
}

TEST_F(DuplicatesOnServer, UpdatingOneDuplicateChangesThatRowOnly) {
    if (!open("sqlmulti_update")) return;
    StrScope scope;
    moveTo("x3");
    ASSERT_EQ(setField(1, 3, StrView("x3new")), 0);
    trace();
    EXPECT_EQ(updateCurrentDuplicate(1, 1, asReadKey()), 0) << show(ErrorDetailGet());
    std::vector<std::string> expected = {
        "START TRANSACTION;",
        decl("X"),
        "FETCH FIRST FROM \"curs_0\";",
        "FETCH NEXT FROM \"curs_0\";",
        "FETCH NEXT FROM \"curs_0\";",
        "UPDATE \"dups\" SET \"NAME\" = 'x3new' WHERE CURRENT OF curs_0;",
        "CLOSE curs_0;",
        "COMMIT;",
    };
    EXPECT_EQ(traced(), expected);
    EXPECT_EQ(table(), "a1,a2,x1,x2,x3new,z1,z2");
    // Both copies are as they were: the working one holds the edit.
    EXPECT_EQ(name(), "x3new");
    EXPECT_EQ(show(StrTrim(fieldText(1, 3, copy::ASREAD), StrView(" "))), "x3");

    // Rewritten, the record is found again among its duplicates.
    ASSERT_EQ(copyRecord(1, 1), 0);
    EXPECT_EQ(locateInMultiRead(1), 0);
    EXPECT_EQ(ctrl().multiRow, 2);

    // Nothing changed: nothing is sent.
    trace();
    EXPECT_EQ(updateCurrentDuplicate(1, 1, asReadKey()), 0);
    EXPECT_TRUE(traced().empty());
}

TEST_F(DuplicatesOnServer, ARowThatIsGoneGivesStatus2AndChangesNothing) {
    if (!open("sqlmulti_gone")) return;
    StrScope scope;
    moveTo("x2");
    admin_->exec("UPDATE dups SET \"NAME\" = 'other' WHERE \"NAME\" = 'x2'");
    trace();
    EXPECT_EQ(deleteCurrentDuplicate(1, 1, asReadKey()), 2);
    std::vector<std::string> expected = {
        "START TRANSACTION;",          decl("X"),      "FETCH FIRST FROM \"curs_0\";", "FETCH NEXT FROM \"curs_0\";",
        "FETCH NEXT FROM \"curs_0\";", "FETCH NEXT FROM \"curs_0\";", "CLOSE curs_0;", "COMMIT;",
    };
    EXPECT_EQ(traced(), expected);
    EXPECT_EQ(table(), "a1,a2,x1,other,x3,z1,z2");
    // After a rewrite that the server does not have, the row is not found.
    EXPECT_EQ(locateInMultiRead(1), 1);
    EXPECT_EQ(ctrl().multiSlot, -1);
    EXPECT_EQ(name(), "x2");
}

// A statement that fails inside the cursor transaction aborts it: it is
// rolled back, so the connection takes statements again.
TEST_F(DuplicatesOnServer, AFailedPositionedStatementRollsBack) {
    if (!open("sqlmulti_fail")) return;
    admin_->exec("CREATE UNIQUE INDEX dups_line ON dups (\"CODE\", \"N_LINE\")");
    StrScope scope;
    moveTo("x2");
    ASSERT_EQ(setField(1, 2, StrView("3")), 0);  // the line number of x3
    trace();
    EXPECT_EQ(updateCurrentDuplicate(1, 1, asReadKey()), err::DATAEXIST);
    std::vector<std::string> lines = traced();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4].rfind("UPDATE \"dups\" SET \"N_LINE\" = 3 WHERE CURRENT OF curs_0;", 0), 0u);
    EXPECT_EQ(lines[5], "ROLLBACK;");
    EXPECT_EQ(cursorPlacesInUse(), 0);
    EXPECT_EQ(execute(StrView("SELECT 1;")), 0) << show(ErrorDetailGet());
    EXPECT_EQ(table(), "a1,a2,x1,x2,x3,z1,z2");

    // A declaration that fails frees its place and sends nothing more.
    admin_->exec("ALTER TABLE dups RENAME TO gone");
    trace();
    EXPECT_EQ(deleteCurrentDuplicate(1, 1, asReadKey()), err::SQLERROR);
    lines = traced();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "START TRANSACTION;");
    EXPECT_EQ(lines[2], "ROLLBACK;");
    EXPECT_EQ(execute(StrView("SELECT 1;")), 0);
    EXPECT_EQ(cursorPlacesInUse(), 0);
}

TEST_F(DuplicatesOnServer, WithEveryCursorPlaceTakenNothingIsSent) {
    if (!open("sqlmulti_places")) return;
    StrScope scope;
    moveTo("x2");
    trace();
    std::uint16_t place = 0;
    for (std::uint16_t i = 0; i < CURSOR_PLACES; ++i) {
        ASSERT_EQ(cursorPlaceTake(1, place), 0);
        EXPECT_EQ(place, i);
    }
    EXPECT_EQ(traced(), std::vector<std::string>{"START TRANSACTION;"});
    trace();
    EXPECT_EQ(deleteCurrentDuplicate(1, 1, asReadKey()), 0xFFFF);
    EXPECT_EQ(cursorPlaceTake(1, place), 0xFFFF);
    EXPECT_TRUE(traced().empty());
    EXPECT_EQ(table(), "a1,a2,x1,x2,x3,z1,z2");
    // Freed after failures: no CLOSE, and the last place ends the transaction.
    trace();
    for (std::uint16_t i = 0; i < CURSOR_PLACES; ++i) EXPECT_EQ(cursorPlaceRelease(i, err::SQLERROR), err::SQLERROR);
    EXPECT_EQ(traced(), std::vector<std::string>{"ROLLBACK;"});
    EXPECT_EQ(cursorPlaceRelease(0, 0), err::DATAOUTBOUND);
}

// Inside the transaction bracket the cursor neither starts nor commits a
// transaction: the bracket's work is committed by the bracket only.
TEST_F(DuplicatesOnServer, TheBracketKeepsItsTransaction) {
    if (!open("sqlmulti_bracket")) return;
    StrScope scope;
    moveTo("x1");
    trace();
    ASSERT_EQ(beginTransaction(), 0);
    EXPECT_TRUE(sysTest(SysVar::AUXSTAT, AUX_TRANSACTION));
    EXPECT_EQ(deleteCurrentDuplicate(1, 1, asReadKey()), 0);
    EXPECT_EQ(table(), "a1,a2,x1,x2,x3,z1,z2");  // not committed yet
    ASSERT_EQ(endTransaction(), 0);
    EXPECT_FALSE(sysTest(SysVar::AUXSTAT, AUX_TRANSACTION));
    EXPECT_EQ(table(), "a1,a2,x2,x3,z1,z2");
    std::vector<std::string> expected = {
        "START TRANSACTION;", decl("X"), "FETCH FIRST FROM \"curs_0\";",
        "DELETE FROM \"dups\" WHERE CURRENT OF curs_0;", "CLOSE curs_0;", "COMMIT;",
    };
    EXPECT_EQ(traced(), expected);
    // Ending a bracket that is not open sends nothing.
    trace();
    EXPECT_EQ(endTransaction(), 0);
    EXPECT_TRUE(traced().empty());
}

TEST_F(DuplicatesOnServer, AFullPageOfOneKeyValueIs168) {
    if (!open("sqlmulti_page")) return;
    admin_->exec("DELETE FROM dups");
    admin_->exec("INSERT INTO dups SELECT 'K', g, 'k' FROM generate_series(1, 600) g");
    admin_->exec("INSERT INTO dups SELECT 'B', g, 'b' FROM generate_series(1, 300) g");
    StrScope scope;
    std::uint32_t last = 0;
    auto page = [&](const char* where) {
        std::uint64_t n = 0;
        std::string sql = std::string("SELECT * FROM \"dups\" WHERE ") + where + " ORDER BY " + kOrder + " LIMIT 512;";
        EXPECT_EQ(execute(StrView(sql), -1, &n), 0);
        return static_cast<std::uint32_t>(n);
    };
    // B (300 rows) then K: the K rows at the end of the page are left over.
    ASSERT_EQ(setField(1, 3, StrView("kept")), 0);
    std::uint32_t rows = page("TRUE");
    std::uint16_t slot = static_cast<std::uint16_t>(sysGet(SysVar::SQLSTK));
    EXPECT_EQ(pageLastUsableRow(1, 1, slot, rows, 512, last), 0);
    EXPECT_EQ(last, 299u);
    EXPECT_EQ(name(), "kept");  // the working record is kept
    releaseResult(slot);
    // Only K: one key value fills the page.
    rows = page("\"CODE\" = 'K'");
    slot = static_cast<std::uint16_t>(sysGet(SysVar::SQLSTK));
    EXPECT_EQ(pageLastUsableRow(1, 1, slot, rows, 512, last), err::DATAOUTBOUND);
    releaseResult(slot);
    // A page that is not full is used to its end.
    rows = page("\"N_LINE\" <= 100");
    slot = static_cast<std::uint16_t>(sysGet(SysVar::SQLSTK));
    EXPECT_EQ(pageLastUsableRow(1, 1, slot, rows, 512, last), 0);
    EXPECT_EQ(last, 199u);
}
