#include "store/usage_store.h"

#include <gtest/gtest.h>

#include "model/shared_snapshot_store.h"
#include "store_fixture.h"
#include "support/run_task.h"
#include "support/usage_builder.h"

namespace {

using test::LiveSession;
using test::Wait;

using test::usage;

const AgentProvider kCodex = AgentProvider::codex();
const AgentProvider kClaude = AgentProvider::claude();

class UsageStoreTest : public test::StoreFixture {};

TEST_F(UsageStoreTest, StartRunsOnceAndPublishesTheStoredSnapshotFirst) {
    const AgentUsageSnapshot storedSnapshot({usage("claude", 10)});
    SharedSnapshotStore::save(storedSnapshot, preferences);
    appServer.script.otherwise = usage("codex", 20);
    claude.script.otherwise = usage("claude", 10);
    UsageStore& store = makeStore();
    EXPECT_EQ(store.usageSnapshot(), storedSnapshot);
    EXPECT_EQ(store.sessionStatus(), SessionStatus::Checking);
    run(store.start());
    run(store.start());
    EXPECT_EQ(std::tuple(appServer.script.calls, claude.script.calls, followers.phoneStarts),
              std::tuple(1, 1, 1));
    EXPECT_EQ(followers.published.front(), storedSnapshot);
    EXPECT_EQ(store.sessionStatus(), SessionStatus::LocalPrimary);
    EXPECT_EQ(appServer.monitorCalls, 1) << "live updates start after the first cycle";
}

// A refresh asked for during another is dropped; destroying the store mid-cycle ends its work
// quietly.
TEST_F(UsageStoreTest, ARefreshDuringARefreshIsDroppedAndTheStoresEndEndsIt) {
    claude.script.answers = {Wait{1000}};
    UsageStore& store = makeStore();
    test::StartedTask<void> first(store.refresh(false, false));
    run(store.refresh());
    EXPECT_TRUE(store.isRefreshing());
    EXPECT_EQ(claude.script.calls, 1);
    this->store.reset();
    ASSERT_TRUE(first.waitUntilDone());
    EXPECT_EQ(clock.pendingSleepCount(), 0u);
}

// The status follows the agent applied, but Claude leaves it alone while Codex usage is shown.
// An unchanged reading only clears its agent's error; a new plan alone is published.
TEST_F(UsageStoreTest, StatusFollowsTheAppliedAgentAndOnlyChangesArePublished) {
    UsageStore& store = makeStore();
    store.apply(usage("claude", 10), SessionStatus::LocalSecondary);
    EXPECT_EQ(store.sessionStatus(), SessionStatus::LocalSecondary);
    const int saved = followers.synchronized;
    store.handleRefreshFailure(QStringLiteral("boom"), kClaude, true);
    store.apply(usage("claude", {test::fiveHour(10)}, test::kReadAt + 3600),
                SessionStatus::LocalSecondary);
    EXPECT_EQ(followers.synchronized, saved);
    EXPECT_EQ(followers.published.size(), 1u);
    EXPECT_FALSE(store.error(kClaude));
    EXPECT_EQ(SharedSnapshotStore::loadSnapshot(preferences)->usages.front().updatedAt,
              usage("claude", 10).updatedAt);
    AgentUsage pro = usage("claude", 10);
    pro.planType = "pro";
    store.apply(pro, SessionStatus::LocalSecondary);
    EXPECT_EQ(followers.published.size(), 2u);
    store.apply(usage("codex", 10), SessionStatus::AccountSession);
    store.apply(usage("claude", 30), SessionStatus::LocalSecondary);
    EXPECT_EQ(store.sessionStatus(), SessionStatus::AccountSession);
}

// A failure is shown when asked, or when no data is shown.
TEST_F(UsageStoreTest, AFailureIsShownWhenAskedOrWhenNoDataIsShown) {
    // Whether data is shown, whether the failure is to be reported, and whether it is recorded.
    // The store that comes first has no data stored.
    const std::tuple<bool, bool, bool> rows[] = {
        {false, false, true}, {true, false, false}, {true, true, true}};
    for (const auto& [dataShown, reportFailure, recorded] : rows) {
        UsageStore& store = makeStore();
        if (dataShown) {
            store.apply(usage("claude", 10), SessionStatus::LocalSecondary);
        }
        store.handleRefreshFailure(QStringLiteral("Claude failed."), kClaude, reportFailure);
        EXPECT_EQ(store.error(kClaude).has_value(), recorded) << dataShown << reportFailure;
    }
}

TEST_F(UsageStoreTest, BothAgentsFailingWithNothingStoredSignsOutAndPublishesEmpty) {
    authFile.script.otherwise = QStringLiteral("No auth file.");
    claude.script.otherwise = QStringLiteral("Claude failed.");
    UsageStore& store = makeStore();
    run(store.refresh(false, true));
    EXPECT_EQ(store.sessionStatus(), SessionStatus::SignedOut);
    ASSERT_FALSE(followers.published.empty());
    EXPECT_TRUE(followers.published.back().usages.empty());
    EXPECT_EQ(store.inlineError(), QStringLiteral("offline")) << "Codex's error comes first";
    store.apply(usage("codex", 1), SessionStatus::LocalPrimary);
    EXPECT_EQ(store.inlineError(), QStringLiteral("Claude failed."));
}

TEST_F(UsageStoreTest, TheCodexErrorDependsOnWhereItCouldHaveComeFrom) {
    appServer.script.otherwise = QStringLiteral("app-server");
    authFile.script.otherwise = QStringLiteral("auth file");
    account.usage.otherwise = usage("codex", 5);
    UsageStore& store = makeStore();
    const auto error = [&] {
        return test::errorOf<PlatformError>(store.fetchAgentUsage()).errorString();
    };
    EXPECT_EQ(error(), QStringLiteral("app-server"));
    appServer.installed = false;
    EXPECT_EQ(error(), QStringLiteral("auth file"));
    account.stored = CodexCredentials{};
    EXPECT_EQ(test::runTask(store.fetchAgentUsage()).second, SessionStatus::AccountSession);
}

TEST_F(UsageStoreTest, TheIntervalIsTheSmallestAmongThePolledAgents) {
    UsageStore& store = makeStore();
    EXPECT_EQ(store.automaticRefreshInterval(clock.now()), 120);
    // Recent activity, then four failures: 60 s doubled four times, capped.
    store.apply(usage("claude", 10), SessionStatus::LocalSecondary);
    store.apply(usage("claude", 20), SessionStatus::LocalSecondary);
    for (int failure = 0; failure < 4; ++failure) {
        store.handleRefreshFailure(QStringLiteral("x"), kClaude, false);
    }
    EXPECT_EQ(store.automaticRefreshInterval(clock.now()), 120) << "Codex has no policy yet";
    store.apply(usage("codex", 10), SessionStatus::LocalPrimary);
    for (int failure = 0; failure < 8; ++failure) {
        store.handleRefreshFailure(QStringLiteral("x"), kCodex, false);
    }
    EXPECT_EQ(store.automaticRefreshInterval(clock.now()), 900);
}

TEST_F(UsageStoreTest, OneWaitFromTheEndOfTheLastCycleAndOnlyClaudeWhileLive) {
    claude.script.otherwise = usage("claude", 10);
    appServer.script.otherwise = usage("codex", 10);
    appServer.sessions = {LiveSession{{usage("codex", 11)}, 1e9}};
    UsageStore& store = makeStore();
    claude.script.answers = {Wait{30}, usage("claude", 10)};
    test::StartedTask<void> starting(store.start());
    clock.advance(30);
    ASSERT_TRUE(starting.waitUntilDone());
    settle();
    ASSERT_TRUE(store.isCodexLiveConnected());
    EXPECT_EQ(store.usageSnapshot()->operator[](kCodex)->windows.front().usedPercent, 11);
    // The cycle ended 30 s after start; the next is one interval later, and skips Codex.
    const double interval = store.automaticRefreshInterval(clock.now());
    EXPECT_EQ(clock.secondsUntilNextSleep(), interval);
    const int codexReads = appServer.script.calls;
    clock.advance(interval);
    settle();
    EXPECT_EQ(claude.script.calls, 2);
    EXPECT_EQ(appServer.script.calls, codexReads);
    // A phone may ask for a refresh thirty seconds after the last one started.
    for (const auto& [after, cycles] : {std::pair{10.0, 2}, std::pair{20.0, 3}}) {
        clock.advance(after);
        store.handleRemoteRefreshRequest();
        settle();
        EXPECT_EQ(claude.script.calls, cycles) << after;
    }
    EXPECT_EQ(appServer.script.calls, codexReads) << "the live session delivers Codex";
    run(store.refresh());
    EXPECT_EQ(appServer.script.calls, codexReads + 1) << "a user's refresh reads both";
}

// An update queued as its session ends is applied but marks nothing live; sessions reopen after
// doubling delays, and one second after one that delivered.
TEST_F(UsageStoreTest, LiveSessionsReopenAfterDoublingDelaysAndAfterOneSecondWhenTheyDelivered) {
    appServer.sessions = {LiveSession{{usage("codex", 7)}, 0},  {}, {}, {}, {}, {}, {}, {},
                          LiveSession{{usage("codex", 3)}, 10}, {}};
    UsageStore& store = makeStore();
    store.startCodexLiveUpdates();
    settle();
    EXPECT_EQ(store.usageSnapshot()->operator[](kCodex)->windows.front().usedPercent, 7);
    EXPECT_FALSE(store.isCodexLiveConnected());
    for (int attempt = 0; attempt < 11; ++attempt) {
        settle();
        clock.advanceToNextSleep();
    }
    std::vector<double> gaps;
    for (std::size_t i = 1; i < appServer.monitorStartedAt.size(); ++i) {
        gaps.push_back(appServer.monitorStartedAt[i] - appServer.monitorStartedAt[i - 1]);
    }
    // Some sleeps belong to the periodic loop; only the gaps between sessions are compared.
    ASSERT_GE(gaps.size(), 9u);
    EXPECT_EQ(std::vector<double>(gaps.begin(), gaps.begin() + 9),
              (std::vector<double>{1, 2, 4, 8, 16, 32, 60, 60, 10 + 1}));
}

TEST_F(UsageStoreTest, LaunchAtLoginReadsTheStateBackAndShowsFailures) {
    UsageStore& store = makeStore();
    run(store.setLaunchAtLogin(true));
    EXPECT_TRUE(store.launchAtLoginEnabled());
    autostart.failure = QStringLiteral("read-only folder");
    run(store.setLaunchAtLogin(false));
    EXPECT_TRUE(store.launchAtLoginEnabled());
    EXPECT_EQ(store.inlineError(), QStringLiteral("read-only folder"));
}

// Each agent's last successful read is kept beside the snapshot: with a change at once, otherwise
// at most every five minutes, and an agent that fails keeps its time.
TEST_F(UsageStoreTest, LastReadTimesAreWrittenWithChangesAndEveryFiveMinutes) {
    appServer.script.otherwise = usage("codex", 10);
    claude.script.otherwise = usage("claude", 10);
    UsageStore& store = makeStore();
    const Timestamp start = clock.now();
    const auto stored = [this] { return SharedSnapshotStore::loadReadTimes(preferences); };
    run(store.refresh(false, true));
    EXPECT_EQ(stored(), store.lastReadTimes());
    claude.script.otherwise = QStringLiteral("Claude failed.");
    const int reloads = followers.reloads;
    for (const auto& [at, codexStored, reloaded] : {std::tuple{120.0, 0.0, 0}, {300.0, 300.0, 3}}) {
        clock.setNow(start + at);  // the wall clock alone: no timer fires
        run(store.refresh(false, true));
        EXPECT_EQ(store.lastReadTimes()[kCodex], start + at);
        EXPECT_EQ(stored()[kCodex], start + codexStored);
        EXPECT_EQ(stored()[kClaude], start);
        EXPECT_EQ(followers.reloads, reloads + reloaded);
    }
}

// Every reading goes to the history, and the forecasts made from it are kept beside the snapshot
// for the widgets.
TEST_F(UsageStoreTest, ReadingsGoToTheHistoryAndTheirForecastsBesideTheSnapshot) {
    UsageHistory kept(directory.filePath(QStringLiteral("history.sqlite3")), clock);
    history = &kept;
    UsageStore& store = makeStore();
    const Timestamp reset = clock.now() + 7200;
    for (const std::int64_t used : {30, 40, 50, 60}) {
        store.apply(usage("codex", {test::fiveHour(used, reset)}), SessionStatus::LocalPrimary);
        clock.advance(600);
    }
    ASSERT_TRUE(test::processEventsUntil([&] { return !store.forecasts().forecasts.empty(); }));
    EXPECT_EQ(store.forecasts().find("codex", 18000)->limitAt, reset - 3000);
    EXPECT_EQ(SharedSnapshotStore::loadForecasts(preferences), store.forecasts());
    EXPECT_EQ(test::runTask(kept.rows(Timestamp(-1e12))).size(), 4u);
    signIn.reset();
    this->store.reset();
}

// A reset time of the snapshot is announced when it comes, and the agents are read five seconds
// later.
TEST_F(UsageStoreTest, AResetIsAnnouncedAndReadAgainFiveSecondsLater) {
    const Timestamp reset = clock.now() + 630;
    AgentUsage codex = usage("codex", {test::fiveHour(80, reset)});
    appServer.script.otherwise = codex;
    claude.script.otherwise = usage("claude", 10);
    UsageStore& store = makeStore();
    run(store.start());
    int announced = 0;
    QObject::connect(&store, &UsageStore::resetReached, [&] { ++announced; });
    clock.advance(reset - clock.now() - 0.5);
    EXPECT_EQ(announced, 0);
    clock.advance(0.5);
    EXPECT_EQ(announced, 1);
    codex.windows.front() = test::fiveHour(0, reset + 18000);
    appServer.script.otherwise = codex;
    clock.advance(5);
    settle();
    EXPECT_EQ((*store.usageSnapshot())[kCodex], codex);
    EXPECT_EQ(store.lastReadTimes()[kCodex], reset + 5);
}

// A sign-in cancelled, or replaced during its exchange, records nothing; the next one that ends
// applies the account.
TEST_F(UsageStoreTest, OnlyASignInThatEndsUncancelledAndUnreplacedAppliesTheAccount) {
    makeStore();
    account.usage.otherwise = usage("codex", 40);
    signIn->beginSignIn();
    ASSERT_TRUE(test::processEventsUntil([&] { return signIn->deviceCode().has_value(); }));
    signIn->cancelSignIn();
    EXPECT_FALSE(signIn->deviceCode());
    account.exchangeSeconds = 1;
    signIn->beginSignIn();
    clock.advance(60);
    signIn->beginSignIn();
    clock.advance(1);
    settle();
    EXPECT_FALSE(store->error(kCodex) || account.stored);
    EXPECT_TRUE(signIn->deviceCode());
    clock.advance(60);
    ASSERT_TRUE(test::processEventsUntil([&] { return account.stored && !signIn->deviceCode(); }));
    EXPECT_EQ(store->sessionStatus(), SessionStatus::AccountSession);
}

TEST_F(UsageStoreTest, ASignOutWhoseDeleteFailsShowsItAndKeepsTheStatus) {
    makeStore();
    store->apply(usage("codex", 10), SessionStatus::AccountSession);
    account.stored = CodexCredentials{};
    account.deleteFailure = QStringLiteral("The keyring refused.");
    run(signIn->signOut());
    EXPECT_EQ(store->inlineError(), QStringLiteral("The keyring refused."));
    EXPECT_EQ(store->sessionStatus(), SessionStatus::AccountSession);
}

}  // namespace
