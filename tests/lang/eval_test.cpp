#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/log.h"
#include "core/macro.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/funclist.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

// The outcome of one evaluation as one line, the form of the golden files:
// "N <raw scaled value>", "S <text>", "E <code>" for a failure, and
// "W <code> " in front of the value for a code from 122 to 127.
std::string outcome(const std::string& text) {
    StrMarkT m = StrMark();
    std::uint16_t args = AreaCount(area::FNARGS);
    ErrCode e = evalExpr(StrView(text));
    std::string r;
    if (e >= 128) {
        r = "E " + std::to_string(e);
        if (StrMark() != m) r += " (stack not restored)";
    } else if (StrMark() != m + 1) {
        r = "not one value";
    } else {
        StrDesc top = StrTop();
        if (e != EVAL_NUMBER && e != EVAL_STRING) r = "W " + std::to_string(e) + " ";
        if (e == EVAL_STRING) {
            r += "S " + top.str();
        } else if (top.len == 8) {
            std::int64_t v;
            std::memcpy(&v, top.ptr, 8);
            r += "N " + std::to_string(v);
        } else {
            r += "S " + top.str();
        }
    }
    if (AreaCount(area::FNARGS) != args) r += " (argument stack not restored)";
    StrRelease(m);
    return r;
}

struct Case {
    const char* text;
    const char* expected;
};

class Eval : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        testsupport::RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(evalInit(), 0);
        // The evaluator is tested on its own: no built-in function is
        // implemented unless a test installs a stand-in.
        for (std::uint16_t i = 1; i <= FUNC_COUNT; ++i) evalSetFunction(i, nullptr);
    }
    void TearDown() override {
        for (std::uint16_t i = 1; i <= FUNC_COUNT; ++i) evalSetFunction(i, nullptr);
        evalShutdown();
        varShutdown();
        testsupport::RuntimeTest::TearDown();
    }
    template <std::size_t N>
    void check(const Case (&cases)[N]) {
        for (const Case& c : cases) EXPECT_EQ(outcome(c.text), c.expected) << "expression: " << c.text;
    }
};

// ---- Operators and precedence ---------------------------------------------------

constexpr Case kPrecedence[] = {
    {"2+3*4", "N 1400"},
    {"2*3|4", "N 1400"},  // the single bar binds tighter than *
    {"1|2*3", "N 900"},
    {"10-4-3", "N 300"},
    {"10/4*2", "N 500"},
    {"2*3!0", "N 600"},
    {"(1+2)*3", "N 900"},
    {"((((1+2))))", "N 300"},
    {"1+2>2&&1", "N 100"},
    {"1<2==1", "N 100"},
    {"0||1&&0", "N 0"},
    {"1+2*3-4/2", "N 500"},
};
TEST_F(Eval, OperatorsBindByPrecedenceAndAssociateToTheLeft) { check(kPrecedence); }

constexpr Case kSigns[] = {
    {"-5", "N -500"},
    {"+5", "N 500"},
    {"3*-2", "N -600"},
    {"1--2", "N 300"},
    {"-2*3+1", "N -500"},
    {"1+-2*3", "N -500"},
    // A sign applies to the operand after it only, not to the rest of the sum.
    {"2*-3+10", "N 400"},
    {"1--2-3", "N 0"},
    {"2*-3*4", "N -2400"},
    {"1<-2+5", "N 100"},
    {"-", "E 147"},
    {"1+", "E 147"},
    {"*", "E 147"},
    {"'a'+", "E 147"},
    {"'a'+-1", "E 147"},
};
TEST_F(Eval, EmptyOperandsActAsZeroForSigns) { check(kSigns); }

