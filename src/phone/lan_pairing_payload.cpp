#include "lan_pairing_payload.h"

#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

namespace {

constexpr int kServiceNameDigits = 16;
const QString kScheme = QStringLiteral("quotamind");
const QString kHost = QStringLiteral("pair");
const QString kFormatVersion = QStringLiteral("1");

// A new random UUID in canonical form, lower case, hyphens removed. QUuid takes its bits from
// the system's secure random source.
QString randomHexDigits() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).remove(QLatin1Char('-')).toLower();
}

QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

LanPairingPayload LanPairingPayload::makeServerIdentity() {
    const QString name = QString::fromLatin1(kServiceNamePrefix.data(),
                                             static_cast<qsizetype>(kServiceNamePrefix.size())) +
                         randomHexDigits().left(kServiceNameDigits);
    return {name, randomHexDigits() + randomHexDigits()};
}

QString LanPairingPayload::qrValue() const {
    // Each value is percent-encoded by hand, '%' included: QUrlQuery would keep a "%41" in a value
    // as an escape already made and the reader would get "A". Generated codes (lower-case hex
    // digits and '-') need no escape, so their text is unchanged.
    if (!serviceName.isValidUtf16() || !secret.isValidUtf16()) {
        return {};
    }
    const auto encoded = [](const QString& value) {
        return QString::fromLatin1(QUrl::toPercentEncoding(value));
    };
    return kScheme + QStringLiteral("://") + kHost + QStringLiteral("?v=") + kFormatVersion +
           QStringLiteral("&service=") + encoded(serviceName) + QStringLiteral("&secret=") +
           encoded(secret);
}

std::optional<LanPairingPayload> LanPairingPayload::fromQrValue(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != kScheme || url.host() != kHost) {
        return std::nullopt;
    }
    const QUrlQuery query(url);
    if (query.queryItemValue(QStringLiteral("v")) != kFormatVersion) {
        return std::nullopt;
    }
    LanPairingPayload payload{query.queryItemValue(QStringLiteral("service"), QUrl::FullyDecoded),
                              query.queryItemValue(QStringLiteral("secret"), QUrl::FullyDecoded)};
    if (payload.serviceName.isEmpty() || payload.secret.isEmpty()) {
        return std::nullopt;
    }
    return payload;
}

json::OrderedValue LanPairingPayload::toJson() const {
    json::OrderedValue object = json::OrderedValue::object();
    object["serviceName"] = serviceName.toStdString();
    object["secret"] = secret.toStdString();
    return object;
}

LanPairingPayload LanPairingPayload::fromJson(const json::Value& value) {
    json::requireObject(value, "pairing code");
    return {toQString(json::requiredString(value, "serviceName")),
            toQString(json::requiredString(value, "secret"))};
}

QString PairedPhoneInfo::modelFrom(const std::optional<QString>& deviceModel) {
    // Control characters all lie in the Basic Multilingual Plane: one UTF-16 unit each.
    QString model = deviceModel.value_or(QString());
    model.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    model = model.trimmed();
    // Cut after kMaxModelCharacters characters, never inside a surrogate pair.
    qsizetype end = 0;
    for (qsizetype count = 0; count < kMaxModelCharacters && end < model.size(); ++count) {
        end += model.at(end).isHighSurrogate() && end + 1 < model.size() ? 2 : 1;
    }
    model = model.left(end).trimmed();
    return model.isEmpty() ? QStringLiteral("iPhone") : model;
}

json::OrderedValue PairedPhoneInfo::toJson() const {
    json::OrderedValue object = json::OrderedValue::object();
    object["model"] = model.toStdString();
    object["pairedAt"] = json::number(pairedAt.secondsSince2001());
    return object;
}

PairedPhoneInfo PairedPhoneInfo::fromJson(const json::Value& value) {
    json::requireObject(value, "paired phone");
    return {modelFrom(toQString(json::requiredString(value, "model"))),
            Timestamp(json::requiredDouble(value, "pairedAt"))};
}
