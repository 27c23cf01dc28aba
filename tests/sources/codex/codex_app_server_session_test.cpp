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
using Loop = test::Call<std::optional<AgentUsage>>;

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

const std::string kNotification =
    R"({"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":)"
    R"({"usedPercent":42,"windowDurationMins":300,"resetsAt":1796579961}}}})";

TEST_F(CodexAppServerSessionTest, OneShotLoopEndsAsTheProtocolSays) {
    // Each case: a script and the error it ends with; nothing for a usage 42 % used.
    const std::vector<std::pair<std::string, std::optional<Code>>> cases = {
        {recorded("codex-app-server-signed-in.jsonl"), {}},
        {recorded("codex-app-server-signed-out.jsonl"), Code::requestFailed},
        // Empty lines, CR LF ends, unknown messages, a second initialize response, a response
        // with an id below 1, then a notification with id 0.
        {"expect initialize\nsend $NL$NL{\"method\":\"other\"}$CR$NL{}\nsend " +
             test::kInitializeResult +
             "$CR\nexpect initialized\nexpect account/rateLimits/read\n"
             "send {\"id\":1,\"error\":{\"code\":1}}\nsend "
             "{\"id\":-4,\"result\":{\"rateLimits\":{}}}\n"
             "send {\"id\":0," +
             kNotification.substr(1) + "\n",
         {}},
        {"expect initialize\nsend " + kNotification + "\n", {}},
        {test::handshake() + "pad-line 1048577\n", Code::protocolViolation},
        {"expect initialize\nsend {\"id\":1,\n", Code::protocolViolation},
        {"expect initialize\nsend {\"id\":2,\"result\":{\"rateLimits\":{}}}\n",
         Code::protocolViolation},
        {"expect initialize\nsend {\"id\":1,\"error\":{\"code\":-32600}}\n", Code::requestFailed},
        {test::handshake() + "send {\"id\":2,\"result\":{\"rateLimits\":7}}\n",
         Code::connectionClosed},
        // Output closed while the child keeps running.
        {"expect initialize\nclose-stdout\n", Code::connectionClosed},
    };
    for (const auto& [script, error] : cases) {
        SCOPED_TRACE(script.substr(0, 120));
        FakeCodex fake(script);
        ManualClock clock;
        const auto session = startSession(fake, clock);
        Loop loop(session->receiveUsageUpdates(true, {}, CancellationToken()));
        if (error) {
            EXPECT_EQ(loop.error(), error);
        } else {
            ASSERT_TRUE(loop.finishes());
            const std::optional<AgentUsage> usage = loop.get();
            ASSERT_TRUE(usage && !usage->windows.empty());
            EXPECT_EQ(usage->windows.front().usedPercent, 42);
        }
        session->stop();
    }
}

TEST_F(CodexAppServerSessionTest, ChildGetsItsArgumentsFolderAndEnvironment) {
    const test::TrustedFolder folder;
    const QString report = QDir(folder.path()).filePath(u"report"_s);
    const QString program = folder.executable(
        u"bin"_s, u"codex"_s,
        "#!/bin/sh\n{ echo \"$*\"; pwd; echo \"$RUST_LOG $LOG_FORMAT $KEPT\"; } > \"$REPORT\"\n");
    QProcessEnvironment environment;
    for (const auto& [name, value] :
         {std::pair{u"REPORT"_s, report}, {u"KEPT"_s, u"kept"_s}, {u"RUST_LOG"_s, u"trace"_s}}) {
        environment.insert(name, value);
    }
    ManualClock clock;
    auto session = CodexAppServerSession::create({program, folder.path(), environment}, clock);
    test::runTask(session->start());
    // The loop ends once the child has gone, its report written.
    EXPECT_EQ(Loop(session->receiveUsageUpdates(true, {}, CancellationToken())).error(),
              Code::connectionClosed);
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
    // The fake has received `lines` lines and the session its answer to the last.
    bool answered(qsizetype lines) {
        return m_fake.receivesLines(lines) &&
               test::processEventsUntil([&] { return !m_session->rateLimitsReadInFlight(); });
    }

    FakeCodex m_fake;
    std::shared_ptr<CodexAppServerSession> m_session;
    std::shared_ptr<std::vector<AgentUsage>> m_usages = std::make_shared<std::vector<AgentUsage>>();
    Loop m_loop;
};