constexpr Case kNumbers[] = {
    {"1/3", "N 33"},
    {"2/3", "N 67"},
    {"-2/3", "N -67"},
    {"1/0", "N 0"},
    {"1.005*1", "N 101"},   // the literal is rounded
    {"1.004", "N 100"},
    {"0.05*0.5", "N 3"},    // 0.025 rounds half away from zero
    {"(0-0.05)*0.5", "N -3"},
    {"200%15", "N 3000"},
    {"200\xF7" "15", "N 17000"},  // 0xF7 is the operator 'less per cent'
    {"0.1%5", "N 1"},       // 0.005 rounded to 0.01
    {"1.55!1", "N 160"},
    {"1.55!0", "N 200"},
    {"1.45!0", "N 100"},
    {"(0-1.55)!1", "N -160"},
    {"1.55!2", "N 155"},
    {"1.55!3", "N 155"},    // more decimals than _PRECIS: unchanged
    {"125!-1", "N 13000"},
    {"5&3", "N 100"},
    {"2.7&3", "N 200"},
    {"4|3", "N 700"},
    {"5|3", "N 0"},
    {"4@3", "N 700"},
    {"5@3", "N 0"},
    {"1&&2", "N 100"},
    {"1&&0", "N 0"},
    {"0||3", "N 100"},
    {"0||0", "N 0"},
    {"4@@3", "N 100"},
    {"5@@3", "N 0"},
    {"0@@0", "N 0"},
    {"1<2", "N 100"},
    {"2<1", "N 0"},
    {"1<=1", "N 100"},
    {"1>=2", "N 0"},
    {"1==1", "N 100"},
    {"1<>1", "N 0"},
    {"1<>2", "N 100"},
    {"15D3", "N 1500000"},
    {".5", "N 50"},
    {"5.", "N 500"},
    {".datey*2024+.datem*5+17", "N 2024051700"},
    {".next", "N 1600"},
    {".iscgi", "N 1638400"},
    {".fnparm", "N 3500"},
    {".12", "N 12"},
    {".xyz", "N 0"},  // not a dot constant: the number literal without its dot
};
TEST_F(Eval, NumbersAreScaledAndRoundedHalfAwayFromZero) { check(kNumbers); }

TEST_F(Eval, NumbersFollowPrecis) {
    EXPECT_EQ(outcome("1.5"), "N 150");
    EXPECT_EQ(outcome("_PRECIS=3"), "N 300");
    // The same texts again: the remembered literal is read with the new scale.
    EXPECT_EQ(outcome("1.5"), "N 1500");
    EXPECT_EQ(outcome("1/3"), "N 333");
    EXPECT_EQ(outcome("1.0005*1"), "N 1001");
    EXPECT_EQ(outcome("_PRECIS=0;2.5"), "N 3");
    EXPECT_EQ(outcome("1!(0-9223372036854775807-1)"), "N 0");  // rounded to 10^19: nothing left
    // Remembered values follow the scale too (10^5 kept in 16 bits is 34464).
    outcome("_PRECIS=4");
    EXPECT_EQ(outcome(".datem"), "N 1000000");
    outcome("_PRECIS=5");
    EXPECT_EQ(outcome(".datem"), "N 3446400");
}

// ---- Strings -------------------------------------------------------------------------

constexpr Case kStrings[] = {
    {"'a'+'b'", "S ab"},
    {"\"x'y\"", "S x'y"},
    {"'a+b;c'", "S a+b;c"},
    {"' a b '", "S  a b "},
    {"'it''s'", "S it''s"},
    {"ab'c", "S AB'C"},           // a quote without its pair: as written, upper case
    {"'abc+1", "S 'ABC+1"},       // an open quote hides the rest
    {"'ab'c", "S 'AB'C"},
    {"'AB'<'ABC'", "N 100"},
    {"'B'>'ABC'", "N 100"},
    {"'abc'<>'abc'", "N 0"},
    {"'abc'>='abc'", "N 100"},
    {"'abc'<='abd'", "N 100"},
    {"'A'+1", "E 128"},
    {"1+'a'", "E 128"},
    {"'A'*'B'", "E 147"},
    {"'a'-'b'", "E 147"},
    {"'a'&&'b'", "E 147"},
    {"'a'|'b'", "E 147"},
};
TEST_F(Eval, StringOperators) { check(kStrings); }

constexpr Case kWildcards[] = {
    {"'ABC'=='AB*'", "N 100"},
    {"'xxABy'=='*ab*'", "N 100"},
    {"'abc'=='ABC'", "N 0"},      // no wildcard: exact bytes
    {"'abc'=='A*'", "N 100"},     // prefix, ignoring case
    {"'ab'=='abc*'", "N 0"},
    {"'abc'=='*'", "N 100"},
    {"'abc'=='*x*'", "N 0"},
    {"'abc'=='*BC'", "N 100"},
    {"'a*c'=='a*c'", "N 100"},
    {"'abc'=='ab'", "N 0"},
    {"'AB*'=='ABC'", "N 0"},      // only the right side is a pattern
    {"'abc'<>'a*'", "N 100"},     // <> has no wildcards
};
TEST_F(Eval, StringEqualityWithWildcards) { check(kWildcards); }

