#include "shared_snapshot_store.h"

#include "model/usage_json.h"

namespace SharedSnapshotStore {

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

AgentReadTimes loadReadTimes(const Preferences& preferences) {
    const auto bytes = preferences.data(kReadTimesKey);
    if (!bytes) {
        return {};
    }
    try {
        return AgentReadTimes::decode(std::string_view(bytes->constData(), bytes->size()));
    } catch (const json::DecodingError&) {
        return {};
    }
}

void saveReadTimes(const AgentReadTimes& times, Preferences preferences) {
    try {
        preferences.setData(kReadTimesKey, QByteArray::fromStdString(times.encode()));
    } catch (const json::EncodingError&) {
        // A time that is not a number stores nothing; the old times stay.
    }
}

}  // namespace SharedSnapshotStore
