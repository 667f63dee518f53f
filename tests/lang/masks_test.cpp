#include "lang/masks.h"

#include <gtest/gtest.h>

#include <string>

#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/dates.h"
#include "lang/numbers.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

const std::string kSpanishEnv = std::string(",.'0123456789,-D',' NS','  ,NO,SI'") + '\0' +
                                "'enero,febrero,marzo,abril,mayo,junio,julio,agosto,septiembre,octubre,"
                                "noviembre,diciembre','[D] de [M] de [Y]'" + '\0' + ' ';

class Masks : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        numSysBind(nullptr, nullptr);
        numLocaleInit();
        dateClockPin(20240517, 0);
    }
    void TearDown() override {
        dateClockPin(0, 0);
        numSysBind(nullptr, nullptr);
        numLocaleInit();
        RuntimeTest::TearDown();
    }
    void spanish() {
        numLocaleInit(StrView(kSpanishEnv));
        ASSERT_EQ(AreaSet(area::ENV, 4, StrView("ES")), 0);
    }
};

struct MaskCase {
    const char* mask;
    const char* value;
    const char* result;
};

void expectMasks(const MaskCase* cases, std::size_t n, std::uint8_t mode) {
    for (std::size_t i = 0; i < n; ++i) {
        StrScope scope;
        const MaskCase& c = cases[i];
        EXPECT_EQ(show(maskFormat(StrView(c.mask), StrView(c.value), mode)), c.result)
            << "mask '" << c.mask << "' value '" << c.value << "'";
    }
}

TEST_F(Masks, NumericMasksPlaceDigitsSeparatorsAndSign) {
    const MaskCase cases[] = {
        {"###,##0.00", "1234.5", "  1,234.50"},
        {"###,##0.00", "5", "      5.00"},
        {"###,##0.00", "-1234.5", " -1,234.50"},
        {"###,##0.00", "-5", "     -5.00"},
        {"#,##0", "-123", " -123"},
        {"#####", "0", "     "},
        {"#####", "", "     "},
        {"####0", "0", "    0"},
        {"###.##", ".5", "  0.50"},
        {"###.##", "-.5", " -0.50"},
        {"###.##", "", "  0.00"},
        {"0000", "42", "0042"},
        {"0,000", "5", "0,005"},
        {"$##0 USD", "7", "$  7 USD"},
        {"##-##", "1234", "12-34"},
        {"#####.##", "1,234.5", " 1234.50"},
        {"#####", "1.5D3", " 1500"},
        {"#,###", "2D3", "2,000"},
        {".##", ".5", ".50"},
    };
    expectMasks(cases, std::size(cases), maskmode::ALL);
}

TEST_F(Masks, NumericMasksRoundHalfAwayFromZero) {
    const MaskCase cases[] = {
        {"#0.00", "0.125", " 0.13"}, {"#0.00", "-0.125", "-0.13"}, {"##0", "2.5", "  3"},
        {"##0", "-2.5", " -3"},      {"##0", "2.49", "  2"},       {"#0.00", "9.995", "10.00"},
        {"#0.00", "-0.004", " 0.00"}, {"##0", "-.4", "  0"},       {"###", ".4", "   "},
        {"#.#", "0.95", "1.0"},
    };
    expectMasks(cases, std::size(cases), maskmode::ALL);
}

TEST_F(Masks, WideNumbersGiveUpSeparatorsThenDecimals) {
    const MaskCase cases[] = {
        {"###,##0.00", "1234567.5", "1234567.50"},
        {"###,##0.00", "12345678.56", "12345678.6"},
        {"###,##0.00", "123456789", " 123456789"},
        {"###,##0.00", "-123456789", "-123456789"},
        {"###,##0.00", "9999999.996", "10000000.0"},
        {"#,##0", "-1234", "-1234"},
        {"0,000", "-5", "   -5"},
        {"#.##", "-.5", "-.50"},
        // No room even without decimals: the number's positions show stars.
        {"##.#", "123456", "****"},
        {"$##0", "-123", "$***"},
        {"##0", "1D9999", "***"},
    };
    expectMasks(cases, std::size(cases), maskmode::ALL);
}

