#pragma once

#include <QString>
#include <optional>

#include "core/preferences.h"
#include "model/agent_usage_snapshot.h"

// Which agent the tray icon shows: the settings window stores a provider's raw value ("codex",
// "claude") in the program's own per-user preferences; no value means no choice.
namespace TrayIconSettings {

inline const QString kProviderKey = QStringLiteral("menuBar.iconProvider.v1");

// The usage the icon shows: nothing without usages; the only usage when there is one (the
// preference is not read then); otherwise the first usage of the preferred provider, or the
// first usage when no provider is preferred or the preferred one is not in the snapshot.
std::optional<AgentUsage> resolvedUsage(const std::optional<AgentUsageSnapshot>& snapshot,
                                        const Preferences& preferences);

}  // namespace TrayIconSettings
