// The built-in functions, driven through the evaluator: each case is an
// expression text and the value it gives. A number is shown with a leading
// '#' ("#3", "#1.5"), a string as its bytes, a failure as "<error N>".
#include "lang/funcs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <utime.h>
#include <vector>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/dates.h"
#include "lang/eval.h"
#include "lang/numbers.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

struct Case {
    std::string expr;
    std::string expected;
};

class Funcs : public testsupport::RuntimeTest {
protected:
    // Every test runs in a folder of its own (files, trace lines).
    testsupport::TempDir folder_;

    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(evalInit(), 0);
    }
    void TearDown() override {
        funcShutdown();
        evalShutdown();
        varShutdown();
        RuntimeTest::TearDown();
    }

    // The value of an expression as text (see the file comment).
    static std::string run(const std::string& expr) {
        StrScope scope;
        ErrCode e = evalExpr(StrView(expr));
        if (e >= 122 && e != err::NULLEXPRESSION) return "<error " + std::to_string(e) + ">";
        if (e == EVAL_STRING) return show(StrTop());
        std::int64_t v = 0;
        if (!numRead(StrTop(), v)) return "<no value>";
        std::string t = show(numToText(v));
        return "#" + (t.empty() ? std::string("0") : t);
    }

    static void check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            EXPECT_EQ(run(c.expr), c.expected) << c.expr;
            EXPECT_EQ(AreaCount(area::FNARGS), 0) << "argument stack not cut back after " << c.expr;
        }
    }
    // Runs setup expressions that must not fail.
    static void given(const std::vector<const char*>& exprs) {
        for (const char* x : exprs) ASSERT_EQ(run(x).rfind("<error", 0), std::string::npos) << x;
    }
};

TEST_F(Funcs, ArgumentRules) {
    check({
        {"FN#SLEN()", "<error 147>"},              // below the minimum count
        {"FN$MIDS('a';1;1;1)", "<error 147>"},     // above the maximum
        {"FN$MIDS('abc';'x')", "<error 128>"},     // a string where a number is required
        {"FN$MIDS(5)", "<error 128>"},             // a number where a string is required
        {"FN$MIDS('abcdef';;2)", "f"},             // an empty numeric argument takes its default (-1)
        {"FN$MIDS('abcdef';2.5)", "cdef"},         // numbers are rounded half away from zero
        {"FN$MIDS('abcdef';2.4)", "bcdef"},
        {"FN$MIDS('abcdef';-1.5)", "ef"},
        {"fn$mids('abc';2)", "bc"},                // names are case-insensitive
        {"FN$TRIM(' a ';)", "a"},                  // an empty string argument takes its default
        {"FN$PARM('a,b,c';;59)", "a,b,c"},
    });
}

