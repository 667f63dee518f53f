#include "lang/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/strarea.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// A Spanish-style locale: comma decimals, point thousands, S for yes.
const std::string kSpanish0019 = ",.'0123456789,-D',' NS','  ,NO,SI'";
const std::string kSpanish0117 =
    "'enero,febrero,marzo,abril,mayo,junio,julio,agosto,septiembre,octubre,noviembre,diciembre',"
    "'[D] de [M] de [Y]'";

std::string envText(const std::string& a, const std::string& b) { return a + '\0' + b + '\0' + ' '; }

class Numbers : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        numSysBind(nullptr, nullptr);
        numLocaleInit();
    }
    void TearDown() override {
        numSysBind(nullptr, nullptr);
        numLocaleInit();
        RuntimeTest::TearDown();
    }
};

struct TextCase {
    const char* text;
    std::int64_t raw;
};

TEST_F(Numbers, TextToNumWithTwoDecimals) {
    const TextCase cases[] = {
        {"1.005", 101},   {"-1.005", -101}, {"1.004", 100},   {"", 0},          {"2D2", 20000},
        {"15D3", 1500000}, {" \t12.5\t ", 1250}, {"abc", 0},   {"12abc", 1200},  {".5", 50},
        {"-.5", -50},      {"0.125", 13},    {"-0.125", -13}, {"9.995", 1000},  {"-0.004", 0},
        {"1.2.3", 120},    {"-", 0},         {"--5", 0},      {"+5", 0},        {"12 34", 1200},
        {"1.", 100},       {"0000000000000000000000012", 1200},
        // The count after D moves the point: 1.5D3 is 1500, 1.25D1 is 12.5.
        {"1.5D3", 150000}, {"1.25D1", 1250}, {"-2D1", -2000}, {"7D", 700},
        // Beyond 64 bits the value saturates instead of wrapping.
        {"99999999999999999999", kMax}, {"-99999999999999999999", kMin},
        {"92233720368547758.07", kMax}, {"-92233720368547758.08", kMin},
        {"1D99999", kMax},
    };
    for (const auto& c : cases) EXPECT_EQ(textToNum(StrView(c.text)), c.raw) << "'" << c.text << "'";
}

TEST_F(Numbers, TextToNumFollowsPrecision) {
    numSysSet(sysvar::PRECIS, 0);
    EXPECT_EQ(textToNum(StrView("2.5")), 3);
    EXPECT_EQ(textToNum(StrView("-2.5")), -3);
    EXPECT_EQ(textToNum(StrView("2.49")), 2);
    numSysSet(sysvar::PRECIS, 4);
    EXPECT_EQ(textToNum(StrView("1.23456")), 12346);
    EXPECT_EQ(textToNum(StrView("-1.23455")), -12346);
    // _PRECIS is meaningful from 0 to 4 only.
    numSysSet(sysvar::PRECIS, 9);
    EXPECT_EQ(numPrecision(), 4);
    numSysSet(sysvar::PRECIS, -3);
    EXPECT_EQ(numPrecision(), 0);
    EXPECT_EQ(textToNum(StrErrorValue(err::BADINPUTDATA)), 0);
}

struct RawCase {
    std::int64_t raw;
    int decimals;
    const char* text;
};

TEST_F(Numbers, NumToTextDropsZerosAndTheLeadingZero) {
    const RawCase cases[] = {
        {1250, 2, "12.5"}, {1200, 2, "12"},  {50, 2, ".5"},     {5, 2, ".05"},      {-50, 2, "-.5"},
        {0, 2, ""},        {0, 0, "0"},      {10, 2, ".1"},     {10000, 2, "100"},  {-5, 0, "-5"},
        {123, 4, ".0123"}, {-7, 3, "-.007"}, {1000, 3, "1"},
        {kMin, 2, "-92233720368547758.08"}, {kMax, 0, "9223372036854775807"},
    };
    for (const auto& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(numToText(c.raw, c.decimals)), c.text) << c.raw << "/" << c.decimals;
    }
    StrScope scope;
    numSysSet(sysvar::PRECIS, 3);
    EXPECT_EQ(show(numToText(1500)), "1.5");
}

