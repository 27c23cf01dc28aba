#pragma once

#include <QString>

// What the tray program and the widget hosts agree on: the widget kinds (the persistent
// identifiers of placed widgets, never to be changed) and the session-bus signal
// ReloadTimelines(s kind) with which the tray program asks the hosts to read the shared
// snapshot again.
namespace WidgetReload {

inline const QString kLegacyKind = QStringLiteral("QuotamindWidget");
inline const QString kConfigurableKind = QStringLiteral("QuotamindConfigurableWidget.v3");
inline const QString kBothLimitsKind = QStringLiteral("QuotamindBothLimitsWidget.v3");

inline const QString kInterface = QStringLiteral("com.brindlecove.Quotamind.WidgetCenter");
inline const QString kPath = QStringLiteral("/com/brindlecove/Quotamind/WidgetCenter");
inline const QString kSignal = QStringLiteral("ReloadTimelines");

}  // namespace WidgetReload
