#include "lan_message.h"

#include <array>
#include <utility>

#include "model/usage_json.h"

namespace {

constexpr std::array<std::pair<LanMessageKind, std::string_view>, 6> kRawValues{{
    {LanMessageKind::Pair, "pair"},
    {LanMessageKind::Paired, "paired"},
    {LanMessageKind::Usage, "usage"},
    {LanMessageKind::Error, "error"},
    {LanMessageKind::Refresh, "refresh"},
    {LanMessageKind::DeviceToken, "deviceToken"},
}};

void putString(json::OrderedValue& object, const char* key, const std::optional<QString>& value) {
    if (value) {
        object[key] = value->toStdString();
    }
}

std::optional<QString> optionalString(const json::Value& object, std::string_view key) {
    const json::Value* value = json::optional(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return QString::fromStdString(json::toString(*value, key));
}

}  // namespace

std::string_view rawValue(LanMessageKind kind) {
    for (const auto& [candidate, raw] : kRawValues) {
        if (candidate == kind) {
            return raw;
        }
    }
    return {};
}

std::optional<LanMessageKind> lanMessageKindFromRawValue(std::string_view raw) {
    for (const auto& [kind, candidate] : kRawValues) {
        if (candidate == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

json::OrderedValue LanMessage::toJson() const {
    json::OrderedValue object = json::OrderedValue::object();
    object["kind"] = std::string(rawValue(kind));
    putString(object, "secret", secret);
    putString(object, "deviceModel", deviceModel);
    if (snapshot) {
        object["snapshot"] = usage_json::toJson(*snapshot);
    }
    if (usage) {
        object["usage"] = usage_json::toJson(*usage);
    }
    putString(object, "message", message);
    putString(object, "apnsToken", apnsToken);
    putString(object, "apnsEnvironment", apnsEnvironment);
    return object;
}

LanMessage LanMessage::fromJson(const json::Value& value) {
    json::requireObject(value, "message");
    const auto kind = lanMessageKindFromRawValue(json::requiredString(value, "kind"));
    if (!kind) {
        throw json::DecodingError("unknown value of \"kind\"");
    }
    LanMessage message = of(*kind);
    message.secret = optionalString(value, "secret");
    message.deviceModel = optionalString(value, "deviceModel");
    if (const json::Value* snapshot = json::optional(value, "snapshot")) {
        message.snapshot = usage_json::snapshotFromJson(*snapshot);
    }
    if (const json::Value* usage = json::optional(value, "usage")) {
        message.usage = usage_json::usageFromJson(*usage);
    }
    message.message = optionalString(value, "message");
    message.apnsToken = optionalString(value, "apnsToken");
    message.apnsEnvironment = optionalString(value, "apnsEnvironment");
    return message;
}

LanMessage LanMessage::usageMessage(AgentUsageSnapshot snapshot) {
    LanMessage message = of(LanMessageKind::Usage);
    message.snapshot = std::move(snapshot);
    return message;
}

LanMessage LanMessage::errorMessage(QString text) {
    LanMessage message = of(LanMessageKind::Error);
    message.message = std::move(text);
    return message;
}

std::string LanMessage::encode() const {
    return json::dump(toJson());
}

LanMessage LanMessage::decode(std::string_view bytes, std::size_t maxBytes) {
    return fromJson(json::parse(bytes, maxBytes));
}