TEST_F(Eval, WildcardsOffWithAuxstatBit128) {
    EXPECT_EQ(outcome("_AUXSTAT=128;'ABC'=='AB*'"), "N 0");
    EXPECT_EQ(outcome("'AB*'=='AB*'"), "N 100");
}

constexpr Case kHighBytes[] = {
    {"'\xE9'>'z'", "N 100"},               // bytes compare unsigned
    {"'caf\xE9'=='CAF\xC9*'", "N 100"},    // Windows-1252 case folding
    {"'\xE0" "b'=='*\xC0" "B*'", "N 100"},
    {"'\xFF'=='\x9F*'", "N 100"},
    {"'\xF7'+'x'", "S \xF7x"},             // 0xF7 inside a literal is a character
    {"'a\xF7" "b'", "S a\xF7" "b"},
    {"\xE9t\xE9=2;\xE9t\xE9", "N 200"},    // a name starting above 0x7F is a variable
    {"x'\xE9'", "S X'\xC9'"},
    {"1\xF7" "0", "N 100"},
};
TEST_F(Eval, BytesAbove0x7F) { check(kHighBytes); }

// ---- Assignments --------------------------------------------------------------------

constexpr Case kAssignments[] = {
    {"A$='x';B#=2;B#*3", "N 600"},
    {"A$", "S x"},
    {"B#", "N 200"},
    {"X#=Y#=4;X#+Y#", "N 800"},
    {"P#=Q#=R#=1.5;P#+Q#+R#", "N 450"},
    {"C#=1+2*3", "N 700"},
    {"D#=-5;D#", "N -500"},
    {"I=2.5;I", "N 300"},
    {"J=-2.5;J", "N -300"},
    {"N=.next;N", "N 1600"},
    {"S$='a';S$=S$+'b';S$", "S ab"},
    {"A$=1", "E 128"},
    {"A#='x'", "E 128"},
    {"A#=B$=2", "E 128"},
    {"1=2", "E 147"},
    {"'x'=1", "E 147"},
    {"(A#)=1", "E 147"},
    {"A#+B#=1", "E 147"},
    {"=1", "E 147"},
    {"A#=", "E 147"},
    {".datey=1", "E 147"},
};
TEST_F(Eval, AssignmentsAndChains) { check(kAssignments); }

TEST_F(Eval, FailedAssignmentLeavesEarlierOnesDone) {
    EXPECT_EQ(outcome("K#=7;K#='x'"), "E 128");
    EXPECT_EQ(outcome("K#"), "N 700");
}

// ---- Lists, separators, spaces, parentheses ----------------------------------------------

constexpr Case kSyntax[] = {
    {"1;2", "N 200"},
    {"1,2", "N 200"},
    {"1:2", "N 200"},
    {"1;", "W 123 N 0"},  // the last expression is empty
    {"1;2;", "W 123 N 0"},
    {"1=>", "W 123 N 0"},
    {";1", "N 100"},
    {"(1;2)+1", "N 300"},
    {"1=>2", "N 200"},     // not an operator: it ends the expression
    {"3>>2", "N 200"},
    {"1!=2", "N 200"},
    {"1+=2", "N 200"},
    {"", "W 123 N 0"},
    {"()", "W 123 N 0"},
    {"()+1", "N 100"},
    {"1+()", "E 147"},
    {"1 + 2", "N 300"},
    {"A# = 5", "N 500"},
    {"- 5", "N -500"},
    {"( 1 )", "N 100"},
    {"1  + 2", "N 300"},
    {"1 +  2", "E 147"},  // only the first space after an operator touches it
    {"1 2", "E 147"},
    {"A #", "E 147"},
    {"'a' 'b'", "E 147"},
    {" 1", "E 147"},
    {"1 ", "E 147"},
    {"((1)", "E 129"},
    {"(1))", "E 129"},
    {")(", "E 129"},
    {"1)", "E 129"},
    {"'('", "S ("},        // parentheses inside literals do not count
    {"('(')", "S ("},
    {"(1)2", "E 147"},
    {"(1)(2)", "E 147"},
};
TEST_F(Eval, SeparatorsSpacesAndParentheses) { check(kSyntax); }

