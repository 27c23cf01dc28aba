#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/system_clock.h"
#include "sources/claude/claude_cli_probe.h"
#include "support/child_processes.h"
#include "support/peer_programs.h"

namespace {

using namespace std::chrono_literals;

// The real program, signed out and without a network, with a home that records a finished first
// run and trusts the scratch folder, so it keeps running: the probe must end it by the deadline
// and leave nothing behind.
TEST(ClaudeCliProbePeerTest, TheRealClaudeEndsByTheDeadlineAndLeavesNoProcess) {
    const std::optional<QString> claude = test::peerProgram(QStringLiteral("claude"));
    if (!claude) {
        GTEST_SKIP() << "the real claude program is not installed in the build tree; "
                        "scripts/test installs it";
    }
    QTemporaryDir folder;
    const QString home = QFileInfo(folder.path()).canonicalFilePath() + QStringLiteral("/home");
    ClaudeCliProbe::Environment environment{
        .homePath = home,
        .processEnvironment = QProcessEnvironment::systemEnvironment(),
        .temporaryPath = QFileInfo(folder.path()).canonicalFilePath() + QStringLiteral("/tmp")};
    environment.processEnvironment.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "CLAUDE_CONFIG_DIR"}) {
        environment.processEnvironment.remove(QString::fromLatin1(name));
    }
    SystemClock clock;
    ClaudeCliProbe probe(clock, environment);
    const QString scratch = probe.scratchFolderPath();
    QFile settings(home + QStringLiteral("/.claude.json"));
    ASSERT_TRUE(QDir().mkpath(home) && settings.open(QIODevice::WriteOnly));
    settings.write(QStringLiteral(R"({"hasCompletedOnboarding":true,"theme":"dark",)"
                                  R"("projects":{"%1":{"hasTrustDialogAccepted":true}}})")
                       .arg(scratch)
                       .toUtf8());
    settings.close();

    test::StartedTask<void> task(probe.touchClaudeAuthPath(*claude, 3.0, CancellationToken()));
    // Once seen is enough: while `claude` execs its interpreter, /proc may briefly not show it.
    bool ran = false;
    EXPECT_TRUE(test::waitUntil(
        [&] { return ran = ran || !test::processesWorkingIn(scratch).empty(); }, 5s))
        << "claude never ran in the scratch folder";
    // Launch wait, polling and the grace before a kill, with room for a loaded machine.
    ASSERT_TRUE(test::waitUntil([&] { return task.isDone(); }, 20s));
    EXPECT_NO_THROW(task.get());
    EXPECT_TRUE(test::processesWorkingIn(scratch).empty());
    EXPECT_FALSE(test::hasChildProcess());
}

}  // namespace
