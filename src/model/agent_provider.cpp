#include "agent_provider.h"

const std::vector<AgentProvider>& AgentProvider::desktopProviders() {
    static const std::vector<AgentProvider> providers{codex(), claude()};
    return providers;
}
