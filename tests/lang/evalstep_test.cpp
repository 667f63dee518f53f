// The tokenizer as readers of expression texts see it: the prepared text and
// its steps (operand, kind, parenthesised part, operator after it).
#include <gtest/gtest.h>

#include <string>

#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class EvalSteps : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(evalInit(), 0);
    }
    void TearDown() override {
        evalShutdown();
        varShutdown();
        RuntimeTest::TearDown();
    }
};

}  // namespace

TEST_F(EvalSteps, StepsGiveOperandKindPartsAndOperator) {
    StrScope scope;
    StrDesc t = evalPrepare(StrView("CITY{2} == 'A B'&&(X#>1);FN$TRIM(Y$)-3"));
    ASSERT_EQ(show(t), "CITY{2}=='A B'&&(X#>1);FN$TRIM(Y$)-3");
    struct Expected {
        const char* operand;  // text from start to end
        std::uint8_t kind;
        const char* inside;   // "" without parentheses
        std::uint8_t op;
        bool last;
    } steps[] = {
        {"CITY{2}", 8, "", 11, false},       {"'A B'", 1, "", 18, false}, {"(X#>1)", 64, "X#>1", 0, false},
        {"FN$TRIM(Y$)", 32, "Y$", 7, false}, {"3", 0, "", 0, true},
    };
    std::uint16_t pos = 0;
    for (const Expected& e : steps) {
        EvalStep s;
        evalStep(t, pos, t.len, s);
        EXPECT_EQ(s.err, 0);
        EXPECT_EQ(show(StrMake(t.ptr + s.start, s.end - s.start)), e.operand);
        EXPECT_EQ(s.kind, e.kind) << e.operand;
        EXPECT_EQ(show(StrMake(t.ptr + s.in, s.paren ? s.inLen : 0)), e.inside) << e.operand;
        EXPECT_EQ(s.op, e.op) << e.operand;
        EXPECT_EQ(s.last, e.last) << e.operand;
        pos = s.next;
    }
    EXPECT_EQ(pos, t.len);
}

TEST_F(EvalSteps, FaultsOfTheTextAreReported) {
    StrScope scope;
    EXPECT_EQ(StrError(evalPrepare(StrView("A B"))), err::SINTAXERROR);
    EXPECT_EQ(StrError(evalPrepare(StrView("((1)"))), err::LOOPFAILURE);
    EvalStep s;
    evalStep(StrView("F(1"), 0, 3, s);
    EXPECT_EQ(s.err, err::LOOPFAILURE);
    EXPECT_TRUE(s.last);
    evalStep(StrView("(1)2"), 0, 4, s);
    EXPECT_EQ(s.err, err::SINTAXERROR);
    evalStep(StrErrorValue(err::OUTOFMEMORY), 0, 0, s);
    EXPECT_EQ(s.err, err::OUTOFMEMORY);
}
