#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>

#include <ostream>

#include "platform/platform.h"
#include "platform/qt/qt_fonts.h"

namespace platform {
void PrintTo(const FontSpec& f, std::ostream* os) {
    *os << f.height << "x" << f.width << " weight " << f.weight << " '";
    for (unsigned char c : f.face) {
        if (c < 0x80) *os << c;
        else *os << "\\x" << std::hex << unsigned(c) << std::dec;
    }
    *os << "'";
}
}  // namespace platform

using platform::FontSpec;
using platform::qt::makeFont;

namespace {

class CellFonts : public ::testing::TestWithParam<FontSpec> {};

TEST_P(CellFonts, FillTheCellWithAFixedPitchFace) {
    const FontSpec& spec = GetParam();
    const platform::FontMetrics m = platform::backend().fontMetrics(spec);
    const QFont font = makeFont(spec);
    EXPECT_TRUE(QFontInfo(font).fixedPitch()) << QFontInfo(font).family().toStdString();
    EXPECT_EQ(QFontInfo(font).bold(), spec.weight >= 700);
    // The line height is the height asked for (a pixel size step may move the
    // line height by two pixels, never above it).
    EXPECT_LE(m.cellHeight, spec.height);
    EXPECT_GE(m.cellHeight, spec.height - 2);
    if (spec.width > 0)
        EXPECT_EQ(m.cellWidth, spec.width);
    else
        EXPECT_GT(m.cellWidth, 0);
}

INSTANTIATE_TEST_SUITE_P(Specs, CellFonts,
                         ::testing::Values(FontSpec{24, 12, 400, "Lucida Console"},
                                           FontSpec{21, 11, 400, "Lucida Console"},
                                           FontSpec{16, 8, 700, "Lucida Console"},
                                           FontSpec{40, 20, 700, "  Lucida Console  "},
                                           FontSpec{30, 0, 400, "Courier New"},
                                           FontSpec{12, 7, 400, ""},
                                           FontSpec{20, 10, 400, "Caf\xE9 Mono"},
                                           FontSpec{24, 12, 400, "DejaVu Sans Mono"}));

TEST(Fonts, EveryHeightGivesALineNoTallerThanAsked) {
    int previous = 0;
    for (int h = 6; h <= 64; ++h) {
        const platform::FontMetrics m = platform::backend().fontMetrics(FontSpec{h, 0, 400, "Lucida Console"});
        ASSERT_LE(m.cellHeight, h) << h;
        ASSERT_GE(m.cellHeight, h - 2) << h;
        ASSERT_GE(m.cellHeight, previous) << h;
        previous = m.cellHeight;
    }
}

TEST(Fonts, AnInstalledProportionalFaceIsKept) {
    if (!QFontDatabase::hasFamily("DejaVu Sans")) GTEST_SKIP() << "DejaVu Sans is not installed";
    const QFontInfo info(makeFont(FontSpec{24, 0, 400, "DejaVu Sans"}));
    EXPECT_EQ(info.family(), "DejaVu Sans");
    EXPECT_FALSE(info.fixedPitch());
}

TEST(Fonts, OutOfRangeSpecsGiveUsableMetrics) {
    const FontSpec specs[] = {{0, 0, 0, ""}, {-1, -1, 400, "Lucida Console"}, {1, 1, 1, "Lucida Console"},
                              {100000, 100000, 5000, "x"}, {24, 12, -7, "Lucida Console"}};
    for (const FontSpec& spec : specs) {
        const platform::FontMetrics m = platform::backend().fontMetrics(spec);
        EXPECT_GT(m.cellWidth, 0) << spec.height;
        EXPECT_GT(m.cellHeight, 0) << spec.height;
        EXPECT_LE(m.cellHeight, 2048) << spec.height;
    }
}

TEST(Fonts, SystemFixedFontHasACharacterCell) {
    const platform::FontMetrics m = platform::backend().systemFontMetrics();
    EXPECT_GT(m.cellWidth, 0);
    EXPECT_GT(m.cellHeight, m.cellWidth);
    EXPECT_TRUE(QFontInfo(platform::qt::systemFixedFont()).fixedPitch());
}

}  // namespace