const std::string kRead = "expect account/rateLimits/read\n";

TEST_F(CodexAppServerSessionTest, LivePollingFollowsTheAdaptiveInterval) {
    ManualClock clock;
    LiveSession live(test::handshake() + test::rateLimitsResult(10) + kRead +
                         test::rateLimitsResult(12) + kRead + test::rateLimitsResult(12),
                     clock);
    ASSERT_TRUE(live.delivers(1));
    // First observation: two minutes.
    EXPECT_EQ(clock.secondsUntilNextSleep(), 120.0);
    clock.advance(120);
    ASSERT_TRUE(live.delivers(2));
    // The read's watchdog is due at 20 s; the polling delay, restarted by the delivery, at 60 s
    // since the used percent rose.
    clock.advance(20);
    EXPECT_FALSE(live.m_session->hasStopped());
    EXPECT_EQ(clock.secondsUntilNextSleep(), 40.0);
    clock.advance(40);
    ASSERT_TRUE(live.delivers(3));
    EXPECT_TRUE(live.m_fake.received().last().contains(u"\"id\":4"_s));
}

TEST_F(CodexAppServerSessionTest, ReadErrorsBackOffAndAPolledReadThatStallsEndsTheSession) {
    ManualClock clock;
    LiveSession live(test::handshake() + test::rateLimitsResult(10) + kRead + test::kReadError +
                         kRead + test::kReadError + kRead,
                     clock);
    ASSERT_TRUE(live.delivers(1));
    clock.advance(120);
    ASSERT_TRUE(live.answered(4));
    // The delay in progress was chosen before the failure: the next read comes 120 s later,
    // and the one after it 240 s after that.
    clock.advance(120);
    ASSERT_TRUE(live.answered(5));
    clock.advance(20);
    EXPECT_EQ(clock.secondsUntilNextSleep(), 220.0);
    clock.advance(220);
    ASSERT_TRUE(live.m_fake.receivesLines(6));
    clock.advance(19.5);
    EXPECT_FALSE(live.m_session->hasStopped());
    clock.advance(0.5);
    EXPECT_EQ(live.m_loop.error(), Code::connectionClosed);
    EXPECT_EQ(live.m_usages->size(), 1u);
}

TEST_F(CodexAppServerSessionTest, StopFromTheUpdateHandlerOrAnotherThreadEndsTheLoop) {
    for (const bool fromThread : {false, true}) {
        FakeCodex fake(test::handshake() + test::rateLimitsResult(10));
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
        EXPECT_EQ(Loop(session->receiveUsageUpdates(false, onUpdate, CancellationToken())).error(),
                  Code::connectionClosed);
        EXPECT_EQ(updates, 1);
    }
}

TEST_F(CodexAppServerSessionTest, CancellationIsNoticedBeforeTheNextLine) {
    // Two lines arrive together; the handler cancels between them.
    FakeCodex fake(test::handshake() + "send " + kNotification + "$NL" + kNotification + "\n");
    ManualClock clock;
    const auto session = startSession(fake, clock);
    CancellationToken cancellation;
    int updates = 0;
    auto onUpdate = [cancellation, &updates](const AgentUsage&) {
        ++updates;
        cancellation.cancel();
    };
    EXPECT_TRUE(Loop(session->receiveUsageUpdates(false, onUpdate, cancellation)).wasCancelled());
    EXPECT_EQ(updates, 1);
    session->stop();
}

TEST_F(CodexAppServerSessionTest, ChildIgnoringTerminationIsKilledAfterTheGracePeriod) {
    FakeCodex fake("ignore-sigterm\nexpect initialize\nhang\n");
    ManualClock clock;
    const auto session = startSession(fake, clock);
    Loop loop(session->receiveUsageUpdates(true, {}, CancellationToken()));
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
