#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/strstack.h"
#include "shell/environ.h"
#include "shell/options.h"
#include "shell/paths.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class Environment : public testsupport::RuntimeTest {
protected:
    void set(std::uint16_t entry, const std::string& v) { ASSERT_EQ(EnvSet(entry, StrView(v)), 0); }
    void commandLine(const std::string& raw) {
        StrScope s;
        ASSERT_EQ(EnvSet(envstr::CMDLINE, CmdLineNormalize(StrView(raw))), 0);
    }
    std::string expand(const std::string& text) {
        StrScope s;
        return show(EnvExpand(StrView(text)));
    }
    std::string folderOf(std::uint16_t n) {
        StrScope s;
        return show(FolderPath(n));
    }
    std::string cwd() {
        StrScope s;
        return show(CurrentFolder());
    }
};

TEST_F(Environment, SecondStageNames) {
    set(envstr::APNAME, "TRW01Q:Trendor");
    set(envstr::APDESC, "Viewer");
    set(envstr::LANGMODULE, "EN");
    set(envstr::DOCPATH, "D:\\data");
    set(envstr::DOCS, "D:\\docs");
    set(envstr::HELPPATH, "D:\\help");
    set(envstr::DATABASE, "srv,'Sales',me,secret");
    commandLine("prog.exe /TRACE=8");
    EXPECT_EQ(expand("%APNAME%PARINI.%DATABASE_HOST%.DAT"), "TRPARINI.SRV.DAT");
    EXPECT_EQ(expand("%DATABASE_DBNAME%/%DATABASE_USER%/%DATABASE_PASSW%"), "Sales/ME/SECRET");
    EXPECT_EQ(expand("[%COMMANDLINE%]"), "[prog.exe /TRACE=8]");
    EXPECT_EQ(expand("%APDESCRIP%|%LANGMODULE.DOCPATH%|%DATAPATH%"), "Viewer|EN|D:\\data");
    // HELPPATH names the sixth entry, the documents folder.
    EXPECT_EQ(expand("%HELPPATH%"), "D:\\docs");
    // Every occurrence of a name is replaced.
    EXPECT_EQ(expand("%APNAME%-%APNAME%"), "TR-TR");
}

TEST_F(Environment, HostExampleWithAPlainHostValue) {
    set(envstr::APNAME, "TRW01Q:Trendor");
    set(envstr::DATABASE, "'srv',db,u,p");
    EXPECT_EQ(expand("%APNAME%PARINI.%DATABASE_HOST%.DAT"), "TRPARINI.srv.DAT");
}

TEST_F(Environment, UnknownNamesAndLoneSigns) {
    EXPECT_EQ(expand("50% off"), "50% off");
    EXPECT_EQ(expand("%XYZ%a"), "a");
    EXPECT_EQ(expand("no references"), "no references");
    EXPECT_EQ(expand("%%x"), "x");
    // A folder or system name after an unknown one goes to the second stage.
    set(envstr::DOCPATH, "D:\\data");
    EXPECT_EQ(expand("%APPPATH_DEFAULT%|%XYZ%|%APPPATH_DEFAULT%"), "D:\\data||D:\\data");
    EXPECT_EQ(expand("%XYZ%|%APPPATH_DEFAULT%"), "|");
}

TEST_F(Environment, OperatingSystemVariablesInAnyCase) {
    setenv("TEMP", "/var/tmpdir", 1);
    EXPECT_EQ(expand("%temp%\\x"), "/var/tmpdir\\x");
    EXPECT_EQ(expand("%TEMP%\\x"), "/var/tmpdir\\x");
    EXPECT_EQ(expand("%Temp%"), "/var/tmpdir");
    unsetenv("TEMP");
    EXPECT_EQ(expand("%TEMP%x"), "x");
    StrScope s;
    setenv("RtCaseVar", "v", 1);
    EXPECT_EQ(show(EnvVar(StrView("RTCASEVAR"))), "v");
    unsetenv("RtCaseVar");
    EXPECT_EQ(show(EnvVar(StrView("RTCASEVAR"))), "");
}

TEST_F(Environment, ValuesHoldingReferencesAreNotExpandedAgain) {
    set(envstr::DOCPATH, "C:\\%APPPATH_DEFAULT%");
    EXPECT_EQ(expand("%APPPATH_DEFAULT%\\f"), "C:\\%APPPATH_DEFAULT%\\f");
    commandLine("p %COMMANDLINE% q");
    EXPECT_EQ(expand("<%COMMANDLINE%>"), "<p %COMMANDLINE% q>");
}

