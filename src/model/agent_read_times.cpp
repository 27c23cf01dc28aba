#include "agent_read_times.h"

#include "core/json.h"

std::optional<Timestamp> AgentReadTimes::operator[](const AgentProvider& provider) const {
    const auto found = times.find(provider.rawValue);
    if (found == times.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string AgentReadTimes::encode() const {
    json::OrderedValue object = json::OrderedValue::object();
    for (const auto& [provider, time] : times) {
        object[provider] = json::number(time.secondsSince2001());
    }
    return json::dump(object);
}

AgentReadTimes AgentReadTimes::decode(std::string_view bytes) {
    const json::Value value = json::parse(bytes);
    AgentReadTimes result;
    for (const auto& [provider, time] : json::requireObject(value, "read times").items()) {
        result.times.emplace(provider, Timestamp(json::toDouble(time, provider)));
    }
    return result;
}

Timestamp lastReadOf(const AgentUsage& usage, std::optional<Timestamp> lastRead) {
    return lastRead && *lastRead > usage.updatedAt ? *lastRead : usage.updatedAt;
}