TEST_F(Funcs, StringFunctions) {
    check({
        {"FN#SLEN('abc')", "#3"},
        {"FN#SLEN('')", "#0"},
        {"FN$MIDS('ABCDEF';2;3)", "BCD"},
        {"FN$MIDS('ABCDEF';-2)", "EF"},
        {"FN$MIDS('ABCDEF';4)", "DEF"},
        {"FN$MIDS('ABCDEF')", "F"},
        {"FN$MIDS('ABC';9)", ""},
        {"FN$MIDS('ABC';-9;2)", "AB"},
        {"FN$MIDS('ABC';0;2)", "AB"},
        {"FN$TRIM('  a b  ';'LEFTTRIM')", "a b  "},
        {"FN$TRIM('  a b  ';'RIGHTRIM')", "  a b"},
        {"FN$TRIM('  a b  ')", "a b"},
        {"FN$TRIM('abc';'FIT')", "ABC"},
        {"FN$TRIM(' abc';'FIT')", "abc"},
        {"FN$TRIM(\"'abc'\";'FIT')", "abc"},
        {"FN$TRIM(1.5)", "1.5"},
        {"FN$TRIM('a';'MIDDLE')", "<error 147>"},
        {"FN$CHNG('a  b   c';'CLEAN')", "a b c"},
        {"FN$CHNG(\"x  'a  b'  y\";'CLEAN')", "x 'a  b' y"},
        {"FN$CHNG('abcabc';'b';'XY')", "aXYcaXYc"},
        {"FN$CHNG('abcabc';'b')", "acac"},
        {"FN$CHNG(\"b 'b' b\";'b';'X')", "X 'b' X"},
        {"FN$CHNG(\"b 'b' b\";'b';'X';1)", "X 'X' X"},
        {"FN$CHNG(\"it's\";\"'\";'-')", "it-s"},
        {"FN$CHNG('AbC';'LCASE')", "abc"},
        {"FN$CHNG('AbC';'UCASE')", "ABC"},
        {"FN$CHNG('a1b2';'FILTER';'0123456789')", "12"},
        {"FN$CHNG('xxAAyyBB';'FILTER';'AABB';'ab')", "xxayyb"},
        {"FN$CHNG('x';'FILTER';'ABC';'ab')", "<error 147>"},
        {"FN$CHNG('x';'FILTER';'AB';5)", "<error 147>"},
        {"FN$CHNG('x';'FILTER';'AB';'')", "<error 147>"},
        {"FN$CHRS(65;3)", "AAA"},
        {"FN$CHRS('A';3)", "AAA"},
        {"FN$CHRS('xyz')", "x"},
        {"FN$CHRS(66;0)", ""},
        {"ENVELOP$('x')", "'x'"},
        {"ENVELOP$('x';34)", "\"x\""},
        {"FN$PARM('x;y;z';2;59)", "y"},
        {"FN$PARM('a,b,c')", "c"},
        {"FN$PARM('a,b';5)", ""},
        {"FN$PARM(\"'a,b',c\";1)", "'a,b'"},
        {"FN#PARM('A,B,C')", "#3"},
        {"FN#PARM('A,B,C';'C')", "#3"},
        {"FN#PARM('A,B,C';'X')", "#0"},
        {"FN#PARM('1,2,3';2)", "#2"},
        {"FN#PARM('A,B,C';'B';'10,20,30')", "#20"},
        {"FN#PARM('A,B,C';'X';'10,20,30')", "#0"},
        {"FN#PARM('0-9,10-99';42;0)", "#2"},   // a number third argument: range list
        {"FN#PARM('0-9,10-99';'5';0)", "#1"},
        {"FN#PARM('0-9,10-99';42.7;0)", "#2"},
        {"FN#PARM('0-9,10-99';500;0)", "#0"},
        {"EXP$('$1_+$2_';A#;B#)", "A#+B#"},
        {"EXP$('$1_/$2_';C#*2)", "C#/2"},
        {"EXP$('x')", "x"},
        {"MACRO$('a[X]b';4;'X=1')", "a1b"},
        {"MACRO$('[X]+1';12;'X=2')", "3"},  // evaluated as text
    });
}

TEST_F(Funcs, Conversions) {
    dateClockPin(20240517, 13 * 3600000 + 45 * 60000);
    check({
        {"FN#VALN('12.5')", "#12.5"},
        {"FN#VALN(' 7 ';'N')", "#7"},
        {"FN#VALN('x';'Q')", "<error 147>"},
        {"FN#VALN('20240131';'D';1)", "#20240201"},
        {"FN#VALN('20240131';'M';1)", "#20240229"},
        {"FN#VALN('20240229';'Y';1)", "#20250228"},
        {"FN#VALN(20240131;'d';-31)", "#20231231"},
        {"FN#VALN('20240110';'D';20240101)", "#9"},
        {"FN#VALN('20240110';'D';'20240101')", "#9"},
        {"FN#VALN('20241110';'M';20240101)", "#10"},
        {"FN#VALN('20240132';'V')", "#20240201"},
        {"FN$DATE('20240102')", "20240102"},
        {"FN$DATE(20240102;1)", "01-02-24"},
        {"FN$DATE('01/02/2024')", "20240102"},
        {"FN$DATE()", "20240517"},
        {"FN$DATE(;2)", "05-17-2024"},
        {"TIME$('13:45:10';3)", "13:45:10"},
        {"TIME$('13:45:10';1)", "13:45"},
        {"TIME$()", "1345"},
        {"TIME$(5)", "<error 128>"},
        {"FN$MASK('###.##';1.5)", "  1.50"},
        {"FN$MASK('\\  \\';'abcdef')", "abcd"},
    });
    dateClockPin(0, 0);
}

