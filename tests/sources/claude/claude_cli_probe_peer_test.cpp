#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

#include "core/system_clock.h"
#include "sources/claude/claude_cli_probe.h"
#include "support/child_processes.h"
#include "support/peer_programs.h"

namespace {

using namespace std::chrono_literals;

struct PeerHome {
    const char* name;
    // Whether the home records a finished first run and trusts the scratch folder, so the
    // program keeps running until the probe ends it; an empty home makes it give up by itself
    // when it cannot reach its service.
    bool trustsScratchFolder;
};

class ClaudeCLIProbePeerTest : public ::testing::TestWithParam<PeerHome> {};

void writeTrustingSettings(const QString& home, const QString& scratch) {
    QJsonObject project;
    project.insert(QStringLiteral("hasTrustDialogAccepted"), true);
    QJsonObject projects;
    projects.insert(scratch, project);
    QJsonObject settings;
    settings.insert(QStringLiteral("hasCompletedOnboarding"), true);
    settings.insert(QStringLiteral("theme"), QStringLiteral("dark"));
    settings.insert(QStringLiteral("projects"), projects);
    QFile file(home + QStringLiteral("/.claude.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(settings).toJson());
}

// The real program, signed out and without a network: whatever it shows, the probe must end it
// by the deadline and leave nothing behind.
TEST_P(ClaudeCLIProbePeerTest, TheRealClaudeEndsByTheDeadlineAndLeavesNoProcess) {
    const std::optional<QString> claude = test::peerProgram(QStringLiteral("claude"));
    if (!claude) {
        GTEST_SKIP() << "the real claude program is not installed in the build tree; "
                        "scripts/test installs it";
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString root = QFileInfo(folder.path()).canonicalFilePath();
    ClaudeCLIProbe::Environment environment;
    environment.homePath = root + QStringLiteral("/home");
    environment.temporaryPath = root + QStringLiteral("/tmp");
    environment.systemBinaryPaths = {};
    ASSERT_TRUE(QDir().mkpath(environment.homePath));
    environment.processEnvironment = QProcessEnvironment::systemEnvironment();
    environment.processEnvironment.insert(QStringLiteral("HOME"), environment.homePath);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "CLAUDE_CONFIG_DIR"}) {
        environment.processEnvironment.remove(QString::fromLatin1(name));
    }
    ClaudeCLIProbe probe(SystemClock::shared(), environment);
    const QString scratch = probe.scratchFolderPath();
    if (GetParam().trustsScratchFolder) {
        writeTrustingSettings(environment.homePath, scratch);
    }
    constexpr double timeoutSeconds = 3.0;

    auto outcome = std::make_shared<test::detail::Outcome<void>>();
    QCoro::Task<> task = test::detail::capture<void>(
        probe.touchClaudeAuthPath(*claude, timeoutSeconds, CancellationToken()), outcome);
    EXPECT_TRUE(test::waitUntil([&] { return !test::processesWorkingIn(scratch).isEmpty(); }, 5s))
        << "claude never ran in the scratch folder";

    // Launch wait, polling and the grace before a kill, with room for a loaded machine.
    ASSERT_TRUE(test::waitUntil([&] { return outcome->done; }, 20s));
    if (outcome->error) {
        try {
            std::rethrow_exception(outcome->error);
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
    }
    EXPECT_EQ(test::processesWorkingIn(scratch), QList<int>());
    EXPECT_FALSE(test::hasChildProcess());
}

INSTANTIATE_TEST_SUITE_P(Homes, ClaudeCLIProbePeerTest,
                         ::testing::Values(PeerHome{"Empty", false},
                                           PeerHome{"TrustingTheScratchFolder", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
