#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/json.h"
#include "core/timestamp.h"
#include "model/agent_usage.h"

// The records of the line-delimited JSON-RPC dialect spoken with `codex app-server --stdio`.
// Every message is one compact JSON object on one line, with no JSON-RPC version member.
// Incoming records are decoded strictly (core/json.h): unknown keys are ignored, null equals
// missing, and a value of the wrong type fails with json::DecodingError.
namespace codex_app_server {

// Messages longer than this are refused in both directions.
inline constexpr std::size_t kMaximumMessageSize = 1024 * 1024;
inline constexpr std::int64_t kInitializeRequestId = 1;
inline constexpr std::int64_t kFirstRateLimitsRequestId = 2;
inline constexpr std::string_view kRateLimitsUpdatedMethod = "account/rateLimits/updated";

struct RateLimitWindow {
    std::int64_t usedPercent = 0;
    std::optional<std::int64_t> windowDurationMins;
    // Unix seconds.
    std::optional<std::int64_t> resetsAt;

    bool operator==(const RateLimitWindow&) const = default;
};

struct RateLimitSnapshot {
    std::optional<RateLimitWindow> primary;
    std::optional<RateLimitWindow> secondary;
    std::optional<std::string> planType;

    // This snapshot updated by a newer, possibly partial one, slot by slot: a window missing
    // from `newer` stays as it was, and a missing length or reset time keeps the old value.
    RateLimitSnapshot merging(const RateLimitSnapshot& newer) const;

    bool operator==(const RateLimitSnapshot&) const = default;
};

// What every incoming line is first read as.
struct MessageHeader {
    std::optional<std::int64_t> id;
    std::optional<std::string> method;
};

// The answer to an initialize or rate-limits request. `succeeded` when a result came and no error.
struct InitializeResponse {
    bool succeeded = false;
};
struct RateLimitsResponse {
    // Set only on success.
    std::optional<RateLimitSnapshot> rateLimits;
};

MessageHeader decodeHeader(const json::Value& message);
InitializeResponse decodeInitializeResponse(const json::Value& message);
RateLimitsResponse decodeRateLimitsResponse(const json::Value& message);
// The "rateLimits" of an "account/rateLimits/updated" notification's params.
RateLimitSnapshot decodeRateLimitsUpdated(const json::Value& message);
RateLimitSnapshot decodeRateLimitSnapshot(const json::Value& value, std::string_view context);

// Outgoing messages as compact JSON, without the line feed.
std::string encodeInitializeRequest(const std::string& clientVersion);
std::string encodeInitializedNotification();
std::string encodeRateLimitsRequest(std::int64_t id);

// The usage that a snapshot describes, as of `now`: windows with a usable length (1 minute up to
// the longest whose seconds fit 64 bits) and a positive reset time, the primary winning over a
// secondary of the same length, shortest first; used percent clamped to 0...100.
// Throws CodexAppServerError::noRateLimits when no window is usable.
AgentUsage makeUsage(const RateLimitSnapshot& snapshot, Timestamp now);

}  // namespace codex_app_server
