#include "sources/codex/codex_app_server_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "fake_codex.h"
#include "support/manual_clock.h"

namespace {

using namespace Qt::StringLiterals;
using Code = CodexAppServerError::Code;
using test::FakeCodex;
using test::kRead;
using CodexAppServerSessionTest = test::ChildProcessTest;
using Loop = test::Call<std::optional<AgentUsage>>;

// The dialogue recorded from the real program, replayed up to its answer to the first read.
std::string recorded(const char* file) {
    std::ifstream stream(std::string(CODEX_FIXTURES_DIR "/") + file);
    std::string script;
    for (const std::string expect : {"initialize", "", "initialized", "account/rateLimits/read"}) {
        std::string line;
        std::getline(stream, line);
        script += (expect.empty() ? "" : "expect " + expect + "\n") + "send " + line + "\n";
    }
    return script;
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
        {recorded("codex-app-server-signed-out.jsonl"), Code::RequestFailed},
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
        {test::handshake() + "pad-line 1048577\n", Code::ProtocolViolation},
        {"expect initialize\nsend {\"id\":1,\n", Code::ProtocolViolation},
        {"expect initialize\nsend {\"id\":2,\"result\":{\"rateLimits\":{}}}\n",
         Code::ProtocolViolation},
        {"expect initialize\nsend {\"id\":1,\"error\":{\"code\":-32600}}\n", Code::RequestFailed},
        {test::handshake() + "send {\"id\":2,\"result\":{\"rateLimits\":7}}\n",
         Code::ConnectionClosed},
        // Output closed while the child keeps running.
        {"expect initialize\nclose-stdout\n", Code::ConnectionClosed},
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
            EXPECT_EQ(loop.get().value().windows.at(0).usedPercent, 42);
        }
        session->stop();
    }
}

TEST_F(CodexAppServerSessionTest, StopOrCancelFromTheUpdateHandlerEndsTheLoop) {
    enum How { Stop, StopFromAThread, Cancel };
    for (const How how : {Stop, StopFromAThread, Cancel}) {
        // A cancel is noticed before the next of two lines that arrive together.
        FakeCodex fake(test::handshake() +
                       (how == Cancel ? "send " + kNotification + "$NL" + kNotification + "\n"
                                      : test::rateLimitsResult(10)));
        ManualClock clock;
        const auto session = startSession(fake, clock);
        CancellationToken cancellation;
        int updates = 0;
        auto onUpdate = [target = session.get(), how, cancellation, &updates](const AgentUsage&) {
            ++updates;
            if (how == Cancel) {
                cancellation.cancel();
            } else if (how == StopFromAThread) {
                std::thread([target] { target->stop(); }).join();
            } else {
                target->stop();
                target->stop();
            }
        };
        Loop loop(session->receiveUsageUpdates(false, onUpdate, cancellation));
        EXPECT_TRUE(how == Cancel ? loop.wasCancelled() : loop.error() == Code::ConnectionClosed);
        EXPECT_EQ(updates, 1) << how;
        session->stop();
    }
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
    EXPECT_TRUE(test::processesEnd(fake.marker()));
}

TEST_F(CodexAppServerSessionTest, LivePollingFollowsThePolicyUntilAPolledReadStalls) {
    FakeCodex fake(test::handshake() + test::rateLimitsResult(10) + kRead + test::kReadError +
                   kRead + test::kReadError + kRead + test::rateLimitsResult(12) + kRead);
    ManualClock clock;
    const auto session = startSession(fake, clock);
    const auto usages = std::make_shared<std::size_t>(0);
    Loop loop(session->receiveUsageUpdates(
        false, [usages](const AgentUsage&) { ++*usages; }, CancellationToken()));
    auto delivered = [&](std::size_t count) {
        return test::processEventsUntil([&] { return *usages >= count; });
    };
    // The fake has received `lines` lines and the session its answer to the last.
    auto answered = [&](qsizetype lines) {
        return fake.receivesLines(lines) &&
               test::processEventsUntil([&] { return !session->rateLimitsReadInFlight(); });
    };
    ASSERT_TRUE(delivered(1));
    // First observation: two minutes. A failed read doubles the delay after the one in progress.
    EXPECT_EQ(clock.secondsUntilNextSleep(), 120.0);
    clock.advance(120);
    ASSERT_TRUE(answered(4));
    clock.advance(120);
    ASSERT_TRUE(answered(5));
    clock.advance(20);
    EXPECT_EQ(clock.secondsUntilNextSleep(), 220.0);
    clock.advance(220);
    // The rise restarts the delay at one minute; the answered read's watchdog passes at 20 s.
    ASSERT_TRUE(delivered(2));
    clock.advance(20);
    EXPECT_FALSE(session->hasStopped());
    EXPECT_EQ(clock.secondsUntilNextSleep(), 40.0);
    clock.advance(40);
    ASSERT_TRUE(fake.receivesLines(7));
    EXPECT_TRUE(fake.received().last().contains(u"\"id\":6"_s));
    clock.advance(19.5);
    EXPECT_FALSE(session->hasStopped());
    clock.advance(0.5);
    EXPECT_EQ(loop.error(), Code::ConnectionClosed);
    EXPECT_EQ(*usages, 2u);
}

}  // namespace