TEST_F(Masks, StringMasksTakeTheValuesCharacters) {
    const MaskCase same[] = {
        {"\\\\report.ppn", "TR", "TRreport.ppn"},
        {"\\    \\", "abc", "abc   "},
        {"\\ \\", "abcdef", "abc"},
        {"?" "?-??", "abcd", "ab-d "},
        {"(\\\\\\)", "12", "(12 )"},
        {"ABC", "x", "ABC"},
        {"", "x", ""},
        // A numeric mask with a value that is not a number.
        {"###.##", "abc", "###.##"},
        {"###-\\\\", "ab", "###-ab"},
        // A string mask takes numbers as text.
        {"\\\\\\", "-1.5", "-1."},
    };
    expectMasks(same, std::size(same), maskmode::ALL);
    const MaskCase next[] = {{"?" "?-??", "abcd", "ab-cd"}, {"?\\?", "xyz", "xyz"}};
    expectMasks(next, std::size(next), 0);
}

TEST_F(Masks, DisplayModeUsesTheLocaleSeparators) {
    spanish();
    const MaskCase display[] = {{"###,##0.00", "1234.5", "  1.234,50"}, {"#0.0", ".25", " 0,3"}};
    expectMasks(display, std::size(display), maskmode::ALL);
    const MaskCase stored[] = {{"###,##0.00", "1234.5", "  1,234.50"}};
    expectMasks(stored, std::size(stored), 0);
}

TEST_F(Masks, DecimalsNotationIsResolvedKeepingTheLength) {
    const MaskCase cases[] = {
        {"###,##0,.02", "", "####,##0.00"},
        {"###,##0,.00", "", "###,###,##0"},
        {"########0,.2", "", "#,###,##0.00"},
        {"###,###,.1", "", "####,###.#"},
        {"$ ###0,.3 x", "", "$ ##0.000 x"},
        {",.2###", "", ",.2###"},
        {"\\\\,.5", "", "\\\\,.5"},
        {"###,.", "", "###,."},
        {"N10", "", "##########"},
        {"28", "", "#####.##"},
        {"A3", "", "\\\\\\"},
        {"P5", "", "P5"},
        {"N", "", "N"},
    };
    for (const auto& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(maskPrepare(StrView(c.mask))), c.result) << c.mask;
    }
}

TEST_F(Masks, DecimalsListOfTheEnvironmentOverridesTheDigits) {
    ASSERT_EQ(AreaSet(area::ENV, 10, StrView("0,3,1")), 0);
    StrScope scope;
    EXPECT_EQ(show(maskPrepare(StrView("###,##0,.01"))), "###,##0.000");
    EXPECT_EQ(show(maskPrepare(StrView("###,##0,.00"))), "###,###,##0");
    EXPECT_EQ(show(maskPrepare(StrView("###,##0,.07"))), "###,###,##0");  // no item 8: 0
}

TEST_F(Masks, FormattingPreparesTheMaskFirst) {
    const MaskCase cases[] = {
        {"N5", "12", "   12"},
        {"########0,.2", "1234567.891", "1,234,567.89"},
        {"###,##0,.02", "-1234.5", "  -1,234.50"},
        {"A4", "abcdef", "abcd"},
    };
    expectMasks(cases, std::size(cases), maskmode::ALL);
}

struct TypeCase {
    char type;
    std::uint16_t width;
    const char* input;
    const char* result;  // "<error N>" for an error value
};

void expectConversion(StrDesc (*fn)(char, StrDesc, std::uint16_t), const TypeCase* cases, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        StrScope scope;
        const TypeCase& c = cases[i];
        EXPECT_EQ(show(fn(c.type, StrView(c.input), c.width)), c.result)
            << "type " << c.type << " width " << c.width << " input '" << c.input << "'";
    }
}

TEST_F(Masks, DefaultMasksByType) {
    struct {
        char type;
        std::uint16_t width;
        const char* mask;
    } cases[] = {{'2', 8, "#####.##"}, {'N', 4, "####"},   {'A', 3, "\\\\\\"}, {'L', 1, "\\"},
                 {'D', 2, "\\\\"},     {'1', 3, "#.#"},    {'9', 5, ".####"},  {'1', 0, ""}};
    for (const auto& c : cases) {
        StrScope scope;
        EXPECT_EQ(show(defaultMask(c.type, c.width)), c.mask) << c.type << c.width;
    }
}

