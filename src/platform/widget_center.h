#pragma once

#include <QString>

#include "widgetreload/widget_reload.h"

// Asks the desktop widgets to read the shared snapshot again.
class WidgetCenter {
public:
    virtual ~WidgetCenter() = default;

    // The widget kinds the tray program reloads after every snapshot change.
    static inline const QString& kLegacyKind = WidgetReload::kLegacyKind;
    static inline const QString& kConfigurableKind = WidgetReload::kConfigurableKind;
    static inline const QString& kBothLimitsKind = WidgetReload::kBothLimitsKind;

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
    static inline const QString& kInterface = WidgetReload::kInterface;
    static inline const QString& kPath = WidgetReload::kPath;
    static inline const QString& kSignal = WidgetReload::kSignal;

    void reloadTimelines(const QString& kind) override;
};
