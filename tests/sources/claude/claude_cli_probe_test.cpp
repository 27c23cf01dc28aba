#include "sources/claude/claude_cli_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>

#include "core/error.h"
#include "fakes/fake_claude_record.h"
#include "sources/claude/claude_usage_client_error.h"
#include "support/child_processes.h"
#include "support/manual_clock.h"

namespace {

TEST(ClaudeProbeConversationTest, AnswersTheLatestScreenTypesEnterPeriodicallyAndStopsInTime) {
    const QByteArray trust = "Do You Trust The Files In This Folder?";
    const qsizetype window = ClaudeProbeConversation::screenBytes;
    // One conversation of 10 s: what each poll adds to the screen, its time, what the probe types.
    const std::tuple<QByteArray, double, QByteArray> polls[] = {
        {"", 0.06, ""},
        {"Press Enter to continue\xe2\x80\xa6", 0.12, "\r"},
        {"", 0.18, "\r"},  // again while it is still on screen
        {QByteArray(window, '.'), 0.24, ""},
        {"  Show Claude Code status", 0.30, "\r"},
        {"\xff\xfe" + trust, 0.36, "y\r"},  // the trust question goes first
        {QByteArray(window - trust.size(), '.'), 0.42, "y\r"},
        {".", 0.48, ""},  // now just out of the examined screen
        {"", 0.80, "\r"},
        {"press enter to continue", 1.0, "\r"},
        {"", 1.60, "\r\r"},
        {"", 10.0, ""},
    };
    ClaudeProbeConversation conversation(10.0);
    for (const auto& [output, elapsed, typed] : polls) {
        const auto step = conversation.poll(output, elapsed, true);
        EXPECT_EQ(step.keystrokes, typed) << elapsed;
        EXPECT_EQ(step.finished, elapsed >= 10.0) << elapsed;
    }
    // A child that has ended is answered no more.
    const auto ended = ClaudeProbeConversation(10.0).poll("Press enter to continue", 0.06, false);
    EXPECT_TRUE(ended.finished && ended.keystrokes.isEmpty());
}

TEST(ResolveClaudeBinaryTest, TakesTheFirstExecutableFileInOrderAsAnAbsolutePath) {
    // CLAUDE_BINARY ('-' unset, 'a' absolute, 'r' relative to the current folder); what each
    // candidate is ('x' executable file, 'p' plain file, 'd' folder, '-' nothing); the winner.
    const std::tuple<char, const char*, int> cases[] = {
        {'r', "xxxxx", 0}, {'-', "x----", -1}, {'a', "p-xxx", 2},
        {'a', "dxxxx", 1}, {'-', "-pdxx", 3},  {'a', "ppdp-", -1},
    };
    const QString startFolder = QDir::currentPath();
    const QStringList names =
        QStringLiteral("claude home/.local/bin/claude home/.claude/local/claude o/claude u/claude")
            .split(QLatin1Char(' '));
    for (const auto& [override, kinds, winner] : cases) {
        SCOPED_TRACE(std::string(1, override) + kinds);
        QTemporaryDir folder;
        QDir::setCurrent(folder.path());
        QStringList paths;
        for (int index = 0; index < names.size(); ++index) {
            const char kind = kinds[index];
            paths << folder.filePath(names[index]);
            QDir().mkpath(kind == 'd' ? names[index] : QFileInfo(names[index]).path());
            if (kind == 'x' || kind == 'p') {
                ::close(::open(QFile::encodeName(names[index]).constData(),
                               O_CREAT | O_WRONLY | O_CLOEXEC, kind == 'x' ? 0700 : 0600));
            }
        }
        ClaudeCliProbe::Environment environment{
            folder.filePath(QStringLiteral("home")), {}, {}, paths.mid(3)};
        if (override != '-') {
            environment.processEnvironment.insert(QStringLiteral("CLAUDE_BINARY"),
                                                  override == 'a' ? paths[0] : names[0]);
        }
        ManualClock clock;
        const auto found = ClaudeCliProbe(clock, environment).resolveClaudeBinary();
        QDir::setCurrent(startFolder);
        EXPECT_EQ(found, winner < 0 ? std::nullopt : std::optional(paths[winner]));
    }
}

// A terminal that takes nothing now is no failure and no wait: the probe types the rest later.
// Reading takes what is ready, up to its limit.
TEST(ClaudeCliProbeDescriptorTest, ReadAndWriteTakeWhatIsReadyAtOnceAndFailOnlyWhenBroken) {
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC | O_NONBLOCK), 0);
    const qsizetype capacity = ClaudeCliProbe::writeAvailable(QByteArray(1 << 20, 'x'), pipe[1]);
    EXPECT_GT(capacity, 0);
    EXPECT_LT(capacity, 1 << 20);
    EXPECT_EQ(ClaudeCliProbe::writeAvailable("/status\r", pipe[1]), 0);
    EXPECT_EQ(ClaudeCliProbe::readAvailable(pipe[0], 10000), QByteArray(10000, 'x'));
    EXPECT_EQ(ClaudeCliProbe::readAvailable(pipe[0]).size(), capacity - 10000);
    EXPECT_EQ(ClaudeCliProbe::readAvailable(pipe[0]), QByteArray());

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    for (const int broken : {full, pipe[0]}) {
        EXPECT_EQ(test::errorOf<ClaudeUsageClientError>([&] {
                      ClaudeCliProbe::writeAvailable("/status\r", broken);
                  }).code(),
                  ClaudeUsageClientError::Code::ExpiredCredentials);
    }
    for (const int descriptor : {full, pipe[0], pipe[1]}) {
        ::close(descriptor);
    }
}

