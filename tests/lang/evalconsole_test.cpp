#include "lang/evalconsole.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strstack.h"
#include "lang/varstore.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;

namespace {

// A memory stream written by the code under test, read back as a string.
class MemOut {
public:
    MemOut() : f_(open_memstream(&buf_, &size_)) {}
    ~MemOut() {
        if (f_) std::fclose(f_);
        std::free(buf_);
    }
    std::FILE* file() { return f_; }
    std::string text() {
        std::fflush(f_);
        return std::string(buf_, size_);
    }
private:
    char* buf_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* f_;
};

// A stream to read `bytes` from.
class MemIn {
public:
    explicit MemIn(const std::string& bytes) : f_(std::tmpfile()) {
        std::fwrite(bytes.data(), 1, bytes.size(), f_);
        std::rewind(f_);
    }
    ~MemIn() { std::fclose(f_); }
    std::FILE* file() { return f_; }
private:
    std::FILE* f_;
};

class ConsoleTest : public testsupport::RuntimeTest {
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

std::string resultLine(ErrCode code, StrDesc value) {
    MemOut out;
    ConsoleWriteResult(out.file(), code, value);
    return out.text();
}

std::string numberLine(std::int64_t raw) {
    StrScope scope;
    EXPECT_EQ(numPush(raw), 0);
    return resultLine(0, StrTop());
}

TEST_F(ConsoleTest, NumbersPrintTheirScaledValueInSignedDecimal) {
    struct Case {
        std::int64_t raw;
        const char* line;
    } cases[] = {
        {0, "N 0\n"},
        {1250, "N 1250\n"},
        {-5, "N -5\n"},
        {std::numeric_limits<std::int64_t>::max(), "N 9223372036854775807\n"},
        {std::numeric_limits<std::int64_t>::min(), "N -9223372036854775808\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(numberLine(c.raw), c.line) << c.raw;
}

TEST_F(ConsoleTest, StringsEscapeBackslashAndControlBytesOnly) {
    struct Case {
        std::string bytes;
        std::string line;
    } cases[] = {
        {"", "S \n"},
        {"abc def", "S abc def\n"},
        {"a\\b", "S a\\\\b\n"},
        {std::string("\0\t\r\n\x1F", 5), "S \\x00\\x09\\x0D\\x0A\\x1F\n"},
        // 0x20 and above, the high Windows-1252 bytes included, pass as they are.
        {"\x20\x7F\xE9\xF7\xFF", "S \x20\x7F\xE9\xF7\xFF\n"},
        {"'\"", "S '\"\n"},
    };
    for (const Case& c : cases) {
        StrScope scope;
        ASSERT_EQ(StrPush(StrView(c.bytes)), 0);
        EXPECT_EQ(resultLine(1, StrTop()), c.line) << c.bytes;
    }
}

TEST_F(ConsoleTest, CodesPrintInDecimalAndABadNumberEntryIsAnInternalError) {
    EXPECT_EQ(resultLine(err::NULLEXPRESSION, StrView("")), "E 123\n");
    EXPECT_EQ(resultLine(err::SINTAXERROR, StrErrorValue(err::SINTAXERROR)), "E 147\n");
    EXPECT_EQ(resultLine(err::NOTFOUND, StrView("x")), "E 65535\n");
    // A "number" whose entry is not 8 bytes, or no value at all.
    EXPECT_EQ(resultLine(0, StrView("abc")), "E 141\n");
    EXPECT_EQ(resultLine(0, StrErrorValue(err::INTERNALERROR)), "E 141\n");
    EXPECT_EQ(resultLine(1, StrErrorValue(err::INTERNALERROR)), "E 141\n");
}

// All lines of `bytes` as ConsoleReadLine splits them ("<long>" for TooLong).
std::vector<std::string> readAll(const std::string& bytes, std::size_t cap = 64) {
    MemIn in(bytes);
    std::vector<std::string> lines;
    std::vector<char> buf(cap);
    std::size_t len = 0;
    for (;;) {
        ConsoleLine r = ConsoleReadLine(in.file(), buf.data(), cap, len);
        if (r == ConsoleLine::End) break;
        lines.push_back(r == ConsoleLine::TooLong ? "<long:" + std::string(buf.data(), len) + ">"
                                                  : std::string(buf.data(), len));
    }
    return lines;
}

TEST(ConsoleReadLine, LinesEndAtCrLfLfOrCr) {
    using V = std::vector<std::string>;
    EXPECT_EQ(readAll(""), V{});
    EXPECT_EQ(readAll("a"), V{"a"});
    EXPECT_EQ(readAll("a\n"), V{"a"});
    EXPECT_EQ(readAll("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(readAll("\n\n"), (V{"", ""}));
    // CR CR is two line ends; LF CR as well; CR LF is one.
    EXPECT_EQ(readAll("a\r\rb\n\rc\r\n"), (V{"a", "", "b", "", "c"}));
    // Blanks, NUL and high bytes are part of the line.
    EXPECT_EQ(readAll(std::string(" x\0\xF7 \n", 6)), V{std::string(" x\0\xF7 ", 5)});
}

TEST(ConsoleReadLine, ALongerLineIsCutAndItsRestPassedOver) {
    using V = std::vector<std::string>;
    EXPECT_EQ(readAll("abcdefg\r\nxy", 4), (V{"<long:abcd>", "xy"}));
    EXPECT_EQ(readAll("abcd\nxy", 4), (V{"abcd", "xy"}));
}

// A stand-in evaluator: "N<raw>" pushes a number, "S<text>" a string,
// "E<code>" records and returns the code; it also remembers each text.
std::vector<std::string> g_texts;
ErrCode fakeEval(StrDesc text) {
    g_texts.push_back(text.str());
    std::string t = text.str();
    if (!t.empty() && t[0] == 'N') return numPush(std::atoll(t.c_str() + 1));
    if (!t.empty() && t[0] == 'S') return StrPush(StrMake(text.ptr + 1, text.len - 1)) ? 145 : 1;
    if (!t.empty() && t[0] == 'E') {
        auto code = static_cast<ErrCode>(std::atoi(t.c_str() + 1));
        ErrorRecordSet(1, ctx::ExpExec, code, code);
        ErrorDetail(code, StrView("the operand"));
        return code;
    }
    return numPush(0) ? 145 : err::NULLEXPRESSION;
}

TEST_F(ConsoleTest, RunPrintsOneLinePerInputLineAndLeavesNothingBehind) {
    g_texts.clear();
    MemIn in("N1250\r\nS a\\b \nE128\rS\nN-7\n\nE147");
    MemOut out, err;
    StrMarkT before = StrMark();
    ConsoleRun(in.file(), out.file(), err.file(), false, &fakeEval);
    EXPECT_EQ(out.text(), "N 1250\nS  a\\\\b \nE 128\nS \nN -7\nE 123\nE 147\n");
    // Piped input: nothing but the result lines.
    EXPECT_EQ(err.text(), "");
    // Each line reached the evaluator exactly as read.
    EXPECT_EQ(g_texts, (std::vector<std::string>{"N1250", "S a\\b ", "E128", "S", "N-7", "", "E147"}));
    EXPECT_EQ(StrMark(), before);
    EXPECT_EQ(ErrorRecordCode(), 0);
    EXPECT_EQ(ErrorDetailGet().len, 0);
}

TEST_F(ConsoleTest, RunRefusesALineLongerThanAStringValue) {
    g_texts.clear();
    std::string bytes = "S" + std::string(CONSOLE_LINE_MAX, 'x') + "\nN5\n";
    MemIn in(bytes);
    MemOut out, err;
    ConsoleRun(in.file(), out.file(), err.file(), false, &fakeEval);
    EXPECT_EQ(out.text(), "E 146\nN 5\n");
    EXPECT_EQ(g_texts, std::vector<std::string>{"N5"});
}

TEST_F(ConsoleTest, InteractiveRunPromptsAndNamesEachErrorOnTheErrorStream) {
    MemIn in("N1\nE128\nE123\n");
    MemOut out, err;
    ConsoleRun(in.file(), out.file(), err.file(), true, &fakeEval);
    EXPECT_EQ(out.text(), "N 1\nE 128\nE 123\n");
    std::string e = err.text();
    EXPECT_EQ(e.rfind("> ", 0), 0u) << e;
    EXPECT_NE(e.find("Error Type Mismatch(ExpExec): the operand\n"), std::string::npos) << e;
    EXPECT_NE(e.find("Null Expression\n"), std::string::npos) << e;
    // One prompt per line read, and one when the input ends.
    std::size_t prompts = 0;
    for (std::size_t p = e.find("> "); p != std::string::npos; p = e.find("> ", p + 2)) ++prompts;
    EXPECT_EQ(prompts, 4u) << e;
}

}  // namespace
