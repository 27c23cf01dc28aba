#include "sources/codex/codex_app_server_client.h"

#include <gtest/gtest.h>

#include <QFile>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake_codex.h"
#include "sources/codex/codex_app_server_error.h"
#include "sources/codex/trusted_codex_binary_locator.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

namespace {

using Code = CodexAppServerError::Code;
using test::Call;
using test::FakeCodex;
using CodexAppServerClientTest = test::ChildProcessTest;

CodexAppServerClient clientFor(const FakeCodex& fake, Clock& clock,
                               QString program = FakeCodex::program()) {
    return CodexAppServerClient(
        clock, [program] { return program; }, fake.folder(), fake.environment());
}

// Lets the call locate, launch and reach its timer.
bool waitsOnTheClock(ManualClock& clock, std::size_t sleeps = 1) {
    return test::processEventsUntil([&] { return clock.pendingSleepCount() >= sleeps; });
}

TEST_F(CodexAppServerClientTest, FetchReturnsTheFirstUsageAndStopsTheChild) {
    FakeCodex fake(test::handshake() + test::rateLimitsResult(42, 7) + "hang\n");
    ManualClock clock;
    CodexAppServerClient client = clientFor(fake, clock);
    Call<AgentUsage> call(client.fetchUsage());
    ASSERT_TRUE(call.finishes());
    ASSERT_TRUE(call.value());
    EXPECT_EQ(call.value()->windows.size(), 2u);
    EXPECT_EQ(call.value()->planType, "plus");
    EXPECT_TRUE(fake.ends());
}

TEST_F(CodexAppServerClientTest, FetchTimesOutTwentySecondsAfterTheStart) {
    // A child that ignores the terminate request is killed after the grace period.
    for (const bool ignoresTermination : {false, true}) {
        SCOPED_TRACE(ignoresTermination ? "ignoring SIGTERM" : "obeying SIGTERM");
        FakeCodex fake(std::string(ignoresTermination ? "ignore-sigterm\n" : "") +
                       "expect initialize\nhang\n");
        ManualClock clock;
        CodexAppServerClient client = clientFor(fake, clock);
        Call<AgentUsage> call(client.fetchUsage());
        ASSERT_TRUE(waitsOnTheClock(clock));
        // Once the child has read a line it has set its signal handling.
        ASSERT_TRUE(fake.receivesLines(1));
        clock.advance(19.9);
        EXPECT_FALSE(call.isDone());
        clock.advance(0.1);
        EXPECT_EQ(call.error(), Code::timedOut);
        if (ignoresTermination) {
            EXPECT_TRUE(fake.isRunning());
            clock.advance(CodexAppServerSession::kTerminationGraceSeconds);
        }
        EXPECT_TRUE(fake.ends());
    }
}

struct ErrorCase {
    const char* name;
    std::string script;
    Code fetch;
    Code monitor;
};

class ClientErrorCases : public test::ChildProcessTest,
                         public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ClientErrorCases, FetchAndMonitorReportTheirErrors) {
    const ErrorCase& test = GetParam();
    {
        FakeCodex fake(test.script);
        ManualClock clock;
        CodexAppServerClient client = clientFor(fake, clock);
        Call<AgentUsage> call(client.fetchUsage());
        EXPECT_EQ(call.error(), test.fetch) << "fetchUsage";
        EXPECT_TRUE(fake.ends());
    }
    {
        FakeCodex fake(test.script);
        ManualClock clock;
        CodexAppServerClient client = clientFor(fake, clock);
        Call<void> call(client.monitorUsage([](const AgentUsage&) {}));
        EXPECT_EQ(call.error(), test.monitor) << "monitorUsage";
        EXPECT_TRUE(fake.ends());
    }
}