TEST_F(Numbers, NumberTextRoundTrips) {
    const std::int64_t values[] = {0, 1, -1, 99, -100, 123456789, -987654321012, kMax, kMin};
    for (int p = 0; p <= 4; ++p) {
        numSysSet(sysvar::PRECIS, static_cast<std::int16_t>(p));
        for (std::int64_t v : values) {
            StrScope scope;
            EXPECT_EQ(textToNum(numToText(v)), v) << v << " at " << p;
        }
    }
}

struct CleanCase {
    const char* input;
    const char* clean;
};

TEST_F(Numbers, CleanNumericKeepsTheNumberAtTheStart) {
    const CleanCase cases[] = {
        {"  0012.50  ", "12.50"}, {"12-3", "12"},  {"-12", "-12"},   {"0.5", "0.5"},   {"00.5", "0.5"},
        {"1x2", "1"},             {"5D3", "5D3"},  {"", ""},         {"abc", ""},      {"-0012", "-12"},
        {"00-5", ""},             {"000", ""},     {"1,234.5", "1"}, {"\t-.5", "-.5"},
        {"123456789012345678901234", "12345678901234567890"},
    };
    for (const auto& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(cleanNumeric(StrView(c.input))), c.clean) << "'" << c.input << "'";
    }
}

TEST_F(Numbers, CleanNumericUsesTheLocaleDecimalSeparator) {
    std::string env = envText(kSpanish0019, kSpanish0117);
    numLocaleInit(StrView(env));
    const CleanCase cases[] = {{"1,5", "1.5"}, {"0,25", "0.25"}, {" 12.5 ", "12.5"}, {"-3,", "-3."}};
    for (const auto& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(cleanNumeric(StrView(c.input))), c.clean) << "'" << c.input << "'";
    }
}

TEST_F(Numbers, LocaleDefaultsAreTheEnglishTexts) {
    EXPECT_EQ(numDecimalSep(), '.');
    EXPECT_EQ(numThousandsSep(), ',');
    EXPECT_EQ(show(numAcceptedChars()), "0123456789.-D");
    EXPECT_EQ(show(numLogicalChars()), " NY");
    EXPECT_EQ(show(numLogicalWord(0)), "  ");
    EXPECT_EQ(show(numLogicalWord(1)), "NO");
    EXPECT_EQ(show(numLogicalWord(2)), "YES");
    EXPECT_EQ(show(numLogicalWord(3)), "");
    EXPECT_EQ(show(monthName(1)), "January");
    EXPECT_EQ(show(monthName(12)), "December");
    EXPECT_EQ(show(monthName(13)), "");
    EXPECT_EQ(show(dateLongTemplate()), "[M] [D],[Y]");
}

TEST_F(Numbers, LocaleIsReadFromEnvironmentStringZero) {
    StrScope scope;
    StrDesc env = numLocaleEnvText(StrView(kSpanish0019), StrView(kSpanish0117));
    ASSERT_FALSE(env.isError());
    EXPECT_EQ(show(env), envText(kSpanish0019, kSpanish0117));
    // Stored in the environment table as start-up does, and read back from it.
    ASSERT_EQ(AreaSet(area::ENV, 0, env), 0);
    numLocaleInit(AreaGet(area::ENV, 0));
    EXPECT_EQ(numDecimalSep(), ',');
    EXPECT_EQ(numThousandsSep(), '.');
    EXPECT_EQ(show(numAcceptedChars()), "0123456789,-D");
    EXPECT_EQ(show(numLogicalChars()), " NS");
    EXPECT_EQ(show(numLogicalWord(2)), "SI");
    EXPECT_EQ(show(monthName(5)), "mayo");
    EXPECT_EQ(show(dateLongTemplate()), "[D] de [M] de [Y]");
}

