#include "sources/codex/codex_app_server_session.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fake_codex.h"
#include "sources/codex/codex_app_server_error.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

using Code = CodexAppServerError::Code;
using test::FakeCodex;
using CodexAppServerSessionTest = test::ChildProcessTest;

std::string fixtureLine(const char* file, int number) {
    std::ifstream stream(std::string(CODEX_FIXTURES_DIR "/") + file);
    std::string line;
    for (int index = 0; index < number; ++index) {
        std::getline(stream, line);
    }
    return line;
}

std::shared_ptr<CodexAppServerSession> startSession(const FakeCodex& fake, Clock& clock) {
    auto session = CodexAppServerSession::create(
        {FakeCodex::program(), fake.folder(), fake.environment()}, clock);
    session->start();
    return session;
}

// Runs one protocol loop to its end; the usage, or the error code it ended with.
struct Outcome {
    std::optional<AgentUsage> usage;
    std::optional<Code> error;
};

Outcome runOnce(const std::shared_ptr<CodexAppServerSession>& session) {
    Outcome outcome;
    try {
        outcome.usage = test::runTask(session->receiveUsageUpdates(true, {}, CancellationToken()));
    } catch (const CodexAppServerError& error) {
        outcome.error = error.code();
    }
    session->stop();
    return outcome;
}

struct OneShotCase {
    const char* name;
    std::string script;
    // Nothing when the loop must return a usage.
    std::optional<Code> error;
    std::int64_t primaryPercent = 42;
};

class OneShotCases : public test::ChildProcessTest,
                     public ::testing::WithParamInterface<OneShotCase> {};

TEST_P(OneShotCases, EndsAsTheProtocolSays) {
    const OneShotCase& test = GetParam();
    FakeCodex fake(test.script);
    ManualClock clock;
    const Outcome outcome = runOnce(startSession(fake, clock));
    if (test.error) {
        EXPECT_FALSE(outcome.usage);
        EXPECT_EQ(outcome.error, test.error);
    } else {
        ASSERT_TRUE(outcome.usage) << "ended with error " << int(outcome.error.value());
        ASSERT_FALSE(outcome.usage->windows.empty());
        EXPECT_EQ(outcome.usage->windows.front().usedPercent, test.primaryPercent);
        EXPECT_EQ(outcome.usage->updatedAt, clock.now());
    }
    EXPECT_TRUE(fake.ends());
}

const std::string kNotification =
    R"(send {"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":)"
    R"({"usedPercent":42,"windowDurationMins":300,"resetsAt":1796579961}}}})"
    "\n";

std::string signedIn() {
    const char* file = "codex-app-server-signed-in.jsonl";
    return "expect initialize\nsend " + fixtureLine(file, 1) + "\nsend " + fixtureLine(file, 2) +
           "\nexpect initialized\nsend " + fixtureLine(file, 3) +
           "\nexpect account/rateLimits/read\nsend " + fixtureLine(file, 4) + "\n";
}