TEST_F(Eval, DeepNestingFailsWithoutCrashing) {
    std::string ok = std::string(150, '(') + "1" + std::string(150, ')');
    EXPECT_EQ(outcome(ok), "N 100");
    std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
    EXPECT_EQ(outcome(deep), "E 147");
    std::string signs = "1" + std::string(5000, '-') + "1";
    EXPECT_EQ(outcome(signs), "E 147");
}

TEST_F(Eval, LongTextsAreEvaluatedWithoutTheCache) {
    std::string sum = "0";
    for (int i = 0; i < 3000; ++i) sum += "+1";
    EXPECT_EQ(outcome(sum), "N 300000");
    EXPECT_EQ(outcome(sum), "N 300000");
    std::string s = "''";
    for (int i = 0; i < 2000; ++i) s += "+'ab'";
    EXPECT_EQ(outcome(s + "=='abab*'"), "N 100");
}

TEST_F(Eval, ManyTextsReuseTheCacheCorrectly) {
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 150; ++i) {
            std::string text = std::to_string(i) + "*2+V" + std::to_string(i % 7) + "#";
            std::string setup = "V" + std::to_string(i % 7) + "#=" + std::to_string(round);
            ASSERT_EQ(outcome(setup), "N " + std::to_string(round * 100));
            ASSERT_EQ(outcome(text), "N " + std::to_string(i * 200 + round * 100)) << text;
        }
}

// ---- Error recording -----------------------------------------------------------------

TEST_F(Eval, FailuresAreRecordedWithTheOperandText) {
    ErrorRecordClear();
    EXPECT_EQ(outcome("1+'A'+2"), "E 128");
    EXPECT_EQ(ErrorRecordCode(), 128);
    EXPECT_EQ(ErrorRecordContext(), ctx::ExpExec);
    EXPECT_NE(show(ErrorDetailGet()).find("1+'A'"), std::string::npos) << show(ErrorDetailGet());

    ErrorRecordClear();
    EXPECT_EQ(outcome("A#=1 2"), "E 147");
    EXPECT_EQ(ErrorRecordCode(), 147);
    EXPECT_EQ(show(ErrorDetailGet()), "A#=1 2");

    ErrorRecordClear();
    EXPECT_EQ(outcome("1+FN$DATE(1)"), "E 148");
    EXPECT_EQ(show(ErrorDetailGet()), "FN$DATE(1)");
}

TEST_F(Eval, AcceptShorthandsExpandToTheDialogValue) {
    ErrorRecordClear();
    // The expansion is a call of FN$TRIM, not implemented in this test: its
    // text shows in the error detail.
    EXPECT_EQ(outcome("_ACCEPT$(2)"), "E 148");
    EXPECT_EQ(show(ErrorDetailGet()), "FN$TRIM(FN$PARM(_$(.envvar;.dialog);2);'FIT')");
    ErrorRecordClear();
    EXPECT_EQ(outcome("1+_ACCEPT#(1+2)"), "E 148");
    EXPECT_EQ(show(ErrorDetailGet()), "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);1+2);'FIT'))");
    ErrorRecordClear();
    EXPECT_EQ(outcome("'_ACCEPT$(2)'"), "S _ACCEPT$(2)");
}

// ---- Entry points ------------------------------------------------------------------------

