#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "core/errors.h"
#include "core/strstack.h"
#include "shell/environ.h"
#include "shell/paths.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class Paths : public testsupport::RuntimeTest {};

struct Pair {
    const char* a;
    const char* b;
    const char* expected;
};

TEST_F(Paths, JoinNormalizeAndExtension) {
    StrScope s;
    EXPECT_EQ(show(PathNormalize(StrView("a/b\\c/"))), "a\\b\\c\\");
    const Pair joins[] = {
        {"D:\\a\\", "\\b", "D:\\a\\\\b"},  // both separators kept
        {"", "b", "b"},
        {"a", "", "a"},
        {"D:\\a", "b.txt", "D:\\a\\b.txt"},
        {"D:/a/", "c/d", "D:\\a\\c\\d"},
        {"a", "\\b", "a\\b"},
    };
    for (const Pair& p : joins) EXPECT_EQ(show(PathJoin(StrView(p.a), StrView(p.b))), p.expected) << p.a << "|" << p.b;
    EXPECT_EQ(show(PathJoinExt(StrView("name"), StrView("txt"))), "name.txt");
    EXPECT_EQ(show(PathJoinExt(StrView(""), StrView("txt"))), "txt");
    EXPECT_EQ(show(PathJoinExt(StrView("name"), StrView(""))), "name");
}

TEST_F(Paths, PartsOfAPath) {
    struct Case {
        const char* path;
        std::uint16_t parts;
        const char* expected;
    };
    const Case cases[] = {
        {"D:\\a\\b\\e.txt", 1, "D:"},      {"D:\\a\\b\\e.txt", 2, "\\a\\b"},
        {"D:\\a\\b\\e.txt", 3, "D:\\a\\b"}, {"D:\\a\\b\\e.txt", 7, "D:\\a\\b\\e"},
        {"D:\\a\\b\\e.txt", 8, "txt"},      {"D:\\a\\b\\e.txt", 4, "e"},
        {"D:\\a\\b\\e.txt", 12, "e.txt"},   {"D:\\a\\b\\e.txt", 15, "D:\\a\\b\\e.txt"},
        {"a.b\\e", 8, ""},                  {"D:e.txt", 5, "D:e"},
        {"e.txt", 3, ""},                   {"x.tar.gz", 8, "gz"},
    };
    for (const Case& c : cases) {
        StrScope s;
        EXPECT_EQ(show(PathPart(StrView(c.path), c.parts)), c.expected) << c.path << " " << c.parts;
    }
}

TEST_F(Paths, ResolveRelativeNames) {
    const Pair cases[] = {
        {"D:\\x\\y", "..\\APPS", "D:\\x\\APPS"},
        {"D:\\x", ".\\data", "D:\\x\\data"},
        {"D:\\x\\y\\z", "..\\..\\w", "D:\\x\\w"},
        {"D:\\x\\y", "../APPS", "D:\\x\\APPS"},
        {"\\home\\u", "a\\.\\.\\b", "\\home\\u\\a\\b"},
        {"D:\\x\\y", "..", "D:\\x"},
    };
    for (const Pair& p : cases) {
        StrScope s;
        EXPECT_EQ(show(PathResolve(StrView(p.a), StrView(p.b))), p.expected) << p.a << "|" << p.b;
    }
}

class FolderFiles : public Paths {
protected:
    testsupport::TempDir dir;
};

TEST_F(FolderFiles, SearchTriesThePlainNameThenEachFolder) {
    dir.write("here.txt", "x");
    dir.write("f1/a.txt", "1");
    dir.write("f2/a.txt", "2");
    dir.write("f2/b.txt", "2");
    StrScope s;
    EXPECT_EQ(show(FileSearch(StrView("f1,f2"), StrView("here.txt"))), "here.txt");
    EXPECT_EQ(show(FileSearch(StrView("f1,f2"), StrView("a.txt"))), "f1\\a.txt");
    EXPECT_EQ(show(FileSearch(StrView("f1,f2"), StrView("b.txt"))), "f2\\b.txt");
    EXPECT_EQ(show(FileSearch(StrView("f1,f2"), StrView("c.txt"))), "");
    EXPECT_EQ(show(FileSearch(StrView(""), StrView("c.txt"))), "");
    // Names are matched in any case, as the application's files are named.
    EXPECT_EQ(show(FileSearch(StrView("F2"), StrView("B.TXT"))), "F2\\B.TXT");
}

