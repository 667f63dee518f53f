#include "lang/numbers.h"
#include "lang/varstore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/memblocks.h"
#include "core/runtime_core.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class VarStoreTest : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
    }
    void TearDown() override {
        varShutdown();
        RuntimeTest::TearDown();
    }
};

StrDesc N(const char* s) { return StrFromTerminated(s); }

// The value varGet pushes, as a scaled number; a failure or a string fails the test.
std::int64_t num(const char* name) {
    StrScope scope;
    EXPECT_EQ(varGet(N(name)), 0) << name;
    std::int64_t v = -999999;
    EXPECT_TRUE(numRead(StrTop(), v)) << name;
    return v;
}

std::string text(const char* name) {
    StrScope scope;
    ErrCode e = varGet(N(name));
    if (e) return "<error " + std::to_string(e) + ">";
    return show(StrTop());
}

ErrCode setNum(const char* name, std::int64_t scaled) {
    StrScope scope;
    numPush(scaled);
    return varSet(N(name));
}

ErrCode setText(const char* name, const std::string& v) {
    StrScope scope;
    StrPush(StrView(v));
    return varSet(N(name));
}

VarArg n(std::int64_t whole) {  // a number argument with _PRECIS 2
    VarArg a;
    a.num = whole * 100;
    return a;
}

VarArg t(const char* s) {
    VarArg a;
    a.text = true;
    a.str = N(s);
    return a;
}

std::int64_t element(const char* name, std::vector<VarArg> args) {
    StrScope scope;
    EXPECT_EQ(arrayGet(N(name), args.data(), static_cast<std::uint16_t>(args.size())), 0) << name;
    std::int64_t v = -999999;
    EXPECT_TRUE(numRead(StrTop(), v));
    return v;
}

std::string textElement(const char* name, std::vector<VarArg> args) {
    StrScope scope;
    ErrCode e = arrayGet(N(name), args.data(), static_cast<std::uint16_t>(args.size()));
    if (e) return "<error " + std::to_string(e) + ">";
    return show(StrTop());
}

ErrCode getElementCode(const char* name, std::vector<VarArg> args) {
    StrScope scope;
    return arrayGet(N(name), args.data(), static_cast<std::uint16_t>(args.size()));
}

ErrCode setElement(const char* name, std::vector<VarArg> args, std::int64_t scaled) {
    StrScope scope;
    numPush(scaled);
    return arraySet(N(name), args.data(), static_cast<std::uint16_t>(args.size()), StrTop());
}

// ---- system variables -------------------------------------------------------

struct SysDef {
    const char* name;
    std::int16_t value;
};

const SysDef kIntegerSystemVariables[] = {
    {"_AUXSTAT", 0}, {"_RELRES", 0},  {"_CURFIL", 0}, {"_CUREDFLD", 0}, {"_DEVHIG", 24},   {"_DEVWID", 80},
    {"_DEVLIN", 0},  {"_DEVPOS", 0},  {"_DEVPAG", 0}, {"_CURROW", 0},   {"_STAT", 0},      {"_LASTKEY", 4},
    {"_SGN", 0},     {"_UPSTAT", 1},  {"_IER", 0},    {"_SYSCOMPAT", 0},{"_SQLSTK", 0},    {"_COUNT", 0},
    {"_HCOUNT", 0},  {"_ADMSTAT", 0}, {"_COMPAT", 0}, {"_SCRSTAT", 0},  {"_LMAX", 0},      {"_LNUM", 0},
    {"_LLST", 0},    {"_HNUM", 0},    {"_SAFE", 0},   {"_LB", 128},     {"_AUX", 0},       {"_KEYMAP", 0},
    {"_SERIAL", 0},  {"_TRACE", 1},   {"_PRECIS", 2}, {"_BYEAR", 2000}, {"_BKYEAR", 80},   {"_DX", 0},
    {"_INHND", 0},   {"_OUTHND", 0},  {"_DATE", 0},   {"_DOCST", 0},    {"_WMAXROW", 0},   {"_USER01", 0},
    {"_USER02", 0},  {"_USER03", 0},
};

TEST_F(VarStoreTest, SystemVariablesSitAtTheirPositionsWithTheirDefaults) {
    ASSERT_EQ(std::size(kIntegerSystemVariables), 44u);
    EXPECT_EQ(varCount(VarKind::INTEGER), 44);
    std::string list;
    for (std::uint16_t i = 0; i < 44; ++i) {
        const SysDef& d = kIntegerSystemVariables[i];
        VarRef r = varLookup(N(d.name));
        EXPECT_EQ(r.kind, VarKind::INTEGER) << d.name;
        EXPECT_EQ(r.pos, i) << d.name;
        EXPECT_EQ(sysGet(i), d.value) << d.name;
        EXPECT_EQ(num(d.name), d.value * 100) << d.name;
        list += (i ? "," : "") + std::string(d.name);
    }
    EXPECT_EQ(show(varNames(VarKind::INTEGER)), list);

    const char* strings[] = {"_ACUM$", "_ACUMX$", "_LTEXT$"};
    EXPECT_EQ(varCount(VarKind::STRING), 3);
    for (std::uint16_t i = 0; i < 3; ++i) {
        VarRef r = varLookup(N(strings[i]));
        EXPECT_EQ(r.kind, VarKind::STRING);
        EXPECT_EQ(r.pos, i);
        EXPECT_EQ(text(strings[i]), "");
    }
    EXPECT_EQ(varCount(VarKind::NUMBER), 0);
    EXPECT_EQ(varCount(VarKind::ARRAY), 0);

    // The typed accessors name the same positions.
    EXPECT_EQ(sysGet(SysVar::TRACE), 1);
    EXPECT_EQ(sysGet(SysVar::PRECIS), 2);
    EXPECT_EQ(sysGet(SysVar::BYEAR), 2000);
    ASSERT_EQ(setText("_LTEXT$", "last"), 0);
    EXPECT_EQ(show(strGet(SysStr::LTEXT)), "last");
}