TEST_F(Funcs, FileDatesAndTimes) {
    testsupport::TempDir dir;
    dir.write("f.txt", "x");
    std::tm t{};
    t.tm_year = 2020 - 1900;
    t.tm_mon = 5;
    t.tm_mday = 15;
    t.tm_hour = 12;
    t.tm_min = 34;
    t.tm_isdst = -1;
    utimbuf times{std::mktime(&t), std::mktime(&t)};
    ASSERT_EQ(utime("f.txt", &times), 0);
    check({
        {"FN$DATE('f.txt';128)", "20200615"},
        {"FN$DATE('f.txt';129)", "06-15-20"},
        {"TIME$('f.txt';129)", "12:34"},
        {"FN$DATE(5;128)", "<error 128>"},
    });
}

TEST_F(Funcs, ConditionalValues) {
    check({
        {"CHK$(0;'a';'b')", "b"},
        {"CHK$(1;'a')", "a"},
        {"CHK$(0;'a')", ""},
        {"CHK#(0;5)", "#0"},
        {"CHK#(0;1;2;3)", "#3"},
        {"CHK#(1;'a')", "<error 125>"},
        {"CHK$(1;2)", "<error 125>"},
        {"CHK#('a';1)", "<error 128>"},
        {"CHK#(1)", "<error 147>"},
        {"CHK#(1;5;Z=9)", "#5"},  // the untaken branch has no effect
        {"CHK#(0;Z=7;1)", "#1"},
        {"Z", "#0"},
        {"CHK#(1;'a'*'b')", "<error 147>"},
    });
}

TEST_F(Funcs, CountedAndConditionalSums) {
    check({
        {"FN#ACUM(I;I;1;4)", "#10"},
        {"I", "#5"},
        {"FN#ACUM((I*2);(I);1;3)", "#12"},
        {"FN#ACUM(I;I;5;4)", "#0"},
        {"FN#ACUM('2.5';K;1;2)", "#5"},  // a string value is converted
        {"FN#ACUM(1;X#;1;3)", "<error 147>"},
        {"FN#ACUM(1)", "<error 147>"},
        {"FN#ACUM(5;;0)", "#5"},  // an empty condition adds once
        {"FN#ACUM(2;0)", "#0"},
        {"FN#ACUM(1;I;1;'a'*2)", "#0"},   // the end is read as an integer: 0
        {"FN#ACUM('a'*'b';I;1;2)", "<error 147>"},
    });
    // A repeat condition that walks a stack table: three entries, three steps.
    given({"_$(36;0;'a')", "_$(36;0;'b')", "_$(36;0;'c')"});
    check({{"FN#ACUM(1;_$(36)<>'';FN#SLEN(_$(36;-1))>0)", "#3"}});
    EXPECT_EQ(AreaCount(36), 0);
}

TEST_F(Funcs, CountedSumStopsAtTheTopOfTheIntegerRange) {
    check({{"FN#ACUM(1;J;32766;32767)", "#2"}});
}

TEST_F(Funcs, Accumulators) {
    check({
        {"_#('CLS')", "#0"},  // no array yet
        {"_#('DIM';10)", "#0"},
        {"_#(3)=_#(3)+1.5", "#1.5"},
        {"_#(3)", "#1.5"},
        {"_#(1;2)", "#1.5"},
        {"_#(1)=1", "#1"},
        {"_#(2)=2", "#2"},
        {"_#('CLS';3;2)", "#0"},
        {"_#(1)", "#1"},
        {"_#(2)", "#0"},
        {"_#(3)", "#1.5"},
        {"_#('CLS')", "#0"},
        {"_#(1)+_#(3)+_#(10)", "#0"},
        {"_#(11)", "<error 168>"},
        {"_ACUMX$='A,B,C'", "A,B,C"},
        {"_#(2)=7", "#7"},
        {"_#('C')", "#7"},
        {"_#('B';1)", "#7"},
        {"_#('Z')", "#0"},
    });
    ArrayShape shape;
    ASSERT_EQ(arrayShape(StrView("_#("), shape), 0);
    EXPECT_EQ(shape.count, 11u);
}