TEST_F(FolderFiles, FindListsMatchingNamesSeparatedByNul) {
    dir.write("s/one.prc", "");
    dir.write("s/two.prc", "");
    dir.write("s/other.txt", "");
    StrMarkT m = StrMark();
    ASSERT_EQ(FileFind(StrView("s\\*.prc")), 0);
    std::string names = show(StrTop());
    StrRelease(m);
    EXPECT_TRUE(names == std::string("one.prc\0two.prc", 15) || names == std::string("two.prc\0one.prc", 15)) << names;
    EXPECT_EQ(FileFind(StrView("s\\*.xyz")), err::FILENOTFOUND);
    EXPECT_EQ(StrMark(), m);
}

TEST_F(FolderFiles, CreateMakesMissingParents) {
    ASSERT_EQ(FolderCreate(StrView("a\\b\\c")), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a/b/c"));
    EXPECT_EQ(FolderCreate(StrView("a\\b\\c")), 0);  // already there
    ErrorDetailClear();
    EXPECT_EQ(FolderCreate(StrView("")), err::BADINPUTDATA);
    EXPECT_EQ(FolderCreate(StrView("D:\\")), err::BADINPUTDATA);
    EXPECT_EQ(show(ErrorDetailGet()), "D:\\");
    // A file in the way cannot become a folder.
    dir.write("file", "x");
    EXPECT_NE(FolderCreate(StrView("file\\sub")), 0);
}

TEST_F(FolderFiles, CurrentFolderChangeAndSize) {
    dir.write("sub/f.bin", "12345");
    StrScope s;
    std::string here = show(CurrentFolder());
    EXPECT_EQ(here.find('/'), std::string::npos);
    EXPECT_EQ(FolderChange(StrView("sub")), 0);
    EXPECT_EQ(show(CurrentFolder()), here + "\\sub");
    EXPECT_EQ(FileSize(StrView("f.bin")), 5u);
    EXPECT_EQ(FileSize(StrView("none.bin")), 0u);
    EXPECT_EQ(FolderChange(StrView("nowhere")), err::FILENOTFOUND);
}

TEST_F(FolderFiles, TempNamesAreUniqueInTheTempFolder) {
    std::string tmp = dir.path().string();
    setenv("TEMP", tmp.c_str(), 1);
    StrScope s;
    std::string a = show(TempFileName(StrView("PMT")));
    std::string b = show(TempFileName(StrView("PMT")));
    unsetenv("TEMP");
    EXPECT_NE(a, b);
    std::string folder = show(PathNormalize(StrView(tmp)));
    ASSERT_EQ(a.rfind(folder + "\\", 0), 0u) << a;
    std::string name = a.substr(folder.size() + 1);
    EXPECT_EQ(name.find('.'), name.size() - 4);
    EXPECT_EQ(name.substr(name.size() - 4), ".PMT");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / name));
}

}  // namespace

namespace {

class FileTimes : public testsupport::RuntimeTest {
protected:
    testsupport::TempDir dir;
};

TEST_F(FileTimes, DatesAndTimesOfTheLastWriteAndAccess) {
    dir.write("t.txt", "x");
    // 2021-03-04 05:06:07.250 local time.
    struct tm when = {};
    when.tm_year = 121;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 5;
    when.tm_min = 6;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = mktime(&when);
    ts[0].tv_nsec = ts[1].tv_nsec = 250000000;
    ASSERT_EQ(utimensat(AT_FDCWD, "t.txt", ts, 0), 0);
    EXPECT_EQ(FileTime(StrView("t.txt"), 2, 0), 20210304);
    EXPECT_EQ(FileTime(StrView("t.txt"), 2, 1), ((5 * 60 + 6) * 60 + 7) * 1000 + 250);
    EXPECT_EQ(FileTime(StrView("t.txt"), 1, 0), 20210304);
    EXPECT_GT(FileTime(StrView("t.txt"), 0, 0), 20210304);  // created now
    EXPECT_EQ(FileTime(StrView("none.txt"), 2, 0), 0);
}

}  // namespace
