#include "usage_json.h"

namespace usage_json {

json::OrderedValue toJson(const UsageWindow& window) {
    json::OrderedValue object = json::OrderedValue::object();
    object["usedPercent"] = window.usedPercent;
    object["durationSeconds"] = window.durationSeconds;
    object["resetDate"] = json::number(window.resetDate.secondsSince2001());
    return object;
}

json::OrderedValue toJson(const AgentUsage& usage) {
    json::OrderedValue windows = json::OrderedValue::array();
    for (const UsageWindow& window : usage.windows) {
        windows.push_back(toJson(window));
    }
    json::OrderedValue object = json::OrderedValue::object();
    object["windows"] = std::move(windows);
    object["provider"] = usage.provider.rawValue;
    object["agentName"] = usage.agentName;
    object["planType"] = usage.planType;
    object["updatedAt"] = json::number(usage.updatedAt.secondsSince2001());
    object["source"] = std::string(rawValue(usage.source));
    return object;
}

json::OrderedValue toJson(const AgentUsageSnapshot& snapshot) {
    json::OrderedValue usages = json::OrderedValue::array();
    for (const AgentUsage& usage : snapshot.usages) {
        usages.push_back(toJson(usage));
    }
    json::OrderedValue object = json::OrderedValue::object();
    object["usages"] = std::move(usages);
    return object;
}

UsageWindow windowFromJson(const json::Value& value) {
    json::requireObject(value, "window");
    return UsageWindow{
        .usedPercent = json::requiredInt64(value, "usedPercent"),
        .durationSeconds = json::requiredInt64(value, "durationSeconds"),
        .resetDate = Timestamp(json::requiredDouble(value, "resetDate")),
    };
}

AgentUsage usageFromJson(const json::Value& value) {
    json::requireObject(value, "usage");
    AgentUsage usage;
    for (const json::Value& window :
         json::requireArray(json::required(value, "windows"), "\"windows\"")) {
        usage.windows.push_back(windowFromJson(window));
    }
    usage.provider = {json::requiredString(value, "provider")};
    usage.agentName = json::requiredString(value, "agentName");
    usage.planType = json::requiredString(value, "planType");
    usage.updatedAt = Timestamp(json::requiredDouble(value, "updatedAt"));
    usage.source = UsageSource::SyncedFromDesktop;
    if (const json::Value* source = json::optional(value, "source")) {
        const auto known = usageSourceFromRawValue(json::toString(*source, "\"source\""));
        if (!known) {
            throw json::DecodingError("unknown value of \"source\"");
        }
        usage.source = *known;
    }
    return usage;
}

AgentUsageSnapshot snapshotFromJson(const json::Value& value) {
    json::requireObject(value, "snapshot");
    AgentUsageSnapshot snapshot;
    for (const json::Value& usage :
         json::requireArray(json::required(value, "usages"), "\"usages\"")) {
        snapshot.usages.push_back(usageFromJson(usage));
    }
    return snapshot;
}

std::string encodeSnapshot(const AgentUsageSnapshot& snapshot) {
    return json::dump(toJson(snapshot));
}

AgentUsageSnapshot decodeSnapshot(std::string_view bytes) {
    return snapshotFromJson(json::parse(bytes));
}

}  // namespace usage_json
