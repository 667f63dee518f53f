#include "platform/qt/qt_fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "platform/qt/qt_text.h"

namespace platform::qt {
namespace {

constexpr int kMaxPixels = 2048;
constexpr int kMaxStretch = 4000;  // QFont's stretch range is 1-4000

int lineHeight(const QFont& font) { return QFontMetrics(font).height(); }

// The largest pixel size whose line height does not exceed `target` (at
// least 1). Faces add their own leading to the em size, so the size is first
// scaled by the measured ratio, then corrected by single steps.
int pixelSizeForLineHeight(QFont font, int target) {
    int px = target;
    font.setPixelSize(px);
    const int measured = lineHeight(font);
    if (measured > 0 && measured != target)
        px = std::clamp(static_cast<int>(std::lround(double(target) * px / measured)), 1, kMaxPixels);
    for (int step = 0; step < 8; ++step) {  // a handful of steps always suffices
        font.setPixelSize(px);
        if (lineHeight(font) > target && px > 1) {
            --px;
            continue;
        }
        font.setPixelSize(px + 1);
        if (px < kMaxPixels && lineHeight(font) <= target) {
            ++px;
            continue;
        }
        break;
    }
    return px;
}

}  // namespace

QFont systemFixedFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

QFont makeFont(const FontSpec& spec) {
    const QFont fixed = systemFixedFont();
    QString family = fromWindows1252(spec.face).trimmed();
    if (family.isEmpty()) family = fixed.family();

    QFont font;
    font.setFamilies(QStringList{family});
    // A missing face is replaced by the matcher; the hint makes the
    // replacement a monospace face (cells must keep their width).
    font.setStyleHint(QFont::TypeWriter);
    font.setWeight(static_cast<QFont::Weight>(spec.weight <= 0 ? 400 : std::min(spec.weight, 1000)));

    int height = spec.height > 0 ? std::min(spec.height, kMaxPixels) : QFontInfo(fixed).pixelSize();
    if (height <= 0) height = 16;
    font.setPixelSize(height);
    const QFontInfo resolved(font);
    if (!resolved.fixedPitch() && resolved.family().compare(family, Qt::CaseInsensitive) != 0) {
        // The matcher ignored the hint: take the system's fixed face instead.
        font.setFamilies(QStringList{fixed.family()});
    }
    font.setPixelSize(pixelSizeForLineHeight(font, height));

    if (spec.width > 0) {
        const int width = std::min(spec.width, kMaxPixels);
        const qreal natural = QFontMetricsF(font).averageCharWidth();
        if (natural > 0)
            font.setStretch(std::clamp(static_cast<int>(std::lround(100.0 * width / natural)), 1, kMaxStretch));
    }
    return font;
}

FontMetrics metricsOf(const QFont& font) {
    const QFontMetrics fm(font);
    int width = fm.averageCharWidth();
    if (width <= 0) width = fm.horizontalAdvance(QLatin1Char('x'));
    return FontMetrics{std::max(width, 1), std::max(fm.height(), 1)};
}

}  // namespace platform::qt
