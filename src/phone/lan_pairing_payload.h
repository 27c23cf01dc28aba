#pragma once

#include <QString>

#include "core/timestamp.h"

// The pairing code of this computer: the advertised service name and the secret a phone must
// present.
struct LANPairingPayload {
    QString serviceName;
    QString secret;

    bool operator==(const LANPairingPayload&) const = default;
};

// What this computer remembers of the phone that paired last.
struct PairedPhoneInfo {
    QString model;
    Timestamp pairedAt;

    bool operator==(const PairedPhoneInfo&) const = default;
};