TEST_F(Eval, ConditionNumberTextIntegerErrors) {
    testsupport::TempDir dir;  // evalInteger writes its trace line here
    StrMarkT m = StrMark();
    EXPECT_EQ(evalCondition(StrView("")), 1);
    EXPECT_EQ(evalCondition(StrView("0")), 0);
    EXPECT_EQ(evalCondition(StrView("0.01")), 1);
    EXPECT_EQ(evalCondition(StrView("'x'")), 0);
    EXPECT_EQ(evalCondition(StrView("1 2")), 147);
    EXPECT_EQ(evalNumber(StrView("2.5")), 250);
    EXPECT_EQ(evalNumber(StrView("'x'")), 0);
    EXPECT_EQ(evalNumber(StrView("1 2")), 0);
    EXPECT_EQ(evalInteger(StrView("2.5")), 3);
    EXPECT_EQ(evalInteger(StrView("-2.5")), -3);
    EXPECT_EQ(evalInteger(StrView("'x'")), 0);
    EXPECT_EQ(evalErrors(StrView("1 2")), 147);
    EXPECT_EQ(evalErrors(StrView("'a'")), 0);
    EXPECT_EQ(evalErrors(StrView("")), 0);
    EXPECT_EQ(StrMark(), m);

    struct TextCase {
        const char* text;
        const char* expected;
    };
    const TextCase texts[] = {{"2.5", "2.5"}, {"1/4", ".25"}, {"0", ""}, {"-1/2", "-.5"},
                              {"'x'", "x"},   {"", ""},       {"1 2", "<error 147>"}};
    for (const TextCase& c : texts) {
        StrDesc r = evalText(StrView(c.text));
        EXPECT_EQ(show(r), c.expected) << c.text;
        StrRelease(m);
    }
    EXPECT_EQ(StrMark(), m);
}

TEST_F(Eval, IntegerOfANonNumberIsLogged) {
    testsupport::TempDir dir;
    LogRestart(StrView("trace.txt"));
    EXPECT_EQ(evalInteger(StrView("'x'")), 0);
    EXPECT_EQ(evalInteger(StrView("1 2")), 0);
    EXPECT_EQ(evalInteger(StrView("7.5")), 8);
    EXPECT_EQ(dir.read("trace.txt"), "Errode:1 ('x')\r\nErrode:147 (1 2)\r\n");
}

TEST_F(Eval, MacrosEvaluateTheirContent) {
    StrScope scope;
    EXPECT_EQ(show(MacroExpand(StrView("Total [2+3] units"), MACRO_PLAIN)), "Total 5 units");
    EXPECT_EQ(show(MacroExpand(StrView("[[1+1]*3]"), MACRO_PLAIN)), "[2*3]");
    EXPECT_EQ(show(MacroExpand(StrView("[[1+1]*3]"), MACRO_PLAIN | MACRO_RESCAN)), "6");
    EXPECT_EQ(show(MacroExpand(StrView("['a'+'b']!"), MACRO_PLAIN)), "ab!");
    EXPECT_EQ(show(MacroExpand(StrView("x[0]"), MACRO_PLAIN)), "x0");
    EXPECT_EQ(show(MacroExpand(StrView("x[1/4]"), MACRO_PLAIN)), "x.25");
    EXPECT_EQ(show(MacroExpand(StrView("x[1 2]"), MACRO_PLAIN)), "<error 147>");
    evalShutdown();
    EXPECT_EQ(show(MacroExpand(StrView("x[1+1]"), MACRO_PLAIN)), "x[1+1]");  // no evaluator
    evalInit();
}

TEST_F(Eval, ExpressionFiles) {
    testsupport::TempDir dir;
    dir.write("vals.txt", "F#=1.5\r\nG$='x;y'\r\n\r\nH=F#*2\n");
    EXPECT_EQ(evalFile(StrView("vals.txt"), true), 0);
    EXPECT_EQ(outcome("F#+H"), "N 450");
    EXPECT_EQ(outcome("G$"), "S x;y");
    dir.write("bad.txt", "F#=2\r\nF# 3\r\n");
    EXPECT_EQ(evalFile(StrView("bad.txt"), true), 147);
    EXPECT_EQ(outcome("F#"), "N 150");  // checked before anything is evaluated
    EXPECT_EQ(evalFile(StrView("missing.txt"), false), 0);
    ErrorRecordClear();
    EXPECT_EQ(evalFile(StrView("missing.txt"), true), 164);
    EXPECT_EQ(show(ErrorDetailGet()), "missing.txt");
}

// ---- Function calls ----------------------------------------------------------------------

// Test implementations: they read the function-argument stack and the cursor
// the way the function library does.
std::int64_t argNumber(const FuncCall& c, int i) {
    StrDesc a = AreaGet(area::FNARGS, static_cast<std::uint16_t>(c.argBase + i));
    std::int64_t v = 0;
    if (a.len == 8) std::memcpy(&v, a.ptr, 8);
    return v;
}

