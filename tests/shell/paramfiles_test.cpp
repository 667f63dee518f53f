#include <gtest/gtest.h>

#include <string>

#include "core/runtime_core.h"
#include "core/strstack.h"
#include "lang/numbers.h"
#include "lang/varstore.h"
#include "shell/environ.h"
#include "shell/startup.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

// A started runtime (no callback) in a scratch folder whose "data"
// subfolder is the data folder; the application is TR, connected to host
// srv, database db, user me.
class ParameterFiles : public ::testing::Test {
protected:
    testsupport::TempDir dir;

    void SetUp() override {
        CoreReset();
        StrStackConfigure(512);
        InitRecord r;
        r.cmdLine = StrView("prog.exe");
        ASSERT_EQ(RuntimeInit(r), 0);
        ASSERT_EQ(EnvSet(envstr::APNAME, StrView("TRW01Q:Trendor")), 0);
        ASSERT_EQ(EnvSet(envstr::DOCPATH, StrView("data")), 0);
        ASSERT_EQ(EnvSet(envstr::DATABASE, StrView("srv,db,me,pw")), 0);
    }
    void TearDown() override { RuntimeClose(); }

    std::string text(const char* name) {
        StrScope s;
        return varGet(StrView(name)) ? "<error>" : show(StrTop());
    }
    std::int64_t number(const char* name) {
        StrScope s;
        std::int64_t v = 0;
        if (varGet(StrView(name)) || !numRead(StrTop(), v)) return -1;
        return v / numScale();
    }
};

TEST_F(ParameterFiles, RunInOrderFromTheDataFoldersThenTheLanguageVariables) {
    dir.write("data/TRPARINI.SRV.DAT", "A#=1\r\n\r\nB$='x'\r\n");
    dir.write("data/trclcusr.srv.db.dat", "C#=A#+1\r\n");
    dir.write("TRCLCUSR.SRV.DB.ME.DAT", "E#=10\r\n");  // plain name: the current folder
    dir.write("data/TRCLCFIX.SRV.DB.DAT", "D#=C#*2\r\n");
    dir.write("data/TRLANGVARS.DAT", "GREET$=0031\r\nTITLE$ = 0081\r\n");
    EXPECT_EQ(ParamFilesRun(), 0);
    EXPECT_EQ(number("A#"), 1);
    EXPECT_EQ(text("B$"), "x");
    EXPECT_EQ(number("D#"), 4);
    EXPECT_EQ(number("E#"), 10);
    EXPECT_EQ(text("GREET$"), "Process not defined");
    EXPECT_EQ(text("TITLE$"), "Report Limits Capture");
}

TEST_F(ParameterFiles, MissingFilesAreSkipped) {
    dir.write("data/TRCLCFIX.SRV.DB.DAT", "D#=7\r\n");
    EXPECT_EQ(ParamFilesRun(), 0);
    EXPECT_EQ(number("D#"), 7);
    EXPECT_EQ(LangVarsLoad(), 0);
}

TEST_F(ParameterFiles, TheFirstFailingFileStopsTheList) {
    dir.write("data/TRPARINI.SRV.DAT", "A#=1\r\n");
    dir.write("data/TRCLCUSR.SRV.DB.DAT", "C#=(1+\r\n");
    dir.write("data/TRCLCFIX.SRV.DB.DAT", "D#=5\r\n");
    ErrCode e = ParamFilesRun();
    EXPECT_GE(e, 128);
    EXPECT_EQ(number("A#"), 1);
    EXPECT_EQ(number("D#"), 0);  // never ran
}

TEST_F(ParameterFiles, LanguageVariablesKeepQuotesOfTheirTexts) {
    // A message text holding an apostrophe is still assigned whole.
    dir.write("data/TRLANGVARS.DAT", "Q$=0091\r\n");
    EXPECT_EQ(LangVarsLoad(), 0);
    EXPECT_EQ(text("Q$").substr(0, 16), "'Host:':'A30'::%");
}

}  // namespace
