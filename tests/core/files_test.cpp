#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/files.h"
#include "core/osname.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;
namespace fs = std::filesystem;

namespace {

StrDesc N(const std::string& s) { return StrMake(s.data(), s.size()); }

class Files : public testsupport::RuntimeTest {
protected:
    testsupport::TempDir dir;

    std::uint16_t open(const std::string& name, std::uint16_t flags) { return FileOpen(N(name), flags); }

    // Every line of the file read with the given buffer capacity, up to the first 65535.
    std::vector<std::string> readLines(std::uint16_t h, std::uint32_t capacity) {
        std::vector<std::string> lines;
        std::vector<char> buf(capacity + 1);
        for (int guard = 0; guard < 100; ++guard) {
            std::uint32_t n = FileRead(h, FILE_NONE, FILE_NONE, buf.data(), capacity);
            if (n == FILE_NONE) break;
            lines.emplace_back(buf.data(), n);
        }
        return lines;
    }

    std::string mapped(const std::string& name) {
        char out[OSNAME_BYTES];
        EXPECT_EQ(FileSystemName(N(name), out, sizeof out), 0) << name;
        return out;
    }

    void expectRecorded(ErrCode code, const std::string& name) {
        EXPECT_EQ(ErrorRecordCode(), code);
        EXPECT_EQ(ErrorRecordContext(), ctx::Streams);
        std::string detail = show(ErrorDetailGet());
        EXPECT_EQ(detail.substr(detail.size() >= name.size() ? detail.size() - name.size() : 0), name);
    }

    void expectNothingRecorded() {
        EXPECT_EQ(ErrorRecordGet(), 0u);
        EXPECT_EQ(show(ErrorDetailGet()), "");
    }
};

// ---------------------------------------------------------------- line reads

struct LineCase {
    const char* label;
    std::string bytes;
    std::vector<std::string> lines;
};

std::string rep(char c, std::size_t n) { return std::string(n, c); }

const LineCase kLineCases[] = {
    {"ThreeLineEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"CrLfAtTheEndGivesNoEmptyLastLine", "x\r\n", {"x"}},
    {"CrLfCrLfGivesTwoEmptyLines", "\r\n\r\n", {"", ""}},
    {"LfThenLoneCr", "a\n\rb", {"a", "", "b"}},
    {"EofMarkAfterTheLastLine", "a\r\n\x1A", {"a"}},
    {"EofMarkAlone", "\x1A", {}},
    {"EmptyFile", "", {}},
    {"CrLfSplitByTheFirstPiece", rep('p', 511) + "\r\n" + "q", {rep('p', 511), "q"}},
    {"CrAtThePieceEndWithoutLf", rep('r', 511) + "\r" + "s", {rep('r', 511), "s"}},
    {"LinesLongerThanAPiece", rep('L', 1300) + "\n" + rep('M', 700) + "\r\n" + "end", {rep('L', 1300), rep('M', 700), "end"}},
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.label; }

class LineReading : public Files, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineReading, GivesEachLineThen65535WithAnyBufferThatHoldsTheLongestLine) {
    const LineCase& c = GetParam();
    dir.write("lines.txt", c.bytes);
    std::uint32_t longest = 0;
    for (const auto& l : c.lines) longest = std::max<std::uint32_t>(longest, static_cast<std::uint32_t>(l.size()));
    for (std::uint32_t capacity : {longest, longest + 1, 4096u}) {
        std::uint16_t h = open("lines.txt", fileflag::READONLY);
        ASSERT_LT(h, FILE_HANDLES);
        EXPECT_EQ(readLines(h, capacity), c.lines) << "capacity " << capacity;
        if (capacity == 4096u) {
            EXPECT_EQ(FileAtEnd(h), 1);
        }
        FileClose(h);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, LineReading, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Files, LineLongerThanTheBufferGives65535AndKeepsThePosition) {
    dir.write("t.txt", "abcdef\n" + rep('x', 700) + "\nxyz");
    std::uint16_t h = open("t.txt", fileflag::READONLY);
    char buf[800];
    EXPECT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, 5), FILE_NONE);
    EXPECT_EQ(FileTell(h), 0u);
    EXPECT_EQ(FileAtEnd(h), 0);
    // Exactly as long as the buffer: the line end after it still counts.
    ASSERT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, 6), 6u);
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    EXPECT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, 600), FILE_NONE);
    EXPECT_EQ(FileTell(h), 7u);
    EXPECT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, 700), 700u);
    EXPECT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "xyz");
    EXPECT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, 3), FILE_NONE);
}