TEST_F(Funcs, StringTablesAndEnvironment) {
    AreaSet(area::ENV, 1, StrView("APNAME=TR RUN:'Report x' P%='v'"));
    AreaSet(area::ENV, 3, StrView("Sales viewer"));
    check({
        {"_$(9;5;'hello')", "hello"},
        {"_$(9;5)", "hello"},
        {"_$(9;6;12.5)", "12.5"},
        {"_$(36;0;'a')", "a"},
        {"_$(36;0;'b')", "b"},
        {"_$(36)", "b"},
        {"_$(36;-1)", "a"},
        {"_$(36;-5)", ""},
        {"_$(39)", "<error 159>"},
        {"_$(.envvar;.dialog;'x, y ')", "x, y "},
        {"_ACCEPT$(2)", "y"},
        {"_ACCEPT$(1)", "X"},
        {"ENVRON$('RUN')", "Report x"},
        {"ENVRON$('APNAME')", "TR"},
        {"ENVRON$('P%')", "'v'"},  // a name with '%' keeps the quotes
        {"ENVRON$('X')", ""},
        {"ENVRON$('';3)", "Sales viewer"},
    });
}

struct ScriptCall {
    std::string name, label;
    std::uint16_t mode = 0;
};
ScriptCall g_script;

ErrCode fakeScript(StrDesc name, std::uint16_t mode, void* arg) {
    g_script = {name.str(), static_cast<StrDesc*>(arg)->str(), mode};
    return AreaPush(area::RETVALUES, StrView("from script"));
}

TEST_F(Funcs, ExecRunsExpressionFilesAndScripts) {
    testsupport::TempDir dir;
    dir.write("e.txt", "Q#=4\r\nR$='s'");
    check({
        {"EXEC$('e.txt')", ""},
        {"Q#", "#4"},
        {"R$", "s"},
        {"EXEC$('none.txt')", "<error 164>"},
        {"EXEC$('prog')", "<error 148>"},
    });
    EXPECT_EQ(show(ErrorDetailGet()).find("EXEC$()") != std::string::npos, true) << show(ErrorDetailGet());
    ASSERT_EQ(hookSet(hook::SCRIPT, fakeScript), 0);
    check({{"EXEC$('prog';'L1')", "from script"}, {"EXEC$('e.txt';'L2')", "from script"}});
    EXPECT_EQ(g_script.name, "e.txt");
    EXPECT_EQ(g_script.label, "L2");
    EXPECT_EQ(g_script.mode, 2);
    EXPECT_EQ(AreaCount(area::RETVALUES), 0);
}

TEST_F(Funcs, DiskFilesByName) {
    testsupport::TempDir dir;
    AreaSet(area::ENV, 5, StrView("."));
    check({
        {"WRITE('a.txt';-3;'hello')", "#0"},
        {"READ$('a.txt')", "hello"},
        {"WRITE('a.txt';-1;'!')", "#0"},
        {"READ$('%DATAPATH%\\a.txt')", "hello!"},
        {"WRITE('a.txt';0;'J')", "#0"},
        {"READ$('a.txt')", "Jello!"},
        {"READ$('a.txt';1;3)", "ell"},
        {"READ$('a.txt';4)", "o!"},
        {"WRITE('a.txt';-3;'new')", "#0"},
        {"READ$('a.txt')", "new"},
        {"WRITE('a.txt';-1;'')", "<error 131>"},
        {"WRITE('a.txt';-4;'x')", "<error 147>"},
        {"READ$('none.txt')", ""},
        {"READ$('a.txt';99)", ""},
        {"FN#FLEN('a.txt')", "#3"},
        {"FN#FLEN('none.txt')", "#0"},
        {"WRITE('b.txt';2;'xy')", "#0"},  // created when missing
        {"FN#FLEN('b.txt')", "#4"},
    });
}

TEST_F(Funcs, DiskFilesByHandle) {
    testsupport::TempDir dir;
    check({
        {"H=FILESEL('h.txt';0)", "#3"},
        {"WRITE(H;-1;'abc')", "#0"},
        {"WRITE(H;-1;'def')", "#0"},
        {"READ$(H;1;-1)", "bcdef"},
        {"READ$(H;0;0)", "\x1A"},  // at the end
        {"READ$(H;0;2)", "ab"},
        {"READ$(H;0;0)", ""},
        {"READ$(H;-1;2)", "cd"},
        {"FILESEL(H)", "#0"},
        {"READ$(H;0;2)", ""},
        {"WRITE(H;-1;'x')", "#-1"},  // closed: nothing written
        {"FILESEL('missing.txt';8)", "<error 164>"},
        {"FILESEL('r.txt';8)", "<error 164>"},
        {"FILESEL('r.txt';2)", "#3"},
        {"FILESEL(FN$CHRS('a';400);0)", "<error 163>"},
        {"FILESEL('CON';2)", "#1"},  // the console
        {"FILESEL('CON';0)", "#0"},
    });
}

