#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/errors.h"
#include "core/log.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "tests/core/fake_backend.h"
#include "lang/dates.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

StrDesc S(const char* s) { return StrFromTerminated(s); }

class Logs : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        savedTrace_ = TraceFlags();
        AreaSet(area::ENV, 2, S("TRW01Q:Trendor"));
    }
    void TearDown() override {
        TraceFlagsSet(savedTrace_);
        RuntimeTest::TearDown();
    }
    testsupport::TempDir dir;
    std::uint16_t savedTrace_ = 1;
};

TEST_F(Logs, PathIsThePrefixedNameUntilRestarted) {
    EXPECT_EQ(show(LogPath()), "TRlog.txt");
    dir.write("other.log", "old");
    EXPECT_EQ(LogRestart(S("other.log")), 0);
    EXPECT_EQ(show(LogPath()), "other.log");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "other.log"));
    EXPECT_EQ(show(AreaGet(area::WORK, area::WORK_LOGPATH)), "other.log");
}

TEST_F(Logs, PrefixIsTheFirstTwoCharactersOfTheId) {
    AreaSet(area::ENV, 2, S("X:Product"));
    EXPECT_EQ(show(LogPath()), "Xlog.txt");
    AreaSet(area::ENV, 2, S(""));
    EXPECT_EQ(show(LogPath()), "log.txt");
}

TEST_F(Logs, LinesAreWrittenOnlyForMatchingTraceBits) {
    TraceFlagsSet(1);
    EXPECT_EQ(LogLine(S("level four"), 4), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "TRlog.txt"));  // the default 1 writes no level 4
    EXPECT_EQ(LogLine(S("first"), 1), 0);
    TraceFlagsSet(1 | 4);
    LogLine(S("level four"), 4);
    LogLine(S("level six"), 6);
    LogLine(S("level eight"), 8);
    LogLine(StrErrorValue(164), 1);
    EXPECT_EQ(dir.read("TRlog.txt"), "first\r\nlevel four\r\nlevel six\r\nError #164\r\n");
}

TEST_F(Logs, AFailingLogLineReportsWithoutRecording) {
    LogRestart(S("no_such_folder\\x.log"));
    EXPECT_EQ(LogLine(S("x"), 1), err::FILENOTFOUND);
    EXPECT_EQ(ErrorRecordCode(), 0);
}

TEST_F(Logs, EntryHasTheDateTimeHeader) {
    EXPECT_EQ(LogEntry(S("Something broke"), S("entries.log")), 0);
    EXPECT_EQ(LogEntry(S("Again"), S("entries.log")), 0);
    std::string text = dir.read("entries.log");
    const std::string head = R"(\*{29}\r\n Date:\d\d-\d\d-\d{4} - Time:\d\d:\d\d - User:0\r\n)";
    const std::string tail = R"(\r\n\*{22}\r\n\r\n)";
    EXPECT_TRUE(std::regex_match(text, std::regex(head + "Something broke" + tail + head + "Again" + tail))) << text;
    // An empty file name means the trace log.
    EXPECT_EQ(LogEntry(S("to the log"), S("")), 0);
    EXPECT_NE(dir.read("TRlog.txt").find("to the log"), std::string::npos);
}

TEST_F(Logs, HeaderDateIsMonthFirstUnlessTheLanguageIsDayFirst) {
    dateClockPin(20240517, (11 * 3600 + 35 * 60 + 7) * 1000);
    struct Case { const char* lang; const char* date; } cases[] = {
        {"EN", "05-17-2024"}, {"", "05-17-2024"}, {"DE", "05-17-2024"},
        {"ES", "17-05-2024"}, {"FR", "17-05-2024"}, {"IT", "17-05-2024"},
    };
    for (auto& c : cases) {
        AreaSet(area::ENV, 4, S(c.lang));
        std::filesystem::remove(dir.path() / "stamp.log");
        ASSERT_EQ(LogEntry(S("x"), S("stamp.log")), 0);
        EXPECT_EQ(dir.read("stamp.log"), std::string("*****************************\r\n Date:") + c.date +
                                             " - Time:11:35 - User:0\r\nx\r\n**********************\r\n\r\n")
            << c.lang;
    }
    dateClockPin(0, 0);
}

TEST_F(Logs, TraceFlagsFollowTheVariableStoreOnceBound) {
    TraceFlagsSet(4);
    ASSERT_EQ(varInit(), 0);
    EXPECT_EQ(TraceFlags(), 1);  // _TRACE starts at 1
    LogLine(S("not traced"), 4);  // the module's own 4 no longer counts
    sysSet(SysVar::TRACE, 6);
    EXPECT_EQ(TraceFlags(), 6);
    LogLine(S("level four"), 4);
    TraceFlagsSet(8);
    EXPECT_EQ(sysGet(SysVar::TRACE), 8);
    varShutdown();
    EXPECT_EQ(TraceFlags(), 1);  // unbound again: the module's own default
    EXPECT_EQ(dir.read("TRlog.txt"), "level four\r\n");
}

TEST_F(Logs, EntryIntoAnUnwritableFileGives164WithTheName) {
    EXPECT_EQ(LogEntry(S("x"), S("missing_folder\\a.log")), err::FILENOTFOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "missing_folder\\a.log");
}

TEST_F(Logs, AppendLineAddsCrLfAndFollowsBackslashNames) {
    dir.write("sub/keep.txt", "");
    EXPECT_EQ(AppendLine(S("sub\\out.txt"), S("one")), 0);
    EXPECT_EQ(AppendLine(S("sub\\out.txt"), S("two")), 0);
    EXPECT_EQ(dir.read("sub/out.txt"), "one\r\ntwo\r\n");
    EXPECT_EQ(AppendLine(S("nowhere\\out.txt"), S("x")), err::FILENOTFOUND);
    EXPECT_EQ(AppendLine(S("x.txt"), StrErrorValue(145)), err::OUTOFMEMORY);
}

int g_exitCode = -1;
void recordExit(int code) { g_exitCode = code; }

TEST_F(Logs, AssertShowsABoxLogsAndEnds) {
    testsupport::FakeBackendScope ui;
    AssertSetExit(recordExit);
    g_exitCode = -1;
    EXPECT_TRUE(Assert(true, S("DataFileCtrl")));
    EXPECT_TRUE(ui->boxes.empty());
    EXPECT_EQ(g_exitCode, -1);
    EXPECT_FALSE(Assert(false, S("DataFileCtrl")));
    AssertSetExit(nullptr);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_EQ(ui->boxes[0].text, "DataFileCtrl");
    EXPECT_EQ(ui->boxes[0].title, "Assertion Fail");
    EXPECT_EQ(ui->boxes[0].style, 0x10u);
    EXPECT_EQ(g_exitCode, 3);
    std::string log = dir.read("assertions.log");
    EXPECT_EQ(log.rfind("*****************************\r\n Date:", 0), 0u);
    EXPECT_NE(log.find("User:0\r\nDataFileCtrl\r\n**********************\r\n\r\n"), std::string::npos);
}

TEST_F(Logs, AssertEndsTheProcessWithCode3) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(Assert(false, S("Out of Memory")), ::testing::ExitedWithCode(3), "Assertion Fail");
}

}  // namespace