TEST_F(Files, StandardInputIsReadOneByteAtATime) {
    std::string path = dir.write("in.txt", "a\r\nb\rc\n\x1A" "d");
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
    std::vector<std::string> lines;
    char buf[16];
    for (int guard = 0; guard < 10; ++guard) {
        std::uint32_t n = FileRead(0, FILE_NONE, FILE_NONE, buf, sizeof buf);
        if (n == FILE_NONE) break;
        lines.emplace_back(buf, n);
    }
    std::uint16_t atEnd = FileAtEnd(0);
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    // One byte at a time, the end mark at the start of a line is stepped over.
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(atEnd, 1);
}

// --------------------------------------------------------------- block reads

struct BlockCase {
    const char* label;
    std::uint32_t position, count, capacity;
    std::uint32_t result;
    const char* bytes;
    std::uint32_t positionAfter;
};

const BlockCase kBlockCases[] = {
    {"FromTheStart", 0, 4, 16, 4, "0123", 4},
    {"ShortAtTheEnd", 8, 5, 16, 2, "89", 10},
    {"AtTheEnd", 10, 1, 16, FILE_NONE, "", 10},
    {"BeyondTheEnd", 50, 1, 16, FILE_NONE, "", 50},
    {"NothingAskedInside", 3, 0, 16, 0, "", 3},
    {"NothingAskedAtTheEnd", 10, 0, 16, FILE_NONE, "", 10},
    {"LargerThanTheBuffer", 2, 8, 4, FILE_NONE, "", 2},
    {"ExactlyTheBuffer", 2, 4, 4, 4, "2345", 6},
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.label; }

class BlockReading : public Files, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockReading, ReadsTheRangeThatExists) {
    const BlockCase& c = GetParam();
    dir.write("d.txt", "0123456789");
    std::uint16_t h = open("d.txt", fileflag::READONLY);
    char buf[16] = {};
    std::uint32_t n = FileRead(h, c.position, c.count, buf, c.capacity);
    EXPECT_EQ(n, c.result);
    if (n != FILE_NONE) {
        EXPECT_EQ(std::string(buf, n), c.bytes);
    }
    EXPECT_EQ(FileTell(h), c.positionAfter);
}

INSTANTIATE_TEST_SUITE_P(Files, BlockReading, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Files, BlockReadsContinueAtTheCurrentPositionAcrossPieces) {
    std::string data;
    for (int i = 0; i < 2000; ++i) data += static_cast<char>('a' + i % 26);
    dir.write("big.txt", data);
    std::uint16_t h = open("big.txt", fileflag::READONLY);
    std::vector<char> buf(2000);
    ASSERT_EQ(FileRead(h, 100, 1500, buf.data(), 2000), 1500u);
    EXPECT_EQ(std::string(buf.data(), 1500), data.substr(100, 1500));
    ASSERT_EQ(FileRead(h, FILE_NONE, 1000, buf.data(), 2000), 400u);
    EXPECT_EQ(std::string(buf.data(), 400), data.substr(1600));
    EXPECT_EQ(FileLength(h), 2000u);
    EXPECT_EQ(FileTell(h), 2000u);
    EXPECT_EQ(FileAtEnd(h), 1);
}

