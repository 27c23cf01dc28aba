#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "core/json.h"
#include "model/agent_usage.h"
#include "model/agent_usage_snapshot.h"

// What a message on the phone link is. The raw values cross the wire: never rename them.
enum class LanMessageKind {
    Pair,         // phone to computer: "secret", optionally "deviceModel"
    Paired,       // computer to phone: admission
    Usage,        // computer to phone: "snapshot"
    Error,        // computer to phone: "message"
    Refresh,      // phone to computer
    DeviceToken,  // phone to computer: "apnsToken", "apnsEnvironment"; accepted and ignored
};

std::string_view rawValue(LanMessageKind kind);
std::optional<LanMessageKind> lanMessageKindFromRawValue(std::string_view rawValue);

// One message of the phone link. Field order is the order of the JSON keys; an absent field is
// left out of the JSON, and a missing or null key reads as absent.
struct LanMessage {
    LanMessageKind kind = LanMessageKind::Pair;
    std::optional<QString> secret;
    std::optional<QString> deviceModel;
    std::optional<AgentUsageSnapshot> snapshot;
    // Never filled by this program; read and written for the phone's sake.
    std::optional<AgentUsage> usage;
    std::optional<QString> message;
    std::optional<QString> apnsToken;
    std::optional<QString> apnsEnvironment;

    // Admission: kind `paired` and nothing else.
    static LanMessage paired() { return of(LanMessageKind::Paired); }
    static LanMessage usageMessage(AgentUsageSnapshot snapshot);
    static LanMessage errorMessage(QString text);
    // A message of `kind` with every other field absent.
    static LanMessage of(LanMessageKind kind) {
        LanMessage message;
        message.kind = kind;
        return message;
    }

    // Throws json::EncodingError for a timestamp that is not finite.
    json::OrderedValue toJson() const;
    // Unknown keys are ignored; a missing or unknown "kind" fails. Throws json::DecodingError.
    static LanMessage fromJson(const json::Value& value);

    // Compact JSON text.
    std::string encode() const;
    // At most `maxBytes` of JSON text; throws json::DecodingError.
    static LanMessage decode(std::string_view bytes, std::size_t maxBytes);

    bool operator==(const LanMessage&) const = default;
};
