#include <gtest/gtest.h>

#include <functional>

#include "fault/headless_program.h"
#include "support/named_rows.h"

// Faults made on purpose around the real `quotamind --headless`: each row breaks one thing and
// checks what the user is left with, which is what docs/reliability.md lists. The suite runs on a
// private bus with a real Secret Service.

using namespace Qt::StringLiterals;

namespace {

using test::HeadlessProgram;
using test::kStoredClaude;
using test::kStoredCodex;

const AgentProvider kCodex = AgentProvider::codex();
const AgentProvider kClaude = AgentProvider::claude();

// What the user sees when the Claude endpoint fails with numbers at hand: the earlier run's,
// dated by their read time, and Codex read as usual.
void claudeFailedKeepingItsNumbers(HeadlessProgram& program) {
    EXPECT_TRUE(test::waitUntil([&] { return program.storedUse(kCodex) >= 42; }));
    EXPECT_TRUE(program.waitForClaudeRead());
    EXPECT_EQ(program.storedUse(kClaude), kStoredClaude);
}

// What the user sees when the app-server fails with nothing at hand: Codex's error line, and
// Claude read once Codex's read has ended (at the latest at its time limit).
void codexFailedClaudeRead(HeadlessProgram& program) {
    EXPECT_TRUE(program.waitForUse(kClaude, 12, std::chrono::seconds(40)));
    EXPECT_TRUE(program.waitForLog("codex could not be read:")) << program.log().toStdString();
    EXPECT_TRUE(program.isRunning());
}

struct Fault {
    const char* name;
    std::function<void(HeadlessProgram&)> arrange;
    std::function<void(HeadlessProgram&)> check;
};

const Fault kFaults[] = {
    {"NoSecretService",
     [](HeadlessProgram& program) {
         program.bus.start(u"dbus-daemon"_s,
                           {u"--nofork"_s, u"--print-address=1"_s,
                            u"--config-file="_s + QStringLiteral(BUS_WITHOUT_SERVICES)});
         ASSERT_TRUE(program.bus.waitForReadyRead(5000));
         program.environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s,
                                    QString::fromUtf8(program.bus.readLine().trimmed()));
     },
     [](HeadlessProgram& program) {
         EXPECT_TRUE(program.waitForUse(kCodex, 55));
         EXPECT_EQ(program.storedUse(kClaude), 12);
     }},
    {"NoSessionBus",
     [](HeadlessProgram& program) { program.environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s); },
     [](HeadlessProgram& program) {
         EXPECT_TRUE(program.waitForUse(kCodex, 55));
         EXPECT_EQ(program.storedUse(kClaude), 12);
     }},
    {"AppServerKilledMidLine",
     [](HeadlessProgram& program) {
         program.codexScript = "expect initialize\nsend-part {\"id\":$ID,\"resu\nexit 9\n";
     },
     codexFailedClaudeRead},
    {"AppServerFloods",
     [](HeadlessProgram& program) {
         // A line of 64 MiB, far past what a line may hold, after a sound answer.
         program.codexScript = "expect initialize\npad-line 67108864\n";
     },
     codexFailedClaudeRead},
    {"AppServerStalls",
     [](HeadlessProgram& program) { program.codexScript = "expect initialize\nhang\n"; },
     codexFailedClaudeRead},
    {"AnthropicReturns503",
     [](HeadlessProgram& program) {
         program.storeEarlierSnapshot();
         program.anthropicFault = FakeHttpServer::Response{.status = 503, .body = "busy"};
     },
     claudeFailedKeepingItsNumbers},
    {"AnthropicDropsTheConnection",
     [](HeadlessProgram& program) {
         program.storeEarlierSnapshot();
         program.anthropicFault.emplace().dropped = true;
     },
     claudeFailedKeepingItsNumbers},
    {"AnthropicHangs",
     [](HeadlessProgram& program) {
         program.storeEarlierSnapshot();
         program.anthropicFault.emplace().held = true;
     },
     claudeFailedKeepingItsNumbers},
    {"DiskFull",
     [](HeadlessProgram& program) {
         program.storeEarlierSnapshot();
         program.fileSizeLimit = 0;
     },
     [](HeadlessProgram& program) {
         // Nothing can be written, so the earlier run's snapshot stays whole and readable.
         EXPECT_TRUE(program.waitForClaudeRead());
         EXPECT_EQ(program.storedUse(kCodex), kStoredCodex);
         EXPECT_EQ(program.storedUse(kClaude), kStoredClaude);
         EXPECT_TRUE(program.isRunning());
     }},
    {"SharedFileReadOnly",
     [](HeadlessProgram& program) {
         program.storeEarlierSnapshot();
         ASSERT_TRUE(QFile::setPermissions(program.shared().filePath(), QFile::ReadOwner));
     },
     [](HeadlessProgram& program) {
         // The readings go to the program's own file, where `quotamind status` reads them too.
         EXPECT_TRUE(program.waitForUse(kCodex, 55));
         EXPECT_EQ(program.storedUse(kClaude), 12);
     }},
};

class FaultSuite : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultSuite, TheUserKeepsWhatWasRead) {
    HeadlessProgram program;
    if (program.codexFolder().isEmpty()) {
        GTEST_SKIP() << "no folder here passes the codex trust policy";
    }
    GetParam().arrange(program);
    program.start();
    GetParam().check(program);
    program.terminate();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultSuite, ::testing::ValuesIn(kFaults), rowName);

// SIGTERM at any moment of the first cycle, saves included: the stored snapshot is always the
// earlier run's or a newer one, never a damaged one. A SIGTERM before the program handles it ends
// it at once, which is as safe.
TEST(FaultSuiteTermination, SigtermDuringASaveLeavesAReadableSnapshot) {
    for (const int delayMs : {0, 20, 60, 150, 400}) {
        SCOPED_TRACE(delayMs);
        HeadlessProgram program;
        if (program.codexFolder().isEmpty()) {
            GTEST_SKIP() << "no folder here passes the codex trust policy";
        }
        program.storeEarlierSnapshot();
        program.start();
        const bool running = program.waitForLog("running", std::chrono::milliseconds(delayMs));
        program.terminate(running);
        EXPECT_NE(program.storedUse(kCodex), -1);
        EXPECT_NE(program.storedUse(kClaude), -1);
    }
}

}  // namespace
