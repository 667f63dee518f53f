#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strstack.h"
#include "shell/environ.h"
#include "shell/options.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class CommandLine : public testsupport::RuntimeTest {
protected:
    // Stores the normalised raw command line as environment string 1.
    void given(const std::string& raw) {
        StrScope s;
        StrDesc line = CmdLineNormalize(StrView(raw));
        ASSERT_FALSE(line.isError());
        ASSERT_EQ(EnvSet(envstr::CMDLINE, line), 0);
    }
    std::string lookup(const std::string& name) {
        StrScope s;
        return show(OptionLookup(StrView(name)));
    }
    std::string value(std::uint16_t n) {
        StrScope s;
        return show(OptionValue(n));
    }
};

struct NormCase {
    const char* raw;
    const char* normalised;
};

TEST_F(CommandLine, RawTextIsTrimmedCollapsedAndDashesBecomeSlashes) {
    const NormCase cases[] = {
        {"prog.exe  -APNAME=xy   --TRACE=8", "prog.exe /APNAME=xy /TRACE=8"},
        {" \t prog.exe /A=1 \t", "prog.exe /A=1"},
        // Blanks and dashes inside quotes are kept as written.
        {"prog.exe /T='a  -b'  -X", "prog.exe /T='a  -b' /X"},
        {"prog.exe /T=\"x  --y\"", "prog.exe /T=\"x  --y\""},
        // A dash that does not follow a blank is no option prefix.
        {"prog.exe /D=a-b", "prog.exe /D=a-b"},
        {"     ", ""},
    };
    for (const NormCase& c : cases) {
        StrScope s;
        EXPECT_EQ(show(CmdLineNormalize(StrView(c.raw))), c.normalised) << c.raw;
    }
}

TEST_F(CommandLine, ArgumentVectorIsJoinedWithTheProgramFirst) {
    StrScope s;
    const char* argv[] = {"prog.exe", "-APNAME=xy", "--TRACE=8"};
    EXPECT_EQ(show(CmdLineNormalizeArgs(3, argv)), "prog.exe /APNAME=xy /TRACE=8");
    // A program path with a blank is quoted so it stays the first item; a
    // last character of code 13 or less is dropped.
    const char* spaced[] = {"/opt/my apps/prog", "/RUN=x\r"};
    EXPECT_EQ(show(CmdLineNormalizeArgs(2, spaced)), "\"/opt/my apps/prog\" /RUN=x");
    // Arguments holding blanks are joined as they are (no quotes added).
    const char* plain[] = {"prog", "", "a  b"};
    EXPECT_EQ(show(CmdLineNormalizeArgs(3, plain)), "prog a b");
}

TEST_F(CommandLine, TooLongForAStringValueIsABadCommandLine) {
    StrScope s;
    std::string huge(70000, 'x');
    const char* argv[] = {"prog", huge.c_str()};
    EXPECT_EQ(StrError(CmdLineNormalizeArgs(2, argv)), err::BADCOMMANDLINE);
}

TEST_F(CommandLine, OptionValuesAreUpperCasedUnlessQuoted) {
    given("prog.exe  -APNAME=xy   --TRACE=8");
    EXPECT_EQ(value(opt::APNAME), "XY");
    EXPECT_EQ(value(opt::TRACE), "8");
    EXPECT_EQ(value(opt::DPATH), "");
    given("prog.exe /APNAME=\"xy\" /MODE:admin");
    EXPECT_EQ(value(opt::APNAME), "xy");
    EXPECT_EQ(value(opt::MODE), "ADMIN");
}

TEST_F(CommandLine, ValueEndsAtAColonOutsideQuotes) {
    given("prog.exe /DPATH=D:\\data");
    EXPECT_EQ(value(opt::DPATH), "D");
    given("prog.exe /DPATH='D:\\data' /RUN='Report x' /INPUT=a&b");
    EXPECT_EQ(value(opt::DPATH), "D:\\data");
    EXPECT_EQ(value(opt::RUN), "Report x");
    EXPECT_EQ(value(opt::INPUT), "A");
}

TEST_F(CommandLine, LookupRetriesOnceWithTheOtherCase) {
    given("prog.exe /apname=ab /sqlhost=srv");
    EXPECT_EQ(lookup("APNAME"), "AB");  // second try, lower-cased name
    given("prog.exe /SQLHOST=srv");
    // "s" is above "`": the second try upper-cases the name.
    EXPECT_EQ(lookup("sqlhost"), "SRV");
    // A key must start the text or follow ":", " ", "&" or "/".
    given("prog.exe /XAPNAME=zz");
    EXPECT_EQ(lookup("APNAME"), "");
}

TEST_F(CommandLine, OptionTableAndIndexIn) {
    StrScope s;
    EXPECT_EQ(show(OptionName(1)), "?;HELP");
    EXPECT_EQ(show(OptionName(opt::APNAME)), "APNAME");
    EXPECT_EQ(show(OptionName(opt::TRACE)), "TRACE");
    EXPECT_EQ(show(OptionName(opt::PASSW)), "PASSW");
    EXPECT_EQ(show(OptionName(0)), "");
    EXPECT_EQ(show(OptionName(20)), "");
    given("prog.exe /MODE=prntofile /APNAME=xy");
    EXPECT_EQ(value(0), "");
    EXPECT_EQ(value(20), "");
    EXPECT_EQ(OptionIndexIn(opt::MODE, StrView("ADMIN,PRNTOFILE")), 2);
    EXPECT_EQ(OptionIndexIn(opt::APNAME, StrView("ADMIN,PRNTOFILE")), 0);
    // An absent option is the empty value: found only as an empty item.
    EXPECT_EQ(OptionIndexIn(opt::RUN, StrView("A,,B")), 2);
    EXPECT_EQ(OptionIndexIn(opt::RUN, StrView("A,B")), 0);
}

}  // namespace
