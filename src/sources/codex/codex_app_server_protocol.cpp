#include "codex_app_server_protocol.h"

#include <algorithm>
#include <vector>

#include "codex_app_server_error.h"

namespace codex_app_server {

namespace {

// The longest window length whose seconds still fit a signed 64-bit integer.
constexpr std::int64_t kMaximumWindowMinutes = 153'722'867'280'912'930;

std::string member(std::string_view context, std::string_view key) {
    std::string path(context);
    path.append(".");
    path.append(key);
    return path;
}

std::optional<std::int64_t> optionalInt64(const json::Value& object, std::string_view key,
                                          std::string_view context) {
    if (const json::Value* value = json::optional(object, key)) {
        return json::toInt64(*value, member(context, key));
    }
    return std::nullopt;
}

std::optional<RateLimitWindow> decodeWindow(const json::Value& snapshot, std::string_view key,
                                            std::string_view context) {
    const json::Value* value = json::optional(snapshot, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    const std::string path = member(context, key);
    json::requireObject(*value, path);
    RateLimitWindow window;
    window.usedPercent =
        json::toInt64(json::required(*value, "usedPercent"), member(path, "usedPercent"));
    window.windowDurationMins = optionalInt64(*value, "windowDurationMins", path);
    window.resetsAt = optionalInt64(*value, "resetsAt", path);
    return window;
}

// The presence of an "error" member; its payload must still be an object with an integer code.
bool hasError(const json::Value& message) {
    const json::Value* error = json::optional(message, "error");
    if (error == nullptr) {
        return false;
    }
    json::requireObject(*error, "error");
    optionalInt64(*error, "code", "error");
    return true;
}

std::optional<RateLimitWindow> mergedWindow(const std::optional<RateLimitWindow>& older,
                                            const std::optional<RateLimitWindow>& newer) {
    if (!newer) {
        return older;
    }
    if (!older) {
        return newer;
    }
    return RateLimitWindow{
        newer->usedPercent,
        newer->windowDurationMins ? newer->windowDurationMins : older->windowDurationMins,
        newer->resetsAt ? newer->resetsAt : older->resetsAt,
    };
}

json::OrderedValue emptyParams() {
    return json::OrderedValue::object();
}

}  // namespace

RateLimitSnapshot RateLimitSnapshot::merging(const RateLimitSnapshot& newer) const {
    return RateLimitSnapshot{
        mergedWindow(primary, newer.primary),
        mergedWindow(secondary, newer.secondary),
        newer.planType ? newer.planType : planType,
    };
}

MessageHeader decodeHeader(const json::Value& message) {
    json::requireObject(message, "message");
    MessageHeader header;
    header.id = optionalInt64(message, "id", "message");
    if (const json::Value* method = json::optional(message, "method")) {
        header.method = json::toString(*method, "message.method");
    }
    return header;
}

InitializeResponse decodeInitializeResponse(const json::Value& message) {
    json::requireObject(message, "message");
    const bool failed = hasError(message);
    const json::Value* result = json::optional(message, "result");
    if (result != nullptr) {
        json::requireObject(*result, "result");
        if (const json::Value* userAgent = json::optional(*result, "userAgent")) {
            json::toString(*userAgent, "result.userAgent");
        }
    }
    return InitializeResponse{!failed && result != nullptr};
}

RateLimitsResponse decodeRateLimitsResponse(const json::Value& message) {
    json::requireObject(message, "message");
    const bool failed = hasError(message);
    const json::Value* result = json::optional(message, "result");
    std::optional<RateLimitSnapshot> rateLimits;
    if (result != nullptr) {
        json::requireObject(*result, "result");
        rateLimits =
            decodeRateLimitSnapshot(json::required(*result, "rateLimits"), "result.rateLimits");
    }
    if (failed) {
        return {};
    }
    return RateLimitsResponse{std::move(rateLimits)};
}

RateLimitSnapshot decodeRateLimitsUpdated(const json::Value& message) {
    json::requireObject(message, "message");
    const json::Value& params = json::requireObject(json::required(message, "params"), "params");
    return decodeRateLimitSnapshot(json::required(params, "rateLimits"), "params.rateLimits");
}

RateLimitSnapshot decodeRateLimitSnapshot(const json::Value& value, std::string_view context) {
    json::requireObject(value, context);
    RateLimitSnapshot snapshot;
    snapshot.primary = decodeWindow(value, "primary", context);
    snapshot.secondary = decodeWindow(value, "secondary", context);
    if (const json::Value* planType = json::optional(value, "planType")) {
        snapshot.planType = json::toString(*planType, member(context, "planType"));
    }
    return snapshot;
}

std::string encodeInitializeRequest(const std::string& clientVersion) {
    json::OrderedValue clientInfo = json::OrderedValue::object();
    clientInfo["name"] = "quotamind";
    clientInfo["title"] = "Quotamind";
    clientInfo["version"] = clientVersion;
    json::OrderedValue params = json::OrderedValue::object();
    params["clientInfo"] = std::move(clientInfo);
    json::OrderedValue request = json::OrderedValue::object();
    request["method"] = "initialize";
    request["id"] = kInitializeRequestId;
    request["params"] = std::move(params);
    return json::dump(request);
}

std::string encodeInitializedNotification() {
    json::OrderedValue notification = json::OrderedValue::object();
    notification["method"] = "initialized";
    notification["params"] = emptyParams();
    return json::dump(notification);
}

std::string encodeRateLimitsRequest(std::int64_t id) {
    json::OrderedValue request = json::OrderedValue::object();
    request["method"] = "account/rateLimits/read";
    request["id"] = id;
    request["params"] = emptyParams();
    return json::dump(request);
}

AgentUsage makeUsage(const RateLimitSnapshot& snapshot, Timestamp now) {
    std::vector<UsageWindow> windows;
    for (const auto* candidate : {&snapshot.primary, &snapshot.secondary}) {
        if (!candidate->has_value()) {
            continue;
        }
        const RateLimitWindow& window = **candidate;
        if (!window.windowDurationMins || *window.windowDurationMins < 1 ||
            *window.windowDurationMins > kMaximumWindowMinutes || !window.resetsAt ||
            *window.resetsAt <= 0) {
            continue;
        }
        const std::int64_t durationSeconds = *window.windowDurationMins * 60;
        const bool duplicate = std::any_of(windows.begin(), windows.end(), [&](const auto& kept) {
            return kept.durationSeconds == durationSeconds;
        });
        if (duplicate) {
            continue;
        }
        windows.push_back(UsageWindow{
            std::clamp<std::int64_t>(window.usedPercent, 0, 100),
            durationSeconds,
            Timestamp::fromUnixSeconds(static_cast<double>(*window.resetsAt)),
        });
    }
    if (windows.empty()) {
        throw CodexAppServerError(CodexAppServerError::Code::NoRateLimits);
    }
    std::stable_sort(windows.begin(), windows.end(), [](const auto& a, const auto& b) {
        return a.durationSeconds < b.durationSeconds;
    });
    return AgentUsage{
        std::move(windows),
        AgentProvider::codex(),
        "Codex",
        snapshot.planType.value_or("unknown"),
        now,
        UsageSource::LocalDesktop,
    };
}

}  // namespace codex_app_server