TEST_F(Funcs, SavingVariablesKeepsOldAssignmentsTheListDoesNotName) {
    testsupport::TempDir dir;
    dir.write("V.TXT", "C#=1;A#=2");
    given({"A#=5", "B$=\"O'Neil\""});
    check({
        {"WRITE('V.TXT';-2;'A#,B$')", "#0"},
        {"C#", "#1"},
    });
    EXPECT_EQ(dir.read("V.TXT"), "A#=5;B$=\"O'Neil\";C#=1");
    // An expression item, an empty number variable, line ends in the old file.
    dir.write("W.TXT", "K$='x'\r\nD#=1\r\n");
    check({{"WRITE('W.TXT';-2;'D#=2*3,E#,F$=FN$CHRS(65;2)')", "#0"}, {"D#", "#6"}, {"F$", "AA"}});
    EXPECT_EQ(dir.read("W.TXT"), "D#=6;E#=0;F$='AA';K$='x'");
    // A new file; a value holding both quote characters.
    given({"G$='a'+'\"'+\"'\""});
    check({{"WRITE('N.TXT';-2;'A#')", "#0"}, {"WRITE('N.TXT';-2;'G$')", "<error 163>"}});
    EXPECT_EQ(dir.read("N.TXT"), "A#=5");
}

TEST_F(Funcs, SavingVariablesNeverLosesTheFileWhenTheWriteFails) {
    testsupport::TempDir dir;
    const std::string old = "C#=1;A#=2;LONGNAME$='the saved values of an earlier run'";
    dir.write("V.TXT", old);
    given({"A#=5"});
    // The file size limit makes every write beyond 8 bytes fail.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string result = run("WRITE('V.TXT';-2;'A#')");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, "<error 131>");
    EXPECT_EQ(dir.read("V.TXT"), old);
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) ++files, (void)e;
    EXPECT_EQ(files, 1) << "a temporary file was left behind";
    check({{"C#", "#0"}});  // nothing was evaluated
}

TEST_F(Funcs, SortingLists) {
    check({
        {"SORT$('C,A,B')", "A,B,C"},
        {"SORT$('b  ,a ,ab';128)", "a,ab,b"},
        {"SORT$('b  ,a ,ab')", "a ,ab,b  "},
        {"SORT$(\"'z,a',b\")", "'z,a',b"},
        {"SORT$('')", ""},
        {"SORT$('b'+FN$CHRS(0)+'a';64)", std::string("a\0b", 3)},
    });
}

TEST_F(Funcs, SortedListsKeepRecordsInKeyOrder) {
    given({"H$=SORT$('NEW';2;4)"});
    check({
        {"FN#SLEN(H$)", "#24"},
        {"SORT$('ADD';H$;'BB01')", "#0"},
        {"SORT$('ADD';H$;'CC03')", "#0"},
        {"SORT$('ADD';H$;'AA02')", "#0"},
        {"SORT$('ADD';H$;'BB00')", "#0"},   // equal keys are kept without unique keys
        {"SORT$('ADD';H$;'D')", "#0"},      // padded to the record length
        {"SORT$('ADD';H$;'EEEEE')", "<error 163>"},
        {"SORT$('GET';H$)", ""},           // the cursor is on no record yet
        {"SORT$('MOVE';H$;'TOP')", "#0"},
        {"SORT$('GET';H$)", "AA02"},
        {"SORT$('MOVE';H$;'NXT')", "#0"},
        {"SORT$('GET';H$)", "BB00"},
        {"SORT$('MOVE';H$;'NEXT')", "#0"},
        {"SORT$('GET';H$)", "BB01"},
        {"SORT$('MOVE';H$;'BOT')", "#0"},
        {"SORT$('GET';H$)", "D   "},
        {"SORT$('MOVE';H$;'NXT')", "#2"},
        {"_IER", "#2"},
        {"SORT$('GET';H$)", "D   "},        // the cursor stays at the end
        {"SORT$('MOVE';H$;'PRV')", "#0"},
        {"_IER", "#0"},
        {"SORT$('GET';H$)", "CC03"},
        {"SORT$('MOVE';H$;'SIDEWAYS')", "<error 147>"},
        {"SORT$('ADD';H$)", "<error 147>"},
        {"SORT$('NEW')", "<error 147>"},
        {"SORT$('NEW';5;4)", "<error 147>"},
        {"SORT$('KILL';H$)", "#0"},
        {"SORT$('GET';H$)", "<error 147>"},  // a freed list is refused
        {"SORT$('KILL';H$)", "<error 147>"},
        {"SORT$('GET';'xyz')", "<error 147>"},
        {"SORT$('GET';FN$CHRS(65;24))", "<error 147>"},
    });
}

