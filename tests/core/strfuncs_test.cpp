#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class StrFuncs : public testsupport::RuntimeTest {};

StrDesc S(const char* s) { return StrFromTerminated(s); }

TEST_F(StrFuncs, MidIsAViewClampedToTheString) {
    StrDesc s = S("abcdef");
    EXPECT_EQ(show(StrMid(s, -3, 65535)), "def");
    EXPECT_EQ(show(StrMid(s, -3, 1)), "def");  // from the end always takes the rest
    EXPECT_EQ(show(StrMid(s, -10, 2)), "abcdef");
    EXPECT_EQ(show(StrMid(s, 1, 3)), "bcd");
    EXPECT_EQ(show(StrMid(s, 4, 65535)), "ef");
    StrDesc past = StrMid(S("abc"), 5, 2);
    EXPECT_FALSE(past.isError());
    EXPECT_EQ(past.len, 0);
    StrMarkT m = StrMark();
    EXPECT_EQ(StrMid(s, 2, 2).ptr, s.ptr + 2);  // no copy
    EXPECT_EQ(StrMark(), m);
}

TEST_F(StrFuncs, QuoteAwareSearchesSkipQuotedSections) {
    EXPECT_EQ(StrFindChar(S("'a,b',e"), 0, ',', false), 5);
    EXPECT_EQ(StrFindChar(S("'a,b',e"), 0, ',', true), 2);
    EXPECT_EQ(StrFindChar(S("\"x'y\",z"), 0, ',', false), 5);  // the other quote kind does not close
    EXPECT_EQ(StrFindChar(S("a'b,c"), 0, ',', false), STR_NPOS);  // an unterminated quote hides the rest
    EXPECT_EQ(StrFindChar(S("'q'x"), 0, '\'', false), STR_NPOS);  // quotes are never found quote-aware
    EXPECT_EQ(StrFindChar(S("a,b,c"), 2, ',', false), 3);
    EXPECT_EQ(StrFindChar(S("a,b"), 9, ',', true), STR_NPOS);
    EXPECT_EQ(StrFindLastChar(S("a,'b,c',d"), ',', false), 7);
    EXPECT_EQ(StrFindLastChar(S("a,'b,c'"), ',', false), 1);
    EXPECT_EQ(StrFindLastChar(S("a,'b,c'"), ',', true), 4);
    EXPECT_EQ(StrFindAny(S("'x;y' a;b"), S(" ;"), false), 5);
    EXPECT_EQ(StrFindAny(S("'x;y' a;b"), S(";"), true), 2);
    EXPECT_EQ(StrFindText(S("'ab' ab"), S("ab"), false), 5);
    EXPECT_EQ(StrFindText(S("'ab' ab"), S("ab"), true), 1);
    EXPECT_EQ(StrFindText(S("ab"), S("abc"), true), STR_NPOS);
    EXPECT_EQ(StrFindText(S("aab"), S("ab"), true), 1);
    EXPECT_EQ(StrCountText(S("aaaa"), S("aa"), true), 2);  // non-overlapping
    EXPECT_EQ(StrCountText(S("x'x'x"), S("x"), false), 2);
    EXPECT_EQ(StrCountText(S("abc"), S(""), true), 0);
}

TEST_F(StrFuncs, ReplaceAllIsLeftToRightAndNonOverlapping) {
    EXPECT_EQ(show(StrReplaceAll(S("aaa"), S("aa"), S("b"), true)), "ba");
    EXPECT_EQ(show(StrReplaceAll(S("a,b,c"), S(","), S(", "), true)), "a, b, c");
    EXPECT_EQ(show(StrReplaceAll(S("x'y'x"), S("x"), S("Z"), false)), "Z'y'Z");
    EXPECT_EQ(show(StrReplaceAll(S("'x'x"), S("x"), S(""), false)), "'x'");
    // A lone quote is searched plainly even when a quote-aware search is asked.
    EXPECT_EQ(show(StrReplaceAll(S("it's 'a'"), S("'"), S("''"), false)), "it''s ''a''");
    EXPECT_EQ(show(StrReplaceAll(S("abc"), S("z"), S("y"), true)), "abc");
}

