#pragma once

#include <QColor>
#include <QString>
#include <optional>

class Preferences;

// The tray icon's colours. Linux panels do not tint a tray icon and seldom say what colour they
// are, so each of the two drawings reads on black, white and every grey between: the lines that
// give the value (each capsule's outline and the end of its filled part) are a mid grey that
// reaches 3:1 against all of them, and the filled part inside those lines is white (the light
// drawing) or black (the dark one), 3:1 against the grey around it. What the desktop says about
// its panel only chooses which of the two is drawn.
namespace TrayIconAppearance {

// The user's choice, stored under kPreferenceKey as "automatic", "light" or "dark".
enum class Setting { Automatic, Light, Dark };
enum class Drawing { Light, Dark };

inline const QString kPreferenceKey = QStringLiteral("trayIcon.appearance.v1");

QString rawValue(Setting setting);
// The stored choice; automatic when there is none or it is not one of the three values.
Setting storedSetting(const Preferences& preferences);

struct Colors {
    // The filled part's inside.
    QColor fill;
    // Each capsule's outline and the end of its filled part.
    QColor edge;
    // The empty part: faint.
    QColor track;
};

Colors colors(Drawing drawing);

// The applications' colour scheme as the desktop portal says it (org.freedesktop.appearance
// color-scheme: 0, 1, 2). It is not the panel's: GNOME's top bar stays dark under "prefer light".
enum class ColorSchemePreference { None = 0, Dark = 1, Light = 2 };

struct DesktopHints {
    // The foreground colour an XEmbed tray asks its icons to use (_NET_SYSTEM_TRAY_COLORS):
    // light text means a dark panel.
    std::optional<QColor> trayForeground{};
    ColorSchemePreference colorScheme = ColorSchemePreference::None;

    bool operator==(const DesktopHints&) const = default;
};

// Light or Dark as chosen; Automatic follows the tray's own foreground colour where it says one,
// else the portal's colour scheme, else draws light (most panels are dark).
Drawing drawingFor(Setting setting, const DesktopHints& hints);

// WCAG 2 relative luminance (0 black … 1 white) of an opaque colour, and the contrast ratio of
// two (1 … 21).
double relativeLuminance(const QColor& color);
double contrastRatio(const QColor& first, const QColor& second);

}  // namespace TrayIconAppearance