TEST_F(VarStoreTest, PositionAccessReadsAndWritesTheSameSlotsAsNames) {
    ASSERT_EQ(sysSet(SysVar::DEVWID, 132), 0);
    EXPECT_EQ(num("_DEVWID"), 13200);
    ASSERT_EQ(setNum("_DEVHIG", 6600), 0);
    EXPECT_EQ(sysGet(SysVar::DEVHIG), 66);

    EXPECT_EQ(sysFlag(SysVar::AUXSTAT, 16, true), 1);
    EXPECT_EQ(sysFlag(SysVar::AUXSTAT, 4096, true), 1);
    EXPECT_EQ(sysGet(SysVar::AUXSTAT), 4096 + 16);
    EXPECT_EQ(sysTest(SysVar::AUXSTAT, 32 | 16), 1);
    EXPECT_EQ(sysFlag(SysVar::AUXSTAT, 16 | 32, false), 0);
    EXPECT_EQ(sysGet(SysVar::AUXSTAT), 4096);
    EXPECT_EQ(sysTest(SysVar::AUXSTAT, 16), 0);
    // Bit 15 is reachable too.
    EXPECT_EQ(sysFlag(SysVar::USER01, 0x8000, true), 1);
    EXPECT_EQ(sysGet(SysVar::USER01), -32768);

    // Positions beyond the store.
    EXPECT_EQ(sysGet(44), 0);
    EXPECT_EQ(sysSet(44, 1), err::DATAOUTBOUND);
    EXPECT_EQ(numSet(0, 5), err::DATAOUTBOUND);
    EXPECT_EQ(numGet(0), 0);
    EXPECT_EQ(strSet(3, N("x")), err::DATAOUTBOUND);
    EXPECT_EQ(show(strGet(3)), "");

    ASSERT_EQ(setNum("B#", 1), 0);
    ASSERT_EQ(numSet(static_cast<std::uint16_t>(varLookup(N("B#")).pos), 123456), 0);
    EXPECT_EQ(num("B#"), 123456);
    EXPECT_EQ(numGet(0), 123456);
}

TEST_F(VarStoreTest, ScaleFollowsPrecisionInSixteenBits) {
    const std::pair<std::int16_t, std::uint16_t> cases[] = {{0, 1}, {1, 10}, {2, 100}, {3, 1000}, {4, 10000},
                                                            {5, 34464}, {-1, 1}, {16, 1}, {40, 1}};
    for (auto [precis, scale] : cases) {
        sysSet(SysVar::PRECIS, precis);
        EXPECT_EQ(numScale(), scale) << precis;
    }
    // Integers are read through the scale; the raw slot does not change.
    sysSet(SysVar::PRECIS, 0);
    EXPECT_EQ(num("_DEVWID"), 80);
    sysSet(SysVar::PRECIS, 16);  // a wrapped scale of 0 must not divide by zero
    EXPECT_EQ(setNum("I", 7), 0);
    EXPECT_EQ(sysGet(static_cast<std::uint16_t>(varLookup(N("I")).pos)), 7);
}

// ---- names and kinds --------------------------------------------------------

TEST_F(VarStoreTest, KindComesFromTheFirstSpecialCharacterFound) {
    const std::pair<const char*, VarKind> cases[] = {
        {"A", VarKind::INTEGER},      {"MAXLINE%", VarKind::INTEGER}, {"_LB", VarKind::INTEGER},
        {"X#", VarKind::NUMBER},      {"S$", VarKind::STRING},        {"A$#", VarKind::STRING},
        {"A#$", VarKind::STRING},     {"M#(", VarKind::ARRAY},        {"N$(1)", VarKind::ARRAY},
        {"K(1,2)", VarKind::ARRAY},   {"a@b", VarKind::INVALID},      {"M(@", VarKind::INVALID},
        {"", VarKind::INVALID},       {"A,B", VarKind::INVALID},      {"A,B(1)", VarKind::INVALID},
    };
    for (auto [name, kind] : cases) EXPECT_EQ(varClassify(N(name)), kind) << name;
}

TEST_F(VarStoreTest, AbsentVariablesReadEmptyWithoutBeingCreated) {
    EXPECT_EQ(num("X#"), 0);
    EXPECT_EQ(text("X$"), "");
    EXPECT_EQ(num("X"), 0);
    EXPECT_EQ(varLookup(N("X#")).pos, -1);
    EXPECT_EQ(varLookup(N("X$")).pos, -1);
    EXPECT_EQ(varLookup(N("X")).pos, -1);
    EXPECT_EQ(varCount(VarKind::INTEGER), 44);
    EXPECT_EQ(varCount(VarKind::NUMBER), 0);
    EXPECT_EQ(varCount(VarKind::STRING), 3);
}

