#pragma once

#include <QString>
#include <optional>
#include <string_view>

#include "core/json.h"
#include "core/timestamp.h"

// The pairing code of this computer: the advertised service name and the secret a phone must
// present. Its JSON form is only stored, never sent.
struct LanPairingPayload {
    static constexpr std::string_view kServiceNamePrefix = "quotamind-";

    QString serviceName;
    QString secret;

    // A new random code: a service name of "quotamind-" and 16 hexadecimal digits, a secret of
    // 64 hexadecimal digits, all lower case, from random (version 4) UUIDs.
    static LanPairingPayload makeServerIdentity();

    // The text the QR code shows: quotamind://pair?v=1&service=…&secret=…, or empty when no URL
    // can be formed.
    QString qrValue() const;
    // The code in a QR text of that form (format version 1); nothing for any other text.
    static std::optional<LanPairingPayload> fromQrValue(const QString& text);

    json::OrderedValue toJson() const;
    // Both keys are required; throws json::DecodingError.
    static LanPairingPayload fromJson(const json::Value& value);

    bool operator==(const LanPairingPayload&) const = default;
};

// What this computer remembers of the phone that paired last.
struct PairedPhoneInfo {
    // The longest model kept: a phone names itself in a few characters, and the record must stay
    // far below what the preferences read back.
    static constexpr qsizetype kMaxModelCharacters = 128;

    // What the phone called itself, or "iPhone" when it sent nothing.
    QString model;
    Timestamp pairedAt;

    // The model a phone's "deviceModel" stands for: control characters removed, trimmed, and cut
    // to kMaxModelCharacters characters; "iPhone" when it sent nothing or nothing is left.
    static QString modelFrom(const std::optional<QString>& deviceModel);

    // Throws json::EncodingError for a time that is not finite.
    json::OrderedValue toJson() const;
    // Both keys are required; throws json::DecodingError. The model is read through modelFrom().
    static PairedPhoneInfo fromJson(const json::Value& value);

    bool operator==(const PairedPhoneInfo&) const = default;
};