TEST_F(Masks, ToDisplayByType) {
    const TypeCase cases[] = {
        {'L', 3, "1", "YES"},          {'L', 3, "X", "NO "},       {'L', 3, " ", "   "},
        {'L', 3, "0", "NO "},          {'L', 2, "", "  "},         {'L', 1, "1", "Y"},
        {'D', 8, "20240517", "05-17-24"}, {'D', 10, "20240517", "05-17-2024"},
        {'D', 6, "20240517", "      "}, {'F', 8, "        ", "        "},
        {'F', 10, "20240230", "          "},
        {'D', 8, "        ", "05-17-24"},  // an empty D date shows today
        {'2', 8, " 1250.5", " 1250.50"}, {'N', 5, "12", "   12"},  {'2', 8, "-3", "   -3.00"},
        {'A', 5, "abc", "abc  "},      {'A', 3, "abcdef", "abc"},  {'T', 2, "x", "x "},
        {'N', 0, "12", ""},
    };
    expectConversion(toDisplay, cases, std::size(cases));
}

TEST_F(Masks, ToDisplayFollowsTheLanguage) {
    spanish();
    const TypeCase cases[] = {
        {'D', 8, "20240517", "17-05-24"}, {'L', 2, "1", "SI"}, {'2', 8, "1250.5", " 1250,50"},
    };
    expectConversion(toDisplay, cases, std::size(cases));
}

TEST_F(Masks, EmptyDateStaysEmptyWhileDefaultsAreFilled) {
    numSysSet(sysvar::AUXSTAT, 64);
    const TypeCase cases[] = {{'D', 8, "        ", "        "}, {'D', 8, "", "        "}, {'D', 5, "", "     "}};
    expectConversion(toDisplay, cases, std::size(cases));
    const TypeCase stored[] = {{'D', 8, "", "        "}};
    expectConversion(toStored, stored, std::size(stored));
}

TEST_F(Masks, ToStoredByType) {
    const std::string err168 = "<error 168>";
    const TypeCase cases[] = {
        {'C', 5, "12", "12000"},       {'C', 5, "", "     "},        {'C', 5, "1 2", "10200"},
        {'B', 6, "1a2 3", "12 3  "},   {'B', 3, "12345", "123"},
        {'L', 1, "yes", "1"},          {'L', 1, "n", "0"},            {'L', 1, "", " "},
        {'L', 1, "x", " "},            {'L', 1, "Y", "1"},
        {'D', 8, "05-17-24", "20240517"}, {'D', 8, "5/17/2024", "20240517"}, {'D', 6, "05-17-24", "240517"},
        {'D', 8, "17/05/24", "        "}, {'D', 8, "", "20240517"},   {'D', 10, "170524", "20240517  "},
        {'F', 8, "", "        "},       {'F', 8, "  ", "        "},   {'F', 8, "05.17.24", "20240517"},
        {'2', 8, "1250.5", " 1250.50"}, {'2', 8, "-3", "   -3.00"},   {'2', 8, "0012.5", "   12.50"},
        {'2', 5, "123.456", "123.5"},   {'2', 8, "1.005", "    1.01"}, {'2', 8, "-1.005", "   -1.01"},
        {'N', 5, "5D3", " 5000"},       {'N', 5, "2.5", "    3"},     {'N', 3, "12345", "<error 168>"},
        {'2', 4, "-12345", "<error 168>"},
        {'V', 3, "abc", "   "},         {'A', 5, "abc", "abc  "},     {'P', 2, "secret", "se"},
    };
    expectConversion(toStored, cases, std::size(cases));
}

TEST_F(Masks, ToStoredFollowsTheLanguage) {
    spanish();
    const TypeCase cases[] = {
        {'L', 1, "si", "1"},           {'L', 1, "no", "0"},         {'L', 1, "yes", " "},
        {'D', 8, "17/05/24", "20240517"}, {'D', 8, "05/17/24", "        "},
        {'2', 8, "1250,5", " 1250.50"},  // stored with "." whatever the language
    };
    expectConversion(toStored, cases, std::size(cases));
}