TEST_F(Environment, FolderKinds) {
    commandLine("\"C:\\Program Files\\App\\prog.exe\" /TRACE=1");
    EXPECT_EQ(folderOf(folder::RUNPATH), "C:\\Program Files\\App");
    commandLine("/opt/app/bin/trendor /TRACE=1");
    EXPECT_EQ(folderOf(folder::RUNPATH), "\\opt\\app\\bin");
    set(envstr::DOCPATH, "D:\\apps\\x");
    EXPECT_EQ(folderOf(folder::DEFAULT), "D:\\apps\\x");
    // No drive F: or later: next to the documents folder (here the current one).
    EXPECT_EQ(folderOf(folder::DOCS), cwd());
    EXPECT_EQ(folderOf(folder::DATA), show(PathResolve(StrView(cwd()), StrView("..\\data"))));
    set(envstr::DOCS, "E:\\docs\\mine");
    EXPECT_EQ(folderOf(folder::DATA), "E:\\docs\\data");
    commandLine("G:\\bin\\prog.exe");
    EXPECT_EQ(folderOf(folder::DATA), "D:\\apps\\data");
    commandLine("f:\\bin\\prog.exe");
    EXPECT_EQ(folderOf(folder::DATA), "D:\\apps\\data");
    EXPECT_EQ(folderOf(folder::HELP), "D:\\apps\\x\\Help");
    set(envstr::HELPPATH, "H:\\help");
    EXPECT_EQ(folderOf(folder::HELP), "H:\\help");
    EXPECT_EQ(folderOf(folder::BACKUP), "E:\\docs\\mine\\Backups");
    set(envstr::DOCS, "");
    EXPECT_EQ(folderOf(folder::BACKUP), "Backups");
    set(envstr::DATABASE, "srv,'Sales',u,p");
    EXPECT_EQ(folderOf(folder::BACKREL), cwd() + "\\Backups\\SRV\\Sales");
    EXPECT_EQ(folderOf(0), "");
    EXPECT_EQ(folderOf(8), "");
    StrScope s;
    EXPECT_EQ(show(FolderFile(StrView("x.dat"), folder::DEFAULT)), "D:\\apps\\x\\x.dat");
    EXPECT_EQ(show(EnvExpand(StrView("%APPPATH_HELP%\\i.html"))), "H:\\help\\i.html");
}

TEST_F(Environment, FirstAndSecondFolderSetUps) {
    testsupport::TempDir dir;
    commandLine("\\opt\\app\\prog /DPATH='E:\\shared'");
    EXPECT_EQ(FolderSetup(0), err::BADINPUTDATA);
    ASSERT_EQ(FolderSetup(1), 0);
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "\\opt\\app");
    EXPECT_EQ(show(EnvGet(envstr::HELPPATH)), "\\opt\\app\\Help");
    // Values already set are kept by the first set-up.
    set(envstr::DOCPATH, "X:\\mine");
    ASSERT_EQ(FolderSetup(1), 0);
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "X:\\mine");
    // The second takes DPATH, else the applications folder next to the current one.
    ASSERT_EQ(FolderSetup(2), 0);
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), "E:\\shared");
    EXPECT_EQ(show(EnvGet(envstr::HELPPATH)), "E:\\shared\\Help");
    commandLine("\\opt\\app\\prog");
    ASSERT_EQ(FolderSetup(2), 0);
    StrScope s;
    std::string apps = show(PathResolve(CurrentFolder(), StrView("..\\APPS")));
    EXPECT_EQ(show(EnvGet(envstr::DOCPATH)), apps);
    // Bit 8 creates the backup folder.
    set(envstr::DOCS, "docs");
    ASSERT_EQ(FolderSetup(2 | 8), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "docs" / "Backups"));
}

TEST_F(Environment, LanguageIndexAndFileNames) {
    EXPECT_EQ(LangIndex(), 0);
    set(envstr::LANGMODULE, "FR");
    EXPECT_EQ(LangIndex(), 3);
    set(envstr::LANGMODULE, "XX");
    EXPECT_EQ(LangIndex(), 0);
    set(envstr::LANGMODULE, "ES");
    struct Case {
        const char* name;
        std::uint16_t index;
        const char* expected;
    };
    const Case cases[] = {
        {"report.ppn", 1, "report_en.ppn"}, {"x.a.b", 1, "x_en.a.b"},   {"readme", 1, "readme_en"},
        {"HELP.HLP", 1, "HELP_en.HLP"},     {"HELP.HLP", 0, "HELP.HLP"}, {"HELP.HLP", 6, "HELP.HLP"},
        {"HELP.HLP", 5, "HELP_it.HLP"},     {"HELP.HLP", 65535, "HELP_es.HLP"},
        {"d.v\\f.txt", 4, "d.v\\f_de.txt"},
    };
    for (const Case& c : cases) {
        StrScope s;
        EXPECT_EQ(show(LangFileName(StrView(c.name), c.index)), c.expected) << c.name << " " << c.index;
    }
}

}  // namespace