using namespace std::chrono_literals;

constexpr double kPoll = ClaudeCliProbe::pollIntervalSeconds;

// Runs touchClaudeAuthPath against the fake `claude` on a manual clock. The real child runs in
// real time, so the tests wait (with bounds) for what it records before moving the clock on.
class ClaudeCliProbeTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_task && !m_task->isDone()) {
            m_token.cancel();
            finish();
        }
        EXPECT_FALSE(test::hasChildProcess()) << "a child was left behind";
    }

    QString path(const char* name) const { return m_folder.filePath(QString::fromUtf8(name)); }
    QString scratchPath() const { return path("tmp/Quotamind-Claude-Probe"); }
    test::FakeClaudeRecord record() const { return test::FakeClaudeRecord::read(path("record")); }

    void start(std::initializer_list<const char*> settings = {}) {
        ClaudeCliProbe::Environment environment{
            path("home"), QProcessEnvironment::systemEnvironment(), path("tmp"), {}};
        environment.processEnvironment.insert(QStringLiteral("FAKE_CLAUDE_RECORD"), path("record"));
        for (const char* setting : settings) {
            const QString text = QString::fromUtf8(setting);
            environment.processEnvironment.insert(text.section(QLatin1Char('='), 0, 0),
                                                  text.section(QLatin1Char('='), 1));
        }
        m_probe.emplace(m_clock, environment);
        m_task.emplace(m_probe->touchClaudeAuthPath(test::fakeClaudeProgram(), 10.0, m_token));
    }
    bool done() const { return m_task->isDone(); }
    bool waitForRecord(const QByteArray& key, const QByteArray& value = {}) const {
        return test::waitUntil([&] { return record().has(key, value); });
    }
    void advance(double seconds) {
        m_clock.advance(seconds);
        QCoreApplication::processEvents();
    }
    // Moves the clock one poll at a time until the probe has finished, giving the child a
    // moment after each step to act on what it was sent.
    bool finish() {
        for (double moved = 0.0; !done() && moved < 10.0; moved += kPoll) {
            advance(kPoll);
            test::waitUntil([this] { return done(); }, 20ms);
        }
        return done();
    }

    QTemporaryDir m_folder;
    CancellationToken m_token;
    // Declared before the clock, so a probe still running at the end is ended by the clock first.
    std::optional<ClaudeCliProbe> m_probe;
    ManualClock m_clock;
    std::optional<test::StartedTask<void>> m_task;
};

