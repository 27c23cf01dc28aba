#include "sources/codex/codex_app_server_session.h"

#include <gtest/gtest.h>

#include <QFile>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fake_codex.h"
#include "support/manual_clock.h"

namespace {

using namespace Qt::StringLiterals;
using Code = CodexAppServerError::Code;
using test::FakeCodex;
using CodexAppServerSessionTest = test::ChildProcessTest;

// The dialogue recorded from the real program, replayed up to its answer to the first read.
std::string recorded(const char* file) {
    std::ifstream stream(std::string(CODEX_FIXTURES_DIR "/") + file);
    std::string line[4];
    for (std::string& each : line) {
        std::getline(stream, each);
    }
    return "expect initialize\nsend " + line[0] + "\nsend " + line[1] +
           "\nexpect initialized\nsend " + line[2] + "\nexpect account/rateLimits/read\nsend " +
           line[3] + "\n";
}

std::shared_ptr<CodexAppServerSession> startSession(const FakeCodex& fake, Clock& clock) {
    auto session = CodexAppServerSession::create(
        {FakeCodex::program(), fake.folder(), fake.environment()}, clock);
    test::runTask(session->start());
    return session;
}

struct OneShotCase {
    const char* name;
    std::string script;
    // Nothing when the loop must return a usage, with a primary window 42 % used.
    std::optional<Code> error = std::nullopt;
};

void PrintTo(const OneShotCase& test, std::ostream* out) {
    *out << test.name;
}

class OneShotCases : public test::ChildProcessTest,
                     public ::testing::WithParamInterface<OneShotCase> {};

TEST_P(OneShotCases, EndsAsTheProtocolSays) {
    FakeCodex fake(GetParam().script);
    ManualClock clock;
    const auto session = startSession(fake, clock);
    test::Call<std::optional<AgentUsage>> loop(
        session->receiveUsageUpdates(true, {}, CancellationToken()));
    if (GetParam().error) {
        EXPECT_EQ(loop.error(), GetParam().error);
    } else {
        ASSERT_TRUE(loop.finishes());
        const std::optional<AgentUsage> usage = loop.get();
        ASSERT_TRUE(usage && !usage->windows.empty());
        EXPECT_EQ(usage->windows.front().usedPercent, 42);
        EXPECT_EQ(usage->updatedAt, clock.now());
    }
    session->stop();
}

const std::string kNotification =
    R"({"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":)"
    R"({"usedPercent":42,"windowDurationMins":300,"resetsAt":1796579961}}}})";

INSTANTIATE_TEST_SUITE_P(
    CodexAppServerSession, OneShotCases,
    ::testing::Values(
        OneShotCase{"recordedSignedIn", recorded("codex-app-server-signed-in.jsonl")},
        OneShotCase{"recordedSignedOut", recorded("codex-app-server-signed-out.jsonl"),
                    Code::requestFailed},
        // Empty lines, CR LF line ends, unknown messages, a second initialize response and a
        // response with an id below 1, then a notification with id 0.
        OneShotCase{"linesThatAreIgnored",
                    "expect initialize\nsend $NL$NL{\"method\":\"other\"}$CR$NL{}\nsend " +
                        test::kInitializeResult +
                        "$CR\nexpect initialized\nexpect account/rateLimits/read\n"
                        "send {\"id\":1,\"error\":{\"code\":1}}\n"
                        "send {\"id\":-4,\"result\":{\"rateLimits\":{}}}\n"
                        "send {\"id\":0," +
                        kNotification.substr(1) + "\n"},
        OneShotCase{"notificationBeforeInitializeIsUsedAsItStands",
                    "expect initialize\nsend " + kNotification + "\n"},
        OneShotCase{"lineOfExactlyTheLimitAccepted",
                    test::handshake() + "pad-line 1048576\n" + test::rateLimitsResult(42, 7)},
        OneShotCase{"lineOverTheLimit", test::handshake() + "pad-line 1048577\n",
                    Code::protocolViolation},
        OneShotCase{"notJson", "expect initialize\nsend {\"id\":1,\n", Code::protocolViolation},
        OneShotCase{"readResponseBeforeInitialize",
                    "expect initialize\nsend {\"id\":2,\"result\":{\"rateLimits\":{}}}\n",
                    Code::protocolViolation},
        OneShotCase{"initializeFailed",
                    "expect initialize\nsend {\"id\":1,\"error\":{\"code\":-32600}}\n",
                    Code::requestFailed},
        OneShotCase{"bodyThatDoesNotDecode",
                    test::handshake() + "send {\"id\":2,\"result\":{\"rateLimits\":7}}\n",
                    Code::connectionClosed},
        OneShotCase{"childExitsEarly", "expect initialize\nexit 0\n", Code::connectionClosed},
        OneShotCase{"childClosesItsOutput", "expect initialize\nclose-stdout\n",
                    Code::connectionClosed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodexAppServerSessionTest, ChildGetsItsArgumentsFolderAndEnvironment) {
    const test::TrustedFolder folder;
    const QString report = QDir(folder.path()).filePath(u"report"_s);
    const QString program = folder.executable(
        u"bin"_s, u"codex"_s,
        "#!/bin/sh\n{ echo \"$*\"; pwd; echo \"$RUST_LOG $LOG_FORMAT $KEPT\"; } > \"$REPORT\"\n");
    QProcessEnvironment environment;
    environment.insert(u"REPORT"_s, report);
    environment.insert(u"KEPT"_s, u"kept"_s);
    environment.insert(u"RUST_LOG"_s, u"trace"_s);
    ManualClock clock;
    auto session = CodexAppServerSession::create({program, folder.path(), environment}, clock);
    test::runTask(session->start());
    // The loop ends once the child has gone, its report written.
    test::Call<std::optional<AgentUsage>> loop(
        session->receiveUsageUpdates(true, {}, CancellationToken()));
    EXPECT_EQ(loop.error(), Code::connectionClosed);
    session->stop();
    QFile written(report);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()),
              u"app-server --stdio\n"_s + folder.path() + u"\nerror json kept\n"_s);
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
    // First observation: two minutes.
    EXPECT_EQ(clock.secondsUntilNextSleep(), 120.0);
    clock.advance(120);
    ASSERT_TRUE(live.delivers(2));
    // The read's watchdog is due at 20 s; the polling delay, restarted by the delivery, at 60 s
    // since the used percent rose.
    clock.advance(20);
    EXPECT_FALSE(live.session().hasStopped());
    EXPECT_EQ(clock.secondsUntilNextSleep(), 40.0);
    clock.advance(40);
    ASSERT_TRUE(live.delivers(3));
    EXPECT_TRUE(live.fake().received().last().contains(u"\"id\":4"_s));
}

TEST_F(CodexAppServerSessionTest, ReadErrorsBackOffAndAPolledReadThatStallsEndsTheSession) {
    ManualClock clock;
    LiveSession live(test::handshake() + test::rateLimitsResult(10, 1) +
                         "expect account/rateLimits/read\n" + test::kReadError +
                         "expect account/rateLimits/read\n" + test::kReadError +
                         "expect account/rateLimits/read\n",
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
    clock.advance(220);
    ASSERT_TRUE(live.fake().receivesLines(6));
    clock.advance(19.5);
    EXPECT_FALSE(live.session().hasStopped());
    clock.advance(0.5);
    EXPECT_EQ(live.endsWith(), Code::connectionClosed);
    EXPECT_EQ(live.usages().size(), 1u);
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
        test::Call<std::optional<AgentUsage>> loop(
            session->receiveUsageUpdates(false, onUpdate, CancellationToken()));
        EXPECT_EQ(loop.error(), Code::connectionClosed);
        EXPECT_EQ(updates, 1);
    }
}

TEST_F(CodexAppServerSessionTest, CancellationIsNoticedBeforeTheNextLine) {
    // Two lines arrive together; the handler cancels between them.
    const std::string answer = test::rateLimitsResult(10, 1);
    FakeCodex fake(test::handshake() + "send " + answer.substr(5, answer.size() - 6) + "$NL" +
                   kNotification + "\n");
    ManualClock clock;
    const auto session = startSession(fake, clock);
    CancellationToken cancellation;
    int updates = 0;
    auto onUpdate = [cancellation, &updates](const AgentUsage&) {
        ++updates;
        cancellation.cancel();
    };
    test::Call<std::optional<AgentUsage>> loop(
        session->receiveUsageUpdates(false, onUpdate, cancellation));
    EXPECT_TRUE(loop.wasCancelled());
    EXPECT_EQ(updates, 1);
    session->stop();
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
    test::Call<void> ended(session->waitForChildToEnd());
    ASSERT_TRUE(loop.finishes());
    EXPECT_FALSE(ended.isDone());
    clock.advance(CodexAppServerSession::kTerminationGraceSeconds);
    EXPECT_TRUE(ended.finishes());
    EXPECT_TRUE(fake.ends());
}

}  // namespace
