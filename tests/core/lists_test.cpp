#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/lists.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class Lists : public testsupport::RuntimeTest {};

StrDesc S(const char* s) { return StrFromTerminated(s); }

// All items of a list joined with "|" (to compare a whole list at once).
std::string items(const char* list, char sep = ',') {
    std::string out;
    StrDesc l = S(list);
    for (std::uint16_t i = 1; i <= ListCount(l, sep); ++i) out += (i > 1 ? "|" : "") + show(ListItem(l, sep, i));
    return out;
}

TEST_F(Lists, CountAndItemsRespectQuotes) {
    struct Case { const char* list; std::uint16_t count; const char* items; } cases[] = {
        {"", 0, ""},
        {"a", 1, "a"},
        {"a,b,", 3, "a|b|"},
        {",", 2, "|"},
        {"a,'b,e',d", 3, "a|'b,e'|d"},
        {"a,\"b,e\",d", 3, "a|\"b,e\"|d"},
        {"a,'b,e", 2, "a|'b,e"},           // an unterminated quote hides the rest
        {"'x,\"y',z", 2, "'x,\"y'|z"},    // the other quote kind inside does not matter
        {" a , b ", 2, " a | b "},         // items are not trimmed
        {"a,,b", 3, "a||b"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(ListCount(S(c.list), ','), c.count) << c.list;
        EXPECT_EQ(items(c.list), c.items) << c.list;
    }
    EXPECT_EQ(ListCount(S("a:b:c"), ':'), 3);
    EXPECT_EQ(items("a b", ' '), "a|b");
}

TEST_F(Lists, ItemOutsideTheListIsEmptyAndAView) {
    StrDesc l = S("a,b");
    EXPECT_EQ(show(ListItem(l, ',', 0)), "");
    EXPECT_EQ(show(ListItem(l, ',', 3)), "");
    EXPECT_EQ(show(ListItem(S(""), ',', 1)), "");
    StrMarkT m = StrMark();
    StrDesc it = ListItem(l, ',', 2);
    EXPECT_EQ(it.ptr, l.ptr + 2);
    EXPECT_EQ(StrMark(), m);
    EXPECT_EQ(StrError(ListItem(StrErrorValue(159), ',', 1)), 159);
}

TEST_F(Lists, NulSeparatedListsSearchPlainly) {
    static const char block[] = "a'b\0c\0'd";
    StrDesc l = StrMake(block, sizeof block - 1);
    EXPECT_EQ(ListCount(l, '\0'), 3);
    EXPECT_EQ(show(ListItem(l, '\0', 2)), "c");
    EXPECT_EQ(show(ListItem(l, '\0', 3)), "'d");
}

TEST_F(Lists, ItemValuesAndNumbers) {
    StrDesc l = S(" abc ,'Mixed Case',yes, 42x,\"-7\"");
    EXPECT_EQ(show(ListItemValue(l, ',', 1)), "abc");  // trimming shortened it: no upper-casing
    EXPECT_EQ(show(ListItemValue(l, ',', 2)), "Mixed Case");
    EXPECT_EQ(show(ListItemValue(l, ',', 3)), "YES");
    EXPECT_EQ(ListItemNumber(l, ',', 3), 1);
    EXPECT_EQ(ListItemNumber(l, ',', 4), 42);
    EXPECT_EQ(ListItemNumber(l, ',', 5), -7);
    EXPECT_EQ(ListItemNumber(l, ',', 9), 0);
}

TEST_F(Lists, IndexOfIsExactAndCaseSensitive) {
    EXPECT_EQ(ListIndexOf(S("A,B"), S("b"), ','), 0);
    EXPECT_EQ(ListIndexOf(S("A,B"), S("B"), ','), 2);
    EXPECT_EQ(ListIndexOf(S("A,'B,C',D"), S("'B,C'"), ','), 2);
    EXPECT_EQ(ListIndexOf(S("A,'B,C',D"), S("D"), ','), 3);
    EXPECT_EQ(ListIndexOf(S("A,,B"), S(""), ','), 2);
    EXPECT_EQ(ListIndexOf(S("AB"), S("ABC"), ','), 0);
    EXPECT_EQ(ListIndexOf(S(""), S(""), ','), 0);
    EXPECT_EQ(ListIndexOf(S("x y z"), S("z"), ' '), 3);
}

struct SetCase {
    const char* list;
    int n;
    const char* value;
    const char* result;
};

TEST_F(Lists, SetItemReplacesAppendsAndDeletes) {
    const SetCase cases[] = {
        {"a,b", 5, "Z", "a,b,,,Z"},
        {"a,b", 3, "Z", "a,b,Z"},
        {"a,b,e", 2, "XX", "a,XX,e"},
        {"a,b,e", 1, "", ",b,e"},
        {"a,'b,c',d", 3, "Q", "a,'b,c',Q"},
        {"", 1, "X", "X"},
        {"", 3, "X", ",,X"},
        {"a,b", 0, "c", "a,b,c"},
        {"", 0, "c", "c"},
        {"a,b,", 0, "c", "a,b,,c"},
        {"a,b,e", -1, "", "b,e"},
        {"a,b,e", -2, "", "a,e"},
        {"a,b,e", -3, "", "a,b"},
        {"a", -1, "", ""},
        {"a,b", -7, "", "a,b"},
        {"'x,y',b", -1, "", "b"},
        {"a,'x,y'", -2, "", "a"},
    };
    for (const auto& c : cases) {
        StrMarkT m = StrMark();
        StrDesc r = ListSetItem(S(c.list), ',', c.n, S(c.value));
        EXPECT_EQ(show(r), c.result) << c.list << " " << c.n;
        EXPECT_EQ(StrMark(), m + 1) << "one result above the mark";
        StrRelease(m);
    }
}

class TinyStackLists : public testsupport::RuntimeTest {
protected:
    std::uint16_t stackSlots() const override { return 4; }
};

TEST_F(TinyStackLists, SetItemFailureIsRecordedAndReturned) {
    std::string big(3000, 'x');
    StrDesc r = ListSetItem(StrView(big), ',', 2, StrView(big));  // 6001 bytes on a 4 KB stack
    EXPECT_EQ(StrError(r), err::OUTOFMEMORY);
    EXPECT_EQ(ErrorRecordCode(), err::OUTOFMEMORY);
    EXPECT_EQ(ErrorRecordContext(), ctx::NONE);
}

TEST_F(Lists, UnionAndMinus) {
    EXPECT_EQ(show(ListUnion(S("a,b"), ',', S("b;c;a;d"), ';')), "a,b,c,d");
    EXPECT_EQ(show(ListUnion(S(""), ',', S("x;y;x"), ';')), "x,y");
    EXPECT_EQ(show(ListUnion(S("a,b"), ',', S(""), ';')), "a,b");
    EXPECT_EQ(show(ListMinus(S("a,b,c,d"), ',', S("b d"), ' ')), "a,c");
    EXPECT_EQ(show(ListMinus(S("a,b"), ',', S("a,b"), ',')), "");
    EXPECT_EQ(show(ListMinus(S("a,'b,c'"), ',', S("x"), ',')), "a,'b,c'");
}

TEST_F(Lists, ItemLengthsAreOfTheUnquotedItems) {
    EXPECT_EQ(ListMaxItemLength(S("a,'bbbb',cc"), ','), 4);
    EXPECT_EQ(ListMinItemLength(S("aaa,'b',cc"), ','), 1);
    EXPECT_EQ(ListMinItemLength(S("aaa,,cc"), ','), 0);
    EXPECT_EQ(ListMaxItemLength(S(""), ','), 0);
    EXPECT_EQ(ListMinItemLength(S(""), ','), 0);
}

TEST_F(Lists, SplitGivesEveryItem) {
    StrDesc l = S("a,'b,c',,d");
    StrArrayT a = ListSplit(l, ',');
    ASSERT_EQ(a.count, 4);
    EXPECT_EQ(show(StrArrayGet(a, 1)), "a");
    EXPECT_EQ(show(StrArrayGet(a, 2)), "'b,c'");
    EXPECT_EQ(show(StrArrayGet(a, 3)), "");
    EXPECT_EQ(show(StrArrayGet(a, 4)), "d");
    EXPECT_EQ(ListSplit(S(""), ',').count, 0);
}

TEST_F(Lists, RangeListFindsTheFirstHoldingRange) {
    StrDesc l = S("0-9,10-99,100,-5--1, 200 - 300 ,x");
    EXPECT_EQ(RangeListFind(l, 0), 1);
    EXPECT_EQ(RangeListFind(l, 9), 1);
    EXPECT_EQ(RangeListFind(l, 10), 2);
    EXPECT_EQ(RangeListFind(l, 100), 3);
    EXPECT_EQ(RangeListFind(l, 101), 0);
    EXPECT_EQ(RangeListFind(l, -3), 4);
    EXPECT_EQ(RangeListFind(l, 250), 5);
    EXPECT_EQ(RangeListFind(S("5-1"), 3), 0);
    EXPECT_EQ(RangeListFind(S("1-5000000000"), 4000000000LL), 1);
    EXPECT_EQ(RangeListFind(S(""), 0), 0);
}

}  // namespace
