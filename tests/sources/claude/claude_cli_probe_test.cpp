#include "sources/claude/claude_cli_probe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

#include "core/error.h"
#include "fakes/fake_claude_record.h"
#include "sources/claude/claude_usage_client_error.h"
#include "support/child_processes.h"
#include "support/manual_clock.h"

namespace {

using namespace std::chrono_literals;

constexpr double kPoll = ClaudeCLIProbe::pollIntervalSeconds;

// Runs touchClaudeAuthPath against the fake `claude` on a manual clock. The real child runs in
// real time, so the tests wait (with bounds) for what it records before moving the clock on.
class ClaudeCLIProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QDir().mkpath(homePath()));
    }
    void TearDown() override {
        stop();
        EXPECT_FALSE(test::hasChildProcess()) << "a child was left behind";
    }

    QString homePath() const { return m_folder.filePath(QStringLiteral("home")); }
    QString temporaryPath() const { return m_folder.filePath(QStringLiteral("tmp")); }
    QString scratchPath() const {
        return temporaryPath() + QStringLiteral("/Quotamind-Claude-Probe");
    }
    QString recordPath() const { return m_folder.filePath(QStringLiteral("record")); }
    test::FakeClaudeRecord record() const { return test::FakeClaudeRecord::read(recordPath()); }

    ClaudeCLIProbe::Environment environment(const QMap<QString, QString>& settings) const {
        ClaudeCLIProbe::Environment environment;
        environment.homePath = homePath();
        environment.temporaryPath = temporaryPath();
        environment.systemBinaryPaths = {};
        environment.processEnvironment = QProcessEnvironment::systemEnvironment();
        environment.processEnvironment.insert(QStringLiteral("FAKE_CLAUDE_RECORD"), recordPath());
        for (auto it = settings.begin(); it != settings.end(); ++it) {
            environment.processEnvironment.insert(it.key(), it.value());
        }
        return environment;
    }

    // Starts a probe afresh: a new record, token and probe.
    void start(const QMap<QString, QString>& settings, double timeoutSeconds,
               QString binary = test::fakeClaudeProgram()) {
        stop();
        QFile::remove(recordPath());
        m_token = CancellationToken();
        m_probe.emplace(m_clock, environment(settings));
        m_task.emplace(m_probe->touchClaudeAuthPath(std::move(binary), timeoutSeconds, m_token));
    }
    void stop() {
        if (m_task && !m_task->isDone()) {
            m_token.cancel();
            finish();
        }
    }
    bool done() const { return m_task->isDone(); }
    // Rethrows what the probe threw.
    void result() { m_task->get(); }

    bool waitForRecord(QByteArrayView key, QByteArrayView value = {}) const {
        return test::waitUntil([&] { return record().has(key, value); });
    }
    bool waitForInput(qsizetype size) const {
        return test::waitUntil([&] { return record().input().size() >= size; });
    }
    bool waitForChildEnd() const {
        return test::waitUntil([this] { return test::processHasEnded(record().pid()); });
    }
    void advance(double seconds) {
        m_clock.advance(seconds);
        QCoreApplication::processEvents();
    }
    // Moves the clock one poll at a time until the probe has finished, giving the child a
    // moment after each step to act on what it was sent.
    bool finish(double maximumSeconds = 10.0) {
        for (double moved = 0.0; !done() && moved < maximumSeconds; moved += kPoll) {
            advance(kPoll);
            test::waitUntil([this] { return done(); }, 20ms);
        }
        return done();
    }
    // Starts a child that never exits by itself and waits out the launch wait.
    void startLingering(double timeoutSeconds, const QMap<QString, QString>& more = {}) {
        QMap<QString, QString> settings = more;
        settings.insert(QStringLiteral("FAKE_CLAUDE_EXIT"), QStringLiteral("never"));
        start(settings, timeoutSeconds);
        ASSERT_TRUE(waitForRecord("ready"));
        advance(ClaudeCLIProbe::launchWaitSeconds);
    }

    QTemporaryDir m_folder;
    CancellationToken m_token;
    // Declared before the clock, so a probe still running at the end is ended by the clock first.
    std::optional<ClaudeCLIProbe> m_probe;
    ManualClock m_clock;
    std::optional<test::StartedTask<void>> m_task;
};

