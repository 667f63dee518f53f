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

class StringStack : public testsupport::RuntimeTest {};

class SmallStringStack : public testsupport::RuntimeTest {
protected:
    std::uint16_t stackSlots() const override { return 4; }  // 4 KB of text, 4 slots
};

TEST_F(SmallStringStack, PushEndingExactlyAtTheBlockEndFailsAndKeepsTheTop) {
    std::string big(4096 - 4, 'x');
    StrMarkT m = StrMark();
    ASSERT_EQ(StrPush(StrView(std::string_view(big).substr(0, 4092))), 0);  // ends 4 bytes before the end
    StrRelease(m);
    std::string exact(4096, 'y');
    EXPECT_EQ(StrPush(StrMake(exact.data(), 4096)), err::OUTOFMEMORY);
    EXPECT_EQ(StrMark(), m);
    EXPECT_EQ(StrStackInfo().bytesUsed, 0u);
}

TEST_F(SmallStringStack, SlotsRunOutAtTheLastSlot) {
    // Slot 0 is the permanent bottom; with 4 slots three values fit.
    EXPECT_EQ(StrPush(StrView("a")), 0);
    EXPECT_EQ(StrPush(StrView("b")), 0);
    EXPECT_EQ(StrPush(StrView("c")), 0);
    EXPECT_EQ(StrPush(StrView("d")), err::OUTOFMEMORY);
    EXPECT_EQ(show(StrTop()), "c");
}

TEST_F(StringStack, ReturnLeavesOneValueAboveTheMark) {
    StrMarkT m = StrMark();
    StrPush(StrView("temporary"));
    StrPush(StrView("result"));
    StrDesc r = StrReturn(m, StrTop());
    EXPECT_EQ(StrMark(), m + 1);
    EXPECT_EQ(show(r), "result");
    // A value in the middle of the released region survives the move too.
    StrMarkT m2 = StrMark();
    StrPush(StrView("abcdefgh"));
    StrDesc mid = StrMake(StrTop().ptr + 2, 4);
    StrPush(StrView("zz"));
    EXPECT_EQ(show(StrReturn(m2, mid)), "cdef");
}

TEST_F(StringStack, KeepMovesTwoValuesDownInOrder) {
    StrMarkT m = StrMark();
    StrPush(StrView("first"));
    StrDesc a = StrTop();
    StrPush(StrView("junk"));
    StrPush(StrView("second"));
    StrDesc b = StrTop();
    ASSERT_EQ(StrKeep(m, {&b, &a}), 0);
    EXPECT_EQ(StrMark(), m + 2);
    EXPECT_EQ(show(b), "second");
    EXPECT_EQ(show(a), "first");
    EXPECT_EQ(show(StrTop()), "first");
}

TEST_F(StringStack, ErrorValuesAreNotPushedAndTravel) {
    EXPECT_EQ(StrPush(StrErrorValue(163)), 163);
    EXPECT_EQ(StrMark(), 0);
    EXPECT_EQ(StrError(StrReturn(0, StrErrorValue(145))), 145);
    EXPECT_EQ(StrError(StrDesc{nullptr, 0}), 65535);
    EXPECT_EQ(StrError(StrFromTerminated(nullptr)), err::BADINPUTDATA);
}

TEST_F(StringStack, ArraysAreZeroedAndBoundsChecked) {
    StrArrayT a = StrArray(3);
    ASSERT_EQ(a.count, 3);
    StrArraySet(a, 1, StrView("x"));
    StrArraySet(a, 3, StrView("ignored"));
    EXPECT_EQ(show(StrArrayGet(a, 2)), "x");
    EXPECT_EQ(show(StrArrayGet(a, 1)), "");
    EXPECT_EQ(show(StrArrayGet(a, 4)), "");
    EXPECT_EQ(show(StrArrayGet(a, 0)), "");
}

class StringAreaTest : public testsupport::RuntimeTest {};

