#include "model/shared_container.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <bit>

#include "model/usage_json.h"
#include "support/temporary_config_home.h"
#include "test_usages.h"

namespace {

class SharedContainerTest : public test::TemporaryConfigHome {
protected:
    // Runs the peer program with the same configuration folder; returns its exit code.
    int runPeer(const QString& command, const QByteArray& input, QByteArray* output) {
        QProcess peer;
        peer.start(QStringLiteral(SHARED_CONTAINER_PEER), {command});
        peer.write(input);
        peer.closeWriteChannel();
        if (!peer.waitForFinished(30000)) {
            peer.kill();
            peer.waitForFinished();
            return -1;
        }
        if (output != nullptr) {
            *output = peer.readAllStandardOutput();
        }
        return peer.exitCode();
    }
};

// Timestamps whose decimal forms are long or unusual: a lossy writer changes some of them.
AgentUsageSnapshot awkwardSnapshot() {
    AgentUsage codex = test::usage(
        "codex", "plus",
        {test::window(42, 18000, 788936400.123456789), test::window(7, 604800, 0.1 + 0.2)});
    codex.updatedAt = Timestamp(-0.0);
    AgentUsage claude =
        test::usage("claude", "max 20x ✓",
                    {test::window(100, 18000, 1e-300), test::window(0, 604800, 3.15576e19)});
    claude.updatedAt = Timestamp(std::numeric_limits<double>::denorm_min());
    claude.source = UsageSource::accountSession;
    return AgentUsageSnapshot({codex, claude});
}

void expectBitIdentical(const AgentUsageSnapshot& a, const AgentUsageSnapshot& b) {
    ASSERT_EQ(a, b);
    auto bits = [](Timestamp t) {
        return std::bit_cast<std::uint64_t>(t.secondsSinceReferenceDate());
    };
    for (std::size_t i = 0; i < a.usages.size(); ++i) {
        EXPECT_EQ(bits(a.usages[i].updatedAt), bits(b.usages[i].updatedAt));
        for (std::size_t w = 0; w < a.usages[i].windows.size(); ++w) {
            EXPECT_EQ(bits(a.usages[i].windows[w].resetDate),
                      bits(b.usages[i].windows[w].resetDate));
        }
    }
}

}  // namespace

TEST_F(SharedContainerTest, UndecodableOrMissingDataReadsAsNoSnapshotUntilTheNextSave) {
    EXPECT_FALSE(SharedContainer::loadSnapshot().has_value());
    const std::string valid = usage_json::encodeSnapshot(awkwardSnapshot());
    const QByteArray broken[] = {
        QByteArray::fromStdString(valid.substr(0, valid.size() / 2)),
        QByteArray::fromStdString(
            std::string(valid).replace(valid.find("localDesktop"), 12, "cloud")),
        QByteArrayLiteral("{\"usages\":[{\"windows\":\"none\"}]}"),
        QByteArray(1024, '\0'),
    };
    Preferences preferences = SharedContainer::preferences();
    for (const QByteArray& bytes : broken) {
        preferences.setData(SharedContainer::kSnapshotKey, bytes);
        EXPECT_FALSE(SharedContainer::loadSnapshot().has_value()) << bytes.left(40).toStdString();
    }
    SharedContainer::save(awkwardSnapshot());
    EXPECT_TRUE(SharedContainer::loadSnapshot().has_value());
}

TEST_F(SharedContainerTest, AnUnencodableSnapshotLeavesTheStoredOneInPlace) {
    SharedContainer::save(awkwardSnapshot());
    AgentUsage bad = test::usage("codex");
    bad.updatedAt = Timestamp(std::numeric_limits<double>::quiet_NaN());
    SharedContainer::save(AgentUsageSnapshot({bad}));
    EXPECT_EQ(SharedContainer::loadSnapshot(), awkwardSnapshot());
}

// The widget host is another process: it must read back, bit for bit, what this one saved.
TEST_F(SharedContainerTest, SavedSnapshotsReadBackBitForBitHereAndInAnotherProcess) {
    const AgentUsageSnapshot snapshot = awkwardSnapshot();
    SharedContainer::save(snapshot);
    ASSERT_TRUE(
        QFile::exists(path(QStringLiteral("brindlecove/group.com.brindlecove.Quotamind.conf"))));
    expectBitIdentical(SharedContainer::loadSnapshot().value(), snapshot);
    QByteArray printed;
    ASSERT_EQ(runPeer(QStringLiteral("load"), {}, &printed), 0);
    expectBitIdentical(usage_json::decodeSnapshot(printed.toStdString()), snapshot);

    const AgentUsageSnapshot next = snapshot.replacing(test::usage("codex", "pro"));
    ASSERT_EQ(runPeer(QStringLiteral("save"),
                      QByteArray::fromStdString(usage_json::encodeSnapshot(next)), nullptr),
              0);
    EXPECT_EQ(SharedContainer::loadSnapshot(), next);
}