TEST_F(Files, ReadValueLandsAboveTheMarkAndFailsWith130AtTheEnd) {
    dir.write("v.txt", "first\r\nsecond");
    std::uint16_t h = open("v.txt", fileflag::READONLY);
    StrMarkT m = StrMark();
    EXPECT_EQ(show(FileReadValue(h, FILE_NONE, FILE_NONE)), "first");
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(show(FileReadValue(h, FILE_NONE, 3)), "sec");
    EXPECT_EQ(show(FileReadValue(h, 0, 2)), "fi");
    EXPECT_EQ(show(FileReadValue(h, 13, FILE_NONE)), "<error 130>");
    EXPECT_EQ(StrMark(), m + 3);
}

// ------------------------------------------------------------------ opening

struct ModeCase {
    const char* label;
    std::uint16_t flags;
    std::uint32_t lengthAfterOpen;
    bool readable;
    const char* afterWritingNAtZero;  // file content
};

const ModeCase kModeCases[] = {
    {"ReadUpdate", 1, 3, true, "Nld"},
    {"ReadUpdateWithoutBits", 0, 3, true, "Nld"},
    {"ReadOnly", 8, 3, true, "old"},
    {"WriteTruncates", 2, 0, true, "N"},
    {"AppendWritesAtTheEnd", 4, 3, true, "oldN"},
    {"WriteOnly", 2 | 8, 0, false, "N"},
    {"AppendOnly", 4 | 8, 3, false, "oldN"},
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.label; }

class OpenModes : public Files, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(OpenModes, FollowTheFlagBits) {
    const ModeCase& c = GetParam();
    dir.write("m.txt", "old");
    std::uint16_t h = open("m.txt", c.flags);
    ASSERT_LT(h, FILE_HANDLES);
    EXPECT_EQ(FileLength(h), c.lengthAfterOpen);
    char buf[8];
    EXPECT_EQ(FileRead(h, 0, 3, buf, sizeof buf) != FILE_NONE, c.readable && c.lengthAfterOpen > 0);
    FileWrite(h, 0, "N", 1);
    EXPECT_EQ(FileClose(h), h);
    EXPECT_EQ(dir.read("m.txt"), c.afterWritingNAtZero);
}

