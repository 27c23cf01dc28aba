#include "symbols/symbols.h"

#include <gtest/gtest.h>

namespace {

int paintedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return count;
}

// The views name their symbols by text: a name without a glyph draws nothing. At a ratio of 2 a
// glyph fills 36 device pixels, not 18 scaled up.
TEST(SymbolsTest, EveryNameTheViewsUseHasAGlyphDrawnAtItsPixelSize) {
    for (const char* name :
         {"terminal.fill", "sparkles", "gauge.with.dots.needle.33percent", "arrow.clockwise",
          "gearshape", "power", "checkmark.circle.fill", "iphone.slash", "terminal", "qrcode",
          "exclamationmark.triangle.fill", "circle.dotted", "dot.radiowaves.left.and.right",
          "magnifyingglass", "arrow.triangle.2.circlepath", "iphone.gen3", "hourglass",
          "icloud.fill", "rectangle.3.group"}) {
        const QImage image = Symbols::image(QString::fromLatin1(name), {36, 36}, 2.0, Qt::black);
        EXPECT_EQ(image.deviceIndependentSize(), QSizeF(18, 18)) << name;
        EXPECT_GT(paintedPixels(image), 90) << name;
    }
    EXPECT_GT(
        paintedPixels(Symbols::image(u"power", {36, 36}, 2.0, Qt::black).copy(18, 18, 18, 18)), 20);
    EXPECT_GT(paintedPixels(Symbols::icon(u"power", Qt::black).pixmap(QSize(64, 64)).toImage()),
              400);
    EXPECT_FALSE(Symbols::contains(u"terminal.fil"));
    EXPECT_EQ(paintedPixels(Symbols::image(u"terminal.fil", {24, 24}, 1.0, Qt::black)), 0);
    EXPECT_TRUE(Symbols::icon(u"terminal.fil", Qt::black).isNull());
}

}  // namespace