TEST_F(VarStoreTest, NamesOfDifferentKindsOrCaseAreDifferentVariables) {
    ASSERT_EQ(setNum("A%", 100), 0);
    ASSERT_EQ(setNum("A", 200), 0);
    ASSERT_EQ(setNum("A#", 350), 0);
    ASSERT_EQ(setText("A$", "text"), 0);
    ASSERT_EQ(setNum("a", 900), 0);
    EXPECT_EQ(num("A%"), 100);
    EXPECT_EQ(num("A"), 200);
    EXPECT_EQ(num("A#"), 350);
    EXPECT_EQ(text("A$"), "text");
    EXPECT_EQ(num("a"), 900);
    EXPECT_EQ(varLookup(N("A%")).pos, 44);
    EXPECT_EQ(varLookup(N("A")).pos, 45);
    EXPECT_EQ(varLookup(N("a")).pos, 46);
    EXPECT_EQ(varLookup(N("A#")).pos, 0);
    EXPECT_EQ(varLookup(N("A$")).pos, 3);
}

TEST_F(VarStoreTest, NameListsAndStringValuesLiveInTables12And13) {
    ASSERT_EQ(setNum("A%", 100), 0);
    ASSERT_EQ(setNum("B#", 250), 0);
    ASSERT_EQ(setNum("C#", 1), 0);
    ASSERT_EQ(setText("C$", "hello"), 0);
    ASSERT_EQ(getElementCode("M#", {n(3)}), 0);
    ASSERT_EQ(getElementCode("N$(", {t("ab"), n(2)}), 0);

    EXPECT_EQ(AreaCount(area::VARNAMES), 4);
    std::string ints = show(AreaGet(12, 0));
    EXPECT_EQ(ints.substr(0, 18), "_AUXSTAT,_RELRES,_");
    EXPECT_EQ(ints.substr(ints.size() - 11), ",_USER03,A%");
    EXPECT_EQ(show(AreaGet(12, 1)), "B#,C#");
    EXPECT_EQ(show(AreaGet(12, 2)), "_ACUM$,_ACUMX$,_LTEXT$,C$");
    EXPECT_EQ(show(AreaGet(12, 3)), "M#(,N$(");
    EXPECT_EQ(AreaCount(area::VARVALUES), 4);
    EXPECT_EQ(show(AreaGet(13, 3)), "hello");
    ASSERT_EQ(setText("_ACUMX$", "TOTAL,TAX"), 0);
    EXPECT_EQ(show(AreaGet(13, 1)), "TOTAL,TAX");
    // Other tables are not touched.
    EXPECT_EQ(AreaCount(11), 0);
    EXPECT_EQ(AreaCount(14), 0);
}

TEST_F(VarStoreTest, ManyVariablesStayReachableAcrossIndexGrowth) {
    for (int i = 0; i < 600; ++i) {
        std::string name = "V" + std::to_string(i) + "#";
        ASSERT_EQ(setNum(name.c_str(), i), 0) << name;
    }
    for (int i = 0; i < 600; ++i) {
        std::string name = "V" + std::to_string(i) + "#";
        ASSERT_EQ(varLookup(N(name.c_str())).pos, i);
        ASSERT_EQ(num(name.c_str()), i);
    }
    EXPECT_EQ(varLookup(N("V600#")).pos, -1);
    EXPECT_EQ(varLookup(N("V1")).pos, -1);  // same letters, other kind
}

// ---- assignment -------------------------------------------------------------

TEST_F(VarStoreTest, IntegerAssignmentRoundsHalfAwayAndKeepsTheLow16Bits) {
    const std::pair<std::int64_t, std::int16_t> cases[] = {
        {4000000, -25536}, {250, 3}, {-250, -3}, {249, 2}, {-249, -2}, {150, 2}, {6553700, 1}, {-3276900, 32767}, {-3276800, -32768},
    };
    for (auto [scaled, stored] : cases) {
        ASSERT_EQ(setNum("I%", scaled), 0);
        EXPECT_EQ(sysGet(static_cast<std::uint16_t>(varLookup(N("I%")).pos)), stored) << scaled;
        EXPECT_EQ(num("I%"), stored * 100) << scaled;
    }
    ASSERT_EQ(varSetInteger(N("T#"), -7), 0);
    EXPECT_EQ(num("T#"), -700);
    ASSERT_EQ(varSetInteger(N("table"), 12), 0);
    EXPECT_EQ(num("table"), 1200);
    EXPECT_EQ(StrMark(), 0);
}

TEST_F(VarStoreTest, WrongKindsAndBadNamesFailWithoutChangingTheStore) {
    ErrorRecordClear();
    StrMarkT m = StrMark();
    StrPush(StrView("abc"));
    EXPECT_EQ(varSet(N("A#")), err::SINTAXERROR);
    EXPECT_EQ(StrMark(), m + 1);  // the value stays for the caller
    EXPECT_EQ(show(StrTop()), "abc");
    EXPECT_EQ(varSet(N("A")), err::SINTAXERROR);
    EXPECT_EQ(varSet(N("x@y$")), err::SINTAXERROR);
    EXPECT_EQ(varSet(N("")), err::SINTAXERROR);
    EXPECT_EQ(varSet(N("A,B$")), err::SINTAXERROR);
    StrRelease(m);
    EXPECT_EQ(ErrorRecordCode(), err::SINTAXERROR);
    EXPECT_EQ(ErrorRecordContext(), ctx::VARNMASSIGN);
    EXPECT_EQ(varLookup(N("A#")).pos, -1);
    EXPECT_EQ(varLookup(N("A")).pos, -1);
    EXPECT_EQ(varCount(VarKind::STRING), 3);

    EXPECT_EQ(varGet(N("@")), err::SINTAXERROR);
    EXPECT_EQ(varGet(N("")), err::SINTAXERROR);
    EXPECT_EQ(varGet(StrErrorValue(159)), 159);
    EXPECT_EQ(varSetInteger(N("S$"), 5), err::SINTAXERROR);
    EXPECT_EQ(StrMark(), m);
}

