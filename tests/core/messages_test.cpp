#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/errtext.h"
#include "core/messages.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "tests/core/fake_backend.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

StrDesc S(const char* s) { return StrFromTerminated(s); }
std::string msg(const char* code) { return show(MsgText(S(code))); }

class Catalogue : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        dir_ = std::make_unique<testsupport::TempDir>();
    }
    void TearDown() override {
        dir_.reset();
        RuntimeTest::TearDown();
    }
    void setEnv(std::uint16_t entry, const std::string& v) { ASSERT_EQ(AreaSet(area::ENV, entry, StrView(v)), 0); }
    testsupport::TempDir& dir() { return *dir_; }
    std::unique_ptr<testsupport::TempDir> dir_;
};

TEST_F(Catalogue, WithoutAFileCallerDefaultsThenCompiledTexts) {
    EXPECT_EQ(msg("0031 My text"), "My text");
    EXPECT_EQ(msg("0031"), "Process not defined");
    EXPECT_EQ(msg("0069"), "");
    EXPECT_EQ(msg("0076"), "");
    EXPECT_EQ(MsgCatalogState(), 1);
}

TEST_F(Catalogue, CompiledTextsAreExact) {
    struct Case { const char* code; const char* text; } cases[] = {
        {"0001", "Unable to initialize String area"},
        {"0008", "Warning "},
        {"0011", "Yy,Nn"},
        {"0017", "Bad params for screen field %s\r\n (%s)"},
        {"0019", ".,'0123456789.-D',' NY','  ,NO,YES'"},
        {"0033", "Remember your Safety Copies\n\r\xBF" "Do you want to Close Program? (%i Screens, %i Windows)"},
        {"0039", "Continue?"},
        {"0040", "View Log?"},
        {"0077", "PgUp/PgDn Avail."},
        {"0080", "(Bigger than),(Smaller than),(Equal to),(From),(To)  ,(No Equal to)"},
        {"0089", "Relative,Secuential,Delimited,List"},
        {"0090", "Database access"},
        {"0110", "'Reports','\tCreate New,[$]','\tReports,[$]%APNAME%report.ppn'"},  // tabs inside quotes
        {"0120", "'Help','\tHelp,Help','\tAbout,Help About'"},
        {"0130", "Exit,Print,Save"},
        {"1001", "Graphical Stat View Config"},
        {"1005", "'Group Expression (Line):':'A255','Values Expression:':'A255','Start Expression (Reset):':'A255','Scan Condition:':'A255','Store Variables:':'A255'"},
    };
    for (auto& c : cases) EXPECT_EQ(msg(c.code), c.text) << c.code;
    // Every compiled-in number is reachable, and no other number has a text.
    int present = 0;
    for (int n = 0; n <= 1100; ++n) {
        char code[8];
        std::snprintf(code, sizeof code, "%04d", n);
        StrScope scope;
        if (MsgText(S(code)).len) ++present;
    }
    EXPECT_EQ(present, 39 + 46 + 25 + 5);
}

TEST_F(Catalogue, LanguageFileTextsReplaceEveryDefaultInItsRange) {
    setEnv(4, "EN");
    dir().write("VK_LANG_EN.MSJ",
                "0010 Ten\r\n"
                "0012 Line one\\nLine two\r\n"
                "comment line\r\n"
                "0015 Fifteen\n"
                "0014 Out of order\r"
                "0016\r\n"
                "0020 Twenty");
    EXPECT_EQ(msg("0010"), "Ten");
    EXPECT_EQ(msg("0011"), "");                  // missing between two lines
    EXPECT_EQ(msg("0011 My default"), "");      // the file wins over the caller's default
    EXPECT_EQ(msg("0012"), "Line one\r\nLine two");
    EXPECT_EQ(msg("0014"), "");                  // numbers must ascend
    EXPECT_EQ(msg("0015"), "Fifteen");
    EXPECT_EQ(msg("0016"), "");
    EXPECT_EQ(msg("0020"), "Twenty");
    EXPECT_EQ(MsgCatalogState(), 2);
    // Outside the file's numbers: the caller's default, then the compiled text.
    EXPECT_EQ(msg("0009"), "Error ");
    EXPECT_EQ(msg("0031 Mine"), "Mine");
    EXPECT_EQ(msg("0031"), "Process not defined");
}

TEST_F(Catalogue, LoadedOnceAndKeptInTheStringArea) {
    setEnv(4, "EN");
    dir().write("VK_LANG_EN.MSJ", "0001 One\r\n");
    EXPECT_EQ(msg("0001"), "One");
    dir().write("VK_LANG_EN.MSJ", "0001 Changed\r\n");
    setEnv(4, "ES");
    EXPECT_EQ(msg("0001"), "One");
    EXPECT_EQ(show(AreaGet(area::WORK, area::WORK_MESSAGES)), "One");
}