TEST_F(ClaudeCliProbeTest, ChildRunsInAPrivateFolderWithTheCleanedEnvironment) {
    // Left over with loose permissions: reused, but made private first.
    ASSERT_TRUE(QDir().mkpath(scratchPath()));
    ASSERT_EQ(::chmod(QFile::encodeName(scratchPath()).constData(), 0777), 0);
    start({"FAKE_CLAUDE_EXIT=at-once", "ANTHROPIC_API_KEY=sk-ant-test", "ANTHROPIC=kept",
           "MY_ANTHROPIC_NOTE=kept", "DISABLE_AUTOUPDATER=0"});
    ASSERT_TRUE(waitForRecord("ready"));
    ASSERT_TRUE(test::waitUntil([this] { return test::processHasEnded(record().pid()); }));
    EXPECT_FALSE(done());
    // An early end is no failure: the probe ends at its first poll after the launch wait.
    advance(ClaudeCliProbe::launchWaitSeconds);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(m_task->get());

    const test::FakeClaudeRecord seen = record();
    EXPECT_EQ(seen.values("arg"), (QList<QByteArray>{"--allowed-tools", ""}));
    EXPECT_EQ(seen.value("cwd"), QFile::encodeName(QFileInfo(scratchPath()).canonicalFilePath()));
    struct stat scratch {};
    ASSERT_EQ(::lstat(QFile::encodeName(scratchPath()).constData(), &scratch), 0);
    EXPECT_EQ(scratch.st_mode & 0777, 0700u);
    // ANTHROPIC_* variables go, the updater is off, and everything else arrives unchanged.
    const QList<QByteArray> variables = seen.values("env");
    EXPECT_FALSE(variables.contains("ANTHROPIC_API_KEY=sk-ant-test"));
    EXPECT_TRUE(variables.contains("ANTHROPIC=kept") &&
                variables.contains("MY_ANTHROPIC_NOTE=kept") &&
                variables.contains("DISABLE_AUTOUPDATER=1"));
}

// What the probe types reaches the child; the wall clock set back an hour does not extend the
// deadline; a child that ignores "/exit" and SIGTERM is killed after the grace.
TEST_F(ClaudeCliProbeTest, AChildThatNeverEndsIsAnsweredThenEndedAfterTheDeadlineAndGrace) {
    start({"FAKE_CLAUDE_SIGTERM=ignore",
           "FAKE_CLAUDE_SCREEN=Do you trust the files in this folder?"});
    ASSERT_TRUE(waitForRecord("ready"));
    advance(ClaudeCliProbe::launchWaitSeconds);
    m_clock.setNow(m_clock.now() - 3600.0);
    for (int poll = 0; poll < 3; ++poll) {
        advance(kPoll);
    }
    ASSERT_TRUE(test::waitUntil([&] { return record().input().startsWith("/status\ry\ry\ry\r"); }));
    advance(9.9 - 3 * kPoll);
    EXPECT_FALSE(record().has("signal"));

    advance(0.2);
    ASSERT_TRUE(waitForRecord("signal", "TERM"));
    EXPECT_TRUE(record().input().endsWith("\r/exit\r"));
    advance(ClaudeCliProbe::terminationGraceSeconds - 0.2);
    EXPECT_FALSE(done() || test::processHasEnded(record().pid()));
    advance(0.4);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(m_task->get());
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

TEST_F(ClaudeCliProbeTest, CancellationInTheLaunchWaitEndsTheChildAndStaysACancellation) {
    start();
    ASSERT_TRUE(waitForRecord("ready"));
    advance(1.0);
    m_token.cancel();
    ASSERT_TRUE(waitForRecord("signal", "TERM"));
    ASSERT_TRUE(finish());
    EXPECT_THROW(m_task->get(), CancelledError);
    EXPECT_EQ(record().input(), "/exit\r");
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

// The temporary folder is shared; a scratch folder that is a link to elsewhere is not used.
TEST_F(ClaudeCliProbeTest, AScratchFolderThatIsALinkIsRefusedBeforeAnythingRuns) {
    ASSERT_TRUE(QDir().mkpath(path("tmp")));
    ASSERT_TRUE(QFile::link(m_folder.path(), scratchPath()));
    start();
    ASSERT_TRUE(test::waitUntil([this] { return done(); }, 1s));
    EXPECT_EQ(test::errorOf<ClaudeUsageClientError>([&] { m_task->get(); }).code(),
              ClaudeUsageClientError::Code::ExpiredCredentials);
    EXPECT_FALSE(record().has("pid"));
}

}  // namespace