TEST_F(Masks, FitWidthByType) {
    const TypeCase cases[] = {
        {'N', 5, "12.345", "12.35"},   {'N', 3, "12.345", " 12"},   {'N', 2, "12.345", "12"},
        {'N', 1, "12.345", "<error 168>"}, {'N', 2, "-9.96", "<error 168>"}, {'N', 2, "99.5", "<error 168>"},
        {'N', 4, "0.567", "0.57"},     {'N', 3, "0.567", "0.6"},    {'N', 3, ".567", ".57"},    {'N', 3, "  7", "  7"},
        {'N', 3, "-0.004", "0.0"},   {'N', 1, "0.4", "0"},     {'N', 1, "-0.4", "<error 168>"},     {'2', 6, "-12.345", "-12.35"}, {'N', 3, "abcdef", "<error 168>"},
        {'N', 0, "", ""},              {'L', 1, " ", " "},          {'L', 1, "1", "1"},
        {'D', 6, "20240517", "240517"}, {'D', 10, "20240517", "20240517  "}, {'F', 6, "2024051x", "202405"},
        {'V', 3, "abc", "   "},         {'A', 3, "abcdef", "abc"},  {'B', 4, "12", "12  "},
    };
    expectConversion(fitWidth, cases, std::size(cases));
}

TEST_F(Masks, ErrorValuesPassThrough) {
    StrScope scope;
    StrDesc bad = StrErrorValue(err::BADINPUTDATA);
    EXPECT_EQ(StrError(maskFormat(bad, StrView("1"))), err::BADINPUTDATA);
    EXPECT_EQ(StrError(maskFormat(StrView("##"), bad)), err::BADINPUTDATA);
    EXPECT_EQ(StrError(maskPrepare(bad)), err::BADINPUTDATA);
    EXPECT_EQ(StrError(toDisplay('N', bad, 3)), err::BADINPUTDATA);
    EXPECT_EQ(StrError(toStored('D', bad, 8)), err::BADINPUTDATA);
    EXPECT_EQ(StrError(fitWidth('A', bad, 3)), err::BADINPUTDATA);
}

// Deterministic garbage: every result keeps its length contract and the
// string stack protocol, whatever the bytes.
TEST_F(Masks, GarbageNeverBreaksTheContracts) {
    std::uint32_t seed = 12345;
    auto next = [&]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    const char alphabet[] = "#0.,\\? -D123456789aZ?$\t";
    const char types[] = "123456789ABCDFLNTVPX";
    for (int round = 0; round < 3000; ++round) {
        std::string mask, value;
        int ml = static_cast<int>(next() % 14), vl = static_cast<int>(next() % 14);
        for (int i = 0; i < ml; ++i) mask += alphabet[next() % (sizeof alphabet - 1)];
        for (int i = 0; i < vl; ++i)
            value += (next() % 5 == 0) ? static_cast<char>(next() % 256) : alphabet[next() % (sizeof alphabet - 1)];
        char type = types[next() % (sizeof types - 1)];
        auto width = static_cast<std::uint16_t>(next() % 12);

        StrMarkT m = StrMark();
        StrDesc prepared = maskPrepare(StrView(mask));
        ASSERT_FALSE(prepared.isError());
        std::size_t preparedLen = prepared.len;
        StrRelease(m);

        StrDesc f = maskFormat(StrView(mask), StrView(value), static_cast<std::uint8_t>(next() % 4));
        ASSERT_EQ(StrMark(), m + 1);
        EXPECT_EQ(f.len, preparedLen) << "'" << mask << "' '" << value << "'";
        StrRelease(m);

        StrDesc d = toDisplay(type, StrView(value), width);
        ASSERT_EQ(StrMark(), m + 1);
        EXPECT_EQ(d.len, width) << type << " '" << value << "'";
        StrRelease(m);

        StrDesc s = toStored(type, StrView(value), width);
        if (s.isError()) {
            EXPECT_EQ(StrError(s), err::DATAOUTBOUND);
            EXPECT_EQ(StrMark(), m);
        } else {
            ASSERT_EQ(StrMark(), m + 1);
            EXPECT_EQ(s.len, width) << type << " '" << value << "'";
        }
        StrRelease(m);
    }
}

}  // namespace