TEST_F(Catalogue, FilesOf256LinesOrMoreAreNotUsed) {
    setEnv(4, "EN");
    std::string lines;
    for (int i = 1; i <= 256; ++i) lines += "0" + std::to_string(100 + i) + " text\r\n";
    dir().write("VK_LANG_EN.MSJ", lines);
    EXPECT_EQ(msg("0031"), "Process not defined");
    EXPECT_EQ(MsgCatalogState(), 1);
}

TEST_F(Catalogue, A255LineFileIsUsed) {
    setEnv(4, "EN");
    std::string lines = "not numbered\n";  // every line counts, numbered or not
    for (int i = 1; i <= 254; ++i) lines += "0" + std::to_string(100 + i) + " t" + std::to_string(i) + "\n";
    dir().write("VK_LANG_EN.MSJ", lines);
    EXPECT_EQ(msg("0101"), "t1");
    EXPECT_EQ(msg("0354"), "t254");
    EXPECT_EQ(MsgCatalogState(), 2);
}

TEST_F(Catalogue, OnlyTheFirst256NumbersAreKept) {
    setEnv(4, "EN");
    dir().write("VK_LANG_EN.MSJ", "0100 First\n0355 Last kept\n0356 Too far\n");
    EXPECT_EQ(msg("0355"), "Last kept");
    EXPECT_EQ(msg("0356 dflt"), "dflt");
    EXPECT_EQ(msg("0200"), "");
}

TEST_F(Catalogue, WithoutALanguageTheFirstFileInNameOrderIsTaken) {
    dir().write("VK_LANG_FR.MSJ", "0001 Un\n");
    dir().write("VK_LANG_DE.MSJ", "0001 Eins\n");
    EXPECT_EQ(msg("0001"), "Eins");
}

TEST_F(Catalogue, LooksInTheDataFoldersAndMatchesNamesInAnyCase) {
    setEnv(4, "ES");
    dir().write("data/vk_lang_es.msj", "0001 Uno\n");
    dir().write("VK_LANG_ES.MSJ", "0001 Not this one\n");
    setEnv(5, "missing," + (dir().path() / "data").string());
    EXPECT_EQ(msg("0001"), "Uno");
}

TEST_F(Catalogue, AFileWithoutNumberedLinesLoadsNothing) {
    setEnv(4, "EN");
    dir().write("VK_LANG_EN.MSJ", "hello\nworld\n");
    EXPECT_EQ(msg("0031"), "Process not defined");
    EXPECT_EQ(MsgCatalogState(), 1);
}

// --- Message boxes -------------------------------------------------------------

class MessageBoxes : public testsupport::RuntimeTest {
protected:
    testsupport::FakeBackendScope ui;
};

TEST_F(MessageBoxes, KindsGiveStyleAndDefaultTitle) {
    struct Case { int kind; unsigned style; const char* title; } cases[] = {
        {0, 0x40, "Information Request"}, {1, 0x30, "Information Message"}, {2, 0x41, "Information Request"},
        {3, 0x10, "Fatal Error Ocurred"}, {4, 0x15, "Information Message"}, {5, 0x44, "Information Request"},
        {6, 0x43, "Information Request"}, {7, 0x00, "Information Request"}, {-1, 0x00, "Information Request"},
    };
    for (auto& c : cases) {
        MsgBox(S("hello"), S(""), c.kind);
        ASSERT_FALSE(ui->boxes.empty());
        EXPECT_EQ(ui->boxes.back().style, c.style) << c.kind;
        EXPECT_EQ(ui->boxes.back().title, c.title) << c.kind;
        EXPECT_EQ(ui->boxes.back().text, "hello");
    }
    MsgBox(S("x"), S("My title"), 3);
    EXPECT_EQ(ui->boxes.back().title, "My title");
}

TEST_F(MessageBoxes, AnswersComeFromMessage0011) {
    using platform::Answer;
    struct Case { Answer a; int result; } cases[] = {
        {Answer::Ok, 'Y'}, {Answer::Retry, 'Y'}, {Answer::Yes, 'Y'}, {Answer::No, 'N'},
        {Answer::Cancel, 3}, {Answer::Abort, 3}, {Answer::Ignore, 3},
    };
    for (auto& c : cases) {
        ui->answer = c.a;
        EXPECT_EQ(MsgBox(S("q"), S(""), 6), c.result);
    }
    ui->answer = Answer::Yes;
    EXPECT_EQ(MsgAsk(S("Sure?")), 1);
    EXPECT_EQ(ui->boxes.back().style, 0x44u);
    ui->answer = Answer::No;
    EXPECT_EQ(MsgAsk(S("Sure?")), 0);
}

TEST_F(MessageBoxes, AnswersFollowTheLanguageFile) {
    testsupport::TempDir dir;
    AreaSet(area::ENV, 4, S("ES"));
    dir.write("VK_LANG_ES.MSJ", "0011 Ss,Nn\n0014 Pregunta\n");
    ui->answer = platform::Answer::Yes;
    EXPECT_EQ(MsgBox(S("q"), S(""), 5), 'S');
    EXPECT_EQ(ui->boxes.back().title, "Pregunta");
    EXPECT_EQ(MsgAsk(S("q")), 1);
}

