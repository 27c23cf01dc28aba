#pragma once

#include <QString>
#include <QUrl>

// The outside services' origins: compiled-in defaults that an environment variable may replace,
// for staging and for tests. Only the `shared` instances read them; classes take their origins
// in their constructors.
namespace deployment {

// The value of `variable` when it is set to an absolute http(s) URL, otherwise `fallback`.
QUrl origin(const char* variable, const QString& fallback);

// `path` (relative, no leading slash) below `origin`, whatever path the origin already has.
QUrl join(const QUrl& origin, const QString& path);

inline QUrl anthropicAPI() {
    return origin("QUOTAMIND_ANTHROPIC_BASE", QStringLiteral("https://api.anthropic.com"));
}
inline QUrl openAIIssuer() {
    return origin("QUOTAMIND_OPENAI_ISSUER", QStringLiteral("https://auth.openai.com"));
}
inline QUrl chatGPTBackend() {
    return origin("QUOTAMIND_CHATGPT_BASE", QStringLiteral("https://chatgpt.com"));
}
inline const QString kOpenAIClaimNamespace = QStringLiteral("https://api.openai.com/auth");

}  // namespace deployment
