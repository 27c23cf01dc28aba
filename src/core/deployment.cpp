#include "deployment.h"

namespace deployment {

QUrl origin(const char* variable, const QString& fallback) {
    const QUrl configured(qEnvironmentVariable(variable), QUrl::StrictMode);
    const bool usable = configured.isValid() && !configured.host().isEmpty() &&
                        (configured.scheme() == QStringLiteral("https") ||
                         configured.scheme() == QStringLiteral("http"));
    return usable ? configured : QUrl(fallback);
}

QUrl join(const QUrl& origin, const QString& path) {
    QUrl base = origin;
    if (!base.path().endsWith(QLatin1Char('/'))) {
        base.setPath(base.path() + QLatin1Char('/'));
    }
    return base.resolved(QUrl(path));
}

}  // namespace deployment
