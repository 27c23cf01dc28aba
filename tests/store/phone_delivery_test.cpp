#include "store/phone_delivery.h"

#include <gtest/gtest.h>

#include <limits>

#include "phone/legacy_apns_key_cleanup.h"
#include "store_fixture.h"

namespace {

using test::usage;
using Kind = LANConnectionState::Kind;

const PairedPhoneInfo kPhone{QStringLiteral("iPhone15,2"), Timestamp(700000000)};

class PhoneDeliveryTest : public test::StoreFixture {
protected:
    // A store whose phone paired earlier and is now away from the local network.
    UsageStore& pairedStore() {
        LANPairingStorage(standard).save(kPhone, LANPairingStorage::kPairedPhoneKey);
        return makeStore();
    }

    void change(std::int64_t used) {
        store->apply(usage("codex", used), SessionStatus::localPrimary);
    }

    // Seconds from `start` of each wake sent so far.
    std::vector<double> wakesSince(Timestamp start) const {
        std::vector<double> seconds;
        for (const Timestamp sent : wake.sentAt) {
            seconds.push_back(sent - start);
        }
        return seconds;
    }

    void report(Kind kind) {
        servers.current().callbacks.onStateChange(LANConnectionState{kind, {}});
        settle();
    }
};

TEST(SnapshotSignature, CoversEveryWindowAndNothingElse) {
    const Timestamp newYear = Timestamp::fromUnixSeconds(1767225600);
    const UsageWindow fiveHour{42, UsageWindow::kFiveHourSeconds, newYear};
    const UsageWindow weekly{7, UsageWindow::kWeeklySeconds, newYear + 0.9};
    AgentUsage codex = usage("codex", 0);
    codex.windows = {fiveHour, weekly};
    AgentUsage claude = usage("claude", 0);
    claude.windows = {{3, UsageWindow::kFiveHourSeconds, Timestamp::fromUnixSeconds(-1.5)}};
    AgentUsage bare = usage("claude", 0);
    bare.windows.clear();
    AgentUsage far = usage("codex", 0);
    far.windows = {{1, 60, Timestamp(1e300)}, {1, 60, Timestamp(-1e300)}};
    AgentUsage renamed = codex;
    renamed.agentName = "Codex CLI";
    renamed.planType = "pro";
    renamed.updatedAt = renamed.updatedAt + 3600;
    renamed.source = UsageSource::accountSession;

    const QString max = QString::number(std::numeric_limits<std::int64_t>::max());
    const QString min = QString::number(std::numeric_limits<std::int64_t>::min());
    const struct {
        AgentUsageSnapshot snapshot;
        QString signature;
    } rows[] = {
        {AgentUsageSnapshot(), QString()},
        {AgentUsageSnapshot({bare}), QString()},
        {AgentUsageSnapshot({codex}),
         QStringLiteral("codex:18000:42:1767225600|codex:604800:7:1767225600")},
        {AgentUsageSnapshot({renamed}),
         QStringLiteral("codex:18000:42:1767225600|codex:604800:7:1767225600")},
        {AgentUsageSnapshot({claude, bare, codex}).replacing(bare),
         QStringLiteral("codex:18000:42:1767225600|codex:604800:7:1767225600")},
        {AgentUsageSnapshot({claude, codex}),
         QStringLiteral("claude:18000:3:-1|codex:18000:42:1767225600|codex:604800:7:1767225600")},
        {AgentUsageSnapshot({far}), QStringLiteral("codex:60:1:%1|codex:60:1:%2").arg(max, min)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PhoneDelivery::snapshotSignature(row.snapshot), row.signature);
    }
}

TEST_F(PhoneDeliveryTest, ABurstOfChangesSendsOneWakeOneSecondAfterTheLast) {
    UsageStore& store = pairedStore();
    const Timestamp start = clock.now();
    for (const std::int64_t used : {10, 11, 12}) {
        change(used);
        clock.advance(0.25);
    }
    clock.advance(0.5);
    EXPECT_TRUE(wake.sentAt.empty()) << "the timer restarts with every change";
    clock.advance(0.25);
    EXPECT_EQ(wakesSince(start), (std::vector<double>{1.5}));
    EXPECT_EQ(wake.pairings.front(), store.pairingPayload());
    EXPECT_EQ(store.lastPushSentAt(), start + 1.5);

    // The same windows again, whatever else changed, wake nobody.
    AgentUsageSnapshot renamed = *store.usageSnapshot();
    renamed.usages.front().agentName = "Codex CLI";
    store.maybeSendWakePush(renamed);
    clock.advance(10);
    EXPECT_EQ(wake.sentAt.size(), 1u);
}

TEST_F(PhoneDeliveryTest, AConnectedPhoneGetsNoWakeAndCancelsAPendingOne) {
    // While connected, either the timer falls due or another change arrives; neither the
    // pending wake nor the new change is sent once the phone is away again.
    for (const bool changeWhileConnected : {false, true}) {
        wake.sentAt.clear();
        UsageStore& store = pairedStore();
        run(store.start());
        change(10);
        report(Kind::connected);
        EXPECT_EQ(store.lanConnectionState().kind, Kind::connected);
        if (changeWhileConnected) {
            change(11);
        } else {
            clock.advance(5);
        }
        report(Kind::advertising);
        clock.advance(5);
        EXPECT_TRUE(wake.sentAt.empty()) << changeWhileConnected;
        change(12);
        clock.advance(1);
        EXPECT_EQ(wake.sentAt.size(), 1u) << changeWhileConnected;
    }
}

TEST_F(PhoneDeliveryTest, AChangeDuringASendIsSentOneSecondAfterItSucceeds) {
    pairedStore();
    wake.seconds = 10;
    const Timestamp start = clock.now();
    change(10);
    clock.advance(3);
    change(11);
    clock.advance(8);
    EXPECT_EQ(wakesSince(start), (std::vector<double>{1})) << "one send at a time";
    clock.advance(1);
    EXPECT_EQ(wakesSince(start), (std::vector<double>{1, 12}));
}

TEST_F(PhoneDeliveryTest, FailedWakesAreRetriedWithDoublingDelaysUntilOneSucceeds) {
    UsageStore& store = pairedStore();
    wake.failure = QStringLiteral("The wake channel failed.");
    const Timestamp start = clock.now();
    change(10);
    clock.advance(1 + 5 + 10 + 20 + 40 + 80 + 160 + 300 + 300);
    EXPECT_EQ(wakesSince(start), (std::vector<double>{1, 6, 16, 36, 76, 156, 316, 616, 916}));
    EXPECT_EQ(store.lastPushError(), QStringLiteral("The wake channel failed."));

    wake.failure.reset();
    clock.advance(300);
    EXPECT_EQ(wake.sentAt.size(), 10u);
    EXPECT_FALSE(store.lastPushError());
    clock.advance(600);
    EXPECT_EQ(wake.sentAt.size(), 10u) << "a success ends the retries";

    // The count starts over after a success.
    wake.failure = QStringLiteral("The wake channel failed.");
    const Timestamp later = clock.now();
    change(11);
    clock.advance(6);
    EXPECT_EQ(wakesSince(later).back(), 6);
}

TEST_F(PhoneDeliveryTest, TheTestButtonNeedsAPhoneAndIsNotRetried) {
    UsageStore& lonely = makeStore();
    lonely.sendWakePush(true, std::nullopt);
    EXPECT_EQ(lonely.lastPushError(), QStringLiteral("Pair an iPhone first."));
    EXPECT_TRUE(wake.sentAt.empty());

    UsageStore& store = pairedStore();
    wake.failure = QStringLiteral("The wake channel failed.");
    wake.seconds = 3;
    const Timestamp start = clock.now();
    store.sendWakePush(true, std::nullopt);
    // A change while the test wake is out is still sent once that ends, then retried.
    clock.advance(1);
    change(10);
    clock.advance(2);
    EXPECT_EQ(store.lastPushError(), QStringLiteral("The wake channel failed."));
    clock.advance(1);
    EXPECT_EQ(wakesSince(start), (std::vector<double>{0, 4}));
    clock.advance(3 + 5);
    EXPECT_EQ(wakesSince(start), (std::vector<double>{0, 4, 12}));
}

TEST_F(PhoneDeliveryTest, APhoneMayAskForARefreshThirtySecondsAfterTheLastOneStarted) {
    appServer.sessions = {test::LiveSession{{usage("codex", 11)}, 1e9}};
    UsageStore& store = pairedStore();
    run(store.start());
    settle();
    ASSERT_TRUE(store.isCodexLiveConnected());
    const int codexReads = appServer.script.calls;
    for (const auto& [after, cycles] : {std::pair{10.0, 1}, std::pair{30.0, 2}}) {
        clock.advance(after);
        servers.current().callbacks.onRefreshRequested();
        settle();
        EXPECT_EQ(claude.script.calls, cycles) << after;
    }
    EXPECT_EQ(appServer.script.calls, codexReads) << "the live session delivers Codex";
}

TEST_F(PhoneDeliveryTest, TheLinkIsLoadedAtConstructionAndTheLegacyKeyRemoved) {
    secrets.put(LegacyAPNsKeyCleanup::kKeyService, LegacyAPNsKeyCleanup::kKeyAccount, "key");
    standard.setString(LegacyAPNsKeyCleanup::kRegistrationKey, QStringLiteral("token"));
    UsageStore& first = makeStore();
    EXPECT_FALSE(test::runTask(secrets.find(LegacyAPNsKeyCleanup::kKeyService, std::nullopt)));
    EXPECT_FALSE(standard.string(LegacyAPNsKeyCleanup::kRegistrationKey));
    const LANPairingPayload identity = first.pairingPayload();
    EXPECT_EQ(
        LANPairingStorage(standard).load<LANPairingPayload>(LANPairingStorage::kServerIdentityKey),
        identity);
    EXPECT_FALSE(first.pairedPhone());

    standard.setDate(LANPairingStorage::kLastPhoneDataSentAtKey, Timestamp(800000000));
    UsageStore& second = pairedStore();
    EXPECT_EQ(second.pairingPayload(), identity);
    EXPECT_EQ(second.pairedPhone(), kPhone);
    EXPECT_EQ(second.lastPhoneDataSentAt(), Timestamp(800000000));
}

TEST_F(PhoneDeliveryTest, PairingAgainFromTheSameModelKeepsTheFirstPairingTime) {
    UsageStore& store = pairedStore();
    run(store.start());
    const auto pair = [this](const char* model, double at) {
        servers.current().callbacks.onPhonePaired({QString::fromLatin1(model), Timestamp(at)});
        settle();
    };
    pair("iPhone15,2", 800000000);
    EXPECT_EQ(store.pairedPhone(), kPhone);
    pair("iPhone16,1", 800000000);
    const PairedPhoneInfo other{QStringLiteral("iPhone16,1"), Timestamp(800000000)};
    EXPECT_EQ(store.pairedPhone(), other);
    EXPECT_EQ(LANPairingStorage(standard).load<PairedPhoneInfo>(LANPairingStorage::kPairedPhoneKey),
              other);
}

TEST_F(PhoneDeliveryTest, ForgettingThePhoneStartsOverWithANewCode) {
    UsageStore& store = pairedStore();
    run(store.start());
    change(10);
    clock.advance(1);
    servers.current().callbacks.onSnapshotSent(Timestamp(800000000));
    settle();
    EXPECT_EQ(store.lastPhoneDataSentAt(), Timestamp(800000000));
    wake.failure = QStringLiteral("The wake channel failed.");
    store.sendWakePush(true, std::nullopt);
    ASSERT_TRUE(store.lastPushSentAt());
    ASSERT_TRUE(store.lastPushError());
    const LANPairingPayload old = store.pairingPayload();
    const PairingServer::Callbacks oldCallbacks = servers.current().callbacks;

    store.disconnectPhone();
    EXPECT_EQ(servers.made.front()->stops, 1);
    EXPECT_NE(store.pairingPayload(), old);
    EXPECT_EQ(
        LANPairingStorage(standard).load<LANPairingPayload>(LANPairingStorage::kServerIdentityKey),
        store.pairingPayload());
    EXPECT_FALSE(store.pairedPhone());
    EXPECT_FALSE(standard.data(LANPairingStorage::kPairedPhoneKey));
    EXPECT_FALSE(store.lastPhoneDataSentAt());
    EXPECT_FALSE(standard.date(LANPairingStorage::kLastPhoneDataSentAtKey));
    EXPECT_FALSE(store.lastPushSentAt());
    EXPECT_FALSE(store.lastPushError());
    EXPECT_EQ(servers.current().pairing, store.pairingPayload());
    EXPECT_EQ(servers.current().starts, 1);
    EXPECT_EQ(servers.current().published, std::vector{*store.usageSnapshot()});

    // The old server's last words do not reach the new link.
    oldCallbacks.onSnapshotSent(Timestamp(800000100));
    oldCallbacks.onStateChange(LANConnectionState{Kind::connected, {}});
    settle();
    EXPECT_FALSE(store.lastPhoneDataSentAt());
    EXPECT_EQ(store.lanConnectionState().kind, Kind::idle);

    // The signatures were forgotten: the same windows wake the next phone once it pairs.
    servers.current().callbacks.onPhonePaired(kPhone);
    settle();
    wake.failure.reset();
    store.maybeSendWakePush(*store.usageSnapshot());
    clock.advance(1);
    EXPECT_EQ(wake.pairings.back(), store.pairingPayload());
}

}  // namespace
