#include <gtest/gtest.h>

#include "model/agent_usage_snapshot.h"
#include "test_usages.h"

namespace {

std::vector<std::string> order(const AgentUsageSnapshot& snapshot) {
    std::vector<std::string> result;
    for (const AgentUsage& usage : snapshot.usages) {
        result.push_back(usage.provider.rawValue + ":" + usage.planType);
    }
    return result;
}

}  // namespace

TEST(AgentUsageSnapshotTest, InitKeepsOnePerProviderAtTheFirstPositionWithTheLastValue) {
    const AgentUsageSnapshot snapshot(
        {test::usage("codex", "a"), test::usage("claude", "b"), test::usage("codex", "c")});
    EXPECT_EQ(order(snapshot), (std::vector<std::string>{"codex:c", "claude:b"}));
    EXPECT_TRUE(AgentUsageSnapshot(std::vector<AgentUsage>{}).usages.empty());
}

TEST(AgentUsageSnapshotTest, ReplacingMovesTheProviderToTheEnd) {
    const AgentUsageSnapshot snapshot({test::usage("codex", "a"), test::usage("claude", "b")});
    EXPECT_EQ(order(snapshot.replacing(test::usage("codex", "x"))),
              (std::vector<std::string>{"claude:b", "codex:x"}));
    EXPECT_EQ(order(snapshot.replacing(test::usage("gemini", "y"))),
              (std::vector<std::string>{"codex:a", "claude:b", "gemini:y"}));
    // A decoded snapshot may hold duplicates; replacing drops them all.
    AgentUsageSnapshot duplicated;
    duplicated.usages = {test::usage("codex", "a"), test::usage("claude", "b"),
                         test::usage("codex", "c")};
    EXPECT_EQ(order(duplicated.replacing(test::usage("codex", "z"))),
              (std::vector<std::string>{"claude:b", "codex:z"}));
    // Lookup finds the first of duplicates.
    EXPECT_EQ(duplicated[AgentProvider::codex()]->planType, "a");
    EXPECT_FALSE(duplicated[AgentProvider{"gemini"}].has_value());
    EXPECT_EQ(duplicated.syncedFromMac().usages.back().source, UsageSource::syncedFromMac);
}

TEST(AgentUsageTest, PreferredWindowIsTheLongestAndTheFirstOfEquals) {
    EXPECT_FALSE(test::usage("codex").preferredWindow().has_value());
    const AgentUsage both =
        test::usage("codex", "plus", {test::window(5, 18000), test::window(7, 604800)});
    EXPECT_EQ(both.preferredWindow()->durationSeconds, 604800);
    const AgentUsage equal =
        test::usage("codex", "plus", {test::window(10, 604800), test::window(20, 604800)});
    EXPECT_EQ(equal.preferredWindow()->usedPercent, 10);
    EXPECT_EQ(both.window(18000)->usedPercent, 5);
    EXPECT_FALSE(both.window(18001).has_value());
}

TEST(AgentUsageTest, DisplayPlanName) {
    const struct {
        const char* plan;
        std::optional<QString> shown;
    } cases[] = {
        {"  plus ", QStringLiteral("Plus")},
        {"\n\tpro\r\n", QStringLiteral("Pro")},
        {"UNKNOWN", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"cLaUdE", std::nullopt},
        {"max 20X", QStringLiteral("Max 20x")},
        {"max   20X  team", QStringLiteral("Max 20x Team")},
        {"proLite", QStringLiteral("ProLite")},
        {"élite", QStringLiteral("Élite")},
        {"straße", QStringLiteral("Straße")},
        {"ßpecial", QStringLiteral("SSpecial")},
        {"½ plan", QStringLiteral("½ Plan")},
        {"𝐛old", QStringLiteral("𝐛old")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::usage("claude", c.plan).displayPlanName(), c.shown) << c.plan;
    }
}

TEST(AgentUsageTest, ActivitySamplesFollowWindowOrder) {
    const AgentUsage usage =
        test::usage("codex", "plus", {test::window(5, 18000, 10.0), test::window(7, 604800, 20.0)});
    EXPECT_EQ(usage.activitySamples(),
              (std::vector<UsageActivitySample>{{18000, 5, Timestamp(10.0)},
                                                {604800, 7, Timestamp(20.0)}}));
}

TEST(AgentUsageTest, PreviewDataIsMadeOnceWithResetTimesRelativeToItsCreation) {
    const AgentUsageSnapshot& preview = AgentUsageSnapshot::preview();
    EXPECT_EQ(&preview, &AgentUsageSnapshot::preview());
    ASSERT_EQ(preview.usages.size(), 2u);
    EXPECT_EQ(preview.usages[0].windows.at(0).resetDate - preview.usages[0].updatedAt, 597600.0);
    const AgentUsage& second = preview.usages[1];
    EXPECT_EQ(second.window(18000)->resetDate - second.updatedAt, 12600.0);
    EXPECT_EQ(second.window(604800)->resetDate - second.updatedAt, 345600.0);
}
