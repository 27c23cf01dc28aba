#include "model/shared_snapshot_store.h"

#include <gtest/gtest.h>

#include "model/usage_json.h"
#include "support/temporary_config_home.h"
#include "support/usage_builder.h"

namespace {

using SharedSnapshotStoreTest = test::TemporaryConfigHome;

AgentUsageSnapshot snapshot() {
    return test::snapshot({test::usage("codex"), test::usage("claude", {test::fiveHour(100)})});
}

}  // namespace

TEST_F(SharedSnapshotStoreTest, OnlyADecodableSnapshotIsReadAndOnlyAnEncodableOneIsSaved) {
    EXPECT_FALSE(SharedSnapshotStore::loadSnapshot().has_value());
    const std::string valid = usage_json::encodeSnapshot(snapshot());
    SharedSnapshotStore::preferences().setData(
        SharedSnapshotStore::kSnapshotKey,
        QByteArray::fromStdString(valid.substr(0, valid.size() / 2)));
    EXPECT_FALSE(SharedSnapshotStore::loadSnapshot().has_value());
    SharedSnapshotStore::save(snapshot());
    AgentUsage bad = test::usage("codex");
    bad.updatedAt = Timestamp(std::numeric_limits<double>::quiet_NaN());
    SharedSnapshotStore::save(AgentUsageSnapshot({bad}));
    EXPECT_EQ(SharedSnapshotStore::loadSnapshot(), snapshot());
}

// The read times beside the snapshot: what is written reads back; anything else reads as none,
// and freshness then counts from the usage's own update time.
TEST_F(SharedSnapshotStoreTest, ReadTimesReadBackOrCountAsNone) {
    const AgentReadTimes times{{{"codex", Timestamp(788918400.123456789)}, {"x", Timestamp(-0.5)}}};
    SharedSnapshotStore::saveReadTimes(times);
    EXPECT_EQ(SharedSnapshotStore::loadReadTimes(), times);
    for (const char* stored : {R"({"codex":"soon"})", R"([788918400])", R"({"codex":)"}) {
        SharedSnapshotStore::preferences().setData(SharedSnapshotStore::kReadTimesKey, stored);
        EXPECT_EQ(SharedSnapshotStore::loadReadTimes(), AgentReadTimes()) << stored;
    }
    const AgentUsage codex = test::usage("codex");  // updated at 788918400.25
    EXPECT_EQ(lastReadOf(codex, times[codex.provider]), codex.updatedAt);
    EXPECT_EQ(lastReadOf(codex, codex.updatedAt + 60), codex.updatedAt + 60);
    EXPECT_EQ(lastReadOf(codex, std::nullopt), codex.updatedAt);
}
