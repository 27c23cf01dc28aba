#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

#include "ui/tray/tray_icon_appearance.h"

// The colour scheme the desktop asks applications to use, from the XDG desktop portal
// (org.freedesktop.portal.Settings, namespace org.freedesktop.appearance, key color-scheme),
// read once at start() and followed through SettingChanged. Without a portal, or with a value
// that is not 0, 1 or 2, it says none. The call is asynchronous and bounded by
// kCallTimeoutMilliseconds. Lives on the main thread.
class ColorSchemePortal final : public QObject {
    Q_OBJECT

public:
    static constexpr int kCallTimeoutMilliseconds = 5000;

    explicit ColorSchemePortal(QDBusConnection bus, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ColorSchemePortal)

    void start();
    TrayIconAppearance::ColorSchemePreference colorScheme() const { return m_colorScheme; }

    // The value of the portal's reply or signal, unwrapped from its variants.
    static TrayIconAppearance::ColorSchemePreference decode(const QVariant& value);

Q_SIGNALS:
    void colorSchemeChanged();

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void setColorScheme(TrayIconAppearance::ColorSchemePreference colorScheme);

    QDBusConnection m_bus;
    TrayIconAppearance::ColorSchemePreference m_colorScheme =
        TrayIconAppearance::ColorSchemePreference::None;
};
