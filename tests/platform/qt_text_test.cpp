#include <gtest/gtest.h>

#include <QStringEncoder>

#include <string>

#include "platform/qt/qt_text.h"

using namespace platform::qt;

namespace {

std::string allBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
}

TEST(Windows1252, EveryByteSurvivesARoundTrip) {
    const std::string bytes = allBytes();
    const QString text = fromWindows1252(bytes);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toWindows1252(text), bytes);
    EXPECT_EQ(toWindows1252Table(fromWindows1252Table(bytes)), bytes);
}

TEST(Windows1252, HighBytesAreTheCodePagesCharacters) {
    const std::string bytes("\x80\x85\x92\x9F\xA0\xBF\xE9\xFF", 8);
    const QString expected = QString::fromUtf16(u"\u20AC\u2026\u2019\u0178\u00A0\u00BF\u00E9\u00FF");
    EXPECT_EQ(fromWindows1252(bytes), expected);
    EXPECT_EQ(fromWindows1252Table(bytes), expected);
    EXPECT_EQ(fromWindows1252(std::string("a\0b", 3)).size(), 3);
}

TEST(Windows1252, CharactersOutsideTheCodePageBecomeOneSubstituteEach) {
    // Invisible formatting characters (zero-width space, joiner, byte-order
    // mark) leave nothing behind.
    const QString text = QString::fromUtf16(u"a\u4E2Db\U0001F600c\u0100\u200B\u200D\uFEFFd");
    EXPECT_EQ(toWindows1252(text), "a\x1A" "b\x1A" "c\x1A" "d");
    EXPECT_EQ(toWindows1252Table(text), "a\x1A" "b\x1A" "c\x1A" "d");
}

TEST(Windows1252, BuiltInTableAgreesWithTheSystemCodec) {
    if (!QStringEncoder("windows-1252").isValid()) GTEST_SKIP() << "no windows-1252 codec on this system";
    const std::string bytes = allBytes();
    EXPECT_EQ(fromWindows1252Table(bytes), fromWindows1252(bytes));
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp < 0xE000) continue;
        const QString one = QString::fromUcs4(&cp, 1);
        ASSERT_EQ(toWindows1252Table(one), toWindows1252(one)) << "U+" << std::hex << unsigned(cp);
    }
}

TEST(Windows1252, LinesEndWithLineFeedsOnly) {
    EXPECT_EQ(fromWindows1252Lines("a\r\nb\rc\nd\r\n\r\ne"), QString("a\nb\nc\nd\n\ne"));
}

}  // namespace
