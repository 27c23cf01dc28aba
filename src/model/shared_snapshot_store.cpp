#include "shared_snapshot_store.h"

#include "model/usage_json.h"

namespace SharedSnapshotStore {

namespace {

// A value kept beside the snapshot: an empty one when none is stored or it does not decode.
template <typename Value>
Value loadBeside(const Preferences& preferences, const QString& key) {
    const auto bytes = preferences.data(key);
    if (!bytes) {
        return {};
    }
    try {
        return Value::decode(std::string_view(bytes->constData(), bytes->size()));
    } catch (const json::DecodingError&) {
        return {};
    }
}

// A value that cannot be encoded (a time that is not a number) stores nothing; the old one stays.
template <typename Value>
void saveBeside(const Value& value, Preferences& preferences, const QString& key) {
    try {
        preferences.setData(key, QByteArray::fromStdString(value.encode()));
    } catch (const json::EncodingError&) {
    }
}

}  // namespace

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
    return loadBeside<AgentReadTimes>(preferences, kReadTimesKey);
}

void saveReadTimes(const AgentReadTimes& times, Preferences preferences) {
    saveBeside(times, preferences, kReadTimesKey);
}

PaceForecasts loadForecasts(const Preferences& preferences) {
    return loadBeside<PaceForecasts>(preferences, kForecastsKey);
}

void saveForecasts(const PaceForecasts& forecasts, Preferences preferences) {
    saveBeside(forecasts, preferences, kForecastsKey);
}

}  // namespace SharedSnapshotStore
