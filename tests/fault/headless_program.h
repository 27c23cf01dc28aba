#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <optional>

#include "fake_http_server.h"
#include "model/shared_snapshot_store.h"
#include "sources/codex/trusted_codex_binary_locator.h"
#include "support/child_processes.h"
#include "support/usage_builder.h"

// The real `quotamind --headless` in a home of its own, with the fake app-server as `codex` and a
// fake Anthropic endpoint on loopback. The test program defines QUOTAMIND_PROGRAM,
// QUOTAMIND_BUILD_DIR and FAKE_CODEX_APP_SERVER.
namespace test {

using namespace Qt::StringLiterals;

// A healthy app-server: 42 % used, then 55 % as a live update.
inline constexpr char kHealthyCodex[] = R"(expect initialize
send {"id":$ID,"result":{"userAgent":"codex"}}
expect initialized
expect account/rateLimits/read
send {"id":$ID,"result":{"rateLimits":{"primary":{"usedPercent":42,"windowDurationMins":300,"resetsAt":1796579961}}}}
send {"method":"account/rateLimits/updated","params":{"rateLimits":{"primary":{"usedPercent":55,"windowDurationMins":300,"resetsAt":1796579961}}}}
)";

inline constexpr char kClaudeUsage[] =
    R"({"five_hour":{"utilization":12,"resets_at":"2026-12-07T03:00:00Z"},)"
    R"("seven_day":{"utilization":30,"resets_at":"2026-12-10T00:00:00Z"}})";

// What an earlier run stored: Codex 8 %, Claude 7 %.
inline constexpr std::int64_t kStoredCodex = 8;
inline constexpr std::int64_t kStoredClaude = 7;

