#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// How an outside service's origin is configured: a compiled-in default that an environment
// variable may replace, for staging and for tests, and which origins may carry requests at all.
// The HTTP client refuses requests below a refused origin, so this stays below the platform.
namespace deployment {

// `fallback` while `variable` is unset or empty. A value is used when it is an absolute https
// URL with a host, or plain http to a loopback host (127.0.0.0/8, ::1, localhost), so no token
// crosses a network in clear text. Any other value gives a refused origin, never the fallback:
// a mistyped staging or test set-up must not send its requests to production. Requests at or
// below a refused origin fail (refusal()).
QUrl origin(const char* variable, const QString& fallback);

// Why a request to `url` must not be sent when it lies at or below a refused origin: a text
// naming the variable (never its value, which may hold a password). None for any other URL.
std::optional<QString> refusal(const QUrl& url);

// `path` (relative, no leading slash) below `origin`, whatever path the origin already has.
QUrl join(const QUrl& origin, const QString& path);

}  // namespace deployment
