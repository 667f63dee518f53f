#include <gtest/gtest.h>

#include <string>

#include "shell/display.h"
#include "tests/support/runtime_fixture.h"

using namespace rt;

namespace {

class FontTable : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        FontReset();
    }
    void TearDown() override {
        FontReset();
        RuntimeTest::TearDown();
    }
};

TEST_F(FontTable, DefinitionsKeepTheirValuesAndTheLastIsInUse) {
    FontEntry e;
    EXPECT_FALSE(FontCurrent(e));  // no definition: the system font is used
    ASSERT_EQ(FontDefine(24, 12, 400, StrView("Lucida Console")), 0);
    ASSERT_EQ(FontDefine(20, 10, 1, StrView("Courier New")), 0);
    ASSERT_TRUE(FontCurrent(e));
    EXPECT_EQ(e.height, 20);
    EXPECT_EQ(e.width, 10);
    EXPECT_EQ(e.weight, 700);
    EXPECT_STREQ(e.face, "Courier New");
    ASSERT_TRUE(FontGet(1, e));
    EXPECT_EQ(e.weight, 400);
    EXPECT_STREQ(e.face, "Lucida Console");
    EXPECT_FALSE(FontGet(3, e));
}

TEST_F(FontTable, WeightsFacesAndSystemMetrics) {
    FontEntry e;
    FontDefine(16, 8, 0, StrView(std::string(31, 'f')));
    ASSERT_TRUE(FontCurrent(e));
    EXPECT_EQ(e.weight, 400);
    EXPECT_EQ(std::string(e.face), std::string(31, 'f'));
    // 32 characters is too long: the face is left empty.
    FontDefine(16, 8, 700, StrView(std::string(32, 'g')));
    ASSERT_TRUE(FontCurrent(e));
    EXPECT_EQ(e.weight, 700);
    EXPECT_STREQ(e.face, "");
    // -1 takes the system font's cell.
    platform::FontMetrics sys = platform::backend().systemFontMetrics();
    FontDefine(-1, -1, 400, StrView("x"));
    ASSERT_TRUE(FontCurrent(e));
    EXPECT_EQ(e.height, sys.cellHeight);
    EXPECT_EQ(e.width, sys.cellWidth);
}

TEST_F(FontTable, AnEighthDefinitionIsIgnored) {
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(FontDefine(10 + i, 8, 400, StrView("f")), 0);
    EXPECT_EQ(FontDefine(99, 99, 400, StrView("late")), err::DATAOUTBOUND);
    EXPECT_EQ(FontCount(), 7);
    FontEntry e;
    ASSERT_TRUE(FontCurrent(e));
    EXPECT_EQ(e.height, 17);
}

TEST_F(FontTable, CreatedFontShrinksHeightAndWidth) {
    struct Case {
        int height, width, madeHeight, madeWidth;
    };
    // width - max(width / 16 rounded half away from zero, 1)
    const Case cases[] = {{24, 12, 21, 11}, {16, 8, 13, 7}, {30, 24, 27, 22}, {40, 40, 37, 37}, {20, 0, 17, -1}};
    for (const Case& c : cases) {
        FontEntry e;
        e.height = static_cast<std::int16_t>(c.height);
        e.width = static_cast<std::int16_t>(c.width);
        e.weight = 700;
        std::snprintf(e.face, sizeof e.face, "Mono");
        platform::FontSpec spec = FontCreateSpec(e);
        EXPECT_EQ(spec.height, c.madeHeight) << c.width;
        EXPECT_EQ(spec.width, c.madeWidth) << c.width;
        EXPECT_EQ(spec.weight, 700);
        EXPECT_EQ(spec.face, "Mono");
    }
}

TEST(ScreenGeometryDefaults, RuntimeDefaultAndEntryPointSetting) {
    ScreenGeometryReset();
    EXPECT_EQ(ScreenGeometryGet().columns, 80);
    EXPECT_EQ(ScreenGeometryGet().rows, 25);
    ScreenGeometry(70, 12);
    const ScreenLayout& g = ScreenGeometryGet();
    EXPECT_EQ(g.columns, 70);
    EXPECT_EQ(g.rows, 12);
    EXPECT_EQ(g.left + g.top + g.extra + g.spacing, 0);
    ScreenGeometryReset();
}

}  // namespace
