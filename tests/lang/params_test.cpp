// Task parameters: names by code, the _AUX prefix rule, values from the
// current parameter set, and evalParam.
#include "lang/params.h"

#include <gtest/gtest.h>

#include <string>

#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/funcs.h"
#include "lang/varstore.h"
#include "shell/textfile.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class Params : public testsupport::RuntimeTest {
protected:
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
    static std::string name(std::uint8_t code) {
        StrScope s;
        return show(paramName(code));
    }
    static std::string value(std::uint8_t code) {
        StrScope s;
        return show(paramValue(code));
    }
    static void usePrefixes(std::int16_t aux, const char* list) {
        sysSet(SysVar::AUX, aux);
        AreaSet(area::WORK, 8, StrView(list));
    }
};

TEST_F(Params, CodesNameTheItemsOfTheirGroup) {
    const struct {
        int code;
        const char* name;
    } cases[] = {
        {101, "ACCEPT_PRC%"}, {103, "PROG_MODE$"}, {116, "STRUCT$"},  {91, "DEVICE$"},  {94, "INDEX%"},
        {99, "PRCNAME$"},     {71, "ATEND$"},      {74, "COND$"},      {80, "TITLE$"},   {81, "WD"},
        {51, "FD$"},          {65, "IK$(1)"},      {67, "IK$(3)"},     {31, "NUMCAB$"},  {48, "MAXLIN%"},
        {11, "SCREENSIZE$"},  {13, "OPEN$"},       {29, "VOIDMODE%"},  {1, "MODULES$"},  {7, "COUNTER$"},
        {9, "STATMSG$"},
        // Codes that name nothing.
        {0, ""}, {10, ""}, {30, ""}, {49, ""}, {50, ""}, {68, ""}, {70, ""}, {82, ""}, {90, ""},
        {100, ""}, {117, ""}, {255, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(name(static_cast<std::uint8_t>(c.code)), c.name) << c.code;
}

TEST_F(Params, ValuesComeFromTheCurrentSet) {
    EXPECT_EQ(value(param::OPEN), "");  // no set
    ASSERT_EQ(ParamPush(StrView("OPEN$=clients:TITLE$='Sales 2024':INDEX%=2:DEVICE$=pdf")), 0);
    EXPECT_EQ(value(param::OPEN), "CLIENTS");
    EXPECT_EQ(value(param::TITLE), "Sales 2024");
    EXPECT_EQ(paramInt(param::INDEX), 2);
    EXPECT_EQ(value(param::DEVICE), "PDF");
    EXPECT_EQ(value(param::COND), "");
    EXPECT_EQ(paramInt(param::COND), 0);
    // The set on top is the one read.
    ASSERT_EQ(ParamPush(StrView("INDEX%=7")), 0);
    EXPECT_EQ(paramInt(param::INDEX), 7);
    EXPECT_EQ(value(param::OPEN), "");
    ASSERT_EQ(ParamDrop(), 0);
    EXPECT_EQ(paramInt(param::INDEX), 2);
}

TEST_F(Params, ANameInsideAQuotedValueIsNotFound) {
    ASSERT_EQ(ParamPush(StrView("TITLE$='x DEVICE$=pdf' COND$='a:INDEX%=4'")), 0);
    EXPECT_EQ(value(param::DEVICE), "");
    EXPECT_EQ(value(param::INDEX), "");
    EXPECT_EQ(value(param::TITLE), "x DEVICE$=pdf");
}

TEST_F(Params, AuxSelectsAPrefix) {
    usePrefixes(2, "A,B");
    EXPECT_EQ(name(param::DEVICE), "B.DEVICE$");
    ASSERT_EQ(ParamPush(StrView("DEVICE$=lpt:B.DEVICE$=pdf:A.DEVICE$=con")), 0);
    EXPECT_EQ(value(param::DEVICE), "PDF");
    usePrefixes(1, "A,B");
    EXPECT_EQ(value(param::DEVICE), "CON");
    // An item beyond the list, an empty item, an empty list and _AUX 0 give the bare name.
    const struct {
        std::int16_t aux;
        const char* list;
    } bare[] = {{3, "A,B"}, {1, ",B"}, {1, ""}, {0, "A,B"}};
    for (const auto& b : bare) {
        usePrefixes(b.aux, b.list);
        EXPECT_EQ(name(param::DEVICE), "DEVICE$") << b.aux << " " << b.list;
        EXPECT_EQ(value(param::DEVICE), "LPT") << b.aux << " " << b.list;
    }
}

TEST_F(Params, StringExpressionsAreEvaluatedOtherTextsTakenAsWritten) {
    {
        StrScope s;
        ASSERT_EQ(evalExpr(StrView("A$='v'")), EVAL_STRING);
    }
    const struct {
        const char* text;
        const char* result;
    } cases[] = {
        {"PDF", "PDF"},
        {"'Sales '+FN$TRIM(' x ')", "Sales x"},
        {"'abc'", "abc"},
        {"A$", "v"},
        {"A$+'w'", "vw"},
        {"FN$TRIM(' a ')+A$", "av"},
        {"B$=A$+'!'", "v!"},
        {"A$=='v'", "A$=='v'"},  // a comparison is not a string expression
        {"A$>'a'", "A$>'a'"},
        {"3+4", "3+4"},
        {"X#", "X#"},
        {"clients", "clients"},
        {"Sales 2024", "Sales 2024"},
        {"('a'+'b')", "('a'+'b')"},
        {"'a'*'b'", "'a'*'b'"},
        {"'a'+", "<error 147>"},
    };
    for (const auto& c : cases) {
        StrScope s;
        EXPECT_EQ(show(evalParam(StrView(c.text))), c.result) << c.text;
    }
    StrScope s;
    EXPECT_EQ(show(evalParam(StrView("B$"))), "v!");  // the assignment above took effect
}

}  // namespace