TEST_F(ClaudeCLIProbeTest, ChildRunsOnARealTerminalInAPrivateFolderWithTheCleanedEnvironment) {
    // Left over with loose permissions: reused, but made private first.
    ASSERT_TRUE(QDir().mkpath(scratchPath()));
    ASSERT_EQ(::chmod(QFile::encodeName(scratchPath()).constData(), 0777), 0);
    const QMap<QString, QString> settings{
        {QStringLiteral("FAKE_CLAUDE_EXIT"), QStringLiteral("at-once")},
        {QStringLiteral("ANTHROPIC_API_KEY"), QStringLiteral("sk-ant-test")},
        {QStringLiteral("ANTHROPIC_BASE_URL"), QStringLiteral("http://127.0.0.1:9")},
        {QStringLiteral("ANTHROPIC"), QStringLiteral("kept")},
        {QStringLiteral("MY_ANTHROPIC_NOTE"), QStringLiteral("kept")},
        {QStringLiteral("DISABLE_AUTOUPDATER"), QStringLiteral("0")}};
    start(settings, 10.0);
    ASSERT_TRUE(waitForRecord("exit"));
    ASSERT_TRUE(waitForChildEnd());
    EXPECT_FALSE(done());

    // An early end is no failure: the probe ends at its first poll after the launch wait.
    advance(ClaudeCLIProbe::launchWaitSeconds);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(result());

    const test::FakeClaudeRecord seen = record();
    EXPECT_EQ(seen.values("arg"), (QList<QByteArray>{"--allowed-tools", ""}));
    EXPECT_EQ(seen.value("tty"), "111");
    EXPECT_EQ(seen.value("ctty"), "1");
    EXPECT_EQ(seen.value("leader"), "1");
    EXPECT_EQ(seen.value("size"), "50 160");
    EXPECT_EQ(seen.value("cwd"), QFile::encodeName(QFileInfo(scratchPath()).canonicalFilePath()));
    struct stat scratch {};
    ASSERT_EQ(::lstat(QFile::encodeName(scratchPath()).constData(), &scratch), 0);
    EXPECT_EQ(scratch.st_mode & 0777, 0700u);
    EXPECT_TRUE(test::processIsGone(seen.pid()));

    // ANTHROPIC_* variables go, two are set, and everything else arrives unchanged.
    QMap<QString, QString> expected;
    const QProcessEnvironment given = environment(settings).processEnvironment;
    for (const QString& name : given.keys()) {
        if (!name.startsWith(QStringLiteral("ANTHROPIC_"))) {
            expected.insert(name, given.value(name));
        }
    }
    expected.insert(QStringLiteral("DISABLE_AUTOUPDATER"), QStringLiteral("1"));
    expected.insert(
        QStringLiteral("PATH"),
        homePath() + QStringLiteral("/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin"));
    EXPECT_EQ(seen.environment(), expected);
}

