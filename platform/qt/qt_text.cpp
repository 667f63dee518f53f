#include "platform/qt/qt_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <cstdint>

namespace platform::qt {
namespace {

constexpr const char* kCodecName = "windows-1252";
constexpr char kSubstitute = '\x1A';

// Bytes 0x80-0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Unicode's default-ignorable code points (invisible formatting characters
// and selectors) outside the code page: left out, not substituted.
bool isDefaultIgnorable(char32_t cp) {
    constexpr char32_t ranges[][2] = {
        {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180B, 0x180F},
        {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164}, {0xFE00, 0xFE0F},
        {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
        {0xE0000, 0xE0FFF},
    };
    for (const auto& r : ranges)
        if (cp >= r[0] && cp <= r[1]) return true;
    return false;
}

// The byte for code point `cp`, or the substitute.
char byteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
    return kSubstitute;
}

}  // namespace

QString fromWindows1252Table(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* dst = out.data();
    for (unsigned char b : bytes)
        *dst++ = QChar(b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : char16_t(b));
    return out;
}

std::string toWindows1252Table(QStringView text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (!isDefaultIgnorable(cp)) out.push_back(byteOf(cp));
    }
    return out;
}

QString fromWindows1252(std::string_view bytes) {
    QStringDecoder decoder(kCodecName, QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) return fromWindows1252Table(bytes);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string toWindows1252(QStringView text) {
    QStringEncoder encoder(kCodecName, QStringConverter::Flag::Stateless);
    if (!encoder.isValid()) return toWindows1252Table(text);
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromWindows1252Lines(std::string_view bytes) {
    QString text = fromWindows1252(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace platform::qt