std::string signedOut() {
    const char* file = "codex-app-server-signed-out.jsonl";
    return "expect initialize\nsend " + fixtureLine(file, 1) + "\nsend " + fixtureLine(file, 2) +
           "\nexpect initialized\nsend " + fixtureLine(file, 3) +
           "\nexpect account/rateLimits/read\nsend " + fixtureLine(file, 4) + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    CodexAppServerSession, OneShotCases,
    ::testing::Values(
        OneShotCase{"recordedSignedIn", signedIn(), std::nullopt},
        OneShotCase{"recordedSignedOut", signedOut(), Code::requestFailed},
        OneShotCase{"crlfLineEnds",
                    "expect initialize\nsend-crlf " + test::kInitializeResult +
                        "\nexpect initialized\nexpect account/rateLimits/read\nsend-crlf" +
                        test::rateLimitsResult(42, 7).substr(4),
                    std::nullopt},
        OneShotCase{"emptyLinesAndUnknownMessagesIgnored",
                    "expect initialize\nsend \nsend {\"method\":\"other\",\"params\":5}\nsend "
                    "{}\n" +
                        test::kInitializeResult.substr(0, 0) + "send " + test::kInitializeResult +
                        "\nexpect initialized\nexpect account/rateLimits/read\n" +
                        test::rateLimitsResult(42, 7),
                    std::nullopt},
        OneShotCase{"secondInitializeResponseIgnored",
                    test::handshake() + "send {\"id\":1,\"error\":{\"code\":1}}\n" +
                        test::rateLimitsResult(42, 7),
                    std::nullopt},
        OneShotCase{"notificationBeforeInitializeIsUsedAsItStands",
                    "expect initialize\n" + kNotification, std::nullopt},
        OneShotCase{"idZeroOrNegativeIsANotification",
                    test::handshake() + "send {\"id\":-4,\"result\":{\"rateLimits\":{}}}\n" +
                        "send {\"id\":0," + kNotification.substr(6),
                    std::nullopt},
        OneShotCase{"lineOfExactlyTheLimitAccepted",
                    test::handshake() + "pad-line 1048576\n" + test::rateLimitsResult(42, 7),
                    std::nullopt},
        OneShotCase{"lineOverTheLimit", test::handshake() + "pad-line 1048577\n",
                    Code::protocolViolation},
        OneShotCase{"floodWithoutLineFeed", test::handshake() + "flood\n", Code::protocolViolation},
        OneShotCase{"notJson", "expect initialize\nsend {\"id\":1,\n", Code::protocolViolation},
        OneShotCase{"notAnObject", "expect initialize\nsend [1]\n", Code::protocolViolation},
        OneShotCase{"idNotAnInteger", "expect initialize\nsend {\"id\":\"1\",\"result\":{}}\n",
                    Code::protocolViolation},
        OneShotCase{"fractionalId", "expect initialize\nsend {\"id\":1.5,\"result\":{}}\n",
                    Code::protocolViolation},
        OneShotCase{"methodNotAString", "expect initialize\nsend {\"method\":7}\n",
                    Code::protocolViolation},
        OneShotCase{"readResponseBeforeInitialize",
                    "expect initialize\nsend {\"id\":2,\"result\":{\"rateLimits\":{}}}\n",
                    Code::protocolViolation},
        OneShotCase{"initializeFailed",
                    "expect initialize\nsend {\"id\":1,\"error\":{\"code\":-32600}}\n",
                    Code::requestFailed},
        OneShotCase{"initializeWithoutResult", "expect initialize\nsend {\"id\":1}\n",
                    Code::requestFailed},
        OneShotCase{"readWithoutResult", test::handshake() + "send {\"id\":2}\n",
                    Code::requestFailed},
        OneShotCase{"noUsableWindow",
                    test::handshake() +
                        "send {\"id\":2,\"result\":{\"rateLimits\":{\"primary\":{\"usedPercent\":"
                        "1}}}}\n",
                    Code::noRateLimits},
        OneShotCase{"bodyThatDoesNotDecode",
                    test::handshake() + "send {\"id\":2,\"result\":{\"rateLimits\":7}}\n",
                    Code::connectionClosed},
        OneShotCase{"childExitsEarly", "expect initialize\nexit 0\n", Code::connectionClosed},
        OneShotCase{"childClosesItsOutput", "expect initialize\nclose-stdout\n",
                    Code::connectionClosed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodexAppServerSessionTest, SendsTheHandshakeThenReadsWithRisingIds) {
    FakeCodex fake(test::handshake() + test::rateLimitsResult(42, 7));
    ManualClock clock;
    const auto session = startSession(fake, clock);
    ASSERT_TRUE(runOnce(session).usage);
    EXPECT_EQ(fake.received(),
              (QStringList{
                  QStringLiteral(R"({"method":"initialize","id":1,"params":{"clientInfo":)"
                                 R"({"name":"quotamind","title":"Quotamind","version":")") +
                      CodexAppServerSession::applicationVersion() + QStringLiteral(R"("}}})"),
                  QStringLiteral(R"({"method":"initialized","params":{}})"),
                  QStringLiteral(R"({"method":"account/rateLimits/read","id":2,"params":{}})")}));
}