TEST_F(VarStoreTest, StringConstantsAreReadOnly) {
    EXPECT_EQ(text(".lf$"), "\r\n");
    EXPECT_EQ(text(".tab$"), "\t");
    EXPECT_EQ(text(".pchr$"), "\\");
    EXPECT_EQ(text(".null$"), "");
    ASSERT_EQ(setText(".lf$", "changed"), 0);
    EXPECT_EQ(text(".lf$"), "\r\n");
    EXPECT_EQ(varLookup(N(".lf$")).pos, 3);  // an ordinary string variable now exists
    EXPECT_EQ(text(".LF$"), "");              // names compare exactly
    EXPECT_EQ(text(".lfx$"), "");
}

TEST_F(VarStoreTest, StringValuesKeepEveryByte) {
    std::string bytes("a\0b,\xff", 5);
    ASSERT_EQ(setText("S$", bytes), 0);
    EXPECT_EQ(text("S$"), bytes);
    ASSERT_EQ(setText("S$", ""), 0);
    EXPECT_EQ(text("S$"), "");
    std::string big(20000, 'q');
    ASSERT_EQ(setText("S$", big), 0);
    EXPECT_EQ(text("S$"), big);
}

TEST_F(VarStoreTest, AssignTextConvertsByTheTargetKind) {
    struct Case {
        const char* name;
        const char* text;
        bool raw;
        std::int64_t scaled;
    };
    const Case cases[] = {
        {"P#", " 0012.50 ", false, 1250}, {"P#", "12-3", false, 1200},  {"P#", "-12", false, -1200},
        {"P#", "1.005", false, 101},      {"P#", "-1.005", false, -101}, {"P#", "1.004", false, 100},
        {"P#", "2D2", false, 20000},      {"P#", "abc", false, 0},       {"P#", "12abc", true, 1200},
        {"P#", "", false, 0},             {"I", "2.5", false, 300},      {"I", "-2.5", false, -300},
        {"I", "40000", false, -2553600},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(varAssignText(N(c.name), N(c.text), c.raw), 0) << c.text;
        EXPECT_EQ(num(c.name), c.scaled) << c.name << " = '" << c.text << "'";
    }
    ASSERT_EQ(varAssignText(N("S$"), N(" 12 x "), false), 0);
    EXPECT_EQ(text("S$"), " 12 x ");
    sysSet(SysVar::PRECIS, 3);
    ASSERT_EQ(varAssignText(N("P#"), N("1.0005"), false), 0);
    EXPECT_EQ(num("P#"), 1001);
    sysSet(SysVar::PRECIS, 2);

    // Array elements go through the array path.
    ASSERT_EQ(getElementCode("M#", {n(3)}), 0);
    ASSERT_EQ(varAssignText(N("M#(2)"), N("3.25"), false), 0);
    EXPECT_EQ(element("M#", {n(2)}), 325);
    EXPECT_EQ(varAssignText(N("Q#(2)"), N("1"), false), err::DIMSTRUCERROR);
    EXPECT_EQ(StrMark(), 0);
}

TEST_F(VarStoreTest, AssignTextCleansWithTheLocaleDecimalSeparator) {
    std::string env = std::string(",.'0123456789,-D',' NY','  ,NO,YES'") + '\0' + "months" + '\0' + ' ';
    ASSERT_EQ(AreaSet(area::ENV, 0, StrView(env)), 0);
    numLocaleInit(AreaGet(area::ENV, 0));  // as start-up does after building entry 0
    ASSERT_EQ(varAssignText(N("P#"), N("0,75"), false), 0);
    EXPECT_EQ(num("P#"), 75);
    ASSERT_EQ(varAssignText(N("P#"), N("1.5"), false), 0);  // '.' is always kept
    EXPECT_EQ(num("P#"), 150);
    numLocaleInit();
}

// ---- store exhaustion -------------------------------------------------------