ErrCode lengthOf(FuncCall& c) {  // FN#SLEN
    if (c.count != 1 || c.kinds[0] != 1) return err::SINTAXERROR;
    std::int64_t n = AreaGet(area::FNARGS, c.argBase).len * 100;
    c.resultIsString = false;
    return StrPush(StrMake(reinterpret_cast<const char*>(&n), 8));
}

// FN$MIDS here shows what arrived: per argument its kind and its bytes.
ErrCode describeArgs(FuncCall& c) {
    std::string s;
    for (int i = 0; i < c.count; ++i) {
        StrDesc a = AreaGet(area::FNARGS, static_cast<std::uint16_t>(c.argBase + i));
        s += std::to_string(c.kinds[i]) + ":";
        if (c.kinds[i] == 1) s += a.str();
        else if (a.len == 1 && a.ptr[0] == EVAL_EMPTYARG) s += "<empty>";
        else s += std::to_string(argNumber(c, i));
        s += " ";
    }
    s += "depth=" + std::to_string(AreaCount(area::FNARGS) - c.argBase);
    c.resultIsString = true;
    return StrPush(StrView(s));
}

ErrCode chooseString(FuncCall& c) {  // CHK$: condition; then; else...
    if (c.count != 1) return err::SINTAXERROR;
    bool yes = argNumber(c, 0) != 0;
    c.resultIsString = true;
    StrMarkT m = StrMark();
    if (yes) {
        ErrCode e = evalCursorNext(c.rest);
        if (e >= 128) return e;
        c.resultIsString = e == EVAL_STRING;
        return e == EVAL_STRING ? 0 : err::TYPEWARNING;
    }
    evalCursorSkip(c.rest);
    ErrCode e = 0;
    bool any = false;
    while (!evalCursorAtEnd(c.rest)) {
        StrRelease(m);
        e = evalCursorNext(c.rest);
        if (e >= 128) return e;
        any = true;
    }
    if (!any) return StrPush(StrView(""));
    c.resultIsString = e == EVAL_STRING;
    return e == EVAL_STRING ? 0 : err::TYPEWARNING;
}

// EXP$ here evaluates the text of its first argument (a nested evaluation),
// after evaluating many other texts, so that the caller's remembered text
// would be displaced if it were not held.
ErrCode evalNested(FuncCall& c) {
    if (c.count != 1 || c.kinds[0] != 1) return err::SINTAXERROR;
    StrMarkT m = StrMark();
    for (int i = 0; i < 300; ++i) {
        std::string t = std::to_string(i) + "+" + std::to_string(i);
        evalExpr(StrView(t));
        StrRelease(m);
    }
    StrPush(AreaGet(area::FNARGS, c.argBase));
    StrDesc text = StrTop();
    ErrCode e = evalExpr(text);
    if (e >= 128) return e;
    c.resultIsString = e == EVAL_STRING;
    StrReturn(m, StrTop());
    return 0;
}

// FN$FLDS here gives the texts of its unevaluated arguments and operands.
ErrCode argTexts(FuncCall& c) {
    std::string s = show(evalCursorText(c.rest)) + "|";
    while (!evalCursorAtEnd(c.rest)) s += show(evalCursorOperand(c.rest)) + " ";
    c.resultIsString = true;
    return StrPush(StrView(s));
}

ErrCode failing(FuncCall& c) {  // IER
    c.resultIsString = false;
    StrPush(StrView("junk"));
    return err::FILEOUTBOUND;
}

class EvalCalls : public Eval {
protected:
    void SetUp() override {
        Eval::SetUp();
        evalSetFunction(3, lengthOf);       // FN#SLEN
        evalSetFunction(17, describeArgs);  // FN$MIDS
        evalSetFunction(21, chooseString);  // CHK$
        evalSetFunction(32, evalNested);    // EXP$
        evalSetFunction(15, argTexts);      // FN$FLDS
        evalSetFunction(31, failing);       // IER
    }
};

