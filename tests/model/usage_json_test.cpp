#include "model/usage_json.h"

#include <gtest/gtest.h>

#include "support/usage_builder.h"

namespace {

const char* const kUsage =
    R"({"windows":[{"usedPercent":42,"durationSeconds":18000,"resetDate":788925600}],)"
    R"("provider":"codex","agentName":"Codex","planType":"plus","updatedAt":788918400)";

std::string snapshotWith(const std::string& usageTail) {
    return std::string(R"({"usages":[)") + kUsage + usageTail + "]}";
}

}  // namespace

TEST(UsageJsonTest, WritesCompactJsonInAFixedKeyOrder) {
    AgentUsage usage = test::usage("codex", {test::fiveHour(42)});
    usage.updatedAt = Timestamp(788918400.0);
    usage.source = UsageSource::AccountSession;
    EXPECT_EQ(usage_json::encodeSnapshot(AgentUsageSnapshot({usage})),
              snapshotWith(R"(,"source":"accountSession"})"));
}

TEST(UsageJsonTest, SourceIsOptionalButMustBeKnownWhenPresent) {
    EXPECT_EQ(usage_json::decodeSnapshot(snapshotWith("}")).usages.at(0).source,
              UsageSource::SyncedFromDesktop);
    // The raw values are stored and sent as they are, an older name included.
    for (const std::string raw : {"localDesktop", "accountSession", "syncedFromMac", "preview"}) {
        const auto snapshot =
            usage_json::decodeSnapshot(snapshotWith(R"(,"source":")" + raw + "\"}"));
        EXPECT_EQ(rawValue(snapshot.usages[0].source), raw);
    }
    for (const char* bad : {R"(,"source":"cloud"})", R"(,"source":"LocalDesktop"})"}) {
        EXPECT_THROW(usage_json::decodeSnapshot(snapshotWith(bad)), json::DecodingError) << bad;
    }
}

TEST(UsageJsonTest, AcceptsAnyProviderAnyKeyOrderUnknownKeysAndKeepsDuplicates) {
    const auto snapshot = usage_json::decodeSnapshot(
        R"({"extra":true,"usages":[)"
        R"({"source":"preview","updatedAt":1.5,"planType":"","agentName":"G","provider":"gemini","windows":[],"x":{}},)"
        R"({"windows":[],"provider":"gemini","agentName":"G2","planType":"p","updatedAt":2}]})");
    ASSERT_EQ(snapshot.usages.size(), 2u);
    EXPECT_EQ(snapshot.usages[0].provider.rawValue, "gemini");
    EXPECT_EQ(snapshot.usages[1].agentName, "G2");
    EXPECT_EQ(snapshot.usages[0].updatedAt, Timestamp(1.5));
}

// Integer and number ranges are json's rules; here each key must be present with its type.
TEST(UsageJsonTest, AnyMissingOrMistypedFieldFailsTheWholeSnapshot) {
    const std::string good = std::string(R"({"usages":[)") + kUsage + "}]}";
    ASSERT_NO_THROW(usage_json::decodeSnapshot(good));
    const std::pair<std::string, std::string> edits[] = {
        {R"("usedPercent":42,)", ""},
        {R"("resetDate":788925600)", R"("resetDate":"2026-01-01")"},
        {R"("planType":"plus")", R"("planType":null)"},
        {R"({"usages":[)", R"({"usages":{}, "u":[)"},
    };
    for (const auto& [from, to] : edits) {
        std::string text = good;
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        EXPECT_THROW(usage_json::decodeSnapshot(text), json::DecodingError) << text;
    }
}