TEST_F(VarStoreTest, AFullStringAreaRefusesNewNamesWith157) {
    ASSERT_EQ(setNum("OLD#", 5), 0);
    ASSERT_EQ(setText("OLD$", "abc"), 0);
    // Fill the text of the area, leaving less than a name's room.
    AreaStats s = AreaInfo();
    std::string filler(s.bytesMax - s.bytesUsed - 3, 'f');
    ASSERT_EQ(AreaSet(20, 0, StrView(filler)), 0);
    StrDesc before = AreaGet(12, 1);
    std::string numbersBefore = show(before);
    ErrorRecordClear();

    EXPECT_EQ(setNum("NEWVARIABLE#", 1), err::VARNAMEERROR);
    EXPECT_EQ(setText("NEWVARIABLE$", "x"), err::VARNAMEERROR);
    EXPECT_EQ(setNum("NEWVARIABLE", 100), err::VARNAMEERROR);
    EXPECT_EQ(getElementCode("NEWARRAY#", {n(3)}), err::VARNAMEERROR);
    EXPECT_EQ(ErrorRecordCode(), err::LOADSTRERROR);  // the area's own record comes first
    EXPECT_EQ(varLookup(N("NEWVARIABLE#")).pos, -1);
    EXPECT_EQ(varLookup(N("NEWVARIABLE$")).pos, -1);
    EXPECT_EQ(varLookup(N("NEWVARIABLE")).pos, -1);
    EXPECT_EQ(varLookup(N("NEWARRAY#(")).pos, -1);
    EXPECT_EQ(show(AreaGet(12, 1)), numbersBefore);
    EXPECT_EQ(varCount(VarKind::NUMBER), 1);
    EXPECT_EQ(varCount(VarKind::STRING), 4);
    EXPECT_EQ(AreaCount(area::VARVALUES), 4);

    // Existing variables still take values; a string that does not fit is refused.
    EXPECT_EQ(setNum("OLD#", 700), 0);
    EXPECT_EQ(num("OLD#"), 700);
    EXPECT_EQ(setText("OLD$", "abcdefgh"), err::STROUTBOUND);
    EXPECT_EQ(text("OLD$"), "abc");

    // Room again: creation works and positions continue where they were.
    ASSERT_EQ(AreaSet(20, 0, StrView("")), 0);
    ASSERT_EQ(setNum("NEWVARIABLE#", 1), 0);
    EXPECT_EQ(varLookup(N("NEWVARIABLE#")).pos, 1);
    EXPECT_EQ(show(AreaGet(12, 1)), "OLD#,NEWVARIABLE#");
}

TEST_F(VarStoreTest, ArraysFailWith176WhenTheirElementsCannotBeHad) {
    std::vector<char*> taken;
    while (char* p = MemAllocPtr(99, 16)) taken.push_back(p);
    EXPECT_EQ(getElementCode("BIG#", {n(999)}), err::STRUCTMEMERROR);
    EXPECT_EQ(varLookup(N("BIG#(")).pos, -1);
    for (char* p : taken) MemFree(99, p);
    EXPECT_EQ(getElementCode("HUGE#", {n(99999), n(999)}), err::STRUCTMEMERROR);  // beyond 64 MB
    EXPECT_EQ(getElementCode("BIG#", {n(999)}), 0);
}

// ---- arrays -----------------------------------------------------------------

TEST_F(VarStoreTest, NumberArrayIsRowMajorAndChecksOnlyTheFlatPosition) {
    EXPECT_EQ(element("M#", {n(3), n(4)}), 0);  // first read creates 4 x 5 zeros
    ArrayShape s{};
    ASSERT_EQ(arrayShape(N("M#("), s), 0);
    EXPECT_EQ(s.elemKind, VarKind::NUMBER);
    EXPECT_EQ(s.dims, 2);
    EXPECT_EQ(s.extents[0], 4u);
    EXPECT_EQ(s.extents[1], 5u);
    EXPECT_EQ(s.count, 20u);
    EXPECT_EQ(s.width, 8);

    ASSERT_EQ(setElement("M#", {n(1), n(2)}, 750), 0);
    EXPECT_EQ(element("M#", {n(0), n(7)}), 750);  // flat position 7 is (1;2)
    ASSERT_EQ(setElement("M#", {n(3), n(4)}, -1), 0);
    EXPECT_EQ(element("M#", {n(19)}), -1);  // one index fills the last dimension
    EXPECT_EQ(getElementCode("M#", {n(4), n(0)}), err::DATAOUTBOUND);
    EXPECT_EQ(getElementCode("M#", {n(0), n(-1)}), err::DATAOUTBOUND);
    EXPECT_EQ(getElementCode("M#", {n(0), n(20)}), err::DATAOUTBOUND);
    EXPECT_EQ(getElementCode("M#", {n(0), n(0), n(0)}), err::DIMSTRUCERROR);
    VarArg huge;
    huge.num = INT64_MAX;
    EXPECT_EQ(getElementCode("M#", {huge, huge}), err::DATAOUTBOUND);
    EXPECT_EQ(setElement("M#", {n(20)}, 1), err::DATAOUTBOUND);
    // Index arguments are numbers: their integer part counts.
    VarArg frac;
    frac.num = 199;  // 1.99
    EXPECT_EQ(element("M#", {n(0), frac}), 0);
    EXPECT_EQ(element("M#", {n(1), {false, 299, N("")}}), 750);
}

TEST_F(VarStoreTest, StringArrayTakesWidthAndContentFromItsLeadingString) {
    EXPECT_EQ(textElement("N$", {t("ABC"), n(9)}), "ABC");
    ArrayShape s{};
    ASSERT_EQ(arrayShape(N("N$"), s), 0);
    EXPECT_EQ(s.count, 10u);
    EXPECT_EQ(s.width, 3);
    EXPECT_EQ(textElement("N$", {n(9)}), "ABC");
    {
        StrScope scope;
        std::vector<VarArg> at2 = {n(2)};
        ASSERT_EQ(arraySet(N("N$"), at2.data(), 1, N("X")), 0);
        ASSERT_EQ(arraySet(N("N$"), std::vector<VarArg>{n(3)}.data(), 1, N("LONGER")), 0);
    }
    EXPECT_EQ(textElement("N$", {n(2)}), "XBC");
    EXPECT_EQ(textElement("N$", {n(3)}), "LON");
    EXPECT_EQ(textElement("N$", {n(1)}), "ABC");
    EXPECT_EQ(textElement("N$", {n(10)}), "<error 168>");
    // Numbers do not go into string elements and strings not into number elements.
    {
        StrScope scope;
        numPush(100);
        EXPECT_EQ(arraySet(N("N$"), std::vector<VarArg>{n(1)}.data(), 1, StrTop()), 0);  // 8 bytes cut to 3
        EXPECT_EQ(arraySet(N("M#"), std::vector<VarArg>{n(1)}.data(), 1, N("abc")), err::DIMSTRUCERROR);
        element("K#", {n(3)});
        EXPECT_EQ(arraySet(N("K#"), std::vector<VarArg>{n(1)}.data(), 1, N("abc")), err::SINTAXERROR);
    }
}

