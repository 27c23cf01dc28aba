#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "model/agent_provider.h"
#include "model/usage_activity_sample.h"
#include "model/usage_source.h"
#include "model/usage_window.h"

// One agent's usage at one moment. Field order is also the order of the JSON keys.
struct AgentUsage {
    // In the order the source produced them.
    std::vector<UsageWindow> windows;
    AgentProvider provider;
    std::string agentName;
    // As the source reported it; may be empty or "unknown".
    std::string planType;
    Timestamp updatedAt;
    UsageSource source = UsageSource::LocalDesktop;

    // The longest window; the first of equally long ones.
    std::optional<UsageWindow> preferredWindow() const;
    // The first window of exactly this length.
    std::optional<UsageWindow> window(std::int64_t durationSeconds) const;
    // The plan name prepared for display, or nothing when it says nothing worth showing.
    std::optional<QString> displayPlanName() const;
    std::vector<UsageActivitySample> activitySamples() const;
    // The same reading as `other`: equal windows, name, plan and source. The read time does not
    // count, so a read that changed nothing else is no change.
    bool isSameReading(const AgentUsage& other) const;

    // Sample data for widget placeholders and previews, made once with the time of first use.
    static const AgentUsage& placeholder();
    static const AgentUsage& secondaryPlaceholder();
    // The same sample data relative to `now`, for a host that draws previews long after it
    // started.
    static AgentUsage placeholder(Timestamp now);
    static AgentUsage secondaryPlaceholder(Timestamp now);

    bool operator==(const AgentUsage&) const = default;
};
