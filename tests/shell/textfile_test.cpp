#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strarea.h"
#include "core/strstack.h"
#include "shell/environ.h"
#include "shell/textfile.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class TextFiles : public testsupport::RuntimeTest {
protected:
    testsupport::TempDir dir;

    // The entries of the line queue, emptied afterwards.
    std::vector<std::string> drainLines() {
        std::vector<std::string> out;
        for (std::uint16_t i = 0; i < AreaCount(area::LINEQUEUE); ++i) out.push_back(show(AreaGet(area::LINEQUEUE, i)));
        TextLinesRelease(0);
        return out;
    }
};

using Lines = std::vector<std::string>;

struct KindCase {
    std::uint16_t kind;
    std::uint16_t section;
    Lines expected;
};

TEST_F(TextFiles, EveryLineKindSelectsItsSectionAndKeepsItsText) {
    // Line ends of all three conventions.
    dir.write("k.txt",
              "0012 abc\r\n"
              "0013 def\n"
              "12xyz\r"
              "[12]text]\r\n"
              "00012 whole\n"
              "13 rest of line\n");
    const KindCase cases[] = {
        // 0 and 5, 7 and above: every line, whole, in section 0.
        {0, 0, {"0012 abc", "0013 def", "12xyz", "[12]text]", "00012 whole", "13 rest of line"}},
        {5, 0, {"0012 abc", "0013 def", "12xyz", "[12]text]", "00012 whole", "13 rest of line"}},
        {9, 3, {}},
        // 1: columns 1-2, text from column 4.
        {1, 13, {"rest of line"}},
        {1, 12, {"yz"}},
        // 2: columns 2-3, text from column 4 without the last character.
        {2, 12, {"]text"}},
        // 3: columns 1-4, text from column 6 (a short line keeps nothing).
        {3, 12, {"abc", ""}},
        {3, 13, {"def", "st of line"}},
        // 4: columns 1-2, text from column 3.
        {4, 12, {"xyz"}},
        // 6: columns 1-5, the whole line.
        {6, 12, {"0012 abc", "12xyz", "00012 whole"}},
    };
    for (const KindCase& c : cases) {
        std::uint16_t n = TextFileRead(StrView("k.txt"), c.kind, c.section);
        Lines got = drainLines();
        if (c.expected.empty()) {
            EXPECT_EQ(n, 65535) << "kind " << c.kind;
        } else {
            EXPECT_EQ(n, c.expected.size()) << "kind " << c.kind;
        }
        EXPECT_EQ(got, c.expected) << "kind " << c.kind << " section " << c.section;
    }
}

TEST_F(TextFiles, SectionExampleAndMissingFile) {
    dir.write("s.txt", "0012 abc\r\n0013 def\r\n");
    EXPECT_EQ(TextFileRead(StrView("s.txt"), 3, 12), 1);
    EXPECT_EQ(drainLines(), Lines{"abc"});
    EXPECT_EQ(TextFileRead(StrView("nothere.txt"), 0, 0), 65535);
    EXPECT_EQ(AreaCount(area::LINEQUEUE), 0);
}

TEST_F(TextFiles, BareNamesAreSearchedInTheDataFolders) {
    dir.write("one/x.dat", "from one\n");
    dir.write("two/y.dat", "from two\n");
    ASSERT_EQ(EnvSet(envstr::DOCPATH, StrView("one,two")), 0);
    EXPECT_EQ(TextFileRead(StrView("y.dat"), 0, 0), 1);
    EXPECT_EQ(drainLines(), Lines{"from two"});
    // A name with a folder is not searched.
    EXPECT_EQ(TextFileRead(StrView("sub\\x.dat"), 0, 0), 65535);
    EXPECT_EQ(TextFileRead(StrView("one\\x.dat"), 0, 0), 1);
    EXPECT_EQ(drainLines(), Lines{"from one"});
}

TEST_F(TextFiles, ReadIntoAnotherTableKeepsTheOrder) {
    dir.write("t.txt", "a\nb\nc\n");
    EXPECT_EQ(TextFileRead(StrView("t.txt"), 0, 0, 36), 3);
    EXPECT_EQ(AreaCount(36), 3);
    EXPECT_EQ(show(AreaGet(36, 0)), "a");
    EXPECT_EQ(show(AreaPeek(36)), "c");
}

class ParameterSets : public TextFiles {};

TEST_F(ParameterSets, LinesJoinedWithColonsAndReadByKey) {
    dir.write("sqlparams.dat",
              "sqlhost=srv.example\r\n"
              "\r\n"
              "database='Sales'\r\n"
              "user=\"Mixed Case\"\r\n"
              "passw:'a:b/c d'\r\n");
    EXPECT_EQ(ParamLoad(StrView("sqlparams.dat"), 0, 0), 5);
    EXPECT_EQ(show(AreaPeek(area::TASKSTACK)),
              "sqlhost=srv.example:database='Sales':user=\"Mixed Case\":passw:'a:b/c d'");
    EXPECT_EQ(AreaCount(area::LINEQUEUE), 0);  // the lines do not stay queued
    StrScope s;
    EXPECT_EQ(show(ParamGet(StrView("sqlhost"))), "SRV.EXAMPLE");
    EXPECT_EQ(show(ParamGet(StrView("database"))), "Sales");
    EXPECT_EQ(show(ParamGet(StrView("user"))), "Mixed Case");
    EXPECT_EQ(show(ParamGet(StrView("passw"))), "a:b/c d");
    EXPECT_EQ(show(ParamGet(StrView("port"))), "");
    EXPECT_EQ(ParamDrop(), 0);
    EXPECT_EQ(AreaCount(area::TASKSTACK), 0);
}

TEST_F(ParameterSets, SectionsStackAndMissingSetsAreEmptyOnlyWhenAsked) {
    dir.write("r.ppn", " 1 TITLE$='One'\r\n 2 TITLE$='Two'\r\n 2 INDEX%=3\r\n");
    EXPECT_EQ(ParamLoad(StrView("r.ppn"), 1, 1), 1);
    EXPECT_EQ(ParamLoad(StrView("r.ppn"), 1, 2), 2);
    StrScope s;
    EXPECT_EQ(show(ParamGet(StrView("TITLE$"))), "Two");
    EXPECT_EQ(show(ParamGet(StrView("INDEX%"))), "3");
    ParamDrop();
    EXPECT_EQ(show(ParamGet(StrView("TITLE$"))), "One");
    ParamDrop();
    EXPECT_EQ(ParamLoad(StrView("r.ppn"), 1, 7), 65535);
    EXPECT_EQ(ParamLoad(StrView("missing.ppn"), 1, 1), 65535);
    EXPECT_EQ(AreaCount(area::TASKSTACK), 0);
    EXPECT_EQ(ParamLoadOrEmpty(StrView("missing.ppn"), 1, 1), 0);
    EXPECT_EQ(AreaCount(area::TASKSTACK), 1);
    EXPECT_EQ(show(AreaPeek(area::TASKSTACK)), "");
}

TEST_F(ParameterSets, JoinedLinesForExpressionLists) {
    dir.write("p.dat", "A#=1\r\n\r\nB$='x'\r\n");
    StrScope s;
    EXPECT_EQ(show(TextFileJoin(StrView("p.dat"), 0, 0, StrView(";"))), "A#=1;B$='x'");
    EXPECT_EQ(StrError(TextFileJoin(StrView("none.dat"), 0, 0, StrView(";"))), err::NOTFOUND);
}

}  // namespace
