#include "widgethost/widget_host.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QThreadPool>

#include "model/shared_snapshot_store.h"
#include "model/usage_json.h"
#include "platform/widget_center.h"
#include "support/manual_clock.h"
#include "support/run_task.h"
#include "support/temporary_config_home.h"
#include "support/usage_builder.h"
#include "widgethost/wake_schedule.h"
#include "widgethost/widget_plugin.h"
#include "widgethost/widget_window.h"

using namespace Qt::StringLiterals;

namespace {

const QString kLegacy = u"QuotamindWidget"_s;
const QString kConfigurable = u"QuotamindConfigurableWidget.v3"_s;
const QString kBothLimits = u"QuotamindBothLimitsWidget.v3"_s;

// Updated at `updatedAt`, its 5-hour window resetting three hours later.
AgentUsage usage(const std::string& provider, Timestamp updatedAt) {
    return test::usage(provider,
                       {test::fiveHour(30, updatedAt + 10800), test::weekly(10, updatedAt + 4e5)},
                       updatedAt);
}

// The host on the plugin as the program loads it, with its preferences in a temporary folder.
class WidgetHostTest : public test::TemporaryConfigHome {
protected:
    void SetUp() override {
        TemporaryConfigHome::SetUp();
        ASSERT_NE(m_plugin.extension(), nullptr) << m_plugin.error().toStdString();
    }
    void TearDown() override {
        // Lets the host's last reads and writes finish, so none outlives the test.
        m_host.reset();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        TemporaryConfigHome::TearDown();
    }

    WidgetHost& startHost() {
        m_host = std::make_unique<WidgetHost>(*m_plugin.extension(), m_clock, settingsFile());
        test::runTask(m_host->start());
        QObject::connect(m_host.get(), &WidgetHost::timelineApplied, m_host.get(),
                         [this](int index) { m_applied.append(index); });
        return *m_host;
    }
    QString settingsFile() const { return path(u"brindlecove/widgets.conf"_s); }

    // Places a widget and waits (at most ten seconds) until its first timeline is shown.
    void place(const QString& kind, WidgetFamily family, const WidgetConfiguration& configuration,
               QPoint position = {}) {
        const int requests = m_host->timelineRequestCount();
        const int index = m_host->widgetCount();
        m_host->place(kind, family, position, configuration);
        ASSERT_EQ(m_host->timelineRequestCount(), requests + 1);
        ASSERT_TRUE(test::processEventsUntil([&] { return m_applied.contains(index); }));
    }
    std::optional<LimitEntry> shown(int index) const { return m_host->window(index)->entry(); }

    ManualClock m_clock{Timestamp(788918400.0)};
    WidgetPlugin m_plugin{{QStringLiteral(QUOTAMIND_WIDGET_PLUGIN)}};
    std::unique_ptr<WidgetHost> m_host;
    QList<int> m_applied;
};

// What the tray program does after it applies a snapshot: store it (here from a process of its
// own), then broadcast the reload of one kind.
void publishFromAnotherProcess(const AgentUsageSnapshot& snapshot, const QString& kind) {
    QProcess peer;
    peer.start(QStringLiteral(SHARED_SNAPSHOT_STORE_PEER), QStringList());
    peer.write(QByteArray::fromStdString(usage_json::encodeSnapshot(snapshot)));
    peer.closeWriteChannel();
    ASSERT_TRUE(peer.waitForFinished(10000));
    ASSERT_EQ(peer.exitCode(), 0);
    DBusWidgetCenter().reloadTimelines(kind);
}

const Timestamp kNow(788918400.0);

Timestamp at(double seconds) {
    return kNow + seconds;
}

// A timeline of a fresh entry and a stale one at +1201 s.
const std::vector<Timestamp> kTwoEntries = {at(0), at(1201)};

TEST(WakeScheduleTest, ShowsTheLastEntryWhoseDateHasComeAndWakesForTheNextChange) {
    EXPECT_EQ(WakeSchedule::currentEntry(kTwoEntries, at(1200.9)), 0u);
    EXPECT_EQ(WakeSchedule::currentEntry(kTwoEntries, at(1201)), 1u);
    // Received before its first date (a clock set back): the first entry all the same.
    EXPECT_EQ(WakeSchedule::currentEntry(kTwoEntries, at(-30)), 0u);
    EXPECT_EQ(WakeSchedule::currentEntry({}, kNow), std::nullopt);
    // The next wake: the next entry or the reload date, whichever comes first.
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(1800), at(0)) - kNow, 1201.0);
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(1800), at(1201)) - kNow, 1800.0);
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(600), at(0)) - kNow, 600.0);
    EXPECT_EQ(WakeSchedule::nextWake({at(0)}, at(3600), at(0)) - kNow, 3600.0);
    // A reload date that already passed is due at once.
    EXPECT_EQ(WakeSchedule::nextWake(kTwoEntries, at(-5), at(1300)) - kNow, -5.0);
    // A reload date not in the future waits the shortest delay.
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(-5), kNow) - kNow, 60.0);
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(0), kNow) - kNow, 60.0);
    EXPECT_EQ(WakeSchedule::effectiveReloadDate(at(1800), kNow) - kNow, 1800.0);
}

}  // namespace

