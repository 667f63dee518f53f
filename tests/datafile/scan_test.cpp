// Paged scans against the throwaway server: page sizes and rows loaded once,
// runs of equal key values at a page's end, a full page of one key value,
// conditions and the upper limit, keeping or advancing from the current
// record, row-by-row scans, nested scans, and a server that goes away in
// the middle of a scan.
#include "tests/datafile/df_fixture.h"

#include <algorithm>

#include "data/sqldriver.h"
#include "datafile/scan.h"
#include "datafile/verbs.h"

using namespace rt;
using namespace dftest;
using testsupport::show;

namespace {

class Scan : public DataFileTest {
protected:
    // items: ID N6 (key 1), GRP A3, QTY N4; key 2 is GRP. `rows` rows with
    // IDs 1..rows, GRP from `grp` (an SQL expression of i), QTY i % 7.
    std::uint16_t items(Admin& admin, int rows, const std::string& grp = "'g'") {
        admin.exec("CREATE TABLE items (\"ID\" integer PRIMARY KEY, \"GRP\" varchar(3), \"QTY\" integer)");
        admin.exec("INSERT INTO items SELECT i, " + grp + ", i % 7 FROM generate_series(1, " + std::to_string(rows) +
                   ") AS i");
        std::uint16_t t = define("items", {{"ID", 6, 'N'}, {"GRP", 3, 'A'}, {"QTY", 4, 'N'}}, {{{0, 6}}, {{6, 3}}});
        EXPECT_EQ(openFile(t, 0), 0);
        return t;
    }
    int id(std::uint16_t t) { return std::stoi(field(t, 1)); }

