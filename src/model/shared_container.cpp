#include "shared_container.h"

#include "model/usage_json.h"

namespace SharedContainer {

Preferences preferences() {
    return Preferences::appGroup(kAppGroup);
}

std::optional<AgentUsageSnapshot> loadSnapshot(const Preferences& preferences) {
    const auto bytes = preferences.data(kSnapshotKey);
    if (!bytes) {
        return std::nullopt;
    }
    try {
        return usage_json::decodeSnapshot(std::string_view(bytes->constData(), bytes->size()));
    } catch (const json::DecodingError&) {
        return std::nullopt;
    }
}

void save(const AgentUsageSnapshot& snapshot, Preferences preferences) {
    std::string bytes;
    try {
        bytes = usage_json::encodeSnapshot(snapshot);
    } catch (const json::EncodingError&) {
        return;
    }
    preferences.setData(kSnapshotKey, QByteArray::fromStdString(bytes));
}

}  // namespace SharedContainer
