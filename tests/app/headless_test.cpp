#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include "fake_http_server.h"
#include "model/shared_snapshot_store.h"
#include "sources/codex/trusted_codex_binary_locator.h"
#include "support/child_processes.h"

namespace {

// The fake app-server answers the first read with 42 % used, then pushes 55 % as a live update.
constexpr char kScript[] = R"(expect initialize
send {"id":$ID,"result":{"userAgent":"codex"}}
expect initialized
expect account/rateLimits/read
send {"id":$ID,"result":{"rateLimits":{"primary":{"usedPercent":42,"windowDurationMins":300,"resetsAt":1796579961},"planType":"plus"}}}
send {"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":{"usedPercent":55,"windowDurationMins":300,"resetsAt":1796579961}}}}
)";

constexpr char kClaudeUsage[] =
    R"({"five_hour":{"utilization":12,"resets_at":"2026-12-07T03:00:00Z"},)"
    R"("seven_day":{"utilization":30,"resets_at":"2026-12-10T00:00:00Z"}})";

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A folder the codex trust policy accepts, holding the fake app-server as `codex`: nothing
// under a shared writable folder is started, so the build tree or the real home must do.
QString trustedCodexFolder(std::optional<QTemporaryDir>& holder) {
    for (const QString& base : {QStringLiteral(QUOTAMIND_BUILD_DIR), QDir::homePath()}) {
        holder.emplace(base + QStringLiteral("/codex-XXXXXX"));
        const QString codex = holder->filePath(QStringLiteral("codex"));
        if (holder->isValid() && QFile::copy(QStringLiteral(FAKE_CODEX_APP_SERVER), codex) &&
            ::chmod(QFile::encodeName(holder->path()).constData(), 0700) == 0 &&
            TrustedCodexBinaryLocator::verifyCode(codex, QStringLiteral("codex"))) {
            return holder->path();
        }
    }
    return {};
}

TEST(HeadlessProgramTest, StoresBothAgentsFollowsLiveUpdatesIsSingleAndLeavesNoChild) {
    std::optional<QTemporaryDir> codexHolder;
    const QString codexFolder = trustedCodexFolder(codexHolder);
    if (codexFolder.isEmpty()) {
        GTEST_SKIP() << "no folder here passes the codex trust policy";
    }
    FakeHttpServer anthropic;
    for (int cycle = 0; cycle < 5; ++cycle) {
        anthropic.enqueue("/api/oauth/usage", {200, kClaudeUsage});
    }
    QTemporaryDir home;
    ASSERT_TRUE(writeFile(home.filePath(QStringLiteral("script")), kScript));
    ASSERT_TRUE(writeFile(home.filePath(QStringLiteral(".claude/.credentials.json")),
                          R"({"claudeAiOauth":{"accessToken":"sk-test"}})"));

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), codexFolder + QStringLiteral(":/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".data")));
    environment.insert(QStringLiteral("QUOTAMIND_ANTHROPIC_BASE"), anthropic.origin().toString());
    environment.insert(QStringLiteral("FAKE_CODEX_SCRIPT"),
                       home.filePath(QStringLiteral("script")));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quotamind.*=true"));
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!bus.isEmpty()) {
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(bus));
    }
    const QByteArray marker =
        "FAKE_CODEX_SCRIPT=" + home.filePath(QStringLiteral("script")).toUtf8();

    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QUOTAMIND_PROGRAM), {QStringLiteral("--headless")});
    ASSERT_TRUE(program.waitForStarted());

    const Preferences shared(
        home.filePath(QStringLiteral(".config/brindlecove/group.com.brindlecove.Quotamind.conf")));
    const auto codexUsed = [&]() -> std::int64_t {
        const auto snapshot = SharedSnapshotStore::loadSnapshot(shared);
        if (!snapshot || !(*snapshot)[AgentProvider::claude()]) {
            return -1;
        }
        const auto codex = (*snapshot)[AgentProvider::codex()];
        return codex && !codex->windows.empty() ? codex->windows.front().usedPercent : -1;
    };
    EXPECT_TRUE(test::waitUntil([&] { return codexUsed() == 55; }, std::chrono::seconds(20)))
        << "stored Codex usage: " << codexUsed() << "\n"
        << program.readAllStandardError().toStdString();

    QProcess status;
    status.setProcessEnvironment(environment);
    status.start(QStringLiteral(QUOTAMIND_PROGRAM),
                 {QStringLiteral("status"), QStringLiteral("--json")});
    ASSERT_TRUE(status.waitForFinished());
    EXPECT_EQ(status.exitCode(), 0);
    EXPECT_EQ(SharedSnapshotStore::loadSnapshot(shared)->usages.size(), 2u);
    EXPECT_TRUE(status.readAllStandardOutput().contains("\"usedPercent\":55"));

    if (!bus.isEmpty()) {
        // A second launch asks the first to show itself and leaves.
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(QUOTAMIND_PROGRAM), {QStringLiteral("--headless")});
        ASSERT_TRUE(second.waitForFinished(10000));
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(second.readAllStandardOutput().contains("already running"));
        QByteArray log;
        EXPECT_TRUE(test::waitUntil([&] {
            log += program.readAllStandardError();
            return log.contains("activation requested");
        }));
    }

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(test::processesEnd(marker)) << "a codex child outlived the program";
}

}  // namespace
