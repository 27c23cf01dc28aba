#include "sources/claude/claude_cli_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(ClaudeProbeConversationTest, AnswersTheLatestScreenTypesEnterPeriodicallyAndStopsInTime) {
    const QByteArray trust = "Do You Trust The Files In This Folder?";
    const qsizetype window = ClaudeProbeConversation::screenBytes;
    // One conversation of 10 s; each poll adds its output to what the terminal showed before.
    const struct {
        QByteArray output;
        double elapsed;
        bool running;
        QByteArray typed;
        bool finished;
    } polls[] = {
        {"", 0.06, true, "", false},
        {"Press Enter to continue\xe2\x80\xa6", 0.12, true, "\r", false},
        {"", 0.18, true, "\r", false},  // again while it is still on screen
        {QByteArray(window, '.'), 0.24, true, "", false},
        {"  Show Claude Code status", 0.30, true, "\r", false},
        {"\xff\xfe" + trust, 0.36, true, "y\r", false},  // the trust question goes first
        {QByteArray(window - trust.size(), '.'), 0.42, true, "y\r", false},
        {".", 0.48, true, "", false},  // now just out of the examined screen
        {"", 0.80, true, "\r", false},
        {"press enter to continue", 1.0, true, "\r", false},
        {"", 1.60, true, "\r\r", false},
        {"", 9.99, true, "\r\r", false},
        {"", 10.0, true, "", true},
    };
    ClaudeProbeConversation conversation(10.0);
    for (const auto& poll : polls) {
        SCOPED_TRACE(poll.elapsed);
        const auto step = conversation.poll(poll.output, poll.elapsed, poll.running);
        EXPECT_EQ(step.keystrokes, poll.typed);
        EXPECT_EQ(step.finished, poll.finished);
    }
    const auto ended = ClaudeProbeConversation(10.0).poll("Press enter to continue", 0.06, false);
    EXPECT_TRUE(ended.finished && ended.keystrokes.isEmpty());
}

// Makes a candidate of kind 'x' (executable file), 'p' (plain file), 'd' (folder) or '-' (none).
void make(const QString& path, char kind) {
    QDir().mkpath(kind == 'd' ? path : QFileInfo(path).path());
    QFile file(path);
    if ((kind == 'x' || kind == 'p') && file.open(QIODevice::WriteOnly)) {
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner |
                            (kind == 'x' ? QFile::ExeOwner : QFile::Permissions()));
    }
}

TEST(ResolveClaudeBinaryTest, TakesTheFirstExecutableFileInOrderAsAnAbsolutePath) {
    const struct {
        // CLAUDE_BINARY: none, absolute, or relative to the current folder.
        char override;
        // Kinds of: CLAUDE_BINARY, ~/.local/bin/claude, ~/.claude/local/claude, two system paths.
        const char* kinds;
        int winner;  // index into the candidates, or -1 for none
    } cases[] = {
        {'a', "xxxxx", 0}, {'r', "xxxxx", 0}, {'-', "x----", -1}, {'a', "p-xxx", 2},
        {'a', "dxxxx", 1}, {'-', "-pd-x", 4}, {'-', "-pdxx", 3},  {'a', "ppdp-", -1},
    };
    const QString startFolder = QDir::currentPath();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.override) + c.kinds);
        QTemporaryDir folder;
        const QString home = folder.filePath(QStringLiteral("home"));
        const QStringList paths{folder.filePath(QStringLiteral("override/claude")),
                                home + QStringLiteral("/.local/bin/claude"),
                                home + QStringLiteral("/.claude/local/claude"),
                                folder.filePath(QStringLiteral("opt/claude")),
                                folder.filePath(QStringLiteral("usr/claude"))};
        for (int index = 0; index < paths.size(); ++index) {
            make(paths[index], c.kinds[index]);
        }
        ManualClock clock;
        ClaudeCLIProbe::Environment environment;
        environment.homePath = home;
        if (c.override != '-') {
            environment.processEnvironment.insert(
                QStringLiteral("CLAUDE_BINARY"),
                c.override == 'a' ? paths[0] : QStringLiteral("override/claude"));
        }
        environment.systemBinaryPaths = {paths[3], paths[4]};
        QDir::setCurrent(folder.path());
        const ClaudeCLIProbe probe(clock, environment);
        const std::optional<QString> found = probe.resolveClaudeBinary();
        QDir::setCurrent(startFolder);
        EXPECT_EQ(found, c.winner < 0 ? std::nullopt : std::optional(paths[c.winner]));
    }
}

