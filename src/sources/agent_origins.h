#pragma once

#include <QString>
#include <QUrl>

#include "core/deployment.h"

// Where the agents' services answer: compiled-in origins that an environment variable may
// replace, for staging and for tests (deployment::origin says which values it accepts). The
// program reads them once, where it makes its clients; the clients take their origins in their
// constructors.
namespace agent_origins {

inline QUrl anthropicApi() {
    return deployment::origin("QUOTAMIND_ANTHROPIC_BASE",
                              QStringLiteral("https://api.anthropic.com"));
}
inline QUrl openAIIssuer() {
    return deployment::origin("QUOTAMIND_OPENAI_ISSUER", QStringLiteral("https://auth.openai.com"));
}
inline QUrl chatGPTBackend() {
    return deployment::origin("QUOTAMIND_CHATGPT_BASE", QStringLiteral("https://chatgpt.com"));
}

}  // namespace agent_origins
