#include "codex_credentials.h"

#include "core/json.h"

namespace {

QString requiredString(const json::Value& object, std::string_view key) {
    return QString::fromStdString(json::requiredString(object, key));
}

}  // namespace

QByteArray CodexCredentials::encoded() const {
    json::OrderedValue object = json::OrderedValue::object();
    object["idToken"] = idToken.toStdString();
    object["accessToken"] = accessToken.toStdString();
    object["refreshToken"] = refreshToken.toStdString();
    if (accountId) {
        object["accountID"] = accountId->toStdString();
    }
    return QByteArray::fromStdString(json::dump(object));
}

CodexCredentials CodexCredentials::decode(const QByteArray& data) {
    const json::Value object =
        json::parse(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    json::requireObject(object, "credentials");
    CodexCredentials credentials;
    credentials.idToken = requiredString(object, "idToken");
    credentials.accessToken = requiredString(object, "accessToken");
    credentials.refreshToken = requiredString(object, "refreshToken");
    if (const json::Value* account = json::optional(object, "accountID")) {
        credentials.accountId = QString::fromStdString(json::toString(*account, "\"accountID\""));
    }
    return credentials;
}
