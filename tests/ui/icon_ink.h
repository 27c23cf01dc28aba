#pragma once

#include <QImage>

namespace test {

// What the tray icon shows at a point of its 18-point square (y down): nothing, the 20 % track,
// or the full-opacity fill.
enum class Ink { None, Track, Fill, Other };

inline Ink inkAt(const QImage& icon, double x, double y) {
    const double scale = icon.width() / 18.0;
    const int alpha = qAlpha(icon.pixel(int(x * scale), int(y * scale)));
    return alpha < 10 ? Ink::None : alpha < 100 ? Ink::Track : alpha > 240 ? Ink::Fill : Ink::Other;
}

}  // namespace test
