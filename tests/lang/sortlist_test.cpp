// Sorted lists used directly: growth over many records, and the memory they
// give back.
#include "lang/sortlist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/memblocks.h"
#include "core/strstack.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;
using testsupport::show;

namespace {

class SortList : public testsupport::RuntimeTest {};

int blocksOfSortLists() {
    int n = 0;
    for (MemHandle s = 0; s < MemSlotCount(); ++s) {
        MemSlot slot;
        if (MemResolve(s, slot) == 0 && slot.ptr && (slot.tag == tag::SORTLISTS || slot.tag == tag::SORTRECORDS)) ++n;
    }
    return n;
}

TEST_F(SortList, ManyRecordsInAnyOrderComeBackInKeyOrder) {
    StrScope scope;
    StrDesc h = SortNew(5, 8, 0);
    ASSERT_FALSE(h.isError());
    std::string handle = h.str();
    // 3000 keys in a scrambled order (7919 is prime, so i * 7919 mod 3001 visits each once).
    for (int i = 1; i <= 3000; ++i) {
        char rec[16];
        std::snprintf(rec, sizeof rec, "%05d#%02d", (i * 7919) % 3001, i % 100);
        std::int64_t outcome = -1;
        ASSERT_EQ(SortAdd(StrView(handle), StrView(rec), outcome), 0) << i;
        ASSERT_EQ(outcome, 0);
    }
    EXPECT_EQ(SortCount(StrView(handle)), 3000);
    std::int64_t outcome = -1;
    ASSERT_EQ(SortMove(StrView(handle), StrView("TOP"), outcome), 0);
    std::string previous;
    int seen = 0;
    while (outcome == 0) {
        StrScope s;
        std::string rec = show(SortGet(StrView(handle)));
        ASSERT_EQ(rec.size(), 8u);
        EXPECT_LT(previous, rec.substr(0, 5));
        previous = rec.substr(0, 5);
        ++seen;
        ASSERT_EQ(SortMove(StrView(handle), StrView("NXT"), outcome), 0);
    }
    EXPECT_EQ(seen, 3000);
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(blocksOfSortLists(), 2);  // the list's state and its records
    ASSERT_EQ(SortKill(StrView(handle)), 0);
    EXPECT_EQ(blocksOfSortLists(), 0);
    EXPECT_EQ(SortCount(StrView(handle)), 65535);
}

TEST_F(SortList, FreeAllForgetsEveryList) {
    StrScope scope;
    std::string a = SortNew(1, 1, 0).str(), b = SortNew(2, 2, sortflag::UNIQUE).str();
    std::int64_t outcome = 0;
    ASSERT_EQ(SortAdd(StrView(a), StrView("x"), outcome), 0);
    SortFreeAll();
    EXPECT_EQ(blocksOfSortLists(), 0);
    EXPECT_EQ(SortAdd(StrView(a), StrView("y"), outcome), err::SINTAXERROR);
    EXPECT_EQ(SortKill(StrView(b)), err::SINTAXERROR);
    // A list made afterwards may reuse the freed block: the old handle still fails.
    std::string c = SortNew(1, 1, 0).str();
    EXPECT_EQ(SortCount(StrView(a)), 65535);
    EXPECT_EQ(SortCount(StrView(c)), 0);
}

TEST_F(SortList, AtMostEightListsLiveAtOnce) {
    StrScope scope;
    std::string handles[SORT_MAX_LISTS];
    for (auto& h : handles) {
        h = SortNew(1, 1, 0).str();
        ASSERT_EQ(h.size(), SORT_HANDLE_BYTES);
    }
    EXPECT_EQ(StrError(SortNew(1, 1, 0)), err::OUTOFMEMORY);
    ASSERT_EQ(SortKill(StrView(handles[3])), 0);
    EXPECT_EQ(SortNew(1, 1, 0).len, SORT_HANDLE_BYTES);
}

}  // namespace