TEST_F(StringAreaTest, GetBeyondCountAndPeekOfEmptyAreEmpty) {
    EXPECT_EQ(show(AreaGet(5, 3)), "");
    EXPECT_EQ(show(AreaPeek(31)), "");
    EXPECT_EQ(ErrorRecordCode(), 0);
    EXPECT_EQ(StrError(AreaGet(39, 0)), err::STROUTBOUND);
    EXPECT_EQ(ErrorRecordContext(), ctx::DynStrings);
}

TEST_F(StringAreaTest, StacksAreLastInFirstOutAndQueuesFirstInFirstOut) {
    for (const char* v : {"1", "2", "3"}) {
        AreaPush(31, StrView(v));
        AreaPush(37, StrView(v));
    }
    std::string stack, queue;
    while (AreaCount(31)) { stack += show(AreaTake(31)); }
    while (AreaCount(37)) { queue += AreaPeek(37).str(); AreaPop(37); }
    EXPECT_EQ(stack, "321");
    EXPECT_EQ(queue, "123");
}

TEST_F(StringAreaTest, SetBeyondCountPadsAndRemoveShiftsDown) {
    AreaPush(6, StrView("a"));
    AreaPush(6, StrView("b"));
    AreaPush(7, StrView("other table"));
    ASSERT_EQ(AreaSet(6, 5, StrView("f")), 0);
    EXPECT_EQ(AreaCount(6), 6);
    for (int i = 2; i < 5; ++i) EXPECT_EQ(show(AreaGet(6, i)), "");
    EXPECT_EQ(show(AreaGet(6, 5)), "f");
    EXPECT_EQ(show(AreaGet(7, 0)), "other table");

    AreaTruncate(6, 3);
    AreaSet(6, 2, StrView("c"));
    ASSERT_EQ(AreaRemove(6, 0), 0);
    EXPECT_EQ(AreaCount(6), 2);
    EXPECT_EQ(show(AreaGet(6, 0)), "b");
    EXPECT_EQ(show(AreaGet(6, 1)), "c");
    EXPECT_EQ(show(AreaGet(7, 0)), "other table");
}

TEST_F(StringAreaTest, StoringAViewOfTheAreaItselfIsSafe) {
    AreaSet(1, 0, StrView("hello world"));
    AreaSet(0, 0, StrView("env"));  // moves table 1's text
    StrDesc v = AreaGet(1, 0);
    ASSERT_EQ(AreaSet(0, 0, StrMake(v.ptr + 6, 5)), 0);
    EXPECT_EQ(show(AreaGet(0, 0)), "world");
    EXPECT_EQ(show(AreaGet(1, 0)), "hello world");
}

TEST_F(StringAreaTest, OverflowChangesNothingAndIsRecordedAsAStoreFailure) {
    std::string chunk(60000, 'z');
    ASSERT_EQ(AreaSet(2, 0, StrView(chunk)), 0);
    ASSERT_EQ(AreaSet(3, 0, StrView("keep")), 0);
    EXPECT_EQ(AreaSet(3, 1, StrView(std::string(2000, 'q'))), err::STROUTBOUND);
    EXPECT_EQ(AreaCount(3), 1);
    EXPECT_EQ(ErrorRecordCode(), err::LOADSTRERROR);
    EXPECT_EQ(ErrorRecordContext(), ctx::STRINGASSIGN);
    EXPECT_EQ(AreaSet(3, 2047, StrView("x")), err::STROUTBOUND);
}

