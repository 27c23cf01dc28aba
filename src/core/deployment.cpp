#include "deployment.h"

#include <QCoreApplication>

namespace deployment {

namespace {

// A refused origin keeps the variable's name in a scheme no HTTP stack speaks, so it survives
// join() and can only ever be reported, never reached.
const QString kRefusedScheme = QStringLiteral("quotamind-refused");

// QUrl has already written an IPv4 host as four decimal parts and an IPv6 host compressed.
bool isLoopbackHost(const QString& host) {
    if (host == QStringLiteral("localhost") || host == QStringLiteral("::1")) {
        return true;
    }
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4 || parts[0] != QStringLiteral("127")) {
        return false;
    }
    for (const QString& part : parts) {
        bool number = false;
        if (part.toUInt(&number) > 255 || !number) {
            return false;
        }
    }
    return true;
}

bool isUsableOverride(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    return url.scheme() == QStringLiteral("https") ||
           (url.scheme() == QStringLiteral("http") && isLoopbackHost(url.host()));
}

}  // namespace

QUrl origin(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty()) {
        return QUrl(fallback);
    }
    QUrl configured(value, QUrl::StrictMode);
    if (isUsableOverride(configured)) {
        return configured;
    }
    QUrl refused;
    refused.setScheme(kRefusedScheme);
    refused.setPath(QString::fromLatin1(variable) + QLatin1Char('/'));
    return refused;
}

std::optional<QString> refusal(const QUrl& url) {
    if (url.scheme() != kRefusedScheme) {
        return std::nullopt;
    }
    return QCoreApplication::translate("deployment",
                                       "%1 is not a usable origin: use an https URL, or http only "
                                       "for a loopback host (127.0.0.1, ::1, localhost).")
        .arg(url.path().section(QLatin1Char('/'), 0, 0));
}

QUrl join(const QUrl& origin, const QString& path) {
    QUrl base = origin;
    if (!base.path().endsWith(QLatin1Char('/'))) {
        base.setPath(base.path() + QLatin1Char('/'));
    }
    return base.resolved(QUrl(path));
}

}  // namespace deployment
