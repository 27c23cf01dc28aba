#include "tray_icon_settings.h"

namespace TrayIconSettings {

std::optional<AgentUsage> resolvedUsage(const std::optional<AgentUsageSnapshot>& snapshot,
                                        const Preferences& preferences) {
    if (!snapshot || snapshot->usages.empty()) {
        return std::nullopt;
    }
    if (snapshot->usages.size() == 1) {
        return snapshot->usages.front();
    }
    if (const std::optional<QString> preferred = preferences.string(kProviderKey)) {
        const AgentProvider provider{preferred->toStdString()};
        if (std::optional<AgentUsage> usage = (*snapshot)[provider]) {
            return usage;
        }
    }
    return snapshot->usages.front();
}

}  // namespace TrayIconSettings