// Interleaved stores, removals, pops and truncations over several tables,
// each followed by reading every entry back against a plain model: entry
// positions and text offsets stay right after each kind of change, in the
// changed table and in the tables after it.
TEST_F(StringAreaTest, EveryEntryReadsBackAfterInterleavedChanges) {
    const std::uint16_t tables[] = {0, 1, 6, 9, 13, 31, 38};
    std::vector<std::vector<std::string>> model(AREA_TABLES);
    for (std::uint16_t t : tables)  // what the runtime keeps there already
        for (std::uint16_t i = 0; i < AreaCount(t); ++i) model[t].push_back(show(AreaGet(t, i)));
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    auto checkAll = [&](int step) {
        for (std::uint16_t t : tables) {
            ASSERT_EQ(AreaCount(t), model[t].size()) << "table " << t << " step " << step;
            for (std::size_t i = 0; i < model[t].size(); ++i)
                ASSERT_EQ(show(AreaGet(t, static_cast<std::uint16_t>(i))), model[t][i])
                    << "table " << t << " entry " << i << " step " << step;
        }
    };
    for (int step = 0; step < 400; ++step) {
        std::uint16_t t = tables[next(7)];
        std::vector<std::string>& m = model[t];
        std::uint32_t op = next(10);
        if (op < 5) {  // set, possibly beyond the count
            std::uint16_t i = static_cast<std::uint16_t>(next(static_cast<std::uint32_t>(m.size()) + 3));
            std::string v(next(12), static_cast<char>('a' + step % 26));
            ASSERT_EQ(AreaSet(t, i, StrView(v)), 0);
            if (i >= m.size()) m.resize(i + 1u);
            m[i] = v;
        } else if (op < 7 && !m.empty()) {  // remove from the middle
            std::uint16_t i = static_cast<std::uint16_t>(next(static_cast<std::uint32_t>(m.size())));
            ASSERT_EQ(AreaRemove(t, i), 0);
            m.erase(m.begin() + i);
        } else if (op < 9) {  // push then pop
            ASSERT_EQ(AreaPush(t, StrView("pushed")), 0);
            m.push_back("pushed");
            ASSERT_EQ(AreaPop(t), 0);
            if (t <= 36) m.pop_back();
            else m.erase(m.begin());
        } else {  // truncate
            std::uint16_t n = static_cast<std::uint16_t>(m.size() / 2);
            ASSERT_EQ(AreaTruncate(t, n), 0);
            while (m.size() > n) {
                if (t <= 36) m.pop_back();
                else m.erase(m.begin());
            }
        }
        checkAll(step);
        if (HasFatalFailure()) return;
    }
}

class MemoryBlocks : public testsupport::RuntimeTest {};

TEST_F(MemoryBlocks, GuardTagAndPointerChecks) {
    char* p = MemAllocPtr(20, 16);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemStore(p, 10, StrView("123456")), 0);
    EXPECT_EQ(MemStore(p, 11, StrView("123456")), err::DATAOUTBOUND);
    EXPECT_EQ(MemFree(21, p), err::INTERNALERROR);
    int local = 0;
    EXPECT_EQ(MemFree(20, &local), err::MEMORYALLOCERR);
    p[16] = 'X';  // overwrite the first guard byte
    EXPECT_EQ(MemFree(20, p), err::MEMORYOVERFLOW);
    MemSlot s;
    ASSERT_EQ(MemResolve(MemHighestUsed(), s), 0);
    EXPECT_EQ(s.ptr, p);  // the slot is kept
    p[16] = 0;
    EXPECT_EQ(MemFree(20, p), 0);
    EXPECT_EQ(MemResolve(64, s), err::BADINPUTDATA);
    EXPECT_EQ(MemInit(), err::UNDEFWARNING);
}

TEST_F(MemoryBlocks, ShutdownRefusesWhileAnotherOwnerHoldsABlock) {
    char* p = MemAllocPtr(10, 8);
    EXPECT_EQ(CoreShutdown(), 10);
    EXPECT_TRUE(StrStackReady());
    MemFree(10, p);
    EXPECT_EQ(CoreShutdown(), 0);
    EXPECT_FALSE(StrStackReady());
}

TEST_F(MemoryBlocks, BufferAppendsAlignedUntilFullThenStaysInError) {
    char* p = MemAllocPtr(20, 8);
    MemBuffer b{p, 8, 0, 0};
    EXPECT_EQ(MemBufferAppend(b, StrView("ab"), false), 0);
    EXPECT_EQ(MemBufferAppend(b, StrView("cd"), true), 0);
    EXPECT_EQ(b.used, 6);
    EXPECT_EQ(MemBufferAppend(b, StrView("xyz"), false), err::DATAOUTBOUND);
    EXPECT_EQ(MemBufferAppend(b, StrView("x"), false), err::DATAOUTBOUND);
    MemFree(20, p);
}

}  // namespace