    struct Run {
        std::vector<int> ids;          // the record of every step that found one
        std::vector<std::uint32_t> pages;  // rows of every page fetched
        std::uint16_t end = 0;         // the status that ended the run
    };
    // Steps from the current record: first without advancing, then with.
    Run scanAll(std::uint16_t t, const std::string& condition, const std::string& limit = "") {
        Run run;
        DataFileCtrl* c = controlBlock(t);
        std::uint16_t flags = 0;
        std::uint16_t lastSlot = 0;
        for (int guard = 0; guard < 5000; ++guard) {
            std::uint32_t before = c->scanRow;
            std::uint16_t st = scanStep(t, flags, S(condition), S(limit));
            flags = scanflag::ADVANCE;
            if (st != 0) {
                run.end = st;
                break;
            }
            if (c->pageSlot != lastSlot || c->scanRow < before || run.ids.empty()) {
                std::int16_t keep = sysGet(SysVar::SQLSTK);
                run.pages.push_back(resultRows(c->pageSlot));
                sysSet(SysVar::SQLSTK, keep);
            }
            lastSlot = c->pageSlot;
            run.ids.push_back(id(t));
        }
        return run;
    }
    // The page statements traced since the last call.
    std::vector<std::string> pageStatements() {
        std::vector<std::string> pages;
        for (const std::string& s : statements())
            if (s.find(" LIMIT 512;") != std::string::npos) pages.push_back(s);
        return pages;
    }
    static std::vector<int> range(int from, int to, int step = 1) {
        std::vector<int> v;
        for (int i = from; i <= to; i += step) v.push_back(i);
        return v;
    }
};

TEST_F(Scan, PagesOf512LeaveTheLastRowToTheNextPageAndLoadEveryRowOnce) {
    REQUIRE_DATABASE(info, "datafile_scan_pages");
    Admin admin(info);
    std::uint16_t t = items(admin, 1200);
    ASSERT_EQ(connectTo("datafile_scan_pages"), 0);
    traceStatements();
    Run run = scanAll(t, "QTY{items}>=0");
    EXPECT_EQ(run.end, 2);
    EXPECT_EQ(run.ids, range(1, 1200));
    EXPECT_EQ(run.pages, (std::vector<std::uint32_t>{512, 512, 178}));
    std::vector<std::string> pages = pageStatements();
    EXPECT_EQ(pages.size(), 3u);
    for (const std::string& s : pages) EXPECT_EQ(s.rfind("SELECT * FROM \"items\" ", 0), 0u) << s;
    // At the end the page is released and the record cleared.
    EXPECT_EQ(controlBlock(t)->pageSlot, 0);
    EXPECT_EQ(working(t), std::string(13, ' '));
    EXPECT_EQ(show(AreaGet(area::WORK, 11)), "QTY{items}>=0");
}

TEST_F(Scan, ChangesMadeWhileAPageIsWorkedThroughAreSeenByTheNextPages) {
    REQUIRE_DATABASE(info, "datafile_scan_changes");
    Admin admin(info);
    std::uint16_t t = items(admin, 1200);
    ASSERT_EQ(connectTo("datafile_scan_changes"), 0);
    traceStatements();
    ASSERT_EQ(scanStep(t, 0, S(""), S("")), 0);
    ASSERT_EQ(id(t), 1);
    // The next page is asked for as soon as the first arrives; these changes
    // come after that and must still show.
    ASSERT_EQ(run(StrView("UPDATE items SET \"QTY\" = 99 WHERE \"ID\" IN (700, 1100);")), 0);
    ASSERT_EQ(run(StrView("INSERT INTO items VALUES (1201, 'g', 5);")), 0);
    std::vector<int> ids{1}, changed;
    std::uint16_t st;
    while ((st = scanStep(t, scanflag::ADVANCE, S(""), S(""))) == 0 && ids.size() < 1300) {
        ids.push_back(id(t));
        if (field(t, 3) == "  99") changed.push_back(id(t));
    }
    EXPECT_EQ(st, 2);
    EXPECT_EQ(ids, range(1, 1201));
    EXPECT_EQ(changed, (std::vector<int>{700, 1100}));
    // Each page statement is written to the trace once, when its rows are taken.
    EXPECT_EQ(pageStatements().size(), 3u);
}

TEST_F(Scan, ARunOfEqualKeyValuesIsNeverSplitBetweenPages) {
    REQUIRE_DATABASE(info, "datafile_scan_runs");
    Admin admin(info);
    // Under key 2 (GRP): 509 groups of one row, one group of six rows across
    // the end of the first page, then 300 more groups of one row.
    std::uint16_t t = items(admin, 815, "lpad(CASE WHEN i BETWEEN 510 AND 515 THEN 510 ELSE i END::text, 3, '0')");
    ASSERT_EQ(connectTo("datafile_scan_runs"), 0);
    ASSERT_EQ(findKey(t, 2, S(""), 2), 0);
    Run run = scanAll(t, "");
    EXPECT_EQ(run.end, 2);
    std::vector<int> sorted = run.ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, range(1, 815));
    ASSERT_GE(run.pages.size(), 2u);
    EXPECT_EQ(run.pages[0], 512u);
}

TEST_F(Scan, AFullPageOfOneKeyValueFailsWith168) {
    REQUIRE_DATABASE(info, "datafile_scan_full");
    Admin admin(info);
    std::uint16_t t = items(admin, 600, "'one'");
    ASSERT_EQ(connectTo("datafile_scan_full"), 0);
    ASSERT_EQ(findKey(t, 2, S(""), 2), 0);
    ErrorRecordClear();
    EXPECT_EQ(scanStep(t, 0, S(""), S("")), err::DATAOUTBOUND);
    EXPECT_EQ(ErrorRecordCode(), err::DATAOUTBOUND);
    EXPECT_NE(show(ErrorDetailGet()).find("a full page of one key value"), std::string::npos);
    EXPECT_EQ(controlBlock(t)->pageSlot, 0);
    EXPECT_FALSE(slotHasResult(1));
    EXPECT_EQ(working(t), std::string(13, ' '));
}