INSTANTIATE_TEST_SUITE_P(Files, OpenModes, ::testing::ValuesIn(kModeCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Files, MissingFileIsCreatedUnlessReadOnly) {
    std::uint16_t h = open("new.txt", fileflag::READ);
    ASSERT_LT(h, FILE_HANDLES);
    EXPECT_GE(h, 3);
    EXPECT_TRUE(fs::exists("new.txt"));
    EXPECT_EQ(FileLength(h), 0u);
    expectNothingRecorded();

    EXPECT_EQ(open("absent.txt", fileflag::READONLY), err::FILENOTFOUND);
    EXPECT_FALSE(fs::exists("absent.txt"));
    expectRecorded(err::FILENOTFOUND, "absent.txt");

    // A second failure appends its name to the detail; the record keeps the first.
    EXPECT_EQ(open("nodir\\x.txt", fileflag::READ), err::FILENOTFOUND);
    EXPECT_EQ(show(ErrorDetailGet()), "absent.txt\r\nnodir\\x.txt");
    EXPECT_EQ(ErrorRecordCode(), err::FILENOTFOUND);
}

TEST_F(Files, QuietFailuresAreNotRecorded) {
    EXPECT_EQ(open("absent.txt", fileflag::READONLY | fileflag::QUIET), err::FILENOTFOUND);
    EXPECT_EQ(open("", fileflag::QUIET), err::BADINPUTDATA);
    expectNothingRecorded();
}

TEST_F(Files, AFolderIsNotAFile) {
    fs::create_directory("folder");
    EXPECT_EQ(open("folder", fileflag::READONLY), err::FILENOTFOUND);
    EXPECT_EQ(open("folder", fileflag::READ), err::FILENOTFOUND);
}

TEST_F(Files, BadNamesGive163) {
    const std::string tooLong(384, 'n');
    const std::string withNul("a\0b", 3);
    for (const std::string& name : {std::string(), tooLong, withNul}) {
        ErrorRecordClear();
        EXPECT_EQ(open(name, fileflag::READ), err::BADINPUTDATA) << name.size();
        EXPECT_EQ(ErrorRecordCode(), err::BADINPUTDATA);
        EXPECT_EQ(ErrorRecordContext(), ctx::Streams);
        EXPECT_FALSE(fs::exists("a"));
    }
    EXPECT_EQ(FileOpen(StrErrorValue(err::FILEIO), fileflag::READ), err::BADINPUTDATA);
    // 383 bytes is a name the layer accepts (the platform refuses so long a file name).
    ErrorRecordClear();
    EXPECT_EQ(open(std::string(383, 'n'), fileflag::READONLY), err::FILENOTFOUND);
    expectRecorded(err::FILENOTFOUND, std::string(383, 'n'));
}

TEST_F(Files, ThirtySevenFilesFillTheTable) {
    for (int i = 0; i < 37; ++i) EXPECT_EQ(open("f" + std::to_string(i), fileflag::READ), 3 + i);
    EXPECT_EQ(open("one-more", fileflag::READ), err::DATAOUTBOUND);
    expectRecorded(err::DATAOUTBOUND, "one-more");
    EXPECT_FALSE(fs::exists("one-more"));
    // The slot check comes first, even for the console.
    EXPECT_EQ(open("CON", fileflag::WRITE), err::DATAOUTBOUND);
    EXPECT_EQ(FileClose(10), 10);
    EXPECT_EQ(open("again", fileflag::READ), 10);
}

TEST_F(Files, ConIsTheConsoleOnlyInUpperCase) {
    EXPECT_EQ(open("CON", 2), 1);
    EXPECT_EQ(open("CON", 2 | fileflag::QUIET), 1);
    EXPECT_EQ(open("CON", 8), 0);
    EXPECT_EQ(open("CON", 2 | 8), 0);
    EXPECT_EQ(open("CON", 1), 0);
    EXPECT_FALSE(fs::exists("CON"));
    EXPECT_EQ(FileClose(1), 1);
    EXPECT_EQ(FileWrite(1, FILE_NONE, "", 0), 0u);  // still open

    std::uint16_t h = open("con", 2);
    ASSERT_GE(h, 3);
    EXPECT_EQ(FileWrite(h, FILE_NONE, "disk", 4), 4u);
    FileClose(h);
    EXPECT_EQ(dir.read("con"), "disk");
}

// ------------------------------------------------------------- bad handles

TEST_F(Files, BadHandlesAreRefusedWithoutARecord) {
    dir.write("x.txt", "x");
    std::uint16_t closed = open("x.txt", fileflag::READ);
    FileClose(closed);
    char buf[4];
    StrMarkT m = StrMark();
    for (std::uint16_t h : {closed, std::uint16_t(7), FILE_HANDLES, std::uint16_t(1000), std::uint16_t(65535)}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(FileClose(h), 0);
        EXPECT_EQ(FileLength(h), 0u);
        EXPECT_EQ(FileTell(h), 0u);
        EXPECT_EQ(FileAtEnd(h), 1);
        EXPECT_EQ(FileRead(h, 0, 1, buf, sizeof buf), FILE_NONE);
        EXPECT_EQ(FileRead(h, FILE_NONE, FILE_NONE, buf, sizeof buf), FILE_NONE);
        EXPECT_EQ(show(FileReadValue(h, 0, 1)), "<error 130>");
        EXPECT_EQ(FileWrite(h, 0, "a", 1), FILE_NONE);
        EXPECT_EQ(FileWriteValue(h, 0, StrView("a")), FILE_NONE);
    }
    EXPECT_EQ(StrMark(), m);
    expectNothingRecorded();
    EXPECT_EQ(dir.read("x.txt"), "x");
}

TEST_F(Files, StandardStreamsStayOpenAndGoOneWay) {
    char buf[4];
    for (std::uint16_t h : {0, 1, 2}) {
        EXPECT_EQ(FileLength(h), 65535u);
        EXPECT_EQ(FileClose(h), h);
    }
    EXPECT_EQ(FileTell(0), 0u);
    EXPECT_EQ(FileAtEnd(1), 1);
    EXPECT_EQ(FileRead(1, 0, 1, buf, sizeof buf), FILE_NONE);
    EXPECT_EQ(FileRead(2, FILE_NONE, FILE_NONE, buf, sizeof buf), FILE_NONE);
    EXPECT_EQ(FileWrite(0, FILE_NONE, "a", 1), FILE_NONE);
}

// ------------------------------------------------------------------ writing

TEST_F(Files, WritesGoToThePositionOrTheEnd) {
    std::uint16_t h = open("w.txt", fileflag::WRITE);
    EXPECT_EQ(FileWrite(h, FILE_NONE, "hello", 5), 5u);
    EXPECT_EQ(FileWrite(h, 0, "J", 1), 1u);
    EXPECT_EQ(FileWrite(h, FILE_NONE, "!", 1), 1u);
    EXPECT_EQ(FileWriteValue(h, 1, StrView("EL")), 2u);
    EXPECT_EQ(FileWriteValue(h, 1, StrErrorValue(err::TYPEMISMATCH)), err::TYPEMISMATCH);
    EXPECT_EQ(FileWrite(h, 0, nullptr, 3), err::BADINPUTDATA);
    // Length and reads right after writes; the position is kept by FileLength.
    FileWrite(h, 2, "", 0);
    EXPECT_EQ(FileTell(h), 2u);
    EXPECT_EQ(FileLength(h), 6u);
    EXPECT_EQ(FileTell(h), 2u);
    char buf[8];
    ASSERT_EQ(FileRead(h, FILE_NONE, 8, buf, sizeof buf), 4u);
    EXPECT_EQ(std::string(buf, 4), "Llo!");
    std::string big(1300, 'b');
    EXPECT_EQ(FileWrite(h, FILE_NONE, big.data(), 1300), 1300u);
    FileClose(h);
    EXPECT_EQ(dir.read("w.txt"), "JELlo!" + big);
}

TEST_F(Files, ShortWriteGives65535) {
    std::uint16_t h = open("/dev/full", fileflag::WRITE);
    ASSERT_LT(h, FILE_HANDLES);
    EXPECT_EQ(FileWrite(h, FILE_NONE, "data", 4), FILE_NONE);
    std::string big(2000, 'z');
    EXPECT_EQ(FileWriteValue(h, FILE_NONE, N(big)), FILE_NONE);
}

// --------------------------------------------------------- by-name storing

TEST_F(Files, StoreAppendsOrReplaces) {
    EXPECT_EQ(FileStore(N("s.txt"), FILE_NONE, "abc", 3), 3u);
    EXPECT_EQ(FileStore(N("s.txt"), FILE_NONE, "abc", 3), 3u);
    EXPECT_EQ(dir.read("s.txt"), "abcabc");
    EXPECT_EQ(FileStore(N("s.txt"), 1, "ZZ", 2), 2u);
    EXPECT_EQ(dir.read("s.txt"), "aZZabc");
    EXPECT_EQ(FileStore(N("s.txt"), FILE_REPLACE, "xy", 2), 2u);
    EXPECT_EQ(dir.read("s.txt"), "xy");
    EXPECT_EQ(FileStore(N("r.txt"), FILE_REPLACE, "new", 3), 3u);
    EXPECT_EQ(dir.read("r.txt"), "new");
    // Nothing is left beside the files.
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);
    expectNothingRecorded();
}