TEST_F(ClaudeCLIProbeTest, AnswersTheScreenOnEveryPollWhileItIsVisible) {
    const struct {
        const char* startScreen;
        const char* statusScreen;
        QByteArrayView reply;
        // Replies expected from the polls right after "/status": one per poll while the screen
        // is visible; a screen shown in answer to "/status" may miss the first poll.
        int fewestReplies;
        int mostReplies;
    } cases[] = {
        {"", "", {}, 0, 0},
        {"Do you trust the files in this folder?", "", "y\r", 9, 9},
        {"Press Enter to continue\xe2\x80\xa6", "", "\r", 9, 9},
        {"", "  Show Claude Code status", "\r", 8, 9},
        {"Press ENTER to continue\r\n\x1b[1mDo You Trust The Files In This Folder?\x1b[0m", "",
         "y\r", 9, 9},
    };
    const QString renewed = m_folder.filePath(QStringLiteral("credentials.json"));
    const QByteArray status = "/status\r";
    for (const auto& screen : cases) {
        SCOPED_TRACE(std::string(screen.startScreen) + screen.statusScreen);
        QFile::remove(renewed);
        start(
            {{QStringLiteral("FAKE_CLAUDE_SCREEN"), QString::fromUtf8(screen.startScreen)},
             {QStringLiteral("FAKE_CLAUDE_STATUS_SCREEN"), QString::fromUtf8(screen.statusScreen)},
             {QStringLiteral("FAKE_CLAUDE_WRITE_FILE"), renewed},
             {QStringLiteral("FAKE_CLAUDE_WRITE_CONTENT"), QStringLiteral("{\"renewed\":true}")}},
            10.0);
        ASSERT_TRUE(waitForRecord("ready"));
        advance(ClaudeCLIProbe::launchWaitSeconds);
        const bool answersStatus = *screen.statusScreen != '\0';
        ASSERT_TRUE(test::waitUntil([&] {
            const auto seen = record();
            return seen.input().startsWith(status) && seen.has("wrote") &&
                   (!answersStatus || seen.has("shown", "status"));
        }));

        // Eight more polls, all before the first periodic Enter is due.
        for (int poll = 1; poll <= 8; ++poll) {
            advance(kPoll);
        }
        ASSERT_TRUE(waitForInput(status.size() + screen.fewestReplies * screen.reply.size()));
        const QByteArray replies = record().input().mid(status.size());
        if (screen.reply.isEmpty()) {
            EXPECT_TRUE(replies.isEmpty()) << replies.toStdString();
        } else {
            const qsizetype count = replies.size() / screen.reply.size();
            EXPECT_EQ(replies, screen.reply.toByteArray().repeated(count)) << replies.toStdString();
            EXPECT_GE(count, screen.fewestReplies);
            EXPECT_LE(count, screen.mostReplies);
        }
        QFile written(renewed);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), "{\"renewed\":true}");

        advance(10.0);
        ASSERT_TRUE(finish());
        EXPECT_NO_THROW(result());
        EXPECT_TRUE(record().input().endsWith("/exit\r"));
        EXPECT_TRUE(test::processIsGone(record().pid()));
    }
}

TEST_F(ClaudeCLIProbeTest, TypesEnterEveryEightTenthsOfASecond) {
    start({}, 10.0);
    ASSERT_TRUE(waitForRecord("ready"));
    advance(ClaudeCLIProbe::launchWaitSeconds);
    // Polls run every 0.06 s from the moment "/status" is typed: the 14th (0.84 s) is the first
    // at least 0.8 s after it, and the 28th the first 0.8 s after that.
    const QList<std::pair<double, QByteArray>> steps{{13 * kPoll, "/status\r"},
                                                     {1 * kPoll, "/status\r\r"},
                                                     {13 * kPoll, "/status\r\r"},
                                                     {1 * kPoll, "/status\r\r\r"}};
    for (const auto& [seconds, expected] : steps) {
        advance(seconds + 0.001);
        ASSERT_TRUE(waitForInput(expected.size()));
        EXPECT_EQ(record().input(), expected);
    }
}

