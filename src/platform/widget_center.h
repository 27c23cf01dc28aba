#pragma once

#include <QString>

// Asks the desktop widgets to read the shared snapshot again.
class WidgetCenter {
public:
    virtual ~WidgetCenter() = default;

    // The widget kinds the tray program reloads after every snapshot change.
    static inline const QString kLegacyKind = QStringLiteral("QuotamindWidget");
    static inline const QString kConfigurableKind =
        QStringLiteral("QuotamindConfigurableWidget.v3");
    static inline const QString kBothLimitsKind = QStringLiteral("QuotamindBothLimitsWidget.v3");

    // Never fails: a widget host that is not there simply does not hear it.
    virtual void reloadTimelines(const QString& kind) = 0;

    void reloadAllKinds() {
        for (const QString& kind : {kLegacyKind, kConfigurableKind, kBothLimitsKind}) {
            reloadTimelines(kind);
        }
    }
};

// Broadcasts the signal ReloadTimelines(s kind) of the interface
// com.brindlecove.Quotamind.WidgetCenter on the session bus; without a bus, nothing happens.
class DBusWidgetCenter final : public WidgetCenter {
public:
    static inline const QString kInterface =
        QStringLiteral("com.brindlecove.Quotamind.WidgetCenter");
    static inline const QString kPath = QStringLiteral("/com/brindlecove/Quotamind/WidgetCenter");
    static inline const QString kSignal = QStringLiteral("ReloadTimelines");

    void reloadTimelines(const QString& kind) override;
};
