#include "lang/dates.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/numbers.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

const std::string kSpanishEnv = std::string(",.'0123456789,-D',' NS','  ,NO,SI'") + '\0' +
                                "'enero,febrero,marzo,abril,mayo,junio,julio,agosto,septiembre,octubre,"
                                "noviembre,diciembre','[D] de [M] de [Y]'" + '\0' + ' ';

class Dates : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        numSysBind(nullptr, nullptr);
        numLocaleInit();
        dateClockPin(20240517, 45296789);  // 12:34:56.789
    }
    void TearDown() override {
        dateClockPin(0, 0);
        numSysBind(nullptr, nullptr);
        numLocaleInit();
        RuntimeTest::TearDown();
    }
    void language(const char* code) { ASSERT_EQ(AreaSet(area::ENV, 4, StrView(code)), 0); }
};

TEST_F(Dates, ValidityUsesEveryFourthYearAsLeap) {
    struct {
        int y, m, d;
        bool valid;
    } cases[] = {{2024, 2, 29, true}, {2023, 2, 29, false}, {2100, 2, 29, true}, {1900, 2, 29, true},
                 {0, 1, 1, true},     {9999, 12, 31, true}, {10000, 1, 1, false}, {-1, 1, 1, false},
                 {2024, 13, 1, false}, {2024, 0, 1, false}, {2024, 1, 0, false},  {2024, 4, 31, false}};
    for (const auto& c : cases) EXPECT_EQ(dateValid(c.y, c.m, c.d), c.valid) << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(dateFromText(StrView(" 20240229 ")), 20240229);
    EXPECT_EQ(dateFromText(StrView("20230229")), 0);
    EXPECT_EQ(dateFromText(StrView("2024051")), 0);
    EXPECT_EQ(dateFromText(StrView("2024O517")), 0);
}

struct FormatCase {
    const char* date;
    int format;
    const char* text;
};

void expectFormats(const FormatCase* cases, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        StrScope scope;
        EXPECT_EQ(show(dateFormat(StrView(cases[i].date), cases[i].format)), cases[i].text)
            << "'" << cases[i].date << "' format " << cases[i].format;
    }
}

TEST_F(Dates, FormatsInEnglishOrder) {
    const FormatCase cases[] = {
        {"20240517", 0, "20240517"}, {"20240517", 1, "05-17-24"}, {"20240517", 2, "05-17-2024"},
        {"20240517", 3, "May 2024"}, {"20240517", 4, "May 17,2024"}, {"20240517", 5, ""},
        {"20240517", 127, ""},       {"00050101", 2, "01-01-0005"}, {"00050101", 1, "01-01-05"},
        {"20240902", 3, "Sep 2024"},
        // Invalid dates: blanks for the numeric formats, "" for the others.
        {"20240230", 0, ""},         {"20240230", 1, "        "},  {"20240230", 2, "          "},
        {"20240230", 3, ""},         {"abc", 4, ""},              {"2024-05-17", 1, "        "},
        // An empty date is today.
        {"", 1, "05-17-24"},         {"        ", 4, "May 17,2024"},
    };
    expectFormats(cases, std::size(cases));
}

TEST_F(Dates, FormatsInADayFirstLanguage) {
    numLocaleInit(StrView(kSpanishEnv));
    language("ES");
    const FormatCase cases[] = {
        {"20240517", 1, "17-05-24"},
        {"20240517", 2, "17-05-2024"},
        {"20240517", 3, "may 2024"},
        {"20240517", 4, "17 de mayo de 2024"},
        {"20240517", 0, "20240517"},
    };
    expectFormats(cases, std::size(cases));
    language("FR");
    StrScope scope;
    EXPECT_EQ(show(dateFormat(StrView("20241231"), 1)), "31-12-24");
}

TEST_F(Dates, EmptyDateStaysEmptyWhenAsked) {
    numSysSet(sysvar::AUXSTAT, 64 | 1);
    const FormatCase cases[] = {{"", 1, "        "}, {"", 2, "          "}, {"", 0, ""}, {"        ", 4, ""}};
    expectFormats(cases, std::size(cases));
    StrScope scope;
    EXPECT_EQ(show(dateParse(StrView(""))), "");
}

struct ParseCase {
    const char* text;
    const char* date;
};

void expectParses(const ParseCase* cases, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        StrScope scope;
        EXPECT_EQ(show(dateParse(StrView(cases[i].text))), cases[i].date) << "'" << cases[i].text << "'";
    }
}