// The deadline is monotonic: the wall clock set back an hour does not extend it.
TEST_F(ClaudeCLIProbeTest, ANeverExitingChildGetsExitThenSigtermAfterTenSeconds) {
    startLingering(10.0);
    m_clock.setNow(m_clock.now() - 3600.0);
    advance(9.9);
    EXPECT_FALSE(done());
    EXPECT_FALSE(record().has("signal"));

    advance(0.2);
    ASSERT_TRUE(waitForRecord("signal", "TERM"));
    EXPECT_TRUE(record().input().endsWith("\r/exit\r"));
    ASSERT_TRUE(waitForChildEnd());
    // It ended on SIGTERM: the probe notices at its next check, without waiting out the grace.
    advance(kPoll);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(result());
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

TEST_F(ClaudeCLIProbeTest, AChildThatIgnoresSigtermIsKilledAfterTheGrace) {
    startLingering(1.0, {{QStringLiteral("FAKE_CLAUDE_SIGTERM"), QStringLiteral("ignore")}});
    advance(1.1);
    ASSERT_TRUE(waitForRecord("signal", "TERM"));
    const pid_t pid = record().pid();

    advance(ClaudeCLIProbe::terminationGraceSeconds - 0.2);
    EXPECT_FALSE(done());
    EXPECT_FALSE(test::processHasEnded(pid));
    advance(0.4);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(result());
    EXPECT_TRUE(test::processIsGone(pid));
}

TEST_F(ClaudeCLIProbeTest, AChildThatFloodsTheTerminalIsEndedOnTime) {
    start({{QStringLiteral("FAKE_CLAUDE_FLOOD"), QStringLiteral("1")}}, 1.0);
    ASSERT_TRUE(waitForRecord("ready"));
    advance(ClaudeCLIProbe::launchWaitSeconds);
    for (double moved = 0.0; moved < 1.0; moved += kPoll) {
        advance(kPoll);
    }
    ASSERT_TRUE(finish(ClaudeCLIProbe::terminationGraceSeconds + 1.0));
    EXPECT_NO_THROW(result());
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

TEST_F(ClaudeCLIProbeTest, CancellationEndsTheChildAndStaysACancellation) {
    // Cancelled inside the launch wait, and while polling.
    const std::pair<double, QByteArrayView> cases[] = {{1.0, "/exit\r"}, {3.0, "/status\r"}};
    for (const auto& [secondsBeforeCancel, inputStart] : cases) {
        start({{QStringLiteral("FAKE_CLAUDE_EXIT"), QStringLiteral("never")}}, 10.0);
        ASSERT_TRUE(waitForRecord("ready"));
        advance(secondsBeforeCancel);
        m_token.cancel();
        EXPECT_FALSE(done()) << "cancelled inside cancel()";
        ASSERT_TRUE(waitForRecord("signal", "TERM"));
        ASSERT_TRUE(finish());
        EXPECT_THROW(result(), CancelledError);
        const QByteArray input = record().input();
        EXPECT_TRUE(input.startsWith(inputStart) && input.endsWith("/exit\r"))
            << input.toStdString();
        EXPECT_TRUE(test::processIsGone(record().pid()));
    }
}

TEST_F(ClaudeCLIProbeTest, FailsWithoutRunningTheProgram) {
    // A missing program is the platform's start error.
    start({}, 10.0, m_folder.filePath(QStringLiteral("claude")));
    ASSERT_TRUE(test::waitUntil([this] { return done(); }, 1s));
    EXPECT_THROW(result(), PlatformError);
    EXPECT_FALSE(record().has("pid"));

    // A scratch folder that is a link to elsewhere is not used.
    ASSERT_TRUE(QDir().mkpath(m_folder.filePath(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QDir(scratchPath()).removeRecursively() && QDir().mkpath(temporaryPath()));
    ASSERT_TRUE(QFile::link(m_folder.filePath(QStringLiteral("elsewhere")), scratchPath()));
    start({}, 10.0);
    ASSERT_TRUE(test::waitUntil([this] { return done(); }, 1s));
    EXPECT_EQ(test::errorOf<ClaudeUsageClientError>([&] { result(); }).code(),
              ClaudeUsageClientError::Code::expiredCredentials);
    EXPECT_FALSE(record().has("pid"));
}

}  // namespace