TEST_F(StrFuncs, ReplaceAllThatCannotPushRecordsMemTestError) {
    std::string big(40000, 'a');
    StrDesc r = StrReplaceAll(StrView(big), S("a"), S("bb"), true);  // 80000 bytes
    EXPECT_TRUE(r.isError());
    EXPECT_EQ(ErrorRecordCode(), err::MEMTESTERROR);
    EXPECT_EQ(ErrorRecordContext(), ctx::STRCONCAT);
}

TEST_F(StrFuncs, JoinsAndPairs) {
    EXPECT_EQ(show(StrJoin(S(""), S(","), S("b"))), "b");
    EXPECT_EQ(show(StrJoin(S("a"), S(","), S(""))), "a");
    EXPECT_EQ(show(StrJoin(S(""), S(","), S(""))), "");
    EXPECT_EQ(show(StrJoin(S("a"), S(", "), S("b"))), "a, b");
    EXPECT_EQ(show(StrJoinPair(S("a"), S(""))), "<error 163>");
    EXPECT_EQ(show(StrJoinPair(S(""), S("b"))), "<error 163>");
    EXPECT_EQ(show(StrJoinPair(S("K"), S("v"))), "K=v");
    EXPECT_EQ(show(StrConcat(S("ab"), S("cd"))), "abcd");
    std::string half(40000, 'x');
    EXPECT_EQ(StrError(StrConcat(StrView(half), StrView(half))), err::STRINGTOOLONG);
}

TEST_F(StrFuncs, ResultsLieDirectlyAboveTheCallersMark) {
    StrMarkT m = StrMark();
    StrDesc r = StrConcat(S("ab"), S("cd"));
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(StrTop().ptr, r.ptr);
    StrRelease(m);
    // Intermediate values of a composite operation do not stay behind.
    r = StrCleanValue(S("abc"));
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(show(r), "ABC");
}

TEST_F(StrFuncs, CleanValueUpperCasesOnlyWhenNothingWasRemoved) {
    struct Case { const char* in; const char* out; } cases[] = {
        {"abc", "ABC"}, {"'abc'", "abc"}, {" abc", "abc"}, {"\"x y\"", "x y"},
        {" 'q' ", "q"}, {"'a", "'A"}, {"", ""}, {"a'b'", "A'B'"},
    };
    for (auto& c : cases) EXPECT_EQ(show(StrCleanValue(S(c.in))), c.out) << c.in;
    EXPECT_EQ(show(StrUnquote(S("'"))), "'");
    EXPECT_EQ(show(StrUnquote(S("''"))), "");
    EXPECT_EQ(show(StrUnquote(S("'a\""))), "'a\"");
    EXPECT_EQ(show(StrTrim(S("\t a b \t"))), "a b");
    EXPECT_EQ(show(StrTrim(S("  a  "), kBlankTab, 1)), "a  ");
    EXPECT_EQ(show(StrTrim(S("  a  "), kBlankTab, 2)), "  a");
    EXPECT_EQ(show(StrTrim(S("xxaxx"), S("x"), 3)), "a");
}

TEST_F(StrFuncs, CaseMappingCoversWindows1252Letters) {
    EXPECT_EQ(show(StrUpper(S("abc\xE9\xF1\xFF\x9A\xF7\xDF"))), "ABC\xC9\xD1\x9F\x8A\xF7\xDF");
    EXPECT_EQ(show(StrLower(S("ABC\xC9\xD1\x9F\x8A\xD7"))), "abc\xE9\xF1\xFF\x9A\xD7");
}

TEST_F(StrFuncs, QuoteTakesTheFirstFreeCharacter) {
    EXPECT_EQ(show(StrQuote(S("abc"), '\'')), "'abc'");
    EXPECT_EQ(show(StrQuote(S("it's"), '\'')), "\"it's\"");
    EXPECT_EQ(show(StrQuote(S("say \"x\""), '"')), "'say \"x\"'");
    EXPECT_EQ(show(StrQuote(S("a[b"), '[')), "\"a[b\"");
    EXPECT_EQ(show(StrQuote(S("a[\"b"), '[')), "'a[\"b'");
    EXPECT_EQ(show(StrQuote(S("'\""), '\'')), "<error 163>");
    EXPECT_EQ(show(StrQuote(S("[\"'"), '[')), "<error 163>");
    EXPECT_EQ(show(StrWrap(S("x"), '(')), "(x)");
    EXPECT_EQ(show(StrWrap(S("x"), '<')), "<x>");
    EXPECT_EQ(show(StrWrap(S("x"), '*')), "*x*");
    EXPECT_TRUE(StrIsEnclosed(S("{a}"), '{'));
    EXPECT_FALSE(StrIsEnclosed(S("{a{"), '{'));
    EXPECT_FALSE(StrIsEnclosed(S("'"), '\''));
}

