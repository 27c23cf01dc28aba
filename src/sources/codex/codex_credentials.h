#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The tokens of the ChatGPT account signed in inside Quotamind. Stored as a JSON object with the
// keys "idToken", "accessToken", "refreshToken" (all required) and "accountID" (written only
// when present). Never print or log these values.
struct CodexCredentials {
    QString idToken;
    QString accessToken;
    QString refreshToken;
    // The ChatGPT account identifier read from the identity token, when it could be read.
    std::optional<QString> accountId;

    QByteArray encoded() const;
    // Throws json::DecodingError when `data` is not the stored form.
    static CodexCredentials decode(const QByteArray& data);

    bool operator==(const CodexCredentials&) const = default;
};