TEST_F(Files, StoreOfNothingTouchesNothing) {
    dir.write("s.txt", "keep");
    for (std::uint32_t pos : {FILE_NONE, FILE_REPLACE, 0u}) {
        EXPECT_EQ(FileStore(N("s.txt"), pos, "x", 0), FILE_NONE);
        EXPECT_EQ(FileStore(N("s.txt"), pos, nullptr, 1), FILE_NONE);
        EXPECT_EQ(FileStore(N("none.txt"), pos, "", 0), FILE_NONE);
        EXPECT_EQ(FileStoreChecked(N("s.txt"), pos, "", 0), err::FILEIO);
    }
    EXPECT_EQ(dir.read("s.txt"), "keep");
    EXPECT_FALSE(fs::exists("none.txt"));
}

TEST_F(Files, ReplacingKeepsThePermissionBits) {
    dir.write("secret.dat", "old");
    chmod("secret.dat", 0600);
    ASSERT_EQ(FileStore(N("secret.dat"), FILE_REPLACE, "newer", 5), 5u);
    EXPECT_EQ(dir.read("secret.dat"), "newer");
    struct stat st;
    ASSERT_EQ(stat("secret.dat", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Files, PrivateStoreIsReadableByItsOwnerOnly) {
    dir.write("login.dat", "old");
    chmod("login.dat", 0644);
    for (const char* name : {"login.dat", "fresh.dat"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(FileStorePrivate(N(name), N("'h','d','u','pw'")), 0);
        EXPECT_EQ(dir.read(name), "'h','d','u','pw'");
        struct stat st;
        ASSERT_EQ(stat(name, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);
    expectNothingRecorded();

    // A failure leaves the old file as it was.
    EXPECT_EQ(FileStorePrivate(N("login.dat"), N("")), err::FILEIO);
    EXPECT_EQ(FileStorePrivate(N("nodir\\login.dat"), N("x")), err::FILEIO);
    EXPECT_EQ(FileStorePrivate(N("login.dat"), StrErrorValue(err::OUTOFMEMORY)), err::OUTOFMEMORY);
    EXPECT_EQ(dir.read("login.dat"), "'h','d','u','pw'");
    EXPECT_FALSE(fs::exists("nodir"));
}

TEST_F(Files, StoreCheckedTellsWhetherEveryByteWasWritten) {
    EXPECT_EQ(FileStoreChecked(N("c.txt"), FILE_NONE, "abc", 3), 0);
    EXPECT_EQ(dir.read("c.txt"), "abc");
    expectNothingRecorded();

    EXPECT_EQ(FileStoreChecked(N("nodir\\c.txt"), FILE_NONE, "abc", 3), err::FILEIO);
    EXPECT_EQ(ErrorRecordCode(), err::FILENOTFOUND);  // the open failed first
    EXPECT_EQ(FileStore(N("nodir\\c.txt"), FILE_REPLACE, "abc", 3), FILE_NONE);
    EXPECT_FALSE(fs::exists("nodir"));

    ErrorRecordClear();
    EXPECT_EQ(FileStoreChecked(N("/dev/full"), 0, "abc", 3), err::FILEIO);
    expectRecorded(err::FILEIO, "/dev/full");
}

// --------------------------------------------------------- by-name loading

TEST_F(Files, LoadGivesTheRangeAsOneValue) {
    dir.write("l.txt", "0123456789");
    dir.write("empty.txt", "");
    StrMarkT m = StrMark();
    EXPECT_EQ(show(FileLoad(N("l.txt"), 2, 3)), "234");
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(show(FileLoad(N("l.txt"), 7, FILE_NONE)), "789");
    EXPECT_EQ(show(FileLoad(N("l.txt"), 8, 100)), "89");
    EXPECT_EQ(show(FileLoad(N("l.txt"), 10, FILE_NONE)), "");
    EXPECT_EQ(show(FileLoad(N("l.txt"), 40, 3)), "");
    EXPECT_EQ(show(FileLoad(N("empty.txt"), 0, FILE_NONE)), "");
    EXPECT_EQ(StrMark(), m + 6);
    expectNothingRecorded();

    EXPECT_EQ(show(FileLoad(N("absent.txt"), 0, FILE_NONE)), "<error 65535>");
    EXPECT_EQ(StrMark(), m + 6);
    expectRecorded(err::FILENOTFOUND, "absent.txt");
}

TEST_F(Files, LoadRangeFillsTheCallersBuffer) {
    dir.write("l.txt", "0123456789");
    char buf[10];
    EXPECT_EQ(FileLoadRange(N("l.txt"), 0, FILE_NONE, buf, 10), 10u);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(FileLoadRange(N("l.txt"), 4, 2, buf, 10), 2u);
    EXPECT_EQ(std::string(buf, 2), "45");
    EXPECT_EQ(FileLoadRange(N("l.txt"), 10, FILE_NONE, buf, 10), 0u);
    EXPECT_EQ(FileLoadRange(N("l.txt"), 0, FILE_NONE, buf, 9), FILE_NONE);
    EXPECT_EQ(FileLoadRange(N("absent.txt"), 0, FILE_NONE, buf, 10), FILE_NONE);
    // Nothing stays open: the whole table is still free.
    for (int i = 0; i < 37; ++i) ASSERT_EQ(open("f" + std::to_string(i), fileflag::READ), 3 + i);
}

TEST_F(Files, LoadLongerThanAStringValueGives146) {
    dir.write("huge.txt", std::string(70000, 'h'));
    EXPECT_EQ(show(FileLoad(N("huge.txt"), 0, FILE_NONE)), "<error 146>");
    EXPECT_EQ(FileSizeOf(N("huge.txt")), 70000u);
    EXPECT_EQ(show(FileLoad(N("huge.txt"), 69990, FILE_NONE)), std::string(10, 'h'));
}

class SmallStackFiles : public Files {
protected:
    std::uint16_t stackSlots() const override { return 4; }  // 4 KB of text
};

TEST_F(SmallStackFiles, LoadLargerThanTheFreeStringStackGives145) {
    dir.write("big.txt", std::string(5000, 'b'));
    StrMarkT m = StrMark();
    EXPECT_EQ(show(FileLoad(N("big.txt"), 0, FILE_NONE)), "<error 145>");
    EXPECT_EQ(StrMark(), m);
    expectRecorded(err::OUTOFMEMORY, "big.txt");
    EXPECT_EQ(show(FileLoad(N("big.txt"), 0, 1000)), std::string(1000, 'b'));
}

struct TextCase {
    const char* label;
    std::string bytes, replacement, text;
};

const TextCase kTextCases[] = {
    {"CrLfAndLf", "a\r\nb\nc", ";", "a;b;c"},
    {"LoneCrStays", "a\rb\r\n", "<br>", "a\rb<br>"},
    {"EmptyReplacement", "x\n\n", "", "x"},
    {"ReplacementIsNotReplacedAgain", "a\r\nb\n", "\r\n", "a\r\nb\r\n"},
    {"NoLineEnds", "plain", ";", "plain"},
    {"EmptyFile", "", ";", ""},
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.label; }

class LoadText : public Files, public ::testing::WithParamInterface<TextCase> {};

TEST_P(LoadText, ReplacesEveryLineEnd) {
    const TextCase& c = GetParam();
    dir.write("t.txt", c.bytes);
    StrMarkT m = StrMark();
    EXPECT_EQ(show(FileLoadText(N("t.txt"), N(c.replacement))), c.text);
    EXPECT_EQ(StrMark(), m + 1);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadText, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Files, LoadTextFailures) {
    dir.write("lf.txt", std::string(40000, '\n'));
    StrMarkT m = StrMark();
    EXPECT_EQ(show(FileLoadText(N("lf.txt"), StrView("xx"))), "<error 146>");
    EXPECT_EQ(show(FileLoadText(N("lf.txt"), StrErrorValue(err::TYPEMISMATCH))), "<error 128>");
    EXPECT_EQ(show(FileLoadText(N("absent.txt"), StrView(";"))), "<error 65535>");
    EXPECT_EQ(StrMark(), m);
}

TEST_F(Files, SizeOfAMissingFileIsZeroAndNotRecorded) {
    dir.write("s.txt", "12345");
    EXPECT_EQ(FileSizeOf(N("s.txt")), 5u);
    EXPECT_EQ(FileSizeOf(N("absent.txt")), 0u);
    EXPECT_EQ(FileSizeOf(N("")), 0u);
    expectNothingRecorded();
}

// ------------------------------------------------------------- name mapping

TEST_F(Files, NamesMapToTheFileInAnyCase) {
    dir.write("Sub/Menu.PMT", "menu");
    fs::create_directory("Sub/Deep");
    const std::string abs = dir.path().string();
    std::string absWin = abs;
    for (char& ch : absWin)
        if (ch == '/') ch = '\\';
    const struct {
        std::string name, system;
    } cases[] = {
        {"Sub\\Menu.PMT", "Sub/Menu.PMT"},
        {"sub\\MENU.pmt", "Sub/Menu.PMT"},
        {"SUB/menu.Pmt", "Sub/Menu.PMT"},
        {"C:sub\\MENU.pmt", "Sub/Menu.PMT"},
        {"sub\\..\\SUB\\.\\menu.pmt", "Sub/../Sub/./Menu.PMT"},
        {"sub\\deep\\NEW.txt", "Sub/Deep/NEW.txt"},  // missing file: its folder is found
        {"nope\\sub\\x", "nope/sub/x"},              // nothing found: as written
        {"x:" + absWin + "\\SUB\\MENU.PMT", abs + "/Sub/Menu.PMT"},
        {"C:", "."},
        {"d:\\", "/"},
    };
    for (const auto& c : cases) EXPECT_EQ(mapped(c.name), c.system) << c.name;

    EXPECT_EQ(show(FileLoad(N("sub\\MENU.pmt"), 0, FILE_NONE)), "menu");
    EXPECT_EQ(FileSizeOf(N("SUB\\MENU.PMT")), 4u);
    std::uint16_t h = open("sub\\deep\\NEW.txt", fileflag::READ);
    ASSERT_LT(h, FILE_HANDLES);
    FileClose(h);
    EXPECT_TRUE(fs::exists("Sub/Deep/NEW.txt"));
    EXPECT_EQ(FileRename(N("SUB\\deep\\new.TXT"), N("sub\\Moved.txt")), 0);
    EXPECT_TRUE(fs::exists("Sub/Moved.txt"));
    EXPECT_EQ(FileDelete(N("sub\\moved.TXT")), 0);
    EXPECT_FALSE(fs::exists("Sub/Moved.txt"));
    EXPECT_NE(FileDelete(N("sub\\moved.TXT")), 0);
    EXPECT_NE(FileDelete(N("")), 0);
    EXPECT_NE(FileRename(N("Sub\\Menu.PMT"), N("")), 0);
    EXPECT_TRUE(fs::exists("Sub/Menu.PMT"));
}

TEST_F(Files, AnExactNameWinsAndOtherwiseTheLowestMatch) {
    dir.write("a.txt", "lower");
    dir.write("A.TXT", "upper");
    EXPECT_EQ(mapped("a.txt"), "a.txt");
    EXPECT_EQ(mapped("A.TXT"), "A.TXT");
    EXPECT_EQ(mapped("a.TXT"), "A.TXT");
    EXPECT_EQ(show(FileLoad(N("A.txt"), 0, FILE_NONE)), "upper");
}

TEST_F(Files, UnmappableNamesGive163) {
    char out[8];
    EXPECT_EQ(FileSystemName(StrView(""), out, sizeof out), err::BADINPUTDATA);
    EXPECT_EQ(FileSystemName(N(std::string("a\0b", 3)), out, sizeof out), err::BADINPUTDATA);
    EXPECT_EQ(FileSystemName(StrErrorValue(err::FILEIO), out, sizeof out), err::BADINPUTDATA);
    EXPECT_EQ(FileSystemName(StrView("12345678"), out, sizeof out), err::BADINPUTDATA);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(FileSystemName(StrView("1234567"), out, sizeof out), 0);
    EXPECT_STREQ(out, "1234567");
}

}  // namespace