TEST_F(StrFuncs, YesWordsAndIntegers) {
    EXPECT_EQ(StrToInt(S("YES")), 1);
    EXPECT_EQ(StrToInt(S("si")), 1);
    EXPECT_EQ(StrToInt(S("on")), 1);
    EXPECT_EQ(StrToInt(S("no")), 0);
    EXPECT_EQ(StrToInt(S("12x")), 12);
    EXPECT_EQ(StrToInt(S("  -42")), -42);
    EXPECT_EQ(StrToInt(S("+7")), 7);
    EXPECT_EQ(StrToInt(S("- 7")), 0);
    EXPECT_EQ(StrToInt(S("99999999999")), INT32_MAX);
    EXPECT_EQ(StrToInt(S("")), 0);
    EXPECT_FALSE(StrIsYes(S("YES ")));
    EXPECT_FALSE(StrIsYes(S("")));
    EXPECT_EQ(StrToInt64(S("-9000000000")), -9000000000LL);
}

TEST_F(StrFuncs, CompareOrdersBytesThenLength) {
    EXPECT_EQ(StrCompare(S("abc"), S("abd")), 65535);
    EXPECT_EQ(StrCompare(S("abd"), S("abc")), 1);
    EXPECT_EQ(StrCompare(S("ab"), S("ab")), 0);
    EXPECT_EQ(StrCompare(S("abc"), S("ab")), 1);
    EXPECT_EQ(StrCompare(S(""), S("a")), 65535);
    EXPECT_EQ(StrCompare(S("\xE9"), S("z")), 1);  // unsigned bytes
    EXPECT_EQ(StrCompare(StrErrorValue(145), S("a")), err::STROUTBOUND);
}

TEST_F(StrFuncs, CharacterSetFunctions) {
    EXPECT_EQ(show(StrRepeat(S("ab"), 3)), "ababab");
    EXPECT_EQ(show(StrRepeat(S("ab"), 0)), "");
    EXPECT_EQ(StrError(StrRepeat(S("abc"), 30000)), err::STRINGTOOLONG);
    EXPECT_EQ(show(StrCollapse(S("a  b   c "), ' ')), "a b c ");
    EXPECT_EQ(show(StrKeepChars(S("a1b2c3"), S("0123456789"))), "123");
    EXPECT_EQ(show(StrTranslate(S("a-b_c"), S("-_"), S("+"))), "a+b_c");
    EXPECT_EQ(show(StrTranslate(S("abc"), S("abc"), S("xyz"))), "xyz");
    // Two 2-wide patterns: "<<" becomes "[" and ">>" becomes "]".
    EXPECT_EQ(show(StrReplaceSet(S("a<<b>>c<"), S("<<>>"), S("[]"))), "a[b]c<");
    EXPECT_EQ(show(StrReplaceSet(S("abc"), S("x"), S(""))), "abc");
    EXPECT_EQ(show(StrChar('q')), "q");
    EXPECT_EQ(StrDefault(S(""), S("b")).str(), "b");
    EXPECT_EQ(StrDefault(S("a"), S("b")).str(), "a");
    EXPECT_EQ(IntDefault(0, 5), 5);
    EXPECT_EQ(MaxValue(-3, 2), 2);
    EXPECT_EQ(MinValue(-3, 2), -3);
}

