#include "sources/claude/claude_cli_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "core/error.h"
#include "core/manual_clock.h"
#include "fakes/fake_claude_record.h"
#include "sources/claude/claude_usage_client_error.h"
#include "support/child_processes.h"

namespace {

using namespace std::chrono_literals;

constexpr double kPoll = ClaudeCLIProbe::pollIntervalSeconds;

QString folderMode(const QString& path) {
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return QString::number(status.st_mode & 0777, 8);
}

// Runs touchClaudeAuthPath against the fake `claude` on a manual clock. The real child runs in
// real time, so the tests wait (with bounds) for what it records before moving the clock on.
class ClaudeCLIProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QDir().mkpath(homePath()));
    }
    void TearDown() override {
        if (m_outcome && !m_outcome->done) {
            m_token.cancel();
            finish();
        }
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

    void start(const QMap<QString, QString>& settings, double timeoutSeconds,
               QString binary = test::fakeClaudeProgram()) {
        m_probe.emplace(m_clock, environment(settings));
        m_outcome = std::make_shared<test::detail::Outcome<void>>();
        m_task.emplace(test::detail::capture<void>(
            m_probe->touchClaudeAuthPath(std::move(binary), timeoutSeconds, m_token), m_outcome));
    }
    bool done() const { return m_outcome->done; }
    // Rethrows what the probe threw.
    void result() const {
        ASSERT_TRUE(done());
        if (m_outcome->error) {
            std::rethrow_exception(m_outcome->error);
        }
    }

    template <typename Condition>
    bool waitForRecord(Condition condition) const {
        return test::waitUntil([&] { return condition(record()); });
    }
    bool waitForReady() const {
        return waitForRecord([](const auto& record) { return record.has("ready"); });
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

    QTemporaryDir m_folder;
    CancellationToken m_token;
    // Declared before the clock, so a probe still running at the end is ended by the clock first.
    std::optional<ClaudeCLIProbe> m_probe;
    ManualClock m_clock;
    std::shared_ptr<test::detail::Outcome<void>> m_outcome;
    std::optional<QCoro::Task<>> m_task;
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
    ASSERT_TRUE(waitForRecord([](const auto& record) { return record.has("exit"); }));
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
    EXPECT_EQ(folderMode(scratchPath()), QStringLiteral("700"));
    EXPECT_TRUE(test::processIsGone(seen.pid()));

    const QMap<QString, QString> child = seen.environment();
    EXPECT_FALSE(child.contains(QStringLiteral("ANTHROPIC_API_KEY")));
    EXPECT_FALSE(child.contains(QStringLiteral("ANTHROPIC_BASE_URL")));
    EXPECT_EQ(child.value(QStringLiteral("ANTHROPIC")), QStringLiteral("kept"));
    EXPECT_EQ(child.value(QStringLiteral("MY_ANTHROPIC_NOTE")), QStringLiteral("kept"));
    EXPECT_EQ(child.value(QStringLiteral("DISABLE_AUTOUPDATER")), QStringLiteral("1"));
    EXPECT_EQ(
        child.value(QStringLiteral("PATH")),
        homePath() + QStringLiteral("/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin"));
    // Everything else arrives unchanged, and nothing is added.
    const QProcessEnvironment given = environment(settings).processEnvironment;
    QStringList expectedNames{QStringLiteral("PATH"), QStringLiteral("DISABLE_AUTOUPDATER")};
    for (const QString& name : given.keys()) {
        if (!name.startsWith(QStringLiteral("ANTHROPIC_")) && !expectedNames.contains(name)) {
            expectedNames.append(name);
            EXPECT_EQ(child.value(name), given.value(name)) << name.toStdString();
        }
    }
    expectedNames.sort();
    EXPECT_EQ(QStringList(child.keys()), expectedNames);
}

struct ScreenCase {
    const char* name;
    const char* startScreen;
    const char* statusScreen;
    QByteArrayView reply;
    // Replies expected from the polls right after "/status": one per poll while the screen is
    // visible; a screen shown in answer to "/status" may miss the first poll.
    int fewestReplies;
    int mostReplies;
};

class ClaudeCLIProbeScreenTest : public ClaudeCLIProbeTest,
                                 public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ClaudeCLIProbeScreenTest, AnswersTheScreenOnEveryPollWhileItIsVisible) {
    const ScreenCase& screen = GetParam();
    const QString renewed = m_folder.filePath(QStringLiteral("credentials.json"));
    start({{QStringLiteral("FAKE_CLAUDE_SCREEN"), QString::fromUtf8(screen.startScreen)},
           {QStringLiteral("FAKE_CLAUDE_STATUS_SCREEN"), QString::fromUtf8(screen.statusScreen)},
           {QStringLiteral("FAKE_CLAUDE_WRITE_FILE"), renewed},
           {QStringLiteral("FAKE_CLAUDE_WRITE_CONTENT"), QStringLiteral("{\"renewed\":true}")}},
          10.0);
    ASSERT_TRUE(waitForReady());
    advance(ClaudeCLIProbe::launchWaitSeconds);
    const bool answersStatus = *screen.statusScreen != '\0';
    ASSERT_TRUE(waitForRecord([&](const auto& record) {
        return record.input().startsWith("/status\r") && record.has("wrote") &&
               (!answersStatus || record.has("shown", "status"));
    }));

    // Eight more polls, all before the first periodic Enter is due.
    for (int poll = 1; poll <= 8; ++poll) {
        advance(kPoll);
    }
    const QByteArray status = "/status\r";
    const qsizetype fewestBytes = status.size() + screen.fewestReplies * screen.reply.size();
    ASSERT_TRUE(waitForRecord([&](const auto& record) {
        return record.input().size() >= fewestBytes;
    })) << record().input().toStdString();
    const QByteArray input = record().input();
    const QByteArray replies = input.mid(status.size());
    EXPECT_TRUE(input.startsWith(status));
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

INSTANTIATE_TEST_SUITE_P(
    Screens, ClaudeCLIProbeScreenTest,
    ::testing::Values(
        ScreenCase{"NoScreen", "", "", {}, 0, 0},
        ScreenCase{"TrustQuestion", "Do you trust the files in this folder?", "", "y\r", 9, 9},
        ScreenCase{"PressEnter", "Press Enter to continue\xe2\x80\xa6", "", "\r", 9, 9},
        ScreenCase{"StatusScreen", "", "  Show Claude Code status", "\r", 8, 9},
        ScreenCase{
            "TrustBeforeEnter",
            "Press ENTER to continue\r\n\x1b[1mDo You Trust The Files In This Folder?\x1b[0m", "",
            "y\r", 9, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClaudeCLIProbeTest, TypesEnterEveryEightTenthsOfASecond) {
    start({}, 10.0);
    ASSERT_TRUE(waitForReady());
    advance(ClaudeCLIProbe::launchWaitSeconds);
    // Polls run every 0.06 s from the moment "/status" is typed: the 14th (0.84 s) is the first
    // at least 0.8 s after it, and the 28th the first 0.8 s after that.
    const QList<std::pair<double, QByteArray>> steps{{13 * kPoll, "/status\r"},
                                                     {1 * kPoll, "/status\r\r"},
                                                     {13 * kPoll, "/status\r\r"},
                                                     {1 * kPoll, "/status\r\r\r"}};
    for (const auto& [seconds, expected] : steps) {
        advance(seconds + 0.001);
        ASSERT_TRUE(waitForRecord(
            [&](const auto& record) { return record.input().size() >= expected.size(); }));
        EXPECT_EQ(record().input(), expected);
    }
}

struct DeadlineCase {
    const char* name;
    // The wall clock is set by this much once polling has begun.
    double wallClockShift;
};

class ClaudeCLIProbeDeadlineTest : public ClaudeCLIProbeTest,
                                   public ::testing::WithParamInterface<DeadlineCase> {};

TEST_P(ClaudeCLIProbeDeadlineTest, ANeverExitingChildGetsExitThenSigtermAfterTenSeconds) {
    start({{QStringLiteral("FAKE_CLAUDE_EXIT"), QStringLiteral("never")}}, 10.0);
    ASSERT_TRUE(waitForReady());
    advance(ClaudeCLIProbe::launchWaitSeconds);
    m_clock.setNow(m_clock.now() + GetParam().wallClockShift);
    advance(9.9);
    EXPECT_FALSE(done());
    EXPECT_FALSE(record().has("signal"));

    advance(0.2);
    ASSERT_TRUE(waitForRecord([](const auto& record) { return record.has("signal", "TERM"); }));
    EXPECT_TRUE(record().input().endsWith("\r/exit\r"));
    ASSERT_TRUE(waitForChildEnd());
    // It ended on SIGTERM: the probe notices at its next check, without waiting out the grace.
    advance(kPoll);
    ASSERT_TRUE(done());
    EXPECT_NO_THROW(result());
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

INSTANTIATE_TEST_SUITE_P(WallClocks, ClaudeCLIProbeDeadlineTest,
                         ::testing::Values(DeadlineCase{"Steady", 0.0},
                                           DeadlineCase{"SetBackAnHour", -3600.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClaudeCLIProbeTest, AChildThatIgnoresSigtermIsKilledAfterTheGrace) {
    start({{QStringLiteral("FAKE_CLAUDE_EXIT"), QStringLiteral("never")},
           {QStringLiteral("FAKE_CLAUDE_SIGTERM"), QStringLiteral("ignore")}},
          1.0);
    ASSERT_TRUE(waitForReady());
    advance(ClaudeCLIProbe::launchWaitSeconds);
    advance(1.1);
    ASSERT_TRUE(waitForRecord([](const auto& record) { return record.has("signal", "TERM"); }));
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
    ASSERT_TRUE(waitForReady());
    advance(ClaudeCLIProbe::launchWaitSeconds);
    for (double moved = 0.0; moved < 1.0; moved += kPoll) {
        advance(kPoll);
    }
    ASSERT_TRUE(finish(ClaudeCLIProbe::terminationGraceSeconds + 1.0));
    EXPECT_NO_THROW(result());
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

struct CancellationCase {
    const char* name;
    // Clock movement before the cancellation: inside the launch wait, or during the polls.
    double secondsBeforeCancel;
    QByteArrayView inputStart;
};

class ClaudeCLIProbeCancellationTest : public ClaudeCLIProbeTest,
                                       public ::testing::WithParamInterface<CancellationCase> {};

TEST_P(ClaudeCLIProbeCancellationTest, EndsTheChildAndStaysACancellation) {
    start({{QStringLiteral("FAKE_CLAUDE_EXIT"), QStringLiteral("never")}}, 10.0);
    ASSERT_TRUE(waitForReady());
    advance(GetParam().secondsBeforeCancel);
    m_token.cancel();
    EXPECT_FALSE(done()) << "cancelled inside cancel()";
    ASSERT_TRUE(waitForRecord([](const auto& record) { return record.has("signal", "TERM"); }));
    ASSERT_TRUE(finish());
    EXPECT_THROW(result(), CancelledError);
    const QByteArray input = record().input();
    EXPECT_TRUE(input.startsWith(GetParam().inputStart)) << input.toStdString();
    EXPECT_TRUE(input.endsWith("/exit\r")) << input.toStdString();
    EXPECT_TRUE(test::processIsGone(record().pid()));
}

INSTANTIATE_TEST_SUITE_P(Moments, ClaudeCLIProbeCancellationTest,
                         ::testing::Values(CancellationCase{"DuringTheLaunchWait", 1.0, "/exit\r"},
                                           CancellationCase{"WhilePolling", 3.0, "/status\r"}),
                         [](const auto& info) { return std::string(info.param.name); });

enum class StartProblem { missingBinary, scratchIsSymlink };

struct StartCase {
    const char* name;
    StartProblem problem;
    bool expiredCredentials;  // otherwise the platform's start error
};

class ClaudeCLIProbeStartTest : public ClaudeCLIProbeTest,
                                public ::testing::WithParamInterface<StartCase> {};

TEST_P(ClaudeCLIProbeStartTest, FailsWithoutRunningTheProgram) {
    QString binary = test::fakeClaudeProgram();
    const QString elsewhere = m_folder.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir().mkpath(temporaryPath()));
    switch (GetParam().problem) {
        case StartProblem::missingBinary:
            binary = m_folder.filePath(QStringLiteral("claude"));
            break;
        case StartProblem::scratchIsSymlink:
            ASSERT_TRUE(QFile::link(elsewhere, scratchPath()));
            break;
    }
    start({}, 10.0, binary);
    ASSERT_TRUE(test::waitUntil([this] { return done(); }, 1s));
    if (GetParam().expiredCredentials) {
        try {
            result();
            ADD_FAILURE() << "no error";
        } catch (const ClaudeUsageClientError& error) {
            EXPECT_EQ(error.code(), ClaudeUsageClientError::Code::expiredCredentials);
        }
    } else {
        EXPECT_THROW(result(), PlatformError);
    }
    EXPECT_FALSE(record().has("pid"));
}

INSTANTIATE_TEST_SUITE_P(
    Problems, ClaudeCLIProbeStartTest,
    ::testing::Values(StartCase{"MissingBinary", StartProblem::missingBinary, false},
                      StartCase{"ScratchFolderIsASymlink", StartProblem::scratchIsSymlink, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