TEST_F(Scan, ConditionAndUpperLimitChooseTheRecords) {
    REQUIRE_DATABASE(info, "datafile_scan_cond");
    Admin admin(info);
    std::uint16_t t = items(admin, 1200);
    ASSERT_EQ(connectTo("datafile_scan_cond"), 0);
    // From ID 100 up to the limit 300 (key values are the stored 6-wide text).
    ASSERT_EQ(findKey(t, 1, S("   100"), 2), 0);
    Run run = scanAll(t, "QTY{items}==3", "   300");
    EXPECT_EQ(run.end, 2);
    EXPECT_EQ(run.ids, range(101, 297, 7));
    // Without the advance flag a current record that meets the condition is kept.
    ASSERT_EQ(findKey(t, 1, S("    10"), 0), 0);
    EXPECT_EQ(scanStep(t, 0, S("QTY{items}==3"), S("")), 0);
    EXPECT_EQ(id(t), 10);
    EXPECT_EQ(scanStep(t, 0, S("QTY{items}==3"), S("")), 0);
    EXPECT_EQ(id(t), 10);
    EXPECT_EQ(scanStep(t, scanflag::ADVANCE, S("QTY{items}==3"), S("")), 0);
    EXPECT_EQ(id(t), 17);
    scanEnd(t);
    EXPECT_EQ(controlBlock(t)->pageSlot, 0);
    // A new scan that starts advancing passes over the current record.
    EXPECT_EQ(scanStep(t, scanflag::ADVANCE, S(""), S("")), 0);
    EXPECT_EQ(id(t), 18);
    scanEnd(t);
    // A condition that fails to evaluate ends the scan with its code.
    EXPECT_EQ(scanStep(t, 0, S("QTY{items}>=0&&GRP{items}*2==1"), S("")), err::TYPEMISMATCH);
    EXPECT_EQ(controlBlock(t)->pageSlot, 0);
}

TEST_F(Scan, RowByRowScansReadSingleRecordsBothWays) {
    REQUIRE_DATABASE(info, "datafile_scan_rows");
    Admin admin(info);
    std::uint16_t t = items(admin, 40);
    ASSERT_EQ(connectTo("datafile_scan_rows"), 0);
    ASSERT_EQ(openFile(t, openflag::ROWBYROW), 0);
    ASSERT_EQ(findKey(t, 1, S("     5"), 0), 0);
    traceStatements();
    Run run = scanAll(t, "QTY{items}==1", "    30");
    EXPECT_EQ(run.end, 2);
    EXPECT_EQ(run.ids, (std::vector<int>{8, 15, 22, 29}));
    for (const std::string& s : statements()) EXPECT_EQ(s.find("LIMIT 512"), std::string::npos) << s;
    // Backward down to the limit.
    ASSERT_EQ(findKey(t, 1, S("    40"), 0), 0);
    std::vector<int> back;
    for (std::uint16_t st = scanStep(t, scanflag::BACKWARD, S("QTY{items}==1"), S("    10")); st == 0;
         st = scanStep(t, scanflag::ADVANCE | scanflag::BACKWARD, S("QTY{items}==1"), S("    10")))
        back.push_back(id(t));
    EXPECT_EQ(back, (std::vector<int>{36, 29, 22, 15}));
    // The progress callback sees the first key field of every record read.
    ASSERT_EQ(findKey(t, 1, S("     1"), 0), 0);
    std::vector<std::string> seen;
    auto progress = [](StrDesc key, void* ctx) -> ErrCode {
        auto* v = static_cast<std::vector<std::string>*>(ctx);
        v->push_back(key.str());
        return v->size() >= 3 ? err::USERCANCELED : 0;
    };
    // (A condition that restricts nothing on the server: every record is read.)
    EXPECT_EQ(scanStep(t, scanflag::ADVANCE, S("QTY{items}*1==6"), S(""), progress, &seen), err::USERCANCELED);
    EXPECT_EQ(seen, (std::vector<std::string>{"     2", "     3", "     4"}));
}

