// The data dictionary: dictionary files with includes, default keys,
// relations and relational-update entries; the define operations and their
// limits; every malformed line with its code and detail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

// Dictionary lines: a table, a field (fixed columns) and a key.
std::string table(int code, const std::string& name, const std::string& folder = "", const std::string& attr = "00") {
    char c[3];
    std::snprintf(c, sizeof c, "%02d", code);
    return std::string(c) + "*" + folder + "*" + attr + name;
}
std::string field(int code, int length, char type, const std::string& name) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.......%03d %c", code, length, type);
    return buf + name;
}
std::string lines(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& l : v) s += l + "\r\n";
    return s;
}

std::vector<std::pair<int, int>> segments(std::uint16_t t, std::uint16_t k) {
    KeyDef def;
    std::vector<std::pair<int, int>> out;
    if (keyDef(t, k, def)) return out;
    for (int i = 0; i < def.segmentCount; ++i) out.emplace_back(def.segments[i].offset, def.segments[i].length);
    return out;
}

using Segs = std::vector<std::pair<int, int>>;

class Dictionary : public testsupport::RuntimeTest {
protected:
    testsupport::TempDir dir;
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(varInit(), 0);
        ASSERT_EQ(dictionaryReset(), 0);
    }
    void TearDown() override {
        varShutdown();
        RuntimeTest::TearDown();
    }
    std::string folder() const { return dir.path().string(); }
    ErrCode load(const std::string& prefix = "AB", const std::string& defaultFolder = "") {
        std::string f = folder();
        return loadDictionary(StrView(f), StrView(prefix), StrView(defaultFolder));
    }
    std::string name(std::uint16_t t) { return show(tableName(t)); }
    std::string fieldNameOf(std::uint16_t t, std::uint16_t p) { return show(fieldName(t, p)); }
};

TEST_F(Dictionary, LoadsTablesFieldsKeysAndRelationsFromBothFiles) {
    dir.write("ABDICC.DAT", lines({
                                table(1, "Clientes", " data\\cli\t", "07"),
                                field(1, 6, 'A', "CODE"),
                                field(1, 30, 'A', "NAME   "),
                                field(1, 8, 'D', "SINCE"),
                                field(1, 10, '2', "BALANCE"),
                                "",
                                table(2, "LINES"),
                                field(2, 6, 'A', "CODE"),
                                field(2, 4, 'N', "N_LINE"),
                                field(2, 5, 'N', "QTY"),
                                "31 main <0001006>",
                                "31 by name <00070300001006>",
                                "32 <00010060007004>",
                            }));
    dir.write("ABREL.DAT", lines({"61 rel: 2R1K1='CODE{1}'", "61 second:3R2K2=X"}));
    ASSERT_EQ(load("AB", "dflt"), 0) << show(ErrorDetailGet());

    ASSERT_EQ(tableCount(), 2);
    EXPECT_EQ(name(1), "clientes");
    EXPECT_EQ(show(tableNameList()), "clientes,lines");
    EXPECT_EQ(show(tableFolder(1)), "data\\cli");
    EXPECT_EQ(show(tableFolder(2)), "dflt");
    EXPECT_EQ(tableAttribute(1), 7);
    EXPECT_EQ(fieldCount(1), 4);
    EXPECT_EQ(recordLength(1), 54);
    EXPECT_EQ(recordLength(2), 15);
    EXPECT_EQ(fieldNameOf(1, 2), "NAME");
    EXPECT_EQ(fieldNameOf(2, 2), "N_LINE");
    FieldDef f = fieldDef(1, 4);
    EXPECT_EQ(f.table, 1);
    EXPECT_EQ(f.position, 4);
    EXPECT_EQ(f.offset, 44);
    EXPECT_EQ(f.length, 10);
    EXPECT_EQ(f.type, '2');
    EXPECT_EQ(fieldDef(2, 3).offset, 10);
    EXPECT_EQ(fieldPosition(1, StrView("SINCE")), 3);
    EXPECT_EQ(fieldPosition(1, StrView("since")), DICT_NOFIELD);

    EXPECT_EQ(keyCount(1), 2);
    EXPECT_EQ(segments(1, 1), (Segs{{0, 6}}));
    EXPECT_EQ(segments(1, 2), (Segs{{6, 30}, {0, 6}}));
    EXPECT_EQ(segments(2, 1), (Segs{{0, 6}, {6, 4}}));
    EXPECT_EQ(keyLength(1, 2, 0), 36);
    EXPECT_EQ(keyLength(1, 2, 1), 30);

    EXPECT_EQ(show(relationText(1)), " 2R1K1='CODE{1}':3R2K2=X");
    EXPECT_EQ(relationKey(1, 2, 1), 1);
    EXPECT_EQ(show(relationValue(1, 2, 1)), "CODE{1}");
    EXPECT_EQ(relationKey(1, 3, 2), 2);
    EXPECT_EQ(show(relationValue(1, 3, 2)), "X");
    EXPECT_EQ(relationKey(1, 4, 1), 0);
    EXPECT_EQ(show(relationValue(1, 4, 1)), "");
}