TEST_F(CodexAppServerSessionTest, ChildGetsItsArgumentsFolderAndEnvironment) {
    // The fake's script reads what the session gave it through its own log: use a shell instead.
    QTemporaryDir folder;
    const QString report = folder.filePath(QStringLiteral("report"));
    const QString program = folder.filePath(QStringLiteral("codex"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\n{ echo \"$*\"; pwd; echo \"$RUST_LOG $LOG_FORMAT $KEPT\"; } > \"$REPORT\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("REPORT"), report);
    environment.insert(QStringLiteral("KEPT"), QStringLiteral("kept"));
    environment.insert(QStringLiteral("RUST_LOG"), QStringLiteral("trace"));
    ManualClock clock;
    auto session = CodexAppServerSession::create({program, folder.path(), environment}, clock);
    session->start();
    EXPECT_EQ(runOnce(session).error, Code::connectionClosed);
    QFile written(report);
    ASSERT_TRUE(test::waitUntil([&] { return written.exists(); }));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()), QStringLiteral("app-server --stdio\n") +
                                                        folder.path() +
                                                        QStringLiteral("\nerror json kept\n"));
}

TEST_F(CodexAppServerSessionTest, StartThrowsTheLaunchError) {
    ManualClock clock;
    auto session = CodexAppServerSession::create(
        {QStringLiteral("/nonexistent/codex"), QDir::homePath(), {}}, clock);
    EXPECT_THROW(session->start(), PlatformError);
    session->stop();
    EXPECT_TRUE(session->hasStopped());
}

// A live session driven through its polling delays on the manual clock.
class LiveSession {
public:
    LiveSession(const std::string& script, ManualClock& clock)
        : m_fake(script),
          m_session(startSession(m_fake, clock)),
          m_loop(m_session->receiveUsageUpdates(
              false, [usages = m_usages](const AgentUsage& usage) { usages->push_back(usage); },
              CancellationToken())) {}
    ~LiveSession() {
        m_session->stop();
        m_loop.finishes();
        EXPECT_TRUE(m_fake.ends());
    }

    bool delivers(std::size_t count) {
        return test::processEventsUntil([&] { return m_usages->size() >= count; });
    }
    bool answers() {
        return test::processEventsUntil([&] { return !m_session->rateLimitsReadInFlight(); });
    }
    std::optional<Code> endsWith() { return m_loop.error(); }

    FakeCodex& fake() { return m_fake; }
    CodexAppServerSession& session() { return *m_session; }
    const std::vector<AgentUsage>& usages() const { return *m_usages; }

private:
    FakeCodex m_fake;
    std::shared_ptr<CodexAppServerSession> m_session;
    std::shared_ptr<std::vector<AgentUsage>> m_usages = std::make_shared<std::vector<AgentUsage>>();
    test::Call<std::optional<AgentUsage>> m_loop;
};

TEST_F(CodexAppServerSessionTest, LivePollingFollowsTheAdaptiveInterval) {
    ManualClock clock;
    LiveSession live(test::handshake() + test::rateLimitsResult(10, 1) +
                         "expect account/rateLimits/read\n" + test::rateLimitsResult(12, 1) +
                         "expect account/rateLimits/read\n" + test::rateLimitsResult(12, 1),
                     clock);
    ASSERT_TRUE(live.delivers(1));
    // First observation: two minutes; the first read had no watchdog.
    EXPECT_EQ(clock.secondsUntilNextSleep(), 120.0);
    clock.advance(120);
    ASSERT_TRUE(live.delivers(2));
    EXPECT_EQ(live.usages()[1].windows.front().usedPercent, 12);
    // The read's watchdog is due at 20 s; the polling delay, restarted by the delivery, at 60 s
    // since the used percent rose.
    clock.advance(20);
    EXPECT_FALSE(live.session().hasStopped());
    EXPECT_EQ(clock.secondsUntilNextSleep(), 40.0);
    clock.advance(40);
    ASSERT_TRUE(live.delivers(3));
    EXPECT_TRUE(live.fake().receivesLines(5));
    EXPECT_TRUE(live.fake().received().last().contains(QStringLiteral("\"id\":4")));
}

TEST_F(CodexAppServerSessionTest, ErrorAfterASnapshotBacksOffAndKeepsRunning) {
    ManualClock clock;
    LiveSession live(test::handshake() + test::rateLimitsResult(10, 1) +
                         "expect account/rateLimits/read\n" + test::kReadError +
                         "expect account/rateLimits/read\n" + test::kReadError,
                     clock);
    ASSERT_TRUE(live.delivers(1));
    clock.advance(120);
    ASSERT_TRUE(live.fake().receivesLines(4));
    ASSERT_TRUE(live.answers());
    // The delay in progress was chosen before the failure: the next read comes 120 s later,
    // and the one after it 240 s after that.
    clock.advance(120);
    ASSERT_TRUE(live.fake().receivesLines(5));
    ASSERT_TRUE(live.answers());
    clock.advance(20);
    EXPECT_EQ(clock.secondsUntilNextSleep(), 220.0);
    EXPECT_FALSE(live.session().hasStopped());
    EXPECT_EQ(live.usages().size(), 1u);
}

TEST_F(CodexAppServerSessionTest, StalledReadEndsTheSessionAfterTwentySeconds) {
    ManualClock clock;
    LiveSession live(
        test::handshake() + test::rateLimitsResult(10, 1) + "expect account/rateLimits/read\n",
        clock);
    ASSERT_TRUE(live.delivers(1));
    clock.advance(120);
    ASSERT_TRUE(live.fake().receivesLines(4));
    clock.advance(19.5);
    EXPECT_FALSE(live.session().hasStopped());
    clock.advance(0.5);
    EXPECT_TRUE(live.session().hasStopped());
    EXPECT_EQ(live.endsWith(), Code::connectionClosed);
    EXPECT_TRUE(live.fake().ends());
}

TEST_F(CodexAppServerSessionTest, NotificationsMergeIntoTheLatestSnapshot) {
    ManualClock clock;
    LiveSession live(
        test::handshake() + test::rateLimitsResult(10, 1) +
            R"(send {"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":)"
            R"({"usedPercent":11,"windowDurationMins":300}}}})"
            "\n",
        clock);
    ASSERT_TRUE(live.delivers(2));
    const AgentUsage& merged = live.usages()[1];
    ASSERT_EQ(merged.windows.size(), 2u);
    EXPECT_EQ(merged.windows[0].usedPercent, 11);
    EXPECT_EQ(merged.windows[0].resetDate, Timestamp::fromUnixSeconds(1796579961));
    EXPECT_EQ(merged.windows[1].usedPercent, 1);
    EXPECT_EQ(merged.planType, "plus");
}

TEST_F(CodexAppServerSessionTest, FirstReadHasNoWatchdogAndNoPolling) {
    ManualClock clock;
    LiveSession live(test::handshake(), clock);
    ASSERT_TRUE(live.fake().receivesLines(3));
    clock.advance(3600);
    EXPECT_FALSE(live.session().hasStopped());
    EXPECT_TRUE(live.session().rateLimitsReadInFlight());
}

TEST_F(CodexAppServerSessionTest, StopFromTheUpdateHandlerOrAnotherThreadEndsTheLoop) {
    for (const bool fromThread : {false, true}) {
        FakeCodex fake(test::handshake() + test::rateLimitsResult(10, 1));
        ManualClock clock;
        const auto session = startSession(fake, clock);
        std::weak_ptr<CodexAppServerSession> weak = session;
        int updates = 0;
        auto onUpdate = [weak, fromThread, &updates](const AgentUsage&) {
            ++updates;
            const auto target = weak.lock();
            if (fromThread) {
                std::thread([target] { target->stop(); }).join();
            } else {
                target->stop();
                target->stop();
            }
        };
        try {
            test::runTask(session->receiveUsageUpdates(false, onUpdate, CancellationToken()));
            ADD_FAILURE() << "the live loop returned";
        } catch (const CodexAppServerError& error) {
            EXPECT_EQ(error.code(), Code::connectionClosed);
        }
        EXPECT_EQ(updates, 1);
        session->stop();
        EXPECT_TRUE(fake.ends());
    }
}

TEST_F(CodexAppServerSessionTest, CancellationIsNoticedBeforeTheNextLine) {
    // Two lines in one write reach the loop together; the handler cancels between them.
    const std::string result = test::rateLimitsResult(10, 1).substr(5);
    FakeCodex fake(test::handshake() + "write " + result.substr(0, result.size() - 1) + "$NL" +
                   kNotification.substr(5, kNotification.size() - 6) + "$NL\n");
    ManualClock clock;
    const auto session = startSession(fake, clock);
    CancellationToken cancellation;
    int updates = 0;
    auto onUpdate = [cancellation, &updates](const AgentUsage&) {
        ++updates;
        cancellation.cancel();
    };
    EXPECT_THROW(test::runTask(session->receiveUsageUpdates(false, onUpdate, cancellation)),
                 CancelledError);
    EXPECT_EQ(updates, 1);
    session->stop();
    EXPECT_TRUE(fake.ends());
}

TEST_F(CodexAppServerSessionTest, CancelledWaitForALineEndsLikeClosedOutput) {
    FakeCodex fake(test::handshake());
    ManualClock clock;
    const auto session = startSession(fake, clock);
    CancellationToken cancellation;
    test::Call<std::optional<AgentUsage>> loop(
        session->receiveUsageUpdates(true, {}, cancellation));
    ASSERT_TRUE(fake.receivesLines(3));
    cancellation.cancel();
    EXPECT_EQ(loop.error(), Code::connectionClosed);
    session->stop();
    EXPECT_TRUE(fake.ends());
}

TEST_F(CodexAppServerSessionTest, ChildIgnoringTerminationIsKilledAfterTheGracePeriod) {
    FakeCodex fake("ignore-sigterm\nexpect initialize\nhang\n");
    ManualClock clock;
    const auto session = startSession(fake, clock);
    test::Call<std::optional<AgentUsage>> loop(
        session->receiveUsageUpdates(true, {}, CancellationToken()));
    // Once the child has read a line it has set its signal handling.
    ASSERT_TRUE(fake.receivesLines(1));
    session->stop();
    ASSERT_TRUE(loop.finishes());
    EXPECT_TRUE(fake.isRunning());
    EXPECT_EQ(clock.secondsUntilNextSleep(), CodexAppServerSession::kTerminationGraceSeconds);
    clock.advance(CodexAppServerSession::kTerminationGraceSeconds);
    EXPECT_TRUE(fake.ends());
}

}  // namespace
