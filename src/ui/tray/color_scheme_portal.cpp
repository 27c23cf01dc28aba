#include "color_scheme_portal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

}  // namespace

ColorSchemePortal::ColorSchemePortal(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

void ColorSchemePortal::start() {
    if (!m_bus.isConnected()) {
        return;
    }
    // The signature is written normalized, so Qt need not normalize it at each connection.
    // clang-format off
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                  SLOT(settingChanged(QString,QString,QDBusVariant)));
    // clang-format on
    // Read rather than ReadOne: older portals have only Read, which wraps the value once more.
    QDBusMessage read =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
    read << kGroup << kKey;
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(read, kCallTimeoutMilliseconds), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *done;
        if (!reply.isError()) {
            setColorScheme(decode(reply.value().variant()));
        }
    });
}

TrayIconAppearance::ColorSchemePreference ColorSchemePortal::decode(const QVariant& value) {
    using TrayIconAppearance::ColorSchemePreference;
    QVariant inner = value;
    // At most two wrappings: the reply's variant, and Read's own.
    for (int unwrap = 0; unwrap < 2 && inner.metaType() == QMetaType::fromType<QDBusVariant>();
         ++unwrap) {
        inner = inner.value<QDBusVariant>().variant();
    }
    if (inner.metaType() != QMetaType::fromType<uint>()) {
        return ColorSchemePreference::None;
    }
    switch (inner.toUInt()) {
        case 1:
            return ColorSchemePreference::Dark;
        case 2:
            return ColorSchemePreference::Light;
        default:
            return ColorSchemePreference::None;
    }
}

void ColorSchemePortal::settingChanged(const QString& group, const QString& key,
                                       const QDBusVariant& value) {
    if (group == kGroup && key == kKey) {
        setColorScheme(decode(value.variant()));
    }
}

void ColorSchemePortal::setColorScheme(TrayIconAppearance::ColorSchemePreference colorScheme) {
    if (m_colorScheme != colorScheme) {
        m_colorScheme = colorScheme;
        Q_EMIT colorSchemeChanged();
    }
}
