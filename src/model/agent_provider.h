#pragma once

#include <functional>
#include <string>
#include <vector>

// Identifies an agent by an open set of strings: any string is a valid provider.
struct AgentProvider {
    std::string rawValue;

    static AgentProvider codex() { return {"codex"}; }
    static AgentProvider claude() { return {"claude"}; }
    // The agents read on this computer, in order of precedence.
    static const std::vector<AgentProvider>& desktopProviders();

    const std::string& id() const { return rawValue; }
    bool operator==(const AgentProvider&) const = default;
};