// A non-blocking pipe, closed at the end of the scope.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Pipe() {
        for (const int end : ends) {
            ::close(end);
        }
    }
    int ends[2] = {-1, -1};
};

TEST(ClaudeCLIProbeDescriptorTest, ReadAvailableTakesWhatIsReadyUpToItsLimit) {
    Pipe pipe;
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0]), QByteArray());
    const QByteArray written = QByteArray("0123456789abcdef").repeated(1250);
    ASSERT_EQ(::write(pipe.ends[1], written.data(), written.size()), written.size());
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0], 10000), written.left(10000));
    EXPECT_EQ(ClaudeCLIProbe::readAvailable(pipe.ends[0]), written.mid(10000));
}

// A terminal that takes nothing now is no failure and no wait: the probe types the rest later.
TEST(ClaudeCLIProbeDescriptorTest, WriteAvailableTakesWhatFitsAtOnceAndFailsOnlyWhenBroken) {
    Pipe pipe;
    const QByteArray block(1 << 20, 'x');
    const qsizetype capacity = ClaudeCLIProbe::writeAvailable(block, pipe.ends[1]);
    EXPECT_GT(capacity, 0);
    EXPECT_LT(capacity, block.size());
    EXPECT_EQ(ClaudeCLIProbe::writeAvailable("/status\r", pipe.ends[1]), 0);

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    for (const int broken : {full, pipe.ends[0]}) {
        EXPECT_EQ(test::errorOf<ClaudeUsageClientError>([&] {
                      ClaudeCLIProbe::writeAvailable("/status\r", broken);
                  }).code(),
                  ClaudeUsageClientError::Code::expiredCredentials);
    }
    ::close(full);
}

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

    void start(const QMap<QString, QString>& settings, double timeoutSeconds) {
        m_probe.emplace(m_clock, environment(settings));
        m_task.emplace(
            m_probe->touchClaudeAuthPath(test::fakeClaudeProgram(), timeoutSeconds, m_token));
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
    ASSERT_TRUE(waitForRecord("ready"));
    ASSERT_TRUE(test::waitUntil([this] { return test::processHasEnded(record().pid()); }));
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

// What the probe types reaches the child; the wall clock set back an hour does not extend the
// deadline; a child that ignores "/exit" and SIGTERM is killed after the grace.
TEST_F(ClaudeCLIProbeTest, AChildThatNeverEndsIsAnsweredThenEndedAfterTheDeadlineAndGrace) {
    start({{QStringLiteral("FAKE_CLAUDE_SIGTERM"), QStringLiteral("ignore")},
           {QStringLiteral("FAKE_CLAUDE_SCREEN"),
            QStringLiteral("Do you trust the files in this folder?")}},
          10.0);
    ASSERT_TRUE(waitForRecord("ready"));
    advance(ClaudeCLIProbe::launchWaitSeconds);
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
    advance(ClaudeCLIProbe::terminationGraceSeconds - 0.2);
    EXPECT_FALSE(done());
    EXPECT_FALSE(test::processHasEnded(record().pid()));
    advance(0.4);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(result());
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

TEST_F(ClaudeCLIProbeTest, CancellationInTheLaunchWaitEndsTheChildAndStaysACancellation) {
    start({}, 10.0);
    ASSERT_TRUE(waitForRecord("ready"));
    advance(1.0);
    m_token.cancel();
    ASSERT_TRUE(waitForRecord("signal", "TERM"));
    ASSERT_TRUE(finish());
    EXPECT_THROW(result(), CancelledError);
    EXPECT_EQ(record().input(), "/exit\r");
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

// The temporary folder is shared; a scratch folder that is a link to elsewhere is not used.
TEST_F(ClaudeCLIProbeTest, AScratchFolderThatIsALinkIsRefusedBeforeAnythingRuns) {
    ASSERT_TRUE(QDir().mkpath(m_folder.filePath(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QDir().mkpath(temporaryPath()));
    ASSERT_TRUE(QFile::link(m_folder.filePath(QStringLiteral("elsewhere")), scratchPath()));
    start({}, 10.0);
    ASSERT_TRUE(test::waitUntil([this] { return done(); }, 1s));
    EXPECT_EQ(test::errorOf<ClaudeUsageClientError>([&] { result(); }).code(),
              ClaudeUsageClientError::Code::expiredCredentials);
    EXPECT_FALSE(record().has("pid"));
}

}  // namespace