TEST_F(StrFuncs, TerminatedCopiesAndOverlayWritesOnlyWhatFits) {
    StrDesc s = S("abc");
    const char* t = StrTerminated(StrMid(S("abcdef"), 1, 2));
    EXPECT_STREQ(t, "bc");
    EXPECT_STREQ(StrTerminated(StrErrorValue(145)), "");
    EXPECT_EQ(show(StrOverlay(s, 1, S("XYZ"))), "aXY");
    EXPECT_EQ(show(s), "abc");  // the source is untouched
    EXPECT_EQ(show(StrOverlay(S("abcdef"), -2, S("XYZ"))), "abcdXY");
    EXPECT_EQ(show(StrOverlay(S("abc"), 5, S("X"))), "abc");
    char buf[] = "hello";
    StrWriteAt(StrMake(buf, 5), 0, S("J"));
    EXPECT_STREQ(buf, "Jello");
}

TEST_F(StrFuncs, ElementArraysCheckWidthAndIndex) {
    std::uint16_t words[3] = {10, 20, 30};
    StrDesc w = StrMake(reinterpret_cast<const char*>(words), sizeof words);
    EXPECT_EQ(ElemGet16(w, 2), 30);
    EXPECT_EQ(ElemGet16(w, 3), 0);
    EXPECT_EQ(ElemSet16(w, 1, 99), 0);
    EXPECT_EQ(words[1], 99);
    EXPECT_EQ(ElemSet16(w, 3, 1), 65535);
    EXPECT_EQ(ElemGet16(StrMid(w, 0, 5), 0), 0);  // odd length
    EXPECT_EQ(ElemSet16(StrMid(w, 0, 5), 0, 7), 65535);
    std::int64_t big[2] = {-5, 1LL << 40};
    StrDesc b = StrMake(reinterpret_cast<const char*>(big), sizeof big);
    EXPECT_EQ(ElemGet64(b, 1), 1LL << 40);
    EXPECT_EQ(ElemGet64(b, 2), 0);
    EXPECT_EQ(ElemGet64(StrMid(b, 0, 12), 0), 0);
    const char recs[] = "aaabbbccc";
    EXPECT_EQ(ArrayFind(recs, 3, S("bbb"), 3), 1);
    EXPECT_EQ(ArrayFind(recs, 3, S("bbx"), 3), 65535);
    EXPECT_EQ(ArrayFind(recs, 2, S("ccc"), 3), 65535);
}

TEST_F(StrFuncs, BufWriteRaisesTheUsedLengthAndStopsAtTheCapacity) {
    char block[8];
    MemBuffer b{block, 8, 0, 0};
    EXPECT_EQ(show(BufWrite(b, S("abc"))), "abc");
    EXPECT_EQ(show(BufWrite(b, S("de"))), "de");
    EXPECT_EQ(b.used, 5);
    EXPECT_EQ(show(BufWrite(b, S("X"), 1)), "X");
    EXPECT_EQ(b.used, 5);
    EXPECT_EQ(std::string(block, 5), "aXcde");
    EXPECT_EQ(show(BufWrite(b, S("1234"))), "<error 153>");
    EXPECT_EQ(b.error, err::STRCONCATERR);
    EXPECT_EQ(b.used, 5);
    EXPECT_EQ(show(BufWrite(b, S("z"))), "");  // a buffer in error accepts nothing
    EXPECT_EQ(b.used, 5);
}

TEST_F(StrFuncs, FormatAppliesPlaceholders) {
    EXPECT_EQ(show(StrFormat(100, S("%slog.txt"), "TR")), "TRlog.txt");
    EXPECT_EQ(show(StrFormat(100, S("There are (%i Screens, %i Windows)"), 2, 3)), "There are (2 Screens, 3 Windows)");
    EXPECT_EQ(show(StrFormat(100, S("%2s |%-3s|%03i|%5.2s|%%|%x"), "a", "b", 7, "xyz", 255)), " a |b  |007|   xy|%|ff");
    EXPECT_EQ(show(StrFormat(100, S("%i/%s/%c"), -12, 34, "q")), "-12/34/q");
    EXPECT_EQ(show(StrFormat(100, S("%s|%i|%q"))), "|0|%q");
    EXPECT_EQ(show(StrFormat(100, S("%s"), StrErrorValue(164))), "<error 164>");
}