TEST_F(Funcs, SortedListsWithUniqueOrDescendingKeys) {
    given({"U$=SORT$('NEW';2;4;1)", "D$=SORT$('NEW';1;2;2)"});
    check({
        {"SORT$('ADD';U$;'AA01')", "#0"},
        {"SORT$('ADD';U$;'AA02')", "#5"},
        {"SORT$('MOVE';U$;'BOT')", "#0"},
        {"SORT$('GET';U$)", "AA01"},
        {"SORT$('ADD';D$;'b1')", "#0"},
        {"SORT$('ADD';D$;'c2')", "#0"},
        {"SORT$('ADD';D$;'a3')", "#0"},
        {"SORT$('MOVE';D$;'TOP')", "#0"},
        {"SORT$('GET';D$)", "c2"},
        {"SORT$('MOVE';D$;'BOTTOM')", "#0"},
        {"SORT$('GET';D$)", "a3"},
        {"SORT$('MOVE';D$;'PREVIOUS')", "#0"},
        {"SORT$('GET';D$)", "b1"},
    });
}

TEST_F(Funcs, DataFileFunctionsWithoutTheDataLayer) {
    check({
        {"FILEFIND('k')", "<error 161>"},
        {"FILELOCATE()", "<error 161>"},
        {"FILELOCATE('TOP';2)", "<error 161>"},
        {"FILEREL(1;2;3)", "<error 161>"},
        {"FILEREL(1;2)", "<error 147>"},
        {"IER()", "<error 161>"},
        {"KEY$()", ""},
        {"FILESEL('RESTORE')", "<error 141>"},
        {"FILESEL('SALES')", "<error 164>"},
        {"FN$FLDS(CITY{CLIENTS})", "<error 161>"},
        {"FILEFIND('k';1;'x')", "<error 128>"},
    });
}

struct SeenCall {
    std::string what, text, verb;
    DataFileRef file;
    std::uint16_t a = 0, b = 0;
};
SeenCall g_seen;

DataFileRef keep(DataFileRef f) {
    // The name is a view valid during the call only.
    static std::string name;
    name = f.name.str();
    f.name = StrView(name);
    return f;
}

DataFileFuncs fakeLayer() {
    DataFileFuncs f;
    f.find = [](DataFileRef file, StrDesc key, std::uint16_t keyNo, std::uint16_t flags, std::int64_t& st) {
        g_seen = {"find", key.str(), "", keep(file), keyNo, flags};
        st = 2;
        return ErrCode{0};
    };
    f.locate = [](DataFileRef file, StrDesc verb, std::int64_t& st) {
        g_seen = {"locate", "", verb.str(), keep(file), 0, 0};
        st = 0;
        return ErrCode{0};
    };
    f.relate = [](DataFileRef file, DataFileRef, std::uint16_t rel, std::uint16_t flags, StrDesc expr,
                  std::int64_t& st) {
        g_seen = {"relate", expr.str(), "", keep(file), rel, flags};
        st = 4;
        return ErrCode{0};
    };
    f.key = [](DataFileRef file, std::uint16_t keyNo, std::uint16_t buffer, std::uint16_t) {
        g_seen = {"key", "", "", keep(file), keyNo, buffer};
        return StrPush(StrView("K1"));
    };
    f.lastStatus = [](DataFileRef, std::int64_t& st) {
        st = 127;
        return ErrCode{0};
    };
    f.recordCount = [](StrDesc name, std::int64_t& n) {
        n = 42;
        return name.view() == "CLIENTS";
    };
    f.fieldText = [](StrDesc ref, std::uint16_t mode) {
        g_seen = {"field", ref.str(), "", {}, mode, 0};
        return StrPush(StrView("Paris "));
    };
    f.selectSet = [](StrDesc name, std::int64_t& st) {
        g_seen = {"set", name.str(), "", {}, 0, 0};
        st = 0;
        return ErrCode{0};
    };
    return f;
}

