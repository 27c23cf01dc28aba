#pragma once

#include <string>
#include <string_view>

#include "core/json.h"
#include "model/agent_usage_snapshot.h"

// The JSON form of the usage records, shared by the stored snapshot and the phone link.
//
// Writing gives compact JSON with the keys in the order of docs/data.md ("source" last) and
// timestamps as seconds since 2001-01-01 that read back bit for bit. Reading accepts keys in any
// order, ignores unknown keys, and fails as a whole (json::DecodingError) on a missing required
// key, a wrong type, or an unknown "source"; a usage without "source" counts as SyncedFromDesktop.
// A decoded snapshot holds exactly the listed usages, duplicates included.
namespace usage_json {

json::OrderedValue toJson(const UsageWindow& window);
json::OrderedValue toJson(const AgentUsage& usage);
json::OrderedValue toJson(const AgentUsageSnapshot& snapshot);

UsageWindow windowFromJson(const json::Value& value);
AgentUsage usageFromJson(const json::Value& value);
AgentUsageSnapshot snapshotFromJson(const json::Value& value);

// Throws json::EncodingError for a timestamp that is not finite.
std::string encodeSnapshot(const AgentUsageSnapshot& snapshot);
AgentUsageSnapshot decodeSnapshot(std::string_view bytes);

}  // namespace usage_json
