#include "lang/growarray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memblocks.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;

namespace {

class GrowArrayTest : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(growInit(), 0);
    }
    void TearDown() override {
        growShutdown();
        RuntimeTest::TearDown();
    }
};

TEST_F(GrowArrayTest, RecordsSurviveGrowthAndNewRecordsAreZero) {
    constexpr std::uint16_t id = grow::FIRSTFREE;
    ASSERT_EQ(growReset(id, 12), 0);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        char* r = growAppend(id);
        ASSERT_NE(r, nullptr);
        for (int b = 0; b < 12; ++b) ASSERT_EQ(r[b], 0) << i;
        std::memcpy(r, &i, 4);
    }
    EXPECT_EQ(growCount(id), 5000u);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        std::uint32_t v;
        std::memcpy(&v, growData(id) + i * 12, 4);
        ASSERT_EQ(v, i);
    }
    // Records dropped and taken again come back zeroed, also after the block shrank.
    ASSERT_EQ(growResize(id, 10), 0);
    ASSERT_EQ(growResize(id, 20), 0);
    for (int b = 10 * 12; b < 20 * 12; ++b) ASSERT_EQ(growData(id)[b], 0);
    std::uint32_t v;
    std::memcpy(&v, growData(id) + 9 * 12, 4);
    EXPECT_EQ(v, 9u);
    ASSERT_EQ(growReset(id, 4), 0);
    EXPECT_EQ(growCount(id), 0u);
    EXPECT_EQ(growRecordSize(id), 4u);
}

TEST_F(GrowArrayTest, BadIdsAndImpossibleSizesAreRefused) {
    EXPECT_EQ(growReset(grow::COUNT, 4), err::BADINPUTDATA);
    EXPECT_EQ(growReset(0, 0), err::BADINPUTDATA);
    EXPECT_EQ(growResize(grow::COUNT, 1), err::BADINPUTDATA);
    EXPECT_EQ(growCount(grow::COUNT), 0u);
    EXPECT_EQ(growData(grow::COUNT), nullptr);
    EXPECT_EQ(growAppend(grow::COUNT), nullptr);

    ASSERT_EQ(growReset(1, 1u << 20), 0);
    ASSERT_EQ(growResize(1, 3), 0);
    EXPECT_EQ(growResize(1, 1u << 13), err::STRUCTMEMERROR);  // 8 GB
    EXPECT_EQ(growCount(1), 3u);

    // Without free block slots an array cannot grow, and keeps what it had.
    std::vector<char*> taken;
    while (char* p = MemAllocPtr(99, 16)) taken.push_back(p);
    ASSERT_EQ(growReset(2, 8), 0);
    ASSERT_EQ(growResize(2, 8), 0);  // fits the first block
    std::memset(growData(2), 7, 64);
    EXPECT_EQ(growResize(2, 9), err::STRUCTMEMERROR);
    EXPECT_EQ(growAppend(2), nullptr);
    EXPECT_EQ(growCount(2), 8u);
    EXPECT_EQ(growData(2)[63], 7);
    for (char* p : taken) MemFree(99, p);
    EXPECT_NE(growAppend(2), nullptr);

    growShutdown();
    EXPECT_EQ(growResize(2, 1), err::STRUCTMEMERROR);
    EXPECT_EQ(growReset(2, 1), err::STRUCTMEMERROR);
}

}  // namespace