TEST_F(VarStoreTest, ArrayCreationErrors) {
    struct Case {
        const char* name;
        std::vector<VarArg> args;
        ErrCode code;
    };
    const Case cases[] = {
        {"Q$", {n(9)}, err::SINTAXERROR},                          // string array without its string
        {"Q$", {t(""), n(9)}, err::SINTAXERROR},                   // width 0
        {"Q$", {n(1), t("AB"), n(9)}, err::SINTAXERROR},           // the string must lead
        {"Q$", {t("AB")}, err::SINTAXERROR},                       // one element
        {"Q#", {n(0)}, err::SINTAXERROR},                          // one element
        {"Q#", {n(0), n(0), n(0), n(0)}, err::SINTAXERROR},        // one element
        {"Q#", {n(-1), n(5)}, err::SINTAXERROR},                   // no elements
        {"Q#", {t("AB"), n(5)}, err::SINTAXERROR},                 // strings only lead string arrays
        {"Q#", {n(1), n(1), n(1), n(1), n(1)}, err::DIMSTRUCERROR},
        {"Q#", {}, err::DIMSTRUCERROR},
        {"Q@#", {n(5)}, err::SINTAXERROR},                         // element kind invalid
        {"", {n(5)}, err::SINTAXERROR},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(getElementCode(c.name, c.args), c.code) << c.name << " with " << c.args.size() << " arguments";
    }
    EXPECT_EQ(varCount(VarKind::ARRAY), 0);
    EXPECT_EQ(setElement("NONE#", {n(1)}, 5), err::DIMSTRUCERROR);
    {
        StrScope scope;
        EXPECT_EQ(arrayFill(N("NONE#"), 0, 0, N("x")), err::DIMSTRUCERROR);
    }
    ArrayShape s{};
    EXPECT_EQ(arrayShape(N("NONE#"), s), err::DIMSTRUCERROR);
    EXPECT_EQ(varCount(VarKind::ARRAY), 0);
}

TEST_F(VarStoreTest, FourDimensionalIntegerArrayTruncatesAssignedNumbers) {
    EXPECT_EQ(element("K", {n(2), n(2), n(2), n(2)}), 0);
    ArrayShape s{};
    ASSERT_EQ(arrayShape(N("K("), s), 0);
    EXPECT_EQ(s.count, 81u);
    EXPECT_EQ(s.width, 2);
    ASSERT_EQ(setElement("K", {n(1), n(1), n(1), n(1)}, 299), 0);  // 2.99 -> 2, not rounded
    EXPECT_EQ(element("K", {n(0), n(0), n(0), n(40)}), 200);      // 27 + 9 + 3 + 1
    ASSERT_EQ(setElement("K", {n(2), n(2), n(2), n(2)}, -299), 0);
    EXPECT_EQ(element("K", {n(80)}), -200);
    ASSERT_EQ(setElement("K", {n(0)}, 4000099), 0);  // 40000.99 keeps its low 16 bits
    EXPECT_EQ(element("K", {n(0)}), -2553600);
    EXPECT_EQ(getElementCode("K", {n(0), n(0), n(0), n(81)}), err::DATAOUTBOUND);
    EXPECT_EQ(getElementCode("K", {n(0), n(0), n(0), n(0), n(0)}), err::DIMSTRUCERROR);
}

TEST_F(VarStoreTest, FillWritesARangeOfFlatPositions) {
    EXPECT_EQ(element("_#(", {n(10)}), 0);
    {
        StrScope scope;
        numPush(150);
        ASSERT_EQ(arrayFill(N("_#("), 3, 6, StrTop()), 0);
    }
    std::vector<std::int64_t> got;
    for (int i = 0; i < 11; ++i) got.push_back(element("_#", {n(i)}));
    EXPECT_EQ(got, (std::vector<std::int64_t>{0, 0, 0, 150, 150, 150, 0, 0, 0, 0, 0}));
    {
        StrScope scope;
        numPush(-5);
        ASSERT_EQ(arrayFill(N("_#("), 9, 0, StrTop()), 0);  // 0: to the end
        ASSERT_EQ(arrayFill(N("_#("), 20, 30, StrTop()), 0);  // beyond: nothing
        EXPECT_EQ(arrayFill(N("_#("), 0, 0, N("text")), err::SINTAXERROR);
    }
    EXPECT_EQ(element("_#", {n(8)}), 0);
    EXPECT_EQ(element("_#", {n(9)}), -5);
    EXPECT_EQ(element("_#", {n(10)}), -5);
}

