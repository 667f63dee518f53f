// Field values and references without a server: the storage rules of
// setField, the language's view of a field, references 'FIELD{FILE}' read
// and assigned through the evaluator, key fields, record copies, control
// blocks of bad file numbers, and file sets defined by scripts.
#include "tests/datafile/df_fixture.h"

#include "core/log.h"
#include "datafile/filesets.h"

using namespace rt;
using namespace dftest;
using testsupport::show;

namespace {

class Fields : public DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        // clients: CODE A4, NAME A6, CITY A5, AMOUNT 2 (7 wide), BORN D8;
        // key 1 CODE; key 2 CITY + CODE.
        t_ = define("clients", {{"CODE", 4, 'A'}, {"NAME", 6, 'A'}, {"CITY", 5, 'A'}, {"AMOUNT", 7, '2'}, {"BORN", 8, 'D'}},
                    {{{0, 4}}, {{10, 5}, {0, 4}}});
        ASSERT_EQ(openFile(t_, 0), 0);
        setCurrentFile(t_);
    }
    std::uint16_t t_ = 0;
};

TEST_F(Fields, SetFieldMakesTheTextFitForStorage) {
    std::uint16_t t = define("kinds", {{"T", 5, 'A'}, {"N", 5, 'N'}, {"D2", 8, '2'}, {"D1", 4, '1'}, {"DT", 8, 'D'},
                                       {"D6", 6, 'D'}, {"L", 1, 'L'}, {"V", 3, 'V'}},
                             {});
    ASSERT_EQ(openFile(t, 0), 0);
    struct Case {
        std::uint16_t field;
        const char* text;
        ErrCode code;
        const char* stored;
    } cases[] = {
        {1, "ab", 0, "ab   "},        {1, "abcdefg", 0, "abcde"},  {2, "42", 0, "   42"},
        {2, " -7 ", 0, "   -7"},      {2, "123456", 168, "   -7"}, {3, "12.5", 0, "   12.50"},
        {3, "3", 0, "    3.00"},      {3, "-0.456", 0, "   -0.46"}, {3, "", 0, "        "},
        {3, "1234567.891", 0, " 1234568"}, {3, "0.50", 0, "    0.50"}, {3, "-3.10", 0, "   -3.10"},
        {3, "-0.00", 0, "    0.00"}, {3, "00012.50", 0, "   12.50"}, {3, "-.5", 0, "   -0.50"}, {4, "7.25", 0, " 7.3"}, {4, "12345", 168, " 7.3"},
        {5, "20240517", 0, "20240517"}, {6, "20240517", 0, "240517"}, {7, "1", 0, "1"},
        {8, "abc", 0, "   "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(setField(t, c.field, StrView(c.text)), c.code) << c.field << " " << c.text;
        EXPECT_EQ(show(fieldText(t, c.field, copy::WORKING)), c.stored) << c.field << " " << c.text;
    }
    EXPECT_EQ(ErrorRecordCode(), err::DATAOUTBOUND);
    EXPECT_EQ(ErrorRecordContext(), ctx::DataFile);
    // Only the working copy changes.
    EXPECT_EQ(show(recordCopy(t, copy::ASREAD)), std::string(40, ' '));
}

TEST_F(Fields, SixCharacterDatesAndCodedIntegersAsTheLanguageSeesThem) {
    std::uint16_t t = define("old", {{"WHEN", 6, 'F'}, {"COUNT", 6, 'N'}}, {});
    ASSERT_EQ(openFile(t, 0), 0);
    sysFlag(SysVar::COMPAT, 4, true);
    struct Case {
        const char* date;
        const char* stored;
        const char* value;
    } cases[] = {
        {"19990517", "99 517", "19990517"}, {"20140517", "B4 517", "20140517"},
        {"20991231", "J91231", "20991231"}, {"", "      ", "        "},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(setField(t, 1, StrView(c.date)), 0) << c.date;
        EXPECT_EQ(show(fieldText(t, 1, copy::WORKING)), c.stored);
        EXPECT_EQ(field(t, 1), c.value);
    }
    EXPECT_EQ(setField(t, 1, StrView("18991231")), err::DATAOUTBOUND);
    EXPECT_EQ(show(fieldText(t, 1, copy::WORKING)), "      ");
    sysFlag(SysVar::COMPAT, 4, false);
    ASSERT_EQ(setField(t, 1, StrView("20140517")), 0);
    EXPECT_EQ(show(fieldText(t, 1, copy::WORKING)), "140517");

    // An N field holding "D<integer>": the integer combined with 10 by exclusive-or.
    ASSERT_EQ(setRecordCopy(t, copy::WORKING, StrView("      D5    ")), 0);
    EXPECT_EQ(field(t, 2), "15");
    ASSERT_EQ(setRecordCopy(t, copy::WORKING, StrView("      D10   ")), 0);
    EXPECT_EQ(field(t, 2), "0");
    EXPECT_EQ(eval("COUNT{old}+1"), "1");
}

TEST_F(Fields, ReferencesNameTheFileAndTheFieldByNameOrNumber) {
    std::uint16_t other = define("towns", {{"ID", 3, 'N'}, {"CITY", 5, 'A'}}, {});
    ASSERT_EQ(openFile(other, 0), 0);
    set(t_, 3, "ROMA");
    set(other, 2, "LIMA");
    struct Case {
        const char* ref;
        ErrCode code;
        std::uint16_t file, field;
        char type;
    } cases[] = {
        {"CITY{}", 0, 1, 3, 'A'},      {"3{CLIENTS}", 0, 1, 3, 'A'},  {"CITY{towns}", 0, 2, 2, 'A'},
        {"city{2}", 0, 2, 2, 'A'},     {"4{1}", 0, 1, 4, '2'},       {"CITY{3}", 161, 0, 0, 0},
        {"CITY{nowhere}", 161, 0, 0, 0}, {"TOWN{clients}", 168, 0, 0, 0}, {"9{clients}", 168, 0, 0, 0},
        {"0{clients}", 168, 0, 0, 0},   {"CITY", 147, 0, 0, 0},
    };
    for (const Case& c : cases) {
        FieldRef r;
        EXPECT_EQ(fieldRefer(StrView(c.ref), r), c.code) << c.ref;
        if (c.code) continue;
        EXPECT_EQ(r.file, c.file) << c.ref;
        EXPECT_EQ(r.field, c.field) << c.ref;
        EXPECT_EQ(r.type, c.type) << c.ref;
    }
    FieldRef r;
    ErrorRecordClear();
    EXPECT_EQ(fieldRefer(StrView("TOWN{clients}"), r), err::DATAOUTBOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "Field:TOWN{clients}");
    EXPECT_EQ(fieldRefer(StrView("9{clients}"), r), err::DATAOUTBOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "(File:1, Field:9)");
    // The current file decides what an empty file part means, also for a
    // reference met before.
    EXPECT_EQ(eval("CITY{}"), "ROMA ");
    setCurrentFile(other);
    EXPECT_EQ(eval("CITY{}"), "LIMA ");
    setCurrentFile(0);  // not a file: ignored
    EXPECT_EQ(currentFile(), other);
    EXPECT_EQ(eval("CITY{9}"), "<error 161>");
}

TEST_F(Fields, TheEvaluatorReadsAndAssignsFieldsOfTheWorkingRecord) {
    EXPECT_EQ(eval("NAME{clients}='Bob';AMOUNT{clients}=12.5"), "12.5");
    EXPECT_EQ(working(t_), "    Bob          12.50        ");
    EXPECT_EQ(eval("AMOUNT{clients}=AMOUNT{clients}*2+1"), "26");
    EXPECT_EQ(show(fieldText(t_, 4, copy::WORKING)), "  26.00");
    EXPECT_EQ(eval("NAME{clients}+'!'"), "Bob   !");
    EXPECT_EQ(eval("AMOUNT{clients}=123456789"), "<error 168>");
    EXPECT_EQ(show(fieldText(t_, 4, copy::WORKING)), "  26.00");
    EXPECT_TRUE(recordChanged(t_));
    EXPECT_TRUE(fieldChanged(t_, 2));
    EXPECT_FALSE(fieldChanged(t_, 3));
    ASSERT_EQ(copyRecord(t_, 1), 0);
    EXPECT_FALSE(recordChanged(t_));
    set(t_, 2, "Ann");
    ASSERT_EQ(copyRecord(t_, 2), 0);
    EXPECT_EQ(field(t_, 2), "Bob   ");
}

TEST_F(Fields, KeyTextIsDistributedOverTheKeyFields) {
    ASSERT_EQ(setKeyFields(t_, 2, StrView("OSLO K9")), 0);
    EXPECT_EQ(field(t_, 3), "OSLO ");
    EXPECT_EQ(field(t_, 1), "K9  ");
    EXPECT_EQ(show(keyValue(t_, 2, copy::WORKING)), "OSLO K9  ");
    ASSERT_EQ(setKeyFields(t_, 1, StrView("AB")), 0);
    EXPECT_EQ(show(keyValue(t_, 1, copy::WORKING)), "AB  ");
    EXPECT_EQ(field(t_, 3), "OSLO ");
    EXPECT_EQ(setKeyFields(t_, 3, StrView("x")), err::DATAOUTBOUND);
}

TEST_F(Fields, RecordBuffersAndControlBlocks) {
    set(t_, 2, "Bob");
    ASSERT_EQ(clearRecord(t_, 2), 0);
    std::string cleared(30, ' ');
    cleared[0] = '\x1B';
    EXPECT_EQ(working(t_), cleared);
    EXPECT_EQ(asRead(t_), std::string(30, ' '));
    // A table that grows after its buffer was made: the buffer no longer fits.
    ASSERT_EQ(addField(StrView("EXTRA"), 2, 'A'), 0);
    EXPECT_EQ(show(fieldValue(t_, 1)), "<error 169>");
    EXPECT_EQ(setField(t_, 1, StrView("x")), err::FILENOTINIT);
    ASSERT_EQ(openFile(t_, 0), 0);
    EXPECT_EQ(working(t_), std::string(32, ' '));
    // A table never opened gets its buffer on first use.
    std::uint16_t fresh = define("fresh", {{"A", 2, 'A'}}, {});
    EXPECT_EQ(eval("A{fresh}='xy'"), "xy");
    EXPECT_EQ(working(fresh), "xy");
    // Trailing placeholder fields are not real fields.
    std::uint16_t padded = define("padded", {{"A", 2, 'A'}, {"NUL", 1, 'A'}, {"OTHER", 1, 'A'}}, {});
    EXPECT_EQ(realFieldCount(padded), 1);
    // A control block asked for a bad file: nothing, and a line in the trace log.
    testsupport::TempDir dir;
    std::string log = (dir.path() / "t.log").string();
    ASSERT_EQ(AreaSet(area::WORK, area::WORK_LOGPATH, S(log)), 0);
    EXPECT_EQ(controlBlock(29), nullptr);
    EXPECT_EQ(controlBlock(0), nullptr);
    EXPECT_EQ(dir.read("t.log"), "DataFileCtrl\r\nDataFileCtrl\r\n");
    EXPECT_EQ(fileResolve(29), t_);
}

TEST_F(Fields, FileSetsDefineTablesAndRestoreTheDictionary) {
    std::uint16_t before = tableCount();
    ASSERT_EQ(openFileSet(StrView("work"), StrView("CODE;2+2;A, QTY;FN#X(1,2)*0+5;n ,NOTE;3;A"),
                          StrView("<0001004><0005005>")),
              err::OK)
        << show(ErrorDetailGet());
    std::uint16_t t = tableCount();
    EXPECT_EQ(t, before + 1);
    EXPECT_EQ(currentFile(), t);
    EXPECT_EQ(recordLength(t), 12);
    EXPECT_EQ(fieldDef(t, 2).type, 'N');
    EXPECT_EQ(fieldDef(t, 2).length, 5);
    EXPECT_EQ(keyCount(t), 2);
    EXPECT_EQ(keyLength(t, 2, 0), 5);
    EXPECT_EQ(eval("QTY{}=7;CODE{work}='ab'"), "ab");
    EXPECT_EQ(working(t), "ab      7   ");
    // A second set without keys gets the default key.
    ASSERT_EQ(openFileSet(StrView("more"), StrView("X;1;A"), StrView("")), 0);
    EXPECT_EQ(keyCount(tableCount()), 1);
    EXPECT_EQ(fileSetDepth(), 2);
    ASSERT_EQ(restoreFileSet(), 0);
    EXPECT_EQ(tableCount(), t);
    EXPECT_EQ(currentFile(), t);
    ASSERT_EQ(restoreFileSet(), 0);
    EXPECT_EQ(tableCount(), before);
    EXPECT_EQ(currentFile(), t_);
    FieldRef r;
    EXPECT_EQ(fieldRefer(StrView("QTY{}"), r), err::DATAOUTBOUND);
    // A bad definition leaves nothing behind.
    EXPECT_EQ(openFileSet(StrView("bad"), StrView("A;0;A"), StrView("")), err::BADINPUTDATA);
    EXPECT_EQ(openFileSet(StrView("bad"), StrView("A;1;A"), StrView("<12>")), err::BADINPUTDATA);
    EXPECT_EQ(tableCount(), before);
    EXPECT_EQ(fileSetDepth(), 0);
    // Seven levels at most.
    for (int i = 0; i < 7; ++i) ASSERT_EQ(openFileSet(StrView("lv"), StrView("A;1;A"), StrView("")), 0) << i;
    EXPECT_EQ(openFileSet(StrView("lv"), StrView("A;1;A"), StrView("")), err::DATAOUTBOUND);
    for (int i = 0; i < 7; ++i) ASSERT_EQ(restoreFileSet(), 0);
    EXPECT_EQ(tableCount(), before);
    // With no level left everything is removed.
    ASSERT_EQ(restoreFileSet(), 0);
    EXPECT_EQ(tableCount(), 0);
    EXPECT_EQ(currentFile(), 0);
    // FILESEL RESTORE without an activated set.
    EXPECT_EQ(selectFileSet(StrView("restore")), err::INTERNALERROR);
}

}  // namespace