inline bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The program with a home of its own, the fake app-server as `codex` and a fake Anthropic
// endpoint. A row changes any of them before start().
class HeadlessProgram {
public:
    HeadlessProgram() {
        // The codex trust policy starts nothing under a shared writable folder, so the build tree
        // or the real home must hold the fake.
        for (const QString& base : {QStringLiteral(QUOTAMIND_BUILD_DIR), QDir::homePath()}) {
            m_codexFolder.emplace(base + u"/codex-XXXXXX"_s);
            const QString codex = m_codexFolder->filePath(u"codex"_s);
            if (m_codexFolder->isValid() &&
                QFile::copy(QStringLiteral(FAKE_CODEX_APP_SERVER), codex) &&
                ::chmod(QFile::encodeName(m_codexFolder->path()).constData(), 0700) == 0 &&
                TrustedCodexBinaryLocator::verifyCode(codex, u"codex"_s)) {
                break;
            }
            m_codexFolder.reset();
        }
        codexScript = kHealthyCodex;
        writeFile(m_home.filePath(u".claude/.credentials.json"_s),
                  R"({"claudeAiOauth":{"accessToken":"sk-test"}})");
        for (const auto& [name, value] :
             {std::pair{u"PATH"_s, codexFolder() + u":/usr/bin:/bin"_s},
              {u"HOME"_s, m_home.path()},
              {u"XDG_CONFIG_HOME"_s, m_home.filePath(u".config"_s)},
              {u"XDG_DATA_HOME"_s, m_home.filePath(u".data"_s)},
              {u"QUOTAMIND_ANTHROPIC_BASE"_s, anthropic.origin().toString()},
              {u"FAKE_CODEX_SCRIPT"_s, m_home.filePath(u"script"_s)},
              {u"QT_LOGGING_RULES"_s, u"quotamind.*=true"_s},
              {u"DBUS_SESSION_BUS_ADDRESS"_s, qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")}}) {
            if (!value.isEmpty()) {
                environment.insert(name, value);
            }
        }
    }

    ~HeadlessProgram() {
        for (QProcess* process : {&m_program, &bus}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    QString codexFolder() const { return m_codexFolder ? m_codexFolder->path() : QString(); }
    Preferences shared() const {
        // As `quotamind status` reads it: the shared file, or the program's own when the shared
        // one cannot be written.
        const QString folder = m_home.filePath(u".config/brindlecove/"_s);
        return Preferences(folder + u"group.com.brindlecove.Quotamind.conf"_s,
                           folder + u"Quotamind.conf"_s);
    }
    void storeEarlierSnapshot() const {
        SharedSnapshotStore::save(snapshot({usage("codex", {fiveHour(kStoredCodex)}),
                                            usage("claude", {fiveHour(kStoredClaude)})}),
                                  shared());
    }

    void start() {
        for (int claudeRead = 0; claudeRead < 5 && !anthropicFault; ++claudeRead) {
            anthropic.enqueue("/api/oauth/usage", {200, kClaudeUsage});
        }
        for (int claudeRead = 0; claudeRead < 5 && anthropicFault; ++claudeRead) {
            anthropic.enqueue("/api/oauth/usage", *anthropicFault);
        }
        writeFile(environment.value(u"FAKE_CODEX_SCRIPT"_s), codexScript);
        m_program.setProcessEnvironment(environment);
        if (fileSizeLimit) {
            // A full disk: every write past the limit fails (SIGXFSZ ignored, so it is an error).
            m_program.setChildProcessModifier([limit = *fileSizeLimit] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit small{limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &small);
            });
        }
        m_program.start(QStringLiteral(QUOTAMIND_PROGRAM), {u"--headless"_s});
        ASSERT_TRUE(m_program.waitForStarted());
    }

    // The percent used of the agent's first window, as `quotamind status` reads it; -1 for none.
    std::int64_t storedUse(const AgentProvider& provider) const {
        const auto snapshot = SharedSnapshotStore::loadSnapshot(shared());
        const auto usage = snapshot ? (*snapshot)[provider] : std::nullopt;
        return usage && !usage->windows.empty() ? usage->windows.front().usedPercent : -1;
    }
    bool waitForUse(const AgentProvider& provider, std::int64_t used,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return waitUntil([&] { return storedUse(provider) == used; }, limit);
    }
    bool waitForLog(const QByteArray& text,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return waitUntil(
            [&] {
                m_log += m_program.readAllStandardError();
                return m_log.contains(text);
            },
            limit);
    }
    // Waits until Anthropic was asked and a moment more for its answer to be taken in.
    bool waitForClaudeRead() {
        const bool asked = waitUntil([&] { return !anthropic.requests().empty(); });
        waitUntil([] { return false; }, std::chrono::seconds(1));
        return asked;
    }
    bool isRunning() const { return m_program.state() == QProcess::Running; }
    const QByteArray& log() const { return m_log; }
    qint64 pid() const { return m_program.processId(); }

    // SIGTERM, as a session's end sends: once running, the program ends cleanly; it never leaves
    // a codex behind.
    void terminate(bool running = true) {
        m_program.terminate();
        ASSERT_TRUE(m_program.waitForFinished(10000));
        m_log += m_program.readAllStandardError();
        // The history's connection is closed on its own thread, after the work queued before.
        EXPECT_FALSE(m_log.contains("does not belong to the calling thread"));
        if (running) {
            EXPECT_EQ(std::pair(m_program.exitStatus(), m_program.exitCode()),
                      std::pair(QProcess::NormalExit, 0))
                << m_log.toStdString();
        }
        EXPECT_TRUE(
            processesEnd("FAKE_CODEX_SCRIPT=" + environment.value(u"FAKE_CODEX_SCRIPT"_s).toUtf8()))
            << "a codex child outlived the program";
    }

    FakeHttpServer anthropic;
    std::optional<FakeHttpServer::Response> anthropicFault;
    QByteArray codexScript;
    std::optional<rlim_t> fileSizeLimit;
    QProcessEnvironment environment;
    // A bus of the row's own, when it needs one.
    QProcess bus;

private:
    QTemporaryDir m_home;
    std::optional<QTemporaryDir> m_codexFolder;
    QProcess m_program;
    QByteArray m_log;
};

}  // namespace test