TEST_F(VarStoreTest, ElementReferencesInNamesWorkThroughGetAndSet) {
    EXPECT_EQ(num("M#(3;4)"), 0);
    ASSERT_EQ(setNum("M#(1,2)", 425), 0);
    EXPECT_EQ(num("M#(0;7)"), 425);
    EXPECT_EQ(text("N$('ABC';9)"), "ABC");
    ASSERT_EQ(setText("N$(2)", "X"), 0);
    EXPECT_EQ(text("N$( 2 )"), "XBC");
    EXPECT_EQ(text("Q$(9)"), "<error 147>");
    EXPECT_EQ(text("M#(4;0)"), "<error 168>");
    EXPECT_EQ(text("M#(1;2"), "<error 147>");
    EXPECT_EQ(text("M#("), "<error 149>");
    EXPECT_EQ(text("M#(1;1;1;1;1)"), "<error 149>");
    EXPECT_EQ(setNum("Z#(1)", 1), err::DIMSTRUCERROR);
    EXPECT_EQ(ErrorRecordContext(), ctx::VarStruct);
    EXPECT_EQ(varLookup(N("M#(0;7)")).pos, 0);
    EXPECT_EQ(varLookup(N("N$(")).pos, 1);
}

// ---- snapshots --------------------------------------------------------------

TEST_F(VarStoreTest, RestoreDropsNewVariablesAndKeepsNewValuesOfOldOnes) {
    ASSERT_EQ(setNum("KEEP#", 100), 0);
    ASSERT_EQ(setText("KEEP$", "before"), 0);
    ASSERT_EQ(setNum("KEEP", 100), 0);
    ASSERT_EQ(element("OLD#", {n(4)}), 0);
    ASSERT_EQ(setElement("OLD#", {n(4)}, 44), 0);
    std::string lists[4];
    for (int k = 0; k < 4; ++k) lists[k] = show(AreaGet(12, static_cast<std::uint16_t>(k)));

    VarMark mark = varSnapshot();
    ASSERT_EQ(setText("T$", "temporary"), 0);
    ASSERT_EQ(setNum("T#", 5), 0);
    ASSERT_EQ(setNum("T", 500), 0);
    ASSERT_EQ(element("TA#", {n(9)}), 0);
    ASSERT_EQ(setElement("TA#", {n(5)}, 12), 0);
    ASSERT_EQ(setNum("KEEP#", 200), 0);
    ASSERT_EQ(setText("KEEP$", "after"), 0);
    ASSERT_EQ(setElement("OLD#", {n(4)}, 45), 0);

    ASSERT_EQ(varRestore(mark), 0);
    for (const char* gone : {"T$", "T#", "T", "TA#("}) EXPECT_EQ(varLookup(N(gone)).pos, -1) << gone;
    EXPECT_EQ(text("T$"), "");
    EXPECT_EQ(num("T#"), 0);
    EXPECT_EQ(num("KEEP#"), 200);
    EXPECT_EQ(text("KEEP$"), "after");
    EXPECT_EQ(element("OLD#", {n(4)}), 45);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(show(AreaGet(12, static_cast<std::uint16_t>(k))), lists[k]);
    EXPECT_EQ(show(AreaGet(13, 4)), "");  // the value entry of T$ is emptied
    EXPECT_EQ(varCount(VarKind::STRING), 4);
    EXPECT_EQ(varCount(VarKind::ARRAY), 1);

    // New variables take the freed positions, and a re-created array starts afresh.
    ASSERT_EQ(setText("U$", "u"), 0);
    EXPECT_EQ(varLookup(N("U$")).pos, 4);
    EXPECT_EQ(element("TA#", {n(5)}), 0);
    EXPECT_EQ(varLookup(N("TA#(")).pos, 1);
    EXPECT_EQ(element("OLD#", {n(4)}), 45);
}

TEST_F(VarStoreTest, NestedScopesRestoreInOrderAndAStaleMarkIsRefused) {
    VarMark outer = varSnapshot();
    ASSERT_EQ(setNum("A#", 1), 0);
    VarMark inner = varSnapshot();
    for (int i = 0; i < 200; ++i) {  // enough to regrow the index inside the scope
        std::string name = "L" + std::to_string(i);
        ASSERT_EQ(setNum(name.c_str(), i * 100), 0);
    }
    ASSERT_EQ(varRestore(inner), 0);
    EXPECT_EQ(varLookup(N("A#")).pos, 0);
    EXPECT_EQ(varLookup(N("L0")).pos, -1);
    EXPECT_EQ(varLookup(N("L199")).pos, -1);
    EXPECT_EQ(varLookup(N("_USER03")).pos, 43);
    ASSERT_EQ(varRestore(outer), 0);
    EXPECT_EQ(varLookup(N("A#")).pos, -1);

    ErrorRecordClear();
    std::string ints = show(AreaGet(12, 0));
    EXPECT_EQ(varRestore(inner), err::INTERNALERROR);  // the lists are now shorter than that mark
    EXPECT_EQ(ErrorRecordCode(), err::INTERNALERROR);
    EXPECT_EQ(show(AreaGet(12, 0)), ints);
    EXPECT_EQ(varCount(VarKind::INTEGER), 44);
    ASSERT_EQ(setNum("L5", 500), 0);
    EXPECT_EQ(num("L5"), 500);
}

// ---- hooks and descriptors --------------------------------------------------

std::string g_hookSeen;
std::string g_hookValue;

ErrCode fieldResolver(StrDesc name, std::uint16_t mode, void*) {
    g_hookSeen += name.str() + ":" + std::to_string(mode) + " ";
    if (name.view() == "_BAD") return err::SCREENSTRUCTERR;
    if (name.view() != "_CUSTNAME$") return err::BADINPUTDATA;
    if (mode == 1) return StrPush(StrView("field text"));
    g_hookValue = StrTop().str();
    return 0;
}