TEST_F(WidgetHostTest, AReloadSignalForItsKindShowsWhatAnotherProcessStoredWithoutARestart) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        GTEST_SKIP() << "no session bus (the tests run under tests/support/with-session-bus)";
    }
    WidgetHost& host = startHost();
    ASSERT_TRUE(host.listen(QDBusConnection::sessionBus(), QDBusConnection(QString())));
    place(kLegacy, WidgetFamily::Small, {});
    place(kBothLimits, WidgetFamily::Medium, {});
    ASSERT_FALSE(shown(0)->usage.has_value());

    const AgentUsage codex = usage("codex", m_clock.now());
    publishFromAnotherProcess(AgentUsageSnapshot({codex}), kLegacy);
    ASSERT_TRUE(test::processEventsUntil([&] { return shown(0)->usage == codex; }));
    EXPECT_EQ(host.timelineRequestCount(), 3) << "only the named kind asks again";
    EXPECT_FALSE(shown(1)->usage.has_value());
}

// Two widgets whose data turns stale at different times: one wait is pending at a time, for the
// earliest change; entries change at their dates, and timelines are asked for at reload dates.
TEST_F(WidgetHostTest, WakesOnlyAtEntryAndReloadDates) {
    const Timestamp start = m_clock.now();
    SharedSnapshotStore::save(
        AgentUsageSnapshot({usage("codex", start - 600), usage("claude", start - 1500)}));
    WidgetHost& host = startHost();
    place(kLegacy, WidgetFamily::Small, {});
    place(kConfigurable, WidgetFamily::Medium, {.agentId = u"claude"_s, .period = u"fiveHour"_s});
    ASSERT_EQ(m_clock.pendingSleepCount(), 1u);
    EXPECT_EQ(m_clock.secondsUntilNextSleep(), 301.0) << "claude turns stale first";

    m_clock.advance(1201);
    EXPECT_EQ(shown(1)->date - start, 301.0);
    EXPECT_EQ(shown(0)->date - start, 1201.0);
    EXPECT_EQ(host.timelineRequestCount(), 2) << "no timeline before its reload date";
    m_applied.clear();
    m_clock.advance(599);
    EXPECT_EQ(host.timelineRequestCount(), 4);
    ASSERT_TRUE(test::processEventsUntil([&] { return m_applied.size() == 2; }));
    EXPECT_EQ(m_clock.pendingSleepCount(), 1u);
    EXPECT_EQ(m_clock.secondsUntilNextSleep(), 1800.0) << "both stale already: one entry each";
}

TEST_F(WidgetHostTest, PlacedWidgetsComeBackAfterARestart) {
    startHost();
    place(kLegacy, WidgetFamily::Small, {}, QPoint(10, 20));
    place(kConfigurable, WidgetFamily::Medium, {u"claude"_s, u"fiveHour"_s}, QPoint(200, 40));
    m_host->window(0)->move(QPoint(30, 60));  // dragged by the user
    const QList<PlacedWidget> placed = m_host->placedWidgets();
    ASSERT_EQ(placed.size(), 2);
    EXPECT_EQ(placed[0].position, QPoint(30, 60));
    EXPECT_EQ(placed[1].configuration.agentId, u"claude"_s);
    ASSERT_TRUE(
        test::processEventsUntil([&] { return PlacedWidgets::load(settingsFile()) == placed; }));

    m_host.reset();
    WidgetHost& restarted = startHost();
    EXPECT_EQ(restarted.placedWidgets(), placed);
    EXPECT_EQ(restarted.window(1)->kind(), kConfigurable);
    EXPECT_EQ(restarted.window(1)->pos(), QPoint(200, 40));
}