TEST_F(StrFuncs, FormatOverflowIs146WithFormatStrings) {
    EXPECT_EQ(show(StrFormat(5, S("abcde"))), "abcde");  // exactly max fits
    StrMarkT m = StrMark();
    EXPECT_EQ(show(StrFormat(5, S("ab%s"), "cdef")), "<error 146>");
    EXPECT_EQ(StrMark(), m);
    EXPECT_EQ(ErrorRecordCode(), err::STRINGTOOLONG);
    EXPECT_EQ(ErrorRecordContext(), ctx::FormatStrings);
}

TEST_F(StrFuncs, ErrorValuesPassThroughUnchanged) {
    const StrDesc e = StrErrorValue(164);
    StrDesc results[] = {
        StrMid(e, 1, 2), StrTrim(e), StrUnquote(e), StrCleanValue(e), StrUpper(e), StrLower(e),
        StrConcat(e, S("x")), StrConcat(S("x"), e), StrJoin(S("a"), S(","), e), StrJoinPair(e, S("x")),
        StrReplaceAll(e, S("a"), S("b"), true), StrReplaceAll(S("a"), S("a"), e, true), StrWrap(e, '['),
        StrQuote(e, '\''), StrRepeat(e, 2), StrCollapse(e, ' '), StrKeepChars(e, S("a")), StrTranslate(e, S("a"), S("b")),
        StrReplaceSet(e, S("ab"), S("x")), StrOverlay(e, 0, S("a")), KeyValueFind(e, S("K"), 0),
        StrFormat(10, e), StrDefault(e, S("b")),
    };
    for (StrDesc r : results) EXPECT_EQ(StrError(r), 164);
    EXPECT_EQ(StrFindChar(e, 0, 'a', true), STR_NPOS);
    EXPECT_EQ(StrToInt(e), 0);
}

struct KeyCase {
    const char* text;
    const char* key;
    unsigned flags;
    const char* value;
};

TEST_F(StrFuncs, KeyValueFindBoundaries) {
    const KeyCase cases[] = {
        {"/HOST:srv /USER=me", "USER", 0, "me"},
        {"/HOST:srv /USER=me", "HOST", 0, "srv"},
        {"XUSER=me", "USER", 0, ""},                     // a key must start the text or follow ": &/"
        {"USER=me", "USER", 0, "me"},
        {"A=1&USER=me&B=2", "USER", 0, "me"},
        {"A:1:USER=x:y", "USER", 0, "x"},                // the value ends at ":"
        {"/USER=me /USER:you", "USER", 0, "you"},        // ":" over the whole text wins over "="
        {"/NAME='a b:c' /X=1", "NAME", 0, "'a b:c'"},   // quotes hide the value's end characters
        {"/NAME='a b:c' /X=1", "NAME", 1, "a b:c"},
        {"/NAME=abc", "NAME", 3, "ABC"},
        {"/NAME='abc'", "NAME", 3, "abc"},
        {"/V='x /K=1' /K=2", "K", 0, "2"},              // a key inside quotes is not seen
        {"/K=", "K", 0, ""},
        {"/k=1", "K", 0, ""},                            // keys are case-sensitive
        {"/DPATH=D:\\data", "DPATH", 0, "D"},
        {"/DPATH='D:\\data'", "DPATH", 3, "D:\\data"},
        {"", "K", 0, ""},
        {"K", "K", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(show(KeyValueFind(S(c.text), S(c.key), c.flags)), c.value) << c.text << " / " << c.key;
}

TEST_F(StrFuncs, KeyValueFindInAnEnvironmentBlock) {
    static const char block[] = "PATH=/bin\0HOME=/root\0XHOME=no\0A='q r'";
    StrDesc env = StrMake(block, sizeof block - 1);
    EXPECT_EQ(show(KeyValueFind(env, S("HOME"), 4)), "/root");
    EXPECT_EQ(show(KeyValueFind(env, S("PATH"), 4)), "/bin");
    EXPECT_EQ(show(KeyValueFind(env, S("A"), 4)), "'q r'");
    EXPECT_EQ(show(KeyValueFind(env, S("A"), 5)), "q r");
    EXPECT_EQ(show(KeyValueFind(env, S("ME"), 4)), "");
}

}  // namespace
