#include "store/phone_link.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThreadPool>
#include <functional>
#include <limits>

#include "phone/legacy_apns_key_cleanup.h"
#include "phone_fakes.h"
#include "store/delivery_time_saver.h"
#include "store/phone_delivery.h"
#include "store/phone_services.h"
#include "support/run_task.h"
#include "support/usage_builder.h"

namespace {

using test::usage;
using Kind = LanConnectionState::Kind;
using Storage = LanPairingStorage;

const PairedPhoneInfo kPhone{QStringLiteral("iPhone15,2"), Timestamp(700000000)};
const QString kFailed = QStringLiteral("The wake channel failed.");

// A phone link on a fake pairing server and wake sender, with its preferences in a folder of its
// own.
class PhoneLinkTest : public ::testing::Test {
protected:
    // A new started link and wake sender, by default with a phone that paired earlier and is now
    // away from the local network.
    PhoneLink& startedLink(bool paired = true) {
        link.reset();
        wake.emplace(clock);
        if (paired) {
            Storage(standard).save(kPhone, Storage::kPairedPhoneKey);
        } else {
            standard.remove(Storage::kPairedPhoneKey);
        }
        link = std::make_unique<PhoneLink>(
            PhoneLink::Services{clock, servers, *wake, secrets, standard});
        link->start(std::nullopt);
        return *link;
    }
    // A changed snapshot whose Codex window is `used` percent used.
    void change(std::int64_t used) {
        latest = AgentUsageSnapshot({usage("codex", used)});
        link->publish(latest, true);
    }
    void report(Kind kind) {
        servers.current().callbacks.onStateChange(LanConnectionState{kind, {}});
        settle();
    }
    static void settle() { QCoreApplication::processEvents(); }