TEST_F(Dictionary, RecordCodesCountTablesFromTheBaseNotFromTheirNumber) {
    // A first table line coded 05 still defines table 1, and its key line is
    // 31. Key lines for table 3 give tables 1 and 2 their default keys first.
    dir.write("ABDICC.DAT", lines({
                                table(5, "ONE"),
                                field(5, 4, 'A', "A"),
                                field(5, 3, 'A', "B"),
                                table(1, "TWO"),
                                field(1, 6, 'A', "CODE"),
                                field(1, 4, 'N', "N_LINE"),
                                field(1, 2, 'A', "REST"),
                                table(1, "THREE"),
                                field(1, 2, 'A', "X"),
                                "33 <0001002>",
                                "31 <0005003>",
                            }));
    ASSERT_EQ(load(), 0) << show(ErrorDetailGet());
    EXPECT_EQ(name(1), "one");
    EXPECT_EQ(keyCount(1), 2);
    EXPECT_EQ(segments(1, 1), (Segs{{0, 4}}));   // default: the first field
    EXPECT_EQ(segments(1, 2), (Segs{{4, 3}}));   // the 31 line, given later
    EXPECT_EQ(segments(2, 1), (Segs{{0, 10}}));  // default: up to and including N_LINE
    EXPECT_EQ(keyCount(2), 1);
    EXPECT_EQ(segments(3, 1), (Segs{{0, 2}}));
    EXPECT_EQ(keyCount(3), 1);
    KeyFieldList kf;
    ASSERT_EQ(keyFields(1, 2, kf), 0);
    ASSERT_EQ(kf.count, 1);
    EXPECT_EQ(kf.positions[0], 2);
}