TEST_F(Numbers, MissingLocalePiecesKeepTheirDefaults) {
    // Only the separators: the quoted items and the date text are missing.
    std::string onlySeparators = ",.";
    numLocaleInit(StrView(onlySeparators));
    EXPECT_EQ(numDecimalSep(), ',');
    EXPECT_EQ(show(numAcceptedChars()), "0123456789.-D");
    EXPECT_EQ(show(monthName(3)), "March");
    // Unterminated quotes, a short month list and a text starting with a quote.
    std::string broken = envText("'abc", "'Jan,Feb'");
    numLocaleInit(StrView(broken));
    EXPECT_EQ(numDecimalSep(), '.');
    EXPECT_EQ(show(numLogicalWord(2)), "YES");
    EXPECT_EQ(show(monthName(2)), "Feb");
    EXPECT_EQ(show(monthName(3)), "March");
    EXPECT_EQ(show(dateLongTemplate()), "[M] [D],[Y]");
    // An error value or an empty text gives the defaults back.
    numLocaleInit(StrErrorValue(err::BADINPUTDATA));
    EXPECT_EQ(show(monthName(2)), "February");
}

TEST_F(Numbers, DayFirstLanguagesAreSpanishFrenchItalian) {
    struct {
        const char* lang;
        bool dayFirst;
    } cases[] = {{"ES", true}, {"FR", true}, {"IT", true}, {"it", true}, {"EN", false},
                 {"DE", false}, {"", false}, {"ESP", false}};
    for (const auto& c : cases) {
        ASSERT_EQ(AreaSet(area::ENV, 4, StrView(c.lang)), 0);
        EXPECT_EQ(dateDayFirst(), c.dayFirst) << c.lang;
    }
}

std::int16_t g_store[64];
std::int16_t storeGet(std::uint16_t pos) { return pos < 64 ? g_store[pos] : 0; }
void storeSet(std::uint16_t pos, std::int16_t v) {
    if (pos < 64) g_store[pos] = v;
}

TEST_F(Numbers, SystemVariablesFollowTheBoundStore) {
    g_store[sysvar::PRECIS] = 3;
    numSysBind(storeGet, storeSet);
    EXPECT_EQ(numPrecision(), 3);
    EXPECT_EQ(textToNum(StrView("1.5")), 1500);
    numSysSet(sysvar::BYEAR, 1900);
    EXPECT_EQ(g_store[sysvar::BYEAR], 1900);
    // Unbinding puts back the module's own values with their defaults.
    numSysBind(nullptr, nullptr);
    EXPECT_EQ(numPrecision(), 2);
    EXPECT_EQ(numSysGet(sysvar::BYEAR), 2000);
    EXPECT_EQ(numSysGet(sysvar::BKYEAR), 80);
}

TEST_F(Numbers, CharUpperKnowsWindows1252Letters) {
    EXPECT_EQ(charUpper('a'), 'A');
    EXPECT_EQ(charUpper('Z'), 'Z');
    EXPECT_EQ(charUpper('1'), '1');
    EXPECT_EQ(charUpper('\xE9'), '\xC9');  // e acute
    EXPECT_EQ(charUpper('\xF1'), '\xD1');  // n tilde
    EXPECT_EQ(charUpper('\xFF'), '\x9F');  // y diaeresis
    EXPECT_EQ(charUpper('\x9A'), '\x8A');  // s caron
    EXPECT_EQ(charUpper('\xF7'), '\xF7');  // division sign
}

TEST_F(Numbers, ResultsLieDirectlyAboveTheCallersMark) {
    StrPush(StrView("below"));
    StrMarkT m = StrMark();
    StrDesc r = numToText(1234, 2);
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(show(r), "12.34");
    StrRelease(m);
    r = cleanNumeric(StrView(" 0042 "));
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(show(r), "42");
    StrRelease(m);
    EXPECT_EQ(StrError(cleanNumeric(StrErrorValue(err::DATAOUTBOUND))), err::DATAOUTBOUND);
    EXPECT_EQ(StrMark(), m);
}

}  // namespace