    QTemporaryDir directory;
    Preferences standard{directory.filePath(QStringLiteral("standard.conf"))};
    ManualClock clock;
    test::FakePairingServers servers;
    std::optional<test::FakeWakeSender> wake;
    MemorySecretStore secrets;
    AgentUsageSnapshot latest;
    std::unique_ptr<PhoneLink> link;
};

TEST(SnapshotSignature, CoversEveryWindowAndNothingElse) {
    const AgentUsage codex =
        usage("codex", {test::fiveHour(42, Timestamp::fromUnixSeconds(1767225600)),
                        test::weekly(7, Timestamp::fromUnixSeconds(-1.9))});
    AgentUsage renamed = codex;
    renamed.agentName = "Codex CLI";
    renamed.planType = "pro";
    renamed.updatedAt = renamed.updatedAt + 3600;
    renamed.source = UsageSource::AccountSession;
    const AgentUsage far = usage(
        "claude", {test::window(60, 1, Timestamp(1e300)), test::window(60, 1, Timestamp(-1e300))});
    const QString both = QStringLiteral("codex:18000:42:1767225600|codex:604800:7:-1");
    EXPECT_EQ(PhoneDelivery::snapshotSignature(test::snapshot({usage("claude"), codex})), both);
    EXPECT_EQ(PhoneDelivery::snapshotSignature(test::snapshot({renamed})), both);
    EXPECT_EQ(PhoneDelivery::snapshotSignature(test::snapshot({far})),
              QStringLiteral("claude:60:1:%1|claude:60:1:%2")
                  .arg(std::numeric_limits<std::int64_t>::max())
                  .arg(std::numeric_limits<std::int64_t>::min()));
}

// At once the first time, then at most once a minute with the latest time; a minute without a
// delivery ends the spacing, so the next time is written at once again; the last one is written
// when the saver goes.
TEST_F(PhoneLinkTest, TheDeliveryTimeIsWrittenAtOnceThenOnceAMinuteAndAtOnceAfterAQuietMinute) {
    auto saver =
        std::make_unique<DeliveryTimeSaver>(clock, standard, Storage::kLastPhoneDataSentAtKey);
    const auto stored = [&] {
        QThreadPool::globalInstance()->waitForDone();
        return standard.date(Storage::kLastPhoneDataSentAtKey);
    };
    saver->save(Timestamp(1));
    saver->save(Timestamp(2));
    EXPECT_EQ(stored(), Timestamp(1));
    clock.advance(DeliveryTimeSaver::kSaveSpacingSeconds);
    EXPECT_EQ(stored(), Timestamp(2));
    clock.advance(DeliveryTimeSaver::kSaveSpacingSeconds);
    saver->save(Timestamp(3));
    saver->save(Timestamp(4));
    EXPECT_EQ(stored(), Timestamp(3));
    saver.reset();
    EXPECT_EQ(stored(), Timestamp(4));
}

TEST_F(PhoneLinkTest, WakesAreCoalescedSerialisedAndRetried) {
    // What happens: a change to `used` percent, a slower or failing wake channel, the same
    // windows again, the wake button, the phone coming and going.
    const auto used = [this](std::int64_t percent) { return [=, this] { change(percent); }; };
    const auto slow = [this](double seconds) { return [=, this] { wake->seconds = seconds; }; };
    const auto same = [this] { link->publish(latest, true); };
    const auto button = [this] { link->sendWakePush(true, std::nullopt); };
    const auto here = [this] { report(Kind::Connected); };
    const auto away = [this] { report(Kind::Advertising); };
    const auto fail = [this] { wake->failure = kFailed; };
    const auto mend = [this] { wake->failure.reset(); };
    UnavailableWakeSender program;
    const auto unavailable = [this, &program] { wake->delegate = &program; };
    // Each row: until when it runs, the wakes sent by then (seconds from the start), and what
    // happens when.
    const struct {
        const char* name;
        double until;
        std::vector<double> wakes;
        std::vector<std::pair<double, std::function<void()>>> steps;
        QString error{};
        bool paired = true;
    } rows[] = {
        {"burst", 5, {1.5}, {{0, used(10)}, {0.25, used(11)}, {0.5, used(12)}}},
        {"same windows", 6, {1}, {{0, used(10)}, {3, same}}},
        {"connected when due", 8, {5}, {{0, used(10)}, {0.5, here}, {3, away}, {4, used(11)}}},
        {"change while connected",
         8,
         {5},
         {{0, used(10)}, {0.5, here}, {0.75, used(11)}, {0.8, away}, {4, used(12)}}},
        {"change during a send", 20, {1, 12}, {{0, slow(10)}, {0, used(10)}, {3, used(11)}}},
        {"back-off",
         1310,
         {1, 6, 16, 36, 76, 156, 316, 616, 916, 1216, 1301, 1306},
         {{0, fail}, {0, used(10)}, {920, mend}, {1300, fail}, {1300, used(11)}},
         kFailed},
        {"button unpaired", 10, {}, {{0, button}}, QStringLiteral("Pair an iPhone first."), false},
        // Said once, with no error, and never tried again.
        {"unavailable", 20, {1}, {{0, unavailable}, {0, used(10)}, {5, used(11)}, {8, button}}},
        {"button not retried",
         12.5,
         {0, 4, 12},
         {{0, fail}, {0, slow(3)}, {0, button}, {1, used(10)}},
         kFailed},
    };
    for (const auto& row : rows) {
        startedLink(row.paired);
        const Timestamp start = clock.now();
        for (const auto& [at, happen] : row.steps) {
            clock.advance((start + at) - clock.now());
            happen();
        }
        clock.advance((start + row.until) - clock.now());
        std::vector<double> wakes;
        for (const Timestamp sent : wake->sentAt) {
            wakes.push_back(sent - start);
        }
        EXPECT_EQ(wakes, row.wakes) << row.name;
        EXPECT_EQ(link->lastPushErrorText(), row.error) << row.name;
    }
}

TEST_F(PhoneLinkTest, TheLinkIsLoadedKeptAndForgotten) {
    secrets.put(LegacyApnsKeyCleanup::kKeyService, LegacyApnsKeyCleanup::kKeyAccount, "key");
    standard.setString(LegacyApnsKeyCleanup::kRegistrationKey, QStringLiteral("token"));
    standard.setDate(Storage::kLastPhoneDataSentAtKey, Timestamp(800000000));
    PhoneLink& store = startedLink();
    int refreshRequests = 0;
    QObject::connect(&store, &PhoneLink::refreshRequested, [&] { ++refreshRequests; });
    EXPECT_FALSE(test::runTask(secrets.find(LegacyApnsKeyCleanup::kKeyService, std::nullopt)) ||
                 standard.string(LegacyApnsKeyCleanup::kRegistrationKey));
    const Storage storage(standard);
    const LanPairingPayload old = store.pairingPayload();
    EXPECT_EQ(storage.load<LanPairingPayload>(Storage::kServerIdentityKey), old);
    EXPECT_EQ(store.pairedPhone(), kPhone);
    EXPECT_EQ(store.lastPhoneDataSentAt(), Timestamp(800000000));

    // The same phone pairing again keeps its first pairing time; each delivery is shown.
    const PairingServer::Callbacks callbacks = servers.current().callbacks;
    callbacks.onPhonePaired({kPhone.model, Timestamp(800000100)});
    callbacks.onSnapshotSent(Timestamp(800000010));
    callbacks.onSnapshotSent(Timestamp(800000020));
    callbacks.onRefreshRequested();
    change(10);
    clock.advance(1);
    settle();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(store.pairedPhone(), kPhone);
    EXPECT_EQ(store.lastPhoneDataSentAt(), Timestamp(800000020));
    EXPECT_EQ(standard.date(Storage::kLastPhoneDataSentAtKey), Timestamp(800000010))
        << "written through the saver";
    EXPECT_EQ(refreshRequests, 1);
    ASSERT_TRUE(store.lastPushSentAt());

    store.disconnectPhone();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(servers.made.front()->stops, 1);
    EXPECT_NE(store.pairingPayload(), old);
    EXPECT_EQ(storage.load<LanPairingPayload>(Storage::kServerIdentityKey), store.pairingPayload());
    EXPECT_FALSE(store.pairedPhone() || standard.data(Storage::kPairedPhoneKey));
    EXPECT_FALSE(store.lastPhoneDataSentAt() || standard.date(Storage::kLastPhoneDataSentAtKey) ||
                 store.lastPushSentAt());
    EXPECT_EQ(servers.current().pairing, store.pairingPayload());
    EXPECT_EQ(servers.current().starts, 1);
    EXPECT_EQ(servers.current().published, std::vector{latest});

    // The old server's last words do not reach the new link.
    callbacks.onSnapshotSent(Timestamp(800000200));
    callbacks.onStateChange(LanConnectionState{Kind::Connected, {}});
    callbacks.onRefreshRequested();
    settle();
    EXPECT_EQ(refreshRequests, 1);
    EXPECT_FALSE(store.lastPhoneDataSentAt());
    EXPECT_EQ(store.lanConnectionState().kind, Kind::Idle);

    // Another phone pairs with the new code; the same windows wake it, as nothing was sent to it.
    const PairedPhoneInfo other{QStringLiteral("iPhone16,1"), Timestamp(800000300)};
    servers.current().callbacks.onPhonePaired(other);
    settle();
    EXPECT_EQ(storage.load<PairedPhoneInfo>(Storage::kPairedPhoneKey), other);
    store.publish(latest, true);
    clock.advance(1);
    EXPECT_EQ(wake->pairings.back(), store.pairingPayload());
}

}  // namespace