constexpr Case kCalls[] = {
    {"FN#SLEN('abcd')", "N 400"},
    {"fn#slen('ab')+1", "N 300"},
    {"Fn#SLen('ab'+'c')*2", "N 600"},
    {"FN#SLEN('a';'b')", "E 147"},
    {"FN$MIDS(1;'x';A#=2)", "S 0:100 1:x 0:200 depth=3"},
    {"FN$MIDS(1;;3)", "S 0:100 0:<empty> 0:300 depth=3"},
    {"FN$MIDS()", "S depth=0"},
    {"FN$MIDS(;)", "S 0:<empty> 0:<empty> depth=2"},
    {"FN$MIDS(1;)", "S 0:100 0:<empty> depth=2"},
    {"FN$MIDS((1;2);'a,b')", "S 0:200 1:a,b depth=2"},
    {"FN$MIDS(1,2)", "S 0:100 0:200 depth=2"},
    {"FN$MIDS(FN$MIDS(1))", "S 1:0:100 depth=1 depth=1"},
    {"CHK$(1;'a';'b')", "S a"},
    {"CHK$(0;'a';'b')", "S b"},
    {"CHK$(0;'a')", "S "},
    {"CHK$(1;5)", "W 125 N 500"},
    {"CHK$(0;Z#=5;'b');Z#", "N 0"},  // the branch not taken is not evaluated
    {"CHK$(1;Z#=5;'b');Z#", "N 500"},
    {"A$=CHK$(1;'x');A$", "S x"},
    {"A#=CHK$(1;5)", "E 128"},  // a type warning right of '=' is a mismatch
    {"EXP$('2*3')+1", "N 700"},
    {"EXP$(\"'x'\")", "S x"},
    {"FN$FLDS(A#+B#*2;C#,'x')", "S A#+B#*2|C# 'x' "},
    {"IER(1)", "E 161"},
    {"1+IER()+2", "E 161"},
    {"FN$DATE(1)", "E 148"},
};
TEST_F(EvalCalls, ArgumentsReachTheImplementation) { check(kCalls); }

TEST_F(EvalCalls, ArgumentStackIsCutBackAfterCallsAndFailures) {
    AreaPush(area::FNARGS, StrView("below"));
    EXPECT_EQ(outcome("FN$MIDS(1;2)"), "S 0:100 0:200 depth=2");
    EXPECT_EQ(outcome("FN$MIDS(1;2;IER())"), "E 161");
    EXPECT_EQ(AreaCount(area::FNARGS), 1);
    EXPECT_EQ(show(AreaPeek(area::FNARGS)), "below");
}

// ---- Field references ------------------------------------------------------------------

std::string g_written;

ErrCode readField(StrDesc ref, char& type) {
    std::string r = ref.str();
    if (r == "AMT{F}") {
        type = 'N';
        return StrPush(StrView("  12.5"));
    }
    if (r == "NAME{F}") {
        type = 'A';
        return StrPush(StrView("Bob"));
    }
    if (r == "PW{F}") {
        type = 'P';
        return StrPush(StrView("secret"));
    }
    return err::FILEOUTBOUND;
}

ErrCode writeField(StrDesc ref, StrDesc text) {
    g_written = ref.str() + "<-" + text.str();
    return ref.str() == "BAD{F}" ? err::FILEOUTBOUND : 0;
}

class EvalFields : public Eval {
protected:
    void SetUp() override {
        Eval::SetUp();
        FieldAccess a;
        a.read = readField;
        a.write = writeField;
        evalSetFieldAccess(a);
    }
};

constexpr Case kFields[] = {
    {"AMT{F}+1", "N 1350"},
    {"AMT{F}=='12.5'", "N 100"},  // a numeric field takes a text on the right as a number
    {"AMT{F}+'1'", "N 1350"},
    {"'12.5'==AMT{F}", "E 128"},
    {"NAME{F}+'!'", "S Bob!"},
    {"NAME{F}=='b*'", "N 100"},
    {"NAME{F}+1", "E 128"},
    {"PW{F}", "S secret"},
    {"X{F}", "E 161"},
};
TEST_F(EvalFields, FieldsReadAsTheirType) { check(kFields); }

TEST_F(EvalFields, AssignmentsWriteFieldText) {
    EXPECT_EQ(outcome("AMT{F}=2.5"), "N 250");
    EXPECT_EQ(g_written, "AMT{F}<-2.5");
    EXPECT_EQ(outcome("NAME{F}='Al'+'x'"), "S Alx");
    EXPECT_EQ(g_written, "NAME{F}<-Alx");
    EXPECT_EQ(outcome("BAD{F}=1"), "E 161");
}