INSTANTIATE_TEST_SUITE_P(
    CodexAppServerClient, ClientErrorCases,
    ::testing::Values(
        // Before any usage a live session reports every failure as a time-out.
        ErrorCase{"readAnsweredWithAnError", test::handshake() + test::kReadError,
                  Code::requestFailed, Code::timedOut},
        ErrorCase{"garbage", "expect initialize\nsend garbage\n", Code::protocolViolation,
                  Code::timedOut},
        ErrorCase{"outputClosedEarly", "close-stdout\n", Code::connectionClosed, Code::timedOut},
        ErrorCase{"flood", "flood\n", Code::protocolViolation, Code::timedOut},
        ErrorCase{"noUsableWindow",
                  test::handshake() + "send {\"id\":$ID,\"result\":{\"rateLimits\":{}}}\n",
                  Code::noRateLimits, Code::timedOut}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodexAppServerClientTest, MonitorReportsEveryUsageUntilTheChildLeaves) {
    FakeCodex fake(test::handshake() + test::rateLimitsResult(10, 1) +
                   R"(send {"method":"account/rateLimits/updated","params":{"rateLimits":)"
                   R"({"primary":{"usedPercent":11}}}})"
                   "\nexit 0\n");
    ManualClock clock;
    CodexAppServerClient client = clientFor(fake, clock);
    std::vector<std::int64_t> percents;
    Call<void> call(client.monitorUsage([&percents](const AgentUsage& usage) {
        percents.push_back(usage.windows[0].usedPercent);
    }));
    EXPECT_EQ(call.error(), Code::connectionClosed);
    EXPECT_EQ(percents, (std::vector<std::int64_t>{10, 11}));
}

TEST_F(CodexAppServerClientTest, MonitorStopsAChildThatGivesNoUsageInTwentySeconds) {
    FakeCodex fake(test::handshake());
    ManualClock clock;
    CodexAppServerClient client = clientFor(fake, clock);
    Call<void> call(client.monitorUsage([](const AgentUsage&) {}));
    ASSERT_TRUE(waitsOnTheClock(clock));
    ASSERT_TRUE(fake.receivesLines(3));
    clock.advance(19.9);
    EXPECT_FALSE(call.isDone());
    clock.advance(0.1);
    EXPECT_EQ(call.error(), Code::timedOut);
    EXPECT_TRUE(fake.ends());
}

TEST_F(CodexAppServerClientTest, MonitorKeepsALiveSessionPastTwentySeconds) {
    FakeCodex fake(test::handshake() + test::rateLimitsResult(10, 1));
    ManualClock clock;
    CodexAppServerClient client = clientFor(fake, clock);
    int updates = 0;
    CancellationToken cancellation;
    Call<void> call(
        client.monitorUsage([&updates](const AgentUsage&) { ++updates; }, cancellation));
    ASSERT_TRUE(test::processEventsUntil([&] { return updates == 1; }));
    clock.advance(CodexAppServerClient::kTimeLimitSeconds);
    EXPECT_FALSE(call.isDone());
    EXPECT_TRUE(fake.isRunning());
    cancellation.cancel();
    ASSERT_TRUE(call.finishes());
    EXPECT_TRUE(call.wasCancelled() || call.error() == Code::connectionClosed);
    EXPECT_TRUE(fake.ends());
}

TEST_F(CodexAppServerClientTest, CancellingStopsTheChildAtOnce) {
    for (const bool live : {false, true}) {
        SCOPED_TRACE(live ? "monitorUsage" : "fetchUsage");
        FakeCodex fake(test::handshake());
        ManualClock clock;
        CodexAppServerClient client = clientFor(fake, clock);
        CancellationToken cancellation;
        std::optional<Call<AgentUsage>> fetch;
        std::optional<Call<void>> monitor;
        if (live) {
            monitor.emplace(client.monitorUsage([](const AgentUsage&) {}, cancellation));
        } else {
            fetch.emplace(client.fetchUsage(cancellation));
        }
        ASSERT_TRUE(fake.receivesLines(3));
        cancellation.cancel();
        EXPECT_TRUE(fake.ends());
        if (live) {
            ASSERT_TRUE(monitor->finishes());
            const auto error = monitor->error();
            EXPECT_TRUE(monitor->wasCancelled() || error == Code::timedOut ||
                        error == Code::connectionClosed);
        } else {
            ASSERT_TRUE(fetch->finishes());
            EXPECT_TRUE(fetch->wasCancelled() || fetch->error() == Code::connectionClosed);
        }
    }
}

TEST_F(CodexAppServerClientTest, CancellingBeforeLaunchStartsNoChild) {
    FakeCodex fake(test::handshake());
    ManualClock clock;
    CodexAppServerClient client = clientFor(fake, clock);
    CancellationToken cancellation;
    cancellation.cancel();
    Call<AgentUsage> call(client.fetchUsage(cancellation));
    EXPECT_TRUE(call.wasCancelled());
    EXPECT_FALSE(QFile::exists(fake.logPath()));
}

TEST_F(CodexAppServerClientTest, LocatingAndLaunchingFailures) {
    FakeCodex fake(test::handshake());
    ManualClock clock;
    {
        CodexAppServerClient client(
            clock, []() -> QString { throw CodexAppServerError(Code::codexNotInstalled); },
            fake.folder(), fake.environment());
        Call<AgentUsage> call(client.fetchUsage());
        EXPECT_EQ(call.error(), Code::codexNotInstalled);
    }
    for (const QString& program : {QStringLiteral("/nonexistent/codex"), fake.scriptPath()}) {
        CodexAppServerClient client = clientFor(fake, clock, program);
        Call<void> call(client.monitorUsage([](const AgentUsage&) {}));
        EXPECT_EQ(call.error(), Code::launchFailed) << program.toStdString();
    }
}

TEST_F(CodexAppServerClientTest, UntrustedExecutableIsNeverStarted) {
    // A copy of the fake in a folder anyone may write to.
    FakeCodex fake(test::handshake() + test::rateLimitsResult(42, 7));
    QTemporaryDir shared;
    ASSERT_TRUE(QFile::setPermissions(shared.path(), QFile::Permissions(0x7777)));
    const QString copy = shared.filePath(QStringLiteral("codex"));
    ASSERT_TRUE(QFile::copy(FakeCodex::program(), copy));
    const TrustedCodexBinaryLocator locator(shared.path(), {});
    ManualClock clock;
    CodexAppServerClient client(
        clock, [locator] { return locator.locate(); }, fake.folder(), fake.environment());
    Call<AgentUsage> call(client.fetchUsage());
    EXPECT_EQ(call.error(), Code::untrustedCodexInstallation);
    EXPECT_FALSE(QFile::exists(fake.logPath()));
}

}  // namespace