TEST_F(MessageBoxes, PendingEventsAreDiscardedOnlyWithoutAMainWindow) {
    MsgBox(S("a"), S(""), 0);
    EXPECT_TRUE(ui->boxes.back().afterDiscard);
    ui->mainWindow = true;
    MsgBox(S("b"), S(""), 0);
    EXPECT_FALSE(ui->boxes.back().afterDiscard);
}

TEST_F(MessageBoxes, AViewIntoTheStringAreaSurvivesTheCatalogueLoad) {
    testsupport::TempDir dir;
    AreaSet(area::ENV, 4, S("EN"));
    dir.write("VK_LANG_EN.MSJ", "0014 Title from file\n");
    AreaSet(area::WORK, 20, S("text kept in the area"));
    ASSERT_EQ(MsgCatalogState(), 0);
    MsgBox(AreaGet(area::WORK, 20), S(""), 0);  // the lookup of the title loads the catalogue
    EXPECT_EQ(ui->boxes.back().text, "text kept in the area");
    EXPECT_EQ(ui->boxes.back().title, "Title from file");
}

// --- Error names, texts and the error dialog --------------------------------------

class ErrorTexts : public testsupport::RuntimeTest {
protected:
    testsupport::FakeBackendScope ui;
};

TEST_F(ErrorTexts, NamesByPosition) {
    struct Case { ErrCode code; const char* name; } cases[] = {
        {122, "User Canceled"}, {127, "Out of Data"}, {143, "Screen Environ"}, {145, "OUTOFMEMORY"},
        {163, "BADINPUTDATA"}, {164, "File Not Found"}, {173, "SYSTEMCMDERROR"}, {174, "Undefined"},
        {175, "Permission Denied"}, {181, "Variable ScreenField"}, {182, "Undefined"}, {183, "Data Already exist"},
        {185, "Graphic Support Low"}, {186, "Undefined"}, {121, "Undefined"}, {0, "Undefined"}, {65535, "Undefined"},
    };
    for (auto& c : cases) EXPECT_EQ(show(ErrorName(c.code)), c.name) << c.code;
}

TEST_F(ErrorTexts, Shapes) {
    ErrorRecordSet(1, ctx::DynStrings, err::OUTOFMEMORY, 0);
    ErrorDetail(err::OUTOFMEMORY, S("x"));
    EXPECT_EQ(show(ErrorText(145)), "Error OUTOFMEMORY(DynStrings): x");
    EXPECT_EQ(show(ErrorText(65535)), "Error OUTOFMEMORY(DynStrings): x");  // the recorded code
    EXPECT_EQ(show(ErrorText(122)), "User Canceled");
    EXPECT_EQ(show(ErrorText(60)), "Warning ");
    EXPECT_EQ(show(ErrorText(0)), "Process Completed Succesfully");
    EXPECT_EQ(show(ErrorText(126)), "x");
    EXPECT_EQ(show(ErrorText(121)), "x");
    ErrorRecordClear();
    EXPECT_EQ(show(ErrorText(126)), "Bad user data");
    EXPECT_EQ(show(ErrorText(121)), "Undefined");
    EXPECT_EQ(show(ErrorText(164)), "Error File Not Found");
    EXPECT_EQ(show(ErrorText(65535)), "Error Undefined");
    ErrorDetail(err::FILENOTFOUND, S("D:\\data\\x.dat"));
    ErrorRecordSet(1, ctx::Streams, err::FILENOTFOUND, 0);
    EXPECT_EQ(show(ErrorText(164)), "Error File Not Found(Streams): D:\\data\\x.dat");
}

TEST_F(ErrorTexts, ErrorShowUsesTheDialogAndRemovesTheDetail) {
    EXPECT_EQ(ErrorDetail(err::FILENOTFOUND, S("name")), err::FILENOTFOUND);
    EXPECT_EQ(ErrorShow(164), 164);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_EQ(ui->boxes[0].text, "Error File Not Found: name");
    EXPECT_EQ(ui->boxes[0].title, "Fatal Error Ocurred");
    EXPECT_EQ(ui->boxes[0].style, 0x10u);
    EXPECT_EQ(show(ErrorDetailGet()), "");
    AreaSet(area::WORK, area::WORK_LOGPATH, S("keep.log"));
    ErrorDetail(125, S("w"));
    ErrorShow(125);
    EXPECT_EQ(ui->boxes[1].text, "Type Warning");
    EXPECT_EQ(ui->boxes[1].title, "Information Message");
    EXPECT_EQ(ui->boxes[1].style, 0x30u);
    EXPECT_EQ(show(AreaGet(area::WORK, area::WORK_LOGPATH)), "keep.log");  // later entries stay in place
}

TEST_F(ErrorTexts, AnErrorValueAsBoxTextShowsItsErrorText) {
    MsgBox(StrErrorValue(err::FILENOTFOUND), S(""), 3);
    EXPECT_EQ(ui->boxes.back().text, "Error File Not Found");
}

}  // namespace