TEST_F(Dates, ParsesInEnglishOrder) {
    const ParseCase cases[] = {
        {"05/17/24", "20240517"},   {"5-17-2024", "20240517"}, {" 05.17.24 ", "20240517"},
        {"17/05/24", ""},            // month 17
        {"170524", "20240517"},     {"010180", "19800101"},    {"311279", "20791231"},
        {"20240517", "20240517"},   {"2024051", ""},           {"abc", ""},          {"17O524", ""},
        {"02.29.2100", "21000229"}, {"02/29/2023", ""},        {"02/30/2024", ""},   {"00/00/00", ""},
        {"05/17", ""},              {"05/17/x4", ""},          {"05/17/2024/1", ""},  {"05/17-24", ""},
        {"12/31/5", "00051231"},    {"12/31/0", ""},           {"", "20240517"},
    };
    expectParses(cases, std::size(cases));
}

TEST_F(Dates, ParsesDayFirstInSpanish) {
    language("ES");
    const ParseCase cases[] = {
        {"17/05/24", "20240517"}, {"170524", "20240517"}, {"05/17/24", ""}, {"1-2-2024", "20240201"},
    };
    expectParses(cases, std::size(cases));
}

TEST_F(Dates, TwoDigitYearsUseTheBreakYear) {
    const int cases[][2] = {{0, 2000}, {79, 2079}, {80, 1980}, {99, 1999}};
    for (const auto& c : cases) EXPECT_EQ(expandYear(c[0]), c[1]) << c[0];
    numSysSet(sysvar::BYEAR, 2100);
    numSysSet(sysvar::BKYEAR, 50);
    EXPECT_EQ(expandYear(49), 2149);
    EXPECT_EQ(expandYear(50), 2050);
}

TEST_F(Dates, ShiftMovesThroughMonthAndYearEnds) {
    struct {
        std::int32_t date;
        char unit;
        std::int32_t amount, result;
    } cases[] = {
        {20240131, 'D', 1, 20240201},   {20231231, 'D', 1, 20240101},    {20240228, 'D', 1, 20240229},
        {20240301, 'D', -1, 20240229},  {21000228, 'D', 1, 21000229},    {20240517, 'D', 0, 20240517},
        {20240101, 'D', 366, 20250101}, {20240517, 'D', -20240517, 0},   {99991231, 'D', 1, 0},
        {20240131, 'M', 1, 20240229},   {20230131, 'M', 1, 20230228},    {20240515, 'M', -5, 20231215},
        {20240515, 'M', 24, 20260515},  {20240229, 'Y', 1, 20250228},    {20240229, 'Y', 4, 20280229},
        {20240517, 'Y', -2025, 0},      {20240532, 'V', 0, 20240601},    {20241301, 'V', 0, 20250101},
        {20240231, 'V', 0, 20240302},   {0, 'D', 1, 0},                  {20240500, 'D', 1, 0},
        {20240017, 'M', 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dateShift(c.date, c.unit, c.amount), c.result) << c.date << " " << c.unit << " " << c.amount;
}

TEST_F(Dates, DiffCountsCalendarDaysMonthsAndYears) {
    struct {
        std::int32_t from, to;
        char unit;
        std::int32_t diff;
    } cases[] = {
        {20240101, 20250101, 'D', 366}, {20230101, 20240101, 'D', 365}, {20240517, 20240510, 'D', -7},
        {20000101, 21000101, 'D', 36525}, {20240131, 20240301, 'M', 2}, {20241231, 20250101, 'M', 1},
        {20241231, 20250101, 'Y', 1},     {20240230, 20240301, 'D', 0}, {0, 20240101, 'D', 0},
    };
    for (const auto& c : cases) EXPECT_EQ(dateDiff(c.from, c.to, c.unit), c.diff) << c.from << " " << c.to;
    // Shifting by the difference in days lands on the other date.
    const std::int32_t dates[] = {19991231, 20000229, 20240517, 21000301, 4, 101, 99991231};
    for (std::int32_t a : {20240229, 19700101, 401}) {
        for (std::int32_t b : dates) {
            if (!dateFromText(StrView(std::to_string(b + 100000000).substr(1)))) continue;
            EXPECT_EQ(dateShift(a, 'D', dateDiff(a, b, 'D')), b) << a << " -> " << b;
        }
    }
}

struct SixCase {
    const char* six;
    const char* date;
};

TEST_F(Dates, SixCharacterDatesReadAndWrite) {
    const SixCase reads[] = {
        {"J90517", "20990517"}, {"990517", "19990517"}, {"99 517", "19990517"}, {"B4 1 1", "20140101"},
        {"A0 1 1", "20000101"}, {"      ", "        "}, {"Z90517", "        "}, {"9905x7", "        "},
        {"99", "        "},
    };
    for (const auto& c : reads) {
        StrScope scope;
        EXPECT_EQ(show(dateSixRead(StrView(c.six))), c.date) << "'" << c.six << "'";
    }
    const SixCase writes[] = {
        {"99 517", "19990517"}, {"B4 1 1", "20140101"}, {"J91231", "20991231"}, {"001010", "19001010"},
        {"      ", "        "}, {"      ", "20240230"}, {"<error 168>", "18991231"}, {"<error 168>", "21000101"},
    };
    for (const auto& c : writes) {
        StrScope scope;
        EXPECT_EQ(show(dateSixWrite(StrView(c.date))), c.six) << c.date;
    }
    // Every representable date survives the round trip.
    for (std::int32_t d = 19000101; d <= 20991231; d = dateShift(d, 'D', 97)) {
        StrScope scope;
        std::string text = std::to_string(d);
        EXPECT_EQ(show(dateSixRead(dateSixWrite(StrView(text)))), text);
    }
}

TEST_F(Dates, SixCharacterRuleAppliesToWideSixFieldsOfTypeF) {
    EXPECT_FALSE(dateSixApplies('F', 6));
    numSysSet(sysvar::COMPAT, 4);
    EXPECT_TRUE(dateSixApplies('F', 6));
    EXPECT_FALSE(dateSixApplies('D', 6));
    EXPECT_FALSE(dateSixApplies('F', 8));
}

TEST_F(Dates, TimeFormatFlags) {
    struct {
        std::int32_t ms;
        int flags;
        const char* text;
    } cases[] = {
        {45296789, 0, "1234"},     {45296789, 1, "12:34"},     {45296789, 2, "123456"},
        {45296789, 3, "12:34:56"}, {45296789, 7, "12:34:56.789"}, {45296789, 4, "1234.789"},
        {0, 3, "00:00:00"},        {-1000, 3, "23:59:59"},     {86400000 + 60000, 1, "00:01"},
        {5, 5, "00:00.005"},
    };
    for (const auto& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(timeFormat(c.ms, c.flags)), c.text) << c.ms << " " << c.flags;
    }
}

