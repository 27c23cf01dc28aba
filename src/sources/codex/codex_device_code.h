#pragma once

#include <QString>
#include <QUrl>
#include <cstdint>

// What the user needs to confirm a ChatGPT sign-in in a browser.
struct CodexDeviceCode {
    // The page where the user types the code.
    QUrl verificationUrl;
    QString userCode;
    // The issuer's identifier of this sign-in attempt.
    QString deviceAuthId;
    // The wait between two polls while the user has not confirmed yet; at least 1.
    std::uint64_t intervalSeconds = 1;

    bool operator==(const CodexDeviceCode&) const = default;
};
