#include <gtest/gtest.h>

#include "model/agent_usage_snapshot.h"
#include "support/usage_builder.h"

namespace {

AgentUsage planned(const std::string& provider, const char* plan) {
    AgentUsage usage = test::usage(provider);
    usage.planType = plan;
    return usage;
}

std::vector<std::string> order(const AgentUsageSnapshot& snapshot) {
    std::vector<std::string> result;
    for (const AgentUsage& usage : snapshot.usages) {
        result.push_back(usage.provider.rawValue + ":" + usage.planType);
    }
    return result;
}

}  // namespace

// Building keeps one per provider at its first position with its last value; replacing moves
// the provider to the end and drops every duplicate a decoded snapshot may hold.
TEST(AgentUsageSnapshotTest, OnePerProviderAndReplacingMovesItToTheEnd) {
    AgentUsageSnapshot duplicated;
    duplicated.usages = {planned("codex", "a"), planned("claude", "b"), planned("codex", "c")};
    EXPECT_EQ(order(AgentUsageSnapshot(duplicated.usages)),
              (std::vector<std::string>{"codex:c", "claude:b"}));
    EXPECT_EQ(order(duplicated.replacing(planned("codex", "z"))),
              (std::vector<std::string>{"claude:b", "codex:z"}));
    // Lookup finds the first of duplicates.
    EXPECT_EQ(duplicated[AgentProvider::codex()]->planType, "a");
    EXPECT_FALSE(duplicated[AgentProvider{"gemini"}].has_value());
    EXPECT_EQ(duplicated.syncedFromDesktop().usages.back().source, UsageSource::SyncedFromDesktop);
}

TEST(AgentUsageTest, PreferredWindowIsTheLongestAndTheFirstOfEquals) {
    EXPECT_FALSE(test::usage("codex").preferredWindow().has_value());
    const AgentUsage both = test::usage("codex", {test::fiveHour(5), test::weekly(7)});
    EXPECT_EQ(both.preferredWindow()->durationSeconds, 604800);
    const AgentUsage equal = test::usage("codex", {test::weekly(10), test::weekly(20)});
    EXPECT_EQ(equal.preferredWindow()->usedPercent, 10);
    EXPECT_EQ(both.window(18000)->usedPercent, 5);
    EXPECT_FALSE(both.window(18001).has_value());
}

TEST(AgentUsageTest, DisplayPlanName) {
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"\n\t plus \r\n", QStringLiteral("Plus")},
        {"UNKNOWN", std::nullopt},
        {"max   20X  team", QStringLiteral("Max 20x Team")},
        {"ßpecial", QStringLiteral("SSpecial")},
        {"𝐛old", QStringLiteral("𝐛old")},
    };
    for (const auto& [plan, shown] : cases) {
        EXPECT_EQ(planned("claude", plan).displayPlanName(), shown) << plan;
    }
}

// Only the read time leaves a reading the same: the history keeps a changed one at once.
TEST(AgentUsageTest, OnlyTheReadTimeLeavesAReadingTheSame) {
    const AgentUsage before = test::usage("codex", {test::fiveHour(5)});
    AgentUsage later = before;
    later.updatedAt = later.updatedAt + 60;
    EXPECT_TRUE(before.isSameReading(later));
    const std::pair<const char*, void (*)(AgentUsage&)> changes[] = {
        {"windows", [](AgentUsage& u) { u.windows[0].usedPercent = 6; }},
        {"name", [](AgentUsage& u) { u.agentName = "Codex CLI"; }},
        {"plan", [](AgentUsage& u) { u.planType = "pro"; }},
        {"source", [](AgentUsage& u) { u.source = UsageSource::AccountSession; }},
    };
    for (const auto& [name, change] : changes) {
        AgentUsage after = before;
        change(after);
        EXPECT_FALSE(before.isSameReading(after)) << name;
    }
}
