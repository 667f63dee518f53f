#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/macro.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

StrDesc S(const char* s) { return StrFromTerminated(s); }

// A stand-in for the expression evaluator: a few fixed expressions.
int g_evalCalls = 0;
ErrCode fakeEval(StrDesc expr, StrDesc& result, bool& numeric) {
    ++g_evalCalls;
    std::string e = expr.str();
    numeric = true;
    if (e == "2+3") result = StrView("5");
    else if (e == "1+1") result = StrView("2");
    else if (e == "2*3") result = StrView("6");
    else if (e == "none") result = StrView("");
    else if (e == "padded") numeric = false, result = StrView("  x  ");
    else if (e == "nested") numeric = false, result = StrView("[2+3]!");
    else if (e == "self") numeric = false, result = StrView("[self]");
    else if (e == "quotes") numeric = false, result = StrView("a'b\"c");
    else return err::EXPCALCERROR;
    return 0;
}

StrDesc fakeOption(StrDesc name) {
    if (name.str() == "APNAME") return StrView("TR");
    return StrView("");
}

class Macro : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        saved_ = MacroGetHooks();
        MacroSetHooks(MacroHooks{});
        g_evalCalls = 0;
    }
    void TearDown() override {
        MacroSetHooks(saved_);
        RuntimeTest::TearDown();
    }
    void withEvaluator() { MacroSetHooks(MacroHooks{fakeEval, fakeOption}); }
    MacroHooks saved_;
};

TEST_F(Macro, WithoutAnEvaluatorUnresolvedContentStaysAsWritten) {
    EXPECT_EQ(show(MacroExpand(S("Total [2+3] units"), 1)), "Total [2+3] units");
    EXPECT_EQ(show(MacroExpand(S("[[1+1]*3]"), 1 + 128)), "[[1+1]*3]");
    // Names still resolve, and %NAME% contents still lose their brackets.
    EXPECT_EQ(show(MacroExpand(S("[A] and [B]"), 1 + 4 + 16, S("A=1:B='two'"))), "1 and two");
    EXPECT_EQ(show(MacroExpand(S("[%APNAME%]x"), 1)), "%APNAME%x");
}

struct ExpandCase {
    const char* text;
    unsigned flags;
    const char* names;
    const char* result;
};

TEST_F(Macro, ExpandsWithAnEvaluator) {
    withEvaluator();
    const ExpandCase cases[] = {
        {"Total [2+3] units", 1, "", "Total 5 units"},
        {"[[1+1]*3]", 1, "", "[2*3]"},            // the scan continues after the inserted value
        {"[[1+1]*3]", 1 + 128, "", "6"},          // ... or restarts at the same place
        {"a]b", 1, "", "a]b"},                     // a closing bracket without an opener
        {"x]y[2+3]", 1, "", "x]y5"},
        {"[%APNAME%]x", 1, "", "%APNAME%x"},
        {"[%APNAME%]x", 1 + 4, "", "x"},
        {"<[none]>", 1, "", "<0>"},                // an empty number becomes 0
        {"<[none]>", 1 + 16, "", "<>"},
        {"<[padded]>", 1, "", "<x>"},
        {"<[padded]>", 1 + 2, "", "<  x  >"},
        {"[2+3]", 1 + 32, "", "'5'"},
        {"[2+3]", 1 + 32 + 64, "", "\"5\""},
        {"[nested]", 1, "", "[2+3]!"},
        {"[nested]", 1 + 128, "", "5!"},
        {"'[2+3]' [1+1]", 0, "", "'[2+3]' 2"},     // quote-aware: brackets inside quotes are left alone
        {"'[2+3]' [1+1]", 1, "", "'5' 2"},
        {"[APNAME]/[HOST]", 1 + 4 + 16, "HOST:srv", "TR/SRV"},  // names give clean values
        {"[K]", 1 + 4 + 16, "K='Mixed'", "Mixed"},
        {"[K]", 1 + 4 + 16, "K=low", "LOW"},
        {"\\{2+3\\} [1+1]", 1 + 256, "", "[2+3] 2"},
        {"\\{{x\\}}", 1 + 256, "", "\\{x\\}"},
        {"\\{x\\}", 1, "", "\\{x\\}"},           // escapes stay without bit 256
    };
    for (const auto& c : cases) {
        StrMarkT m = StrMark();
        EXPECT_EQ(show(MacroExpand(S(c.text), c.flags, S(c.names))), c.result) << c.text << " flags " << c.flags;
        EXPECT_EQ(StrMark(), m + 1);
        StrRelease(m);
    }
}

TEST_F(Macro, NamesFallBackToTheProcessEnvironmentBeforeEvaluating) {
    withEvaluator();
    ::setenv("RT_MACRO_TEST_VAR", "from env", 1);
    EXPECT_EQ(show(MacroExpand(S("[RT_MACRO_TEST_VAR]"), 1 + 4 + 16)), "from env");
    EXPECT_EQ(g_evalCalls, 0);
    ::unsetenv("RT_MACRO_TEST_VAR");
    // Found nowhere: evaluated.
    EXPECT_EQ(show(MacroExpand(S("[2+3]"), 1 + 4)), "5");
    EXPECT_EQ(g_evalCalls, 1);
}

TEST_F(Macro, AnEvaluationErrorDiscardsTheExpansion) {
    withEvaluator();
    StrMarkT m = StrMark();
    EXPECT_EQ(show(MacroExpand(S("[2+3] [oops] [1+1]"), 1)), "<error 155>");
    EXPECT_EQ(StrMark(), m);
}

TEST_F(Macro, QuotingFailsWhenNoQuoteCharacterIsFree) {
    withEvaluator();
    EXPECT_EQ(show(MacroExpand(S("[quotes]"), 1 + 32)), "<error 163>");
}

TEST_F(Macro, ValuesThatKeepProducingMacrosEndWithLoopFailure) {
    withEvaluator();
    EXPECT_EQ(show(MacroExpand(S("[self]"), 1)), "[self]");  // without rescanning it stops at once
    EXPECT_EQ(show(MacroExpand(S("[self]"), 1 + 128)), "<error 129>");
}

TEST_F(Macro, ErrorValuesPassThrough) {
    EXPECT_EQ(StrError(MacroExpand(StrErrorValue(164), 1)), 164);
    EXPECT_EQ(StrError(MacroExpand(S("[x]"), 4, StrErrorValue(159))), 159);
}

}  // namespace