ErrCode otherHook(StrDesc, std::uint16_t mode, void*) { return static_cast<ErrCode>(mode + 1); }

TEST_F(VarStoreTest, HookTableHas25Slots) {
    HostHook previous = otherHook;
    EXPECT_EQ(hookSet(hook::SQLPROGRESS, otherHook, &previous), 0);
    EXPECT_EQ(previous, nullptr);
    EXPECT_EQ(hookGet(23), otherHook);
    EXPECT_EQ(hookCall(23, N(""), 2, nullptr), 3);
    EXPECT_EQ(hookSet(24, otherHook), 0);
    EXPECT_EQ(hookSet(25, otherHook), err::DATAOUTBOUND);
    EXPECT_EQ(hookGet(25), nullptr);
    EXPECT_EQ(hookCall(25, N(""), 0, nullptr), err::NOTFOUND);
    EXPECT_EQ(hookCall(hook::SCRIPT, N("x"), 0, nullptr), err::NOTFOUND);
    EXPECT_EQ(hookSet(23, nullptr, &previous), 0);
    EXPECT_EQ(previous, otherHook);
    EXPECT_EQ(hookGet(23), nullptr);
    // A new store starts with an empty table.
    ASSERT_EQ(varInit(), 0);
    EXPECT_EQ(hookGet(24), nullptr);
}

TEST_F(VarStoreTest, UnderscoreNamesAreOfferedToTheFieldResolverFirst) {
    g_hookSeen.clear();
    g_hookValue.clear();
    ASSERT_EQ(hookSet(hook::FIELDS, fieldResolver), 0);
    EXPECT_EQ(text("_CUSTNAME$"), "field text");
    ASSERT_EQ(setText("_CUSTNAME$", "new name"), 0);
    EXPECT_EQ(g_hookValue, "new name");
    EXPECT_EQ(varLookup(N("_CUSTNAME$")).pos, -1);  // the field took it, not the store
    // Names the resolver does not know reach the store.
    EXPECT_EQ(num("_PRECIS"), 200);
    ASSERT_EQ(setNum("_OTHER#", 300), 0);
    EXPECT_EQ(num("_OTHER#"), 300);
    // Its errors are the result.
    EXPECT_EQ(text("_BAD"), "<error 177>");
    EXPECT_EQ(setNum("_BAD", 1), err::SCREENSTRUCTERR);
    // Names without '_' never reach it.
    ASSERT_EQ(setNum("PLAIN#", 1), 0);
    EXPECT_EQ(g_hookSeen, "_CUSTNAME$:1 _CUSTNAME$:5 _PRECIS:1 _OTHER#:5 _OTHER#:1 _BAD:1 _BAD:5 ");
}

TEST_F(VarStoreTest, ScreenValueDescriptorsComeFromUnderscoreVVariables) {
    ASSERT_EQ(setText("_V3$", "N12"), 0);
    ASSERT_EQ(setText("_V12$", "A"), 0);
    ASSERT_EQ(setText("_V0$", ""), 0);
    char letter = 0;
    std::int32_t number = -1;
    ASSERT_EQ(varValueDesc(3, letter, number), 0);
    EXPECT_EQ(letter, 'N');
    EXPECT_EQ(number, 12);
    ASSERT_EQ(varValueDesc(12, letter, number), 0);
    EXPECT_EQ(letter, 'A');
    EXPECT_EQ(number, 0);
    EXPECT_EQ(varValueDesc(4, letter, number), err::VARSCREENFIELD);
    EXPECT_EQ(varValueDesc(0, letter, number), err::VARSCREENFIELD);
}

// ---- lifecycle --------------------------------------------------------------

TEST_F(VarStoreTest, ShutdownGivesEveryBlockBack) {
    ASSERT_EQ(element("M#", {n(500)}), 0);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(setNum(("W" + std::to_string(i) + "#").c_str(), i), 0);
    EXPECT_EQ(CoreShutdown(), tag::VALUEARRAYS);  // refused while the store holds blocks
    varShutdown();
    EXPECT_EQ(varCount(VarKind::INTEGER), 0);
    EXPECT_EQ(sysGet(SysVar::PRECIS), 0);
    EXPECT_EQ(numScale(), 1);
    EXPECT_EQ(AreaCount(area::VARNAMES), 0);
    EXPECT_EQ(CoreShutdown(), 0);
    ASSERT_EQ(CoreInit(), 0);
}

TEST_F(VarStoreTest, InitFailsWith176WhenTheValueArraysCannotBeHad) {
    varShutdown();
    std::vector<char*> taken;
    while (char* p = MemAllocPtr(99, 16)) taken.push_back(p);
    for (int i = 0; i < 20; ++i) {  // 20 free slots: fewer than the 24 arrays need
        MemFree(99, taken.back());
        taken.pop_back();
    }
    EXPECT_EQ(varInit(), err::STRUCTMEMERROR);
    int freeSlots = 0;
    for (std::uint16_t h = 0; h < MemSlotCount(); ++h) {
        MemSlot s;
        MemResolve(h, s);
        freeSlots += s.ptr == nullptr;
    }
    EXPECT_EQ(freeSlots, 20);  // nothing kept
    for (char* p : taken) MemFree(99, p);
    ASSERT_EQ(varInit(), 0);
    EXPECT_EQ(sysGet(SysVar::LB), 128);
}

}  // namespace
