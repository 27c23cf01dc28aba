#include "tray_icon_appearance.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/preferences.h"

namespace TrayIconAppearance {

namespace {

constexpr std::array kSettings{Setting::Automatic, Setting::Light, Setting::Dark};

// 123 of 255: a luminance of 0.198, 3:1 or more against black, #2b303b, #dddddd and white alike
// (#2b303b and #dddddd leave 121 to 125).
const QColor kEdge(0x7b, 0x7b, 0x7b);
constexpr double kTrackOpacity = 0.25;

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

}  // namespace

QString rawValue(Setting setting) {
    switch (setting) {
        case Setting::Light:
            return QStringLiteral("light");
        case Setting::Dark:
            return QStringLiteral("dark");
        case Setting::Automatic:
            break;
    }
    return QStringLiteral("automatic");
}

Setting storedSetting(const Preferences& preferences) {
    const std::optional<QString> stored = preferences.string(kPreferenceKey);
    const auto found = std::find_if(kSettings.begin(), kSettings.end(),
                                    [&](Setting setting) { return rawValue(setting) == stored; });
    return found == kSettings.end() ? Setting::Automatic : *found;
}

Colors colors(Drawing drawing) {
    // The track takes the other drawing's colour, faintly, so that on a panel the drawing does
    // not suit the empty part still differs from the filled one.
    if (drawing == Drawing::Light) {
        return {Qt::white, kEdge, withOpacity(Qt::black, kTrackOpacity)};
    }
    return {Qt::black, kEdge, withOpacity(Qt::white, kTrackOpacity)};
}

Drawing drawingFor(Setting setting, const DesktopHints& hints) {
    switch (setting) {
        case Setting::Light:
            return Drawing::Light;
        case Setting::Dark:
            return Drawing::Dark;
        case Setting::Automatic:
            break;
    }
    if (hints.trayForeground) {
        // Light text on the panel: a dark panel, which the light drawing suits.
        return relativeLuminance(*hints.trayForeground) >= 0.5 ? Drawing::Light : Drawing::Dark;
    }
    return hints.colorScheme == ColorSchemePreference::Light ? Drawing::Dark : Drawing::Light;
}

double relativeLuminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& first, const QColor& second) {
    const double one = relativeLuminance(first), other = relativeLuminance(second);
    return (std::max(one, other) + 0.05) / (std::min(one, other) + 0.05);
}

}  // namespace TrayIconAppearance