TEST_F(Scan, ANestedScanGivesBackTheOuterPage) {
    REQUIRE_DATABASE(info, "datafile_scan_nest");
    Admin admin(info);
    std::uint16_t t = items(admin, 30);
    ASSERT_EQ(connectTo("datafile_scan_nest"), 0);
    ASSERT_EQ(findKey(t, 1, S("     1"), 0), 0);
    ASSERT_EQ(scanStep(t, 0, S("QTY{items}==2"), S("")), 0);
    EXPECT_EQ(id(t), 2);
    std::uint16_t outer = controlBlock(t)->pageSlot;
    ASSERT_EQ(scanNest(t), 0);
    ASSERT_EQ(findKey(t, 1, S("    20"), 0), 0);
    std::vector<int> inner;
    for (std::uint16_t st = scanStep(t, 0, S(""), S("    22")); st == 0; st = scanStep(t, scanflag::ADVANCE, S(""), S("    22")))
        inner.push_back(id(t));
    EXPECT_EQ(inner, (std::vector<int>{20, 21, 22}));
    EXPECT_EQ(controlBlock(t)->pageSlot, outer);
    ASSERT_EQ(scanStep(t, scanflag::ADVANCE, S("QTY{items}==2"), S("")), 0);
    EXPECT_EQ(id(t), 9);
    // Three page levels at most.
    ASSERT_EQ(scanNest(t), 0);
    ASSERT_EQ(scanStep(t, 0, S(""), S("")), 0);
    ASSERT_EQ(scanNest(t), 0);
    ASSERT_EQ(scanStep(t, 0, S(""), S("")), 0);
    EXPECT_EQ(scanNest(t), err::DATAOUTBOUND);
    scanReleaseAll(t);
    EXPECT_EQ(controlBlock(t)->pageSlot, 0);
    for (std::uint16_t slot = 1; slot < SQL_SLOTS; ++slot) EXPECT_FALSE(slotHasResult(slot)) << slot;
}

TEST_F(Scan, AServerThatGoesAwayEndsTheScanWithACodeAndABlankRecord) {
    REQUIRE_DATABASE(info, "datafile_scan_gone");
    Admin admin(info);
    std::uint16_t t = items(admin, 1200);
    ASSERT_EQ(connectTo("datafile_scan_gone"), 0);
    ASSERT_EQ(run(StrView("SELECT pg_backend_pid();")), 0);
    std::string pid = show(resultValue(0, 0, baseSlot()));
    std::uint16_t st = scanStep(t, 0, S(""), S(""));
    for (int n = 1; st == 0 && n < 511; ++n) st = scanStep(t, scanflag::ADVANCE, S(""), S(""));
    ASSERT_EQ(st, 0);
    EXPECT_EQ(id(t), 511);
    admin.exec("SELECT pg_terminate_backend(" + pid + ")");
    ErrorRecordClear();
    // The next page may have arrived before the server went away (it was
    // asked for ahead): its rows still come, in order, then the scan fails.
    int expected = 512;
    while ((st = scanStep(t, scanflag::ADVANCE, S(""), S(""))) == 0 && expected <= 1200) EXPECT_EQ(id(t), expected++);
    EXPECT_LE(expected, 1024);
    EXPECT_EQ(st, err::SQLERROR);
    std::string detail = show(ErrorDetailGet());
    EXPECT_NE(detail.find("SELECT * FROM \"items\""), std::string::npos) << detail;
    EXPECT_GT(detail.find("\r\n"), 5u) << detail;  // a message in front of the statement
    EXPECT_TRUE(detail.find("server closed the connection") != std::string::npos ||
                detail.find("terminating connection") != std::string::npos)
        << detail;
    EXPECT_EQ(controlBlock(t)->pageSlot, 0);
    EXPECT_EQ(working(t), std::string(13, ' '));
    EXPECT_EQ(asRead(t), std::string(13, ' '));
    // Later verbs give a code and leave the record blank.
    EXPECT_GE(navigateVerb(t, StrView("TOP")), 128);
    EXPECT_EQ(working(t), std::string(13, ' '));
    EXPECT_GE(scanStep(t, 0, S(""), S("")), 128);
    EXPECT_EQ(working(t), std::string(13, ' '));
}

}  // namespace