TEST_F(Funcs, DataFileFunctionsReachTheDataLayerThroughTheSeam) {
    testsupport::TempDir dir;
    funcSetDataFiles(fakeLayer());
    check({{"FILEFIND('k';2;1;8)", "#2"}});
    EXPECT_EQ(g_seen.text, "k");
    EXPECT_TRUE(g_seen.file.given && !g_seen.file.isText && g_seen.file.number == 2);
    EXPECT_EQ(g_seen.a, 1);
    EXPECT_EQ(g_seen.b, 8);
    check({{"FILEFIND('k')", "#2"}});
    EXPECT_FALSE(g_seen.file.given);  // the current file
    EXPECT_EQ(g_seen.a, 65535);       // its current key
    check({{"FILELOCATE()", "#0"}});
    EXPECT_EQ(g_seen.verb, "NXT");
    check({{"FILELOCATE('BOT';'CLIENTS')", "#0"}});
    EXPECT_EQ(g_seen.verb, "BOT");
    EXPECT_TRUE(g_seen.file.isText);
    EXPECT_EQ(g_seen.file.name.str(), "CLIENTS");
    check({{"FILEREL(1;2;3;4;X=1;Y=2)", "#4"}});
    EXPECT_EQ(g_seen.text, "X=1;Y=2");
    EXPECT_EQ(g_seen.a, 3);
    check({{"X", "#0"}});  // the expression is the layer's, not evaluated here
    check({{"KEY$('CLIENTS';1)", "K1"}, {"IER(1)", "#127"}, {"FN#FLEN('CLIENTS')", "#42"}, {"FN#FLEN('x')", "#0"}});
    check({{"FN$FLDS(CITY{CLIENTS};2)", "Paris "}});
    EXPECT_EQ(g_seen.text, "CITY{CLIENTS}");
    EXPECT_EQ(g_seen.a, 2);
    check({{"FILESEL('SALES')", "#0"}});
    EXPECT_EQ(g_seen.text, "SALES");
}

ErrCode fakeFields(StrDesc name, std::uint16_t mode, void*) {
    if (name.view() != "_F1") return err::BADINPUTDATA;
    return StrPush(StrView(mode == 2 ? "old" : "new"));
}

TEST_F(Funcs, FieldTextOfVariablesAndScreenFields) {
    given({"A$='abc'", "N#=1.5", "K=3", "M#(3)", "M#(2)=2.25"});
    check({
        {"FN$FLDS(A$)", "abc"},
        {"FN$FLDS(N#)", "1.5"},
        {"FN$FLDS(K)", "3"},
        {"FN$FLDS(M#(2))", "2.25"},
        {"FN$FLDS(NOPE$)", "<error 147>"},
        {"FN$FLDS(_F1)", "<error 147>"},
    });
    ASSERT_EQ(hookSet(hook::FIELDS, fakeFields), 0);
    check({{"FN$FLDS(_F1)", "new"}, {"FN$FLDS(_F1;2)", "old"}, {"FN$FLDS(_F2)", "<error 147>"}});
}

TEST_F(Funcs, SqlChildMovesTheConnectionSlotForItsArguments) {
    given({"_CURROW=5", "_IER=3"});
    check({
        {"SQLCHILD(_USER01=_SQLSTK;_USER02=_CURROW;_CURROW=9;_IER=8)", "#0"},
        {"_USER01", "#1"},
        {"_USER02", "#0"},
        {"_SQLSTK", "#0"},
        {"_CURROW", "#5"},
        {"_IER", "#3"},
        {"SQLCHILD('a'*'b';_USER03=1)", "<error 147>"},
        {"_SQLSTK", "#0"},
        {"_USER03", "#0"},
    });
    auto nested = [](int depth) {
        std::string e = "_USER03=_SQLSTK";
        for (int i = 0; i < depth; ++i) e = "SQLCHILD(" + e + ")";
        return e;
    };
    check({{nested(7), "#0"}, {"_USER03", "#7"}, {nested(8), "<error 159>"}, {"_SQLSTK", "#0"}});
}

}  // namespace