TEST_F(Dictionary, DefaultKeysAtTheEndOfDiccOnlyAfterATableOrFieldLine) {
    dir.write("ABDICC.DAT", lines({table(1, "A"), field(1, 3, 'A', "X"), table(1, "B"), field(1, 5, 'A', "Y"),
                                   table(1, "C"), field(1, 7, 'A', "Z")}));
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(segments(1, 1), (Segs{{0, 3}}));
    EXPECT_EQ(segments(3, 1), (Segs{{0, 7}}));

    // Ending on a key line leaves the later tables without keys until a key
    // for a higher table fills them in.
    ASSERT_EQ(dictionaryReset(), 0);
    dir.write("ABDICC.DAT", lines({table(1, "A"), field(1, 3, 'A', "X"), table(1, "B"), field(1, 5, 'A', "Y"),
                                   "31 <0001003>"}));
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(keyCount(2), 0);
    ASSERT_EQ(defineTable(0, StrView("C"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("W"), 2, 'A'), 0);
    KeySegment seg{0, 1};
    ASSERT_EQ(defineKey(3, 1, &seg), 0);
    EXPECT_EQ(segments(2, 1), (Segs{{0, 5}}));
    ASSERT_EQ(defaultKeysUpTo(3), 0);
    EXPECT_EQ(keyCount(3), 1);  // never given twice
}

TEST_F(Dictionary, IncludeLinesLoadAnotherDictionaryAndMoveTheBase) {
    dir.write("CDDICC.DAT", lines({table(1, "INNER1"), field(1, 4, 'A', "I1"), table(1, "INNER2"), field(1, 2, 'A', "I2")}));
    dir.write("CDREL.DAT", lines({"62 from inner:1R1K1=I2"}));
    dir.write("ABDICC.DAT", lines({table(1, "FIRST"), field(1, 3, 'A', "F"), table(1, "CD", "$"),
                                   table(1, "OUTER"), field(1, 5, 'A', "O"), "32 <0001004>"}));
    dir.write("ABREL.DAT", lines({"61 :4R1K1=O"}));
    ASSERT_EQ(load(), 0) << show(ErrorDetailGet());
    EXPECT_EQ(show(tableNameList()), "first,inner1,inner2,outer");
    // After the include the base is 2: code 32 is table 4 (the last included
    // table + 1) in DICC.DAT; REL.DAT starts again at base 0.
    EXPECT_EQ(segments(4, 1), (Segs{{0, 4}}));
    EXPECT_EQ(segments(3, 1), (Segs{{0, 2}}));
    EXPECT_EQ(relationKey(1, 4, 1), 1);
    EXPECT_EQ(relationKey(2, 1, 1), 1);
}

TEST_F(Dictionary, NamesFoldToLowerCaseUnlessAuxstatBit8) {
    ASSERT_EQ(defineTable(0, StrView("Clientes"), StrView("")), 0);
    EXPECT_EQ(name(1), "clientes");
    EXPECT_EQ(tableNumber(StrView("CLIENTES")), 1);
    sysFlag(SysVar::AUXSTAT, 8, true);
    ASSERT_EQ(defineTable(0, StrView("Clientes"), StrView("")), 0);
    EXPECT_EQ(name(2), "Clientes");
    EXPECT_EQ(tableNumber(StrView("Clientes")), 2);
    EXPECT_EQ(tableNumber(StrView("clientes")), 1);
    EXPECT_EQ(tableNumber(StrView("nothere")), 0);
}

TEST_F(Dictionary, TableNumberOfEmptyNameIsTheCurrentFileAndDigitsAreANumber) {
    sysSet(SysVar::CURFIL, 2);
    EXPECT_EQ(tableNumber(StrView("")), 2);
    EXPECT_EQ(tableNumber(StrView("3")), 3);
    EXPECT_EQ(tableNumber(StrView("99999")), 0);
}

TEST_F(Dictionary, ThirtyTablesAtMostAndTheThirtiethTakesNoFields) {
    for (int i = 1; i <= 30; ++i) {
        std::string n = "t" + std::to_string(i);
        ASSERT_EQ(defineTable(0, StrView(n), StrView("")), 0) << i;
        if (i < 30) {
            ASSERT_EQ(addField(StrView("F"), 2, 'A'), 0) << i;
        }
    }
    EXPECT_EQ(defineTable(0, StrView("t31"), StrView("")), err::FILEOUTBOUND);
    EXPECT_EQ(addField(StrView("F"), 2, 'A'), err::FILEOUTBOUND);
    EXPECT_EQ(tableCount(), 30);
    EXPECT_EQ(fieldCount(30), 0);
    EXPECT_EQ(fieldNameOf(29, 1), "F");

    // A 31st table line in a file reports the line.
    ASSERT_EQ(dictionaryReset(), 0);
    std::vector<std::string> v;
    for (int i = 1; i <= 31; ++i) v.push_back(table(1, "t" + std::to_string(i)));
    dir.write("ABDICC.DAT", lines(v));
    EXPECT_EQ(load(), err::FILEOUTBOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "ABDICC.DAT(31): more than 30 tables: 01**00t31");
    EXPECT_EQ(tableCount(), 30);
}

TEST_F(Dictionary, DefineOperationsRefuseBadNumbers) {
    KeySegment seg{0, 2};
    EXPECT_EQ(addField(StrView("F"), 2, 'A'), err::FILEOUTBOUND);  // no table yet
    EXPECT_EQ(defineKey(1, 1, &seg), err::BADINPUTDATA);
    EXPECT_EQ(addRelationText(1, StrView("x")), err::BADFILENUMBER);
    ASSERT_EQ(defineTable(0, StrView("a"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("F"), 60000, 'A'), 0);
    EXPECT_EQ(addField(StrView("G"), 6000, 'A'), err::DATAOUTBOUND);
    EXPECT_EQ(defineKey(1, 6, &seg), err::BADINPUTDATA);
    EXPECT_EQ(defineKey(1, 0, &seg), err::BADINPUTDATA);
    KeyDef out;
    KeyFieldList kf;
    EXPECT_EQ(keyDef(1, 1, out), err::DATAOUTBOUND);
    EXPECT_EQ(keyFields(0, 1, kf), err::DATAOUTBOUND);
    EXPECT_EQ(keyFields(2, 1, kf), err::DATAOUTBOUND);
    EXPECT_EQ(keyLength(1, 1, 0), 0);
    // A segment that starts beyond the last field cannot be mapped.
    KeySegment beyond{60000, 5};
    ASSERT_EQ(defineKey(1, 1, &beyond), 0);
    EXPECT_EQ(keyFields(1, 1, kf), err::INTERNALERROR);
    EXPECT_EQ(keyFields(1, 2, kf), err::DATAOUTBOUND);
}

TEST_F(Dictionary, KeySegmentsMapOntoTheFieldTheyStartIn) {
    ASSERT_EQ(defineTable(0, StrView("t"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("A"), 4, 'A'), 0);
    ASSERT_EQ(addField(StrView("B"), 4, 'N'), 0);
    ASSERT_EQ(addField(StrView("C"), 4, 'A'), 0);
    KeySegment segs[3] = {{9, 2}, {2, 3}, {4, 1}};
    ASSERT_EQ(defineKey(1, 3, segs), 0);
    KeyFieldList kf;
    ASSERT_EQ(keyFields(1, 1, kf), 0);
    ASSERT_EQ(kf.count, 3);
    EXPECT_EQ(kf.positions[0], 3);
    EXPECT_EQ(kf.positions[1], 1);
    EXPECT_EQ(kf.positions[2], 2);
}

TEST_F(Dictionary, MissingDiccIsFileNotFoundWithFileAndFolderMissingRelIsNot) {
    EXPECT_EQ(load("XY"), err::FILENOTFOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "XYDICC.DAT[" + folder() + "]");
    EXPECT_EQ(ErrorRecordCode(), err::FILENOTFOUND);
    ErrorRecordClear();
    dir.write("XYDICC.DAT", lines({table(1, "only"), field(1, 2, 'A', "F")}));
    EXPECT_EQ(load("XY"), 0);
    EXPECT_EQ(tableCount(), 1);
    EXPECT_EQ(ErrorRecordCode(), 0);
}

// ---- Malformed lines -----------------------------------------------------------------

struct BadLine {
    const char* label;
    std::string line;
    ErrCode code;
    const char* reason;
};

class MalformedLine : public Dictionary, public ::testing::WithParamInterface<BadLine> {};

TEST_P(MalformedLine, GivesItsCodeAndDetailAndKeepsWhatCameBefore) {
    const BadLine& c = GetParam();
    dir.write("ABDICC.DAT", lines({table(1, "good"), field(1, 4, 'A', "CODE"), c.line, table(1, "after")}));
    EXPECT_EQ(load(), c.code);
    EXPECT_EQ(show(ErrorDetailGet()), std::string("ABDICC.DAT(3): ") + c.reason + ": " + c.line);
    EXPECT_EQ(ErrorRecordCode(), c.code);
    EXPECT_EQ(tableCount(), 1);
    EXPECT_EQ(name(1), "good");
    EXPECT_EQ(fieldCount(1), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Dictionary, MalformedLine,
    ::testing::Values(
        BadLine{"LettersForCode", "X1 something", err::BADINPUTDATA, "record code is not 01 to 90"},
        BadLine{"CodeZero", "00*x*00t", err::BADINPUTDATA, "record code is not 01 to 90"},
        BadLine{"CodeAbove90", "91 <0001002>", err::BADINPUTDATA, "record code is not 01 to 90"},
        BadLine{"OneCharacter", "5", err::BADINPUTDATA, "record code is not 01 to 90"},
        BadLine{"ShortFieldLine", "01.......004 A", err::BADINPUTDATA, "field line shorter than 15 characters"},
        BadLine{"FieldLengthNotDigits", "01.......0x4 AXY", err::BADINPUTDATA, "field length is not three digits"},
        BadLine{"FieldWithoutName", "01.......004 A    ", err::BADINPUTDATA, "field without name"},
        BadLine{"TableWithoutName", "01*folder*00", err::BADINPUTDATA, "table line without name"},
        BadLine{"TableWithOneStar", "01*folder", err::BADINPUTDATA, "table line without name"},
        BadLine{"TableAttributeNotDigits", "01**A1name", err::BADINPUTDATA, "table attribute is not two digits"},
        BadLine{"IncludeWithoutPrefix", "01*$*00C", err::BADINPUTDATA, "include line without a dictionary prefix"},
        BadLine{"SixKeySegments", "31 <000100100020010003001000400100050010006001>", err::BADINPUTDATA,
                "key of more than five segments"},
        BadLine{"KeyWithoutBracket", "31 0001004", err::BADINPUTDATA, "key line without <"},
        BadLine{"KeyWithoutSegments", "31 <>", err::BADINPUTDATA, "key without segments"},
        BadLine{"KeySegmentNotDigits", "31 <00010x4>", err::BADINPUTDATA, "key segment is not seven digits"},
        BadLine{"KeyIncompleteSegment", "31 <0001004000>", err::BADINPUTDATA, "incomplete key segment"},
        BadLine{"KeyOffsetZero", "31 <0000004>", err::BADINPUTDATA, "key segment offset 0000"},
        BadLine{"KeyLengthZero", "31 <0001000>", err::BADINPUTDATA, "key segment length 000"},
        BadLine{"KeyForMissingTable", "32 <0001004>", err::BADINPUTDATA, "key for a table not defined"},
        BadLine{"RelationForMissingTable", "62 x:1R1K1=A", err::BADFILENUMBER, "relation for a table not defined"},
        BadLine{"RelationWithoutColon", "61 1R1K1=A", err::BADINPUTDATA, "relation line without :"}),
    [](const ::testing::TestParamInfo<BadLine>& info) { return std::string(info.param.label); });

TEST_F(Dictionary, FieldBeforeAnyTableAndOverlongLinesAreRefused) {
    dir.write("ABDICC.DAT", lines({field(1, 4, 'A', "CODE")}));
    EXPECT_EQ(load(), err::FILEOUTBOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "ABDICC.DAT(1): field without a table to belong to: " + field(1, 4, 'A', "CODE"));

    ASSERT_EQ(dictionaryReset(), 0);
    dir.write("ABDICC.DAT", lines({table(1, "t"), field(1, 4, 'A', "CODE" + std::string(600, 'x')), table(1, "u")}));
    EXPECT_EQ(load(), err::BADINPUTDATA);
    EXPECT_EQ(show(ErrorDetailGet()), "ABDICC.DAT(2): line longer than 512 bytes: ");
    EXPECT_EQ(tableCount(), 1);

    // A malformed REL.DAT line reports REL.DAT.
    ASSERT_EQ(dictionaryReset(), 0);
    dir.write("ABDICC.DAT", lines({table(1, "t"), field(1, 4, 'A', "CODE")}));
    dir.write("ABREL.DAT", lines({"61 :ok", "x"}));
    EXPECT_EQ(load(), err::BADINPUTDATA);
    EXPECT_EQ(show(ErrorDetailGet()), "ABREL.DAT(2): record code is not 01 to 90: x");
    EXPECT_EQ(show(relationText(1)), "ok");
}

TEST_F(Dictionary, IncludeLoopsAndMissingIncludesEndTheLoad) {
    dir.write("ABDICC.DAT", lines({table(1, "a"), field(1, 1, 'A', "F"), table(1, "CD", "$")}));
    dir.write("CDDICC.DAT", lines({table(1, "c"), field(1, 1, 'A', "F"), table(1, "AB", "$")}));
    EXPECT_EQ(load(), err::BADINPUTDATA);
    EXPECT_EQ(show(ErrorDetailGet()), "include loop: ABDICC.DAT");
    EXPECT_EQ(show(tableNameList()), "a,c");

    ASSERT_EQ(dictionaryReset(), 0);
    dir.write("ABDICC.DAT", lines({table(1, "a"), field(1, 1, 'A', "F"), table(1, "ZZ", "$")}));
    EXPECT_EQ(load(), err::FILENOTFOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "ZZDICC.DAT[" + folder() + "]");
}

// ---- Relations --------------------------------------------------------------------------------

TEST_F(Dictionary, RelationLookupsMatchWholeEntriesAndStripOuterQuotes) {
    ASSERT_EQ(defineTable(0, StrView("t"), StrView("")), 0);
    ASSERT_EQ(addRelationText(1, StrView("12R1K7='A:B'")), 0);
    ASSERT_EQ(addRelationText(1, StrView("2R1K3:CODE{1}")), 0);
    ASSERT_EQ(addRelationText(1, StrView("2R2K1=\"X Y\" 5R1K2=Z&W")), 0);
    EXPECT_EQ(show(relationText(1)), "12R1K7='A:B':2R1K3:CODE{1}:2R2K1=\"X Y\" 5R1K2=Z&W");
    EXPECT_EQ(relationKey(1, 12, 1), 7);
    EXPECT_EQ(show(relationValue(1, 12, 1)), "A:B");
    EXPECT_EQ(relationKey(1, 2, 1), 3);  // not the 2R1K inside 12R1K7
    EXPECT_EQ(show(relationValue(1, 2, 1)), "CODE{1}");
    EXPECT_EQ(show(relationValue(1, 2, 2)), "X Y");
    EXPECT_EQ(show(relationValue(1, 5, 1)), "Z");
}

// ---- Relational-update entries ---------------------------------------------------------------

TEST_F(Dictionary, RelupEntriesOfOneTableJoinIntoTable7FromItsBase) {
    AreaSet(area::RELUP, 0, StrView("earlier"));
    dir.write("ABRELUP.DAT", lines({"0101 STOCK{1}=STOCK{1}+1", "0201 other table", "0103   third",
                                    "0101 QTY{2}=0", ""}));
    dir.write("ABRELUPSQL.DAT", lines({"0100 sql form"}));
    std::uint16_t base = 0;
    std::string f = folder();
    ASSERT_EQ(loadRelup(1, StrView(f), StrView("ABC"), false, &base), 0) << show(ErrorDetailGet());
    EXPECT_EQ(base, 1);
    EXPECT_EQ(show(AreaGet(area::RELUP, 2)), "STOCK{1}=STOCK{1}+1;QTY{2}=0");
    EXPECT_EQ(show(AreaGet(area::RELUP, 4)), "third");
    EXPECT_EQ(AreaCount(area::RELUP), 5);

    ASSERT_EQ(loadRelup(1, StrView(f), StrView("AB"), true, &base), 0);
    EXPECT_EQ(base, 5);
    EXPECT_EQ(show(AreaGet(area::RELUP, 5)), "sql form");

    ASSERT_EQ(loadRelup(1, StrView(f), StrView("QQ"), false, &base), 0);  // no file: nothing
    EXPECT_EQ(base, 6);

    dir.write("ABRELUP.DAT", lines({"0101 fine", "01"}));
    EXPECT_EQ(loadRelup(1, StrView(f), StrView("AB"), false, &base), err::BADINPUTDATA);
    EXPECT_EQ(show(ErrorDetailGet()), "ABRELUP.DAT(2): line does not start with a table number: 01");
    dir.write("ABRELUP.DAT", lines({"01x1 bad entry"}));
    EXPECT_EQ(loadRelup(1, StrView(f), StrView("AB"), false, &base), err::BADINPUTDATA);
    EXPECT_EQ(show(ErrorDetailGet()), "ABRELUP.DAT(1): entry number is not two digits: 01x1 bad entry");
}

TEST_F(Dictionary, TruncateRemovesLaterTablesFieldsAndKeys) {
    ASSERT_EQ(defineTable(0, StrView("a"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("A1"), 3, 'A'), 0);
    ASSERT_EQ(defaultKeysUpTo(1), 0);
    DictionaryCounts mark = dictionaryCounts();
    ASSERT_EQ(defineTable(0, StrView("b"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("B1"), 5, 'A'), 0);
    ASSERT_EQ(defaultKeysUpTo(2), 0);
    dictionaryTruncate(mark);
    EXPECT_EQ(tableCount(), 1);
    EXPECT_EQ(dictionaryCounts().fields, 1);
    EXPECT_EQ(dictionaryCounts().keys, 1);
    ASSERT_EQ(defineTable(0, StrView("c"), StrView("")), 0);
    ASSERT_EQ(addField(StrView("C1"), 7, 'A'), 0);
    EXPECT_EQ(fieldNameOf(2, 1), "C1");
    EXPECT_EQ(show(tableNameList()), "a,c");
    ASSERT_EQ(defaultKeysUpTo(2), 0);
    EXPECT_EQ(segments(2, 1), (Segs{{0, 7}}));
}

}  // namespace