TEST_F(Dates, TimeParseReadsTheLastFieldAsSeconds) {
    struct {
        const char* text;
        std::int32_t ms;
    } cases[] = {
        {"12:34:56.789", 45296789}, {"34:56", 2096000}, {"56", 56000},   {"1:2:3.5", 3723500},
        {".25", 250},               {"0:0:1.23456", 1234}, {" 2:00 ", 120000}, {"abc", 0},
        {"1:2:3:4", 3723000},       {"", 45296789},     {"999999999:0:0", 2147483647},
    };
    for (const auto& c : cases) EXPECT_EQ(timeParse(StrView(c.text)), c.ms) << "'" << c.text << "'";
}

TEST_F(Dates, UnpinnedClockIsTheLocalDate) {
    dateClockPin(0, 0);
    std::time_t now = std::time(nullptr);
    std::tm lt{};
    localtime_r(&now, &lt);
    std::int32_t expected = (lt.tm_year + 1900) * 10000 + (lt.tm_mon + 1) * 100 + lt.tm_mday;
    std::int32_t got = today();
    // A midnight between the two readings moves the date by one day.
    EXPECT_TRUE(got == expected || got == dateShift(expected, 'D', 1)) << got;
    std::int32_t ms = timeNow();
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 86400000);
}

TEST_F(Dates, ErrorValuesPassThrough) {
    StrScope scope;
    StrDesc bad = StrErrorValue(err::FILENOTFOUND);
    EXPECT_EQ(StrError(dateFormat(bad, 1)), err::FILENOTFOUND);
    EXPECT_EQ(StrError(dateParse(bad)), err::FILENOTFOUND);
    EXPECT_EQ(StrError(dateSixRead(bad)), err::FILENOTFOUND);
    EXPECT_EQ(StrError(dateSixWrite(bad)), err::FILENOTFOUND);
    EXPECT_EQ(timeParse(bad), 0);
    EXPECT_EQ(dateFromText(bad), 0);
}

}  // namespace
