#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/eval_bind.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;

namespace {

// The outcome of one evaluation as a line: "N <raw scaled value>",
// "S <text>", or "E <code>" (a code below 128 with a value is "W <code> ...").
std::string outcome(const std::string& text) {
    StrScope scope;
    StrMarkT m = StrMark();
    ErrCode e = evalExpr(StrView(text));
    if (e >= 128) {
        if (StrMark() != m) return "stack not restored";
        return "E " + std::to_string(e);
    }
    if (StrMark() != m + 1) return "not one value";
    StrDesc top = StrTop();
    std::string prefix = (e == 0 || e == 1) ? "" : "W " + std::to_string(e) + " ";
    if (e == EVAL_STRING || (e != 0 && e != err::NULLEXPRESSION && top.len != 8)) return prefix + "S " + top.str();
    std::int64_t v = 0;
    if (top.len != 8) return "bad number";
    std::memcpy(&v, top.ptr, 8);
    return prefix + "N " + std::to_string(v);
}

struct Case {
    const char* text;
    const char* expected;
};

class Eval : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        testsupport::RuntimeTest::SetUp();
        evb::reset();
        ASSERT_EQ(evalInit(), 0);
    }
    void TearDown() override {
        evalShutdown();
        testsupport::RuntimeTest::TearDown();
    }
    void check(const Case* cases, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(outcome(cases[i].text), cases[i].expected) << cases[i].text;
    }
};

constexpr Case kArithmetic[] = {
    {"2+3*4", "N 1400"},
    {"2*3|4", "N 1400"},
    {"10-4-3", "N 300"},
    {"-5", "N -500"},
    {"3*-2", "N -600"},
    {"2*-3+10", "N 400"},
    {"1/3", "N 33"},
    {"2/3", "N 67"},
    {"1/0", "N 0"},
    {"1.005*1", "N 101"},
    {"200%15", "N 3000"},
    {"200\xF7" "15", "N 17000"},
    {"1.55!1", "N 160"},
    {".datey*2024+.datem*5+17", "N 2024051700"},
    {"1 + 2", "N 300"},
    {"(1+2)*3", "N 900"},
};

TEST_F(Eval, Arithmetic) { check(kArithmetic, std::size(kArithmetic)); }

constexpr Case kStrings[] = {
    {"'ABC'=='AB*'", "N 100"},
    {"'xxABy'=='*ab*'", "N 100"},
    {"'AB'<'ABC'", "N 100"},
    {"'B'>'ABC'", "N 100"},
    {"'a'+'b'", "S ab"},
    {"'A'+1", "E 128"},
    {"'A'*'B'", "E 147"},
    {"'a'+", "E 147"},
};

TEST_F(Eval, Strings) { check(kStrings, std::size(kStrings)); }

constexpr Case kSyntax[] = {
    {"1 2", "E 147"},
    {"((1)", "E 129"},
    {"A$='x';B#=2;B#*3", "N 600"},
    {"X#=Y#=4;X#+Y#", "N 800"},
};

TEST_F(Eval, Syntax) { check(kSyntax, std::size(kSyntax)); }

}  // namespace