TEST_F(Eval, FieldsWithoutTheDataLayerFail) {
    EXPECT_EQ(outcome("AMT{F}"), "E 161");
    EXPECT_EQ(outcome("AMT{F}=1"), "E 161");
}

}  // namespace

// ---- Arrays, accumulators and '_' calls ----------------------------------------------------

namespace {

constexpr Case kArrays[] = {
    {"M#(3;4)", "N 0"},  // the first read creates a 4 x 5 array
    {"M#(1;2)=7.5;M#(0;7)", "N 750"},
    {"M#(1;I+2)", "N 750"},
    {"M#(4;0)", "E 168"},
    {"M#(1;2)='x'", "E 128"},
    {"M#(0;1;2;3;4)", "E 149"},
    {"N$('ABC';9);N$(2)", "S ABC"},
    {"N$(2)='X';N$(2)", "S XBC"},
    {"N$(2)=1", "E 128"},
    {"Q$(9)", "E 147"},
    {"W#(1)=5", "E 149"},  // writing never creates
    {"K(3);K(1)=2.7;K(1)", "N 200"},
    {"K(1)+M#(1;2)*2", "N 1700"},
    {"'a'+.lf$", "S a\r\n"},
};
TEST_F(Eval, ArrayElements) { check(kArrays); }

std::int64_t accumulator(int n) {
    StrScope scope;
    VarArg a;
    a.num = n * 100;
    if (arrayGet(StrView("_#("), &a, 1)) return -1;
    std::int64_t v = -1;
    numRead(StrTop(), v);
    return v;
}

TEST_F(Eval, AccumulatorAssignment) {
    EXPECT_EQ(outcome("_#(0)=2"), "N 200");
    ArrayShape shape;
    ASSERT_EQ(arrayShape(StrView("_#("), shape), 0);
    EXPECT_EQ(shape.count, 2u);
    EXPECT_EQ(accumulator(0), 200);
    EXPECT_EQ(outcome("_#(1;0)=1.5"), "N 150");
    EXPECT_EQ(accumulator(1), 150);
    EXPECT_EQ(outcome("_#(5)=1"), "E 168");  // the array does not grow
    EXPECT_EQ(outcome("_ACUMX$='A,B';_#('B')=4"), "N 400");
    EXPECT_EQ(accumulator(1), 400);
    EXPECT_EQ(outcome("_#('A';1)=3"), "N 300");
    EXPECT_EQ(accumulator(1), 300);
    EXPECT_EQ(outcome("_#('Z')=1"), "E 168");
    EXPECT_EQ(outcome("_#(0)='x'"), "E 128");
}

ErrCode g_hookMode = 0;
std::string g_hookName;

ErrCode callHook(StrDesc name, std::uint16_t mode, void* arg) {
    auto* call = static_cast<FuncCall*>(arg);
    g_hookName = name.str();
    g_hookMode = mode;
    std::int64_t sum = 0;
    for (int i = 0; i < call->count; ++i) {
        StrDesc a = AreaGet(area::FNARGS, static_cast<std::uint16_t>(call->argBase + i));
        std::int64_t v = 0;
        if (numRead(a, v)) sum += v;
    }
    if (mode == 5) {
        std::int64_t v = 0;
        numRead(StrTop(), v);
        return v == 500 ? 0 : err::BADINPUTDATA;
    }
    call->resultIsString = false;
    return numPush(sum);
}

TEST_F(Eval, UnderscoreCallsGoToHostHookSlot2) {
    EXPECT_EQ(outcome("_F(1;2)"), "W 123 N 0");  // no hook: no value
    EXPECT_EQ(outcome("X#=_F(1)"), "E 147");
    EXPECT_EQ(outcome("_F(1)=5"), "E 147");
    ASSERT_EQ(hookSet(hook::CALLS, callHook), 0);
    EXPECT_EQ(outcome("_F(1;2)*2"), "N 600");
    EXPECT_EQ(g_hookName, "_F(");
    EXPECT_EQ(g_hookMode, 1);
    EXPECT_EQ(outcome("_G(1)=5"), "N 500");
    EXPECT_EQ(g_hookName, "_G(");
    EXPECT_EQ(g_hookMode, 5);
    EXPECT_EQ(outcome("_G(1)=6"), "E 163");
    hookSet(hook::CALLS, nullptr);
}

}  // namespace
